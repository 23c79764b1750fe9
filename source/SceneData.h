// Scene objects as the command layer's input: the points of a cloud or the corners of a
// mesh in scene coordinates (the object's placement applied, double precision), and
// the operand kind the selection checks decide on.
// Cost: O(n) copies; no errors (an object that is neither gives empty plain points).
#pragma once

#include "commands/DistancesCommand.h"
#include "commands/FileCommands.h"

class GLBaseObject;

// Cloud (plain, coloured, uniform) -> kPoints, STL mesh -> kMesh, fitted primitive ->
// kPrimitive, anything else kOther.
tessaro::commands::DistanceOperand operandOf(const GLBaseObject* object);

// The points of a cloud (colours kept for coloured kinds), or the corners of a mesh (three
// per triangle), in scene coordinates.
tessaro::commands::LoadedData sceneDataOf(const GLBaseObject* object);
