// Turns a fit result into its primitive scene object: the result of a fit command (with
// the fitted points, when at hand, for the size of a plane's patch) or a fit result read
// back from the JSON of `tessaro-cli fit --json`.
//
// Extents: the line, cylinder and cone span the fitted points along their direction
// (FitResult's extentStart/extentLength, or "bottom"/"height" of the file). Without
// them (a file without those keys) a line is 1 long and centred on its point, and a
// cylinder or cone is centred on its axis point with a height of twice its radius (1
// for a radius of zero). A plane's patch is twice the largest distance of the fitted
// points' projections from its centre (FitResult's planeRadius, which the fit command
// measures on its worker, or measured here), 1 without points.
// Must run with the view's OpenGL context current (the objects upload their buffers).
// Errors: std::runtime_error for a shape name that is no fit shape ("unknown shape
// \"NAME\"") and from readFitResultFile.
// Cost: the tessellation (a few thousand vertices) plus one pass over the points.
#pragma once

#include <memory>
#include <string>

#include "OpenGL/GLObjPrimitive.h"
#include "commands/FitCommand.h"
#include "commands/FitResultFile.h"

// The line, cylinder and cone's extent along the direction and the plane's patch size.
struct PrimitiveExtent {
    bool known = false;  // start and length hold the extent
    alg3D::Vec3d start;
    double length = 0.0;
    double planeSize = 1.0;
};

std::unique_ptr<GLObjPrimitive> makePrimitiveObject(tessaro::commands::FitShape shape,
                                                    const tessaro::commands::FitGeometry& geometry,
                                                    const PrimitiveExtent& extent);
std::unique_ptr<GLObjPrimitive> makePrimitiveObject(const tessaro::commands::FitResult& result,
                                                    const alg3D::Vec3d* begin = nullptr,
                                                    const alg3D::Vec3d* end = nullptr);
std::unique_ptr<GLObjPrimitive> makePrimitiveObject(const tessaro::commands::FitResultFile& file);
// The other way: the shape and geometry of a primitive object (the geometry's radius of
// a cone is the one at its centre). False for an object that is no primitive.
bool primitiveGeometryOf(const GLBaseObject& object, tessaro::commands::FitShape& shape,
                         tessaro::commands::FitGeometry& geometry);
// readFitResultFile and the object, in one.
std::unique_ptr<GLObjPrimitive> loadPrimitiveObject(const std::string& fileName);
