// Scene objects as the command layer's input: the points of a cloud or the corners of a
// mesh in scene coordinates (the object's placement applied, double precision), and
// the operand kind the selection checks decide on.
// Cost: O(n) copies; no errors (an object that is neither gives empty plain points).
#pragma once

#include "commands/DistancesCommand.h"
#include "commands/FileCommands.h"
#include "commands/JobRunner.h"

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

class GLBaseObject;

// Cloud (plain, coloured, uniform) -> kPoints, STL mesh -> kMesh, fitted primitive ->
// kPrimitive, anything else kOther.
tessaro::commands::DistanceOperand operandOf(const GLBaseObject* object);

// The points of a cloud (colours kept for coloured kinds), or the corners of a mesh (three
// per triangle), in scene coordinates.
tessaro::commands::LoadedData sceneDataOf(const GLBaseObject* object);

// sceneDataOf for several objects at once on a worker thread, while `poll` (a ProgressWait's
// callback) keeps the window painting: ten million points take a few hundred
// milliseconds to copy. kAborted when `poll` asked for an abort; the outputs are then to
// be dropped. The objects must not change meanwhile (ProgressWait blocks the user's
// input to the window).
tessaro::commands::JobStatus sceneDataOf(
    const std::vector<std::pair<const GLBaseObject*, tessaro::commands::LoadedData*>>& objects,
    const tessaro::commands::PollCallback& poll);

// Runs `work` on a worker thread while `poll` keeps the window answering; kAborted when
// `poll` asked for an abort, which `work` sees in its flag (the runner waits for `work`
// to end: check the flag often, or keep the work short). Rethrows what `work` threw.
tessaro::commands::JobStatus runOnWorker(
    const std::function<void(const std::atomic<bool>& abort)>& work,
    const tessaro::commands::PollCallback& poll);
