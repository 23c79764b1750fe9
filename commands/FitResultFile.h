// Reading a fit result back: the JSON object that `tessaro-cli fit --json` writes (see
// docs/cli.md), as the distance command's reference primitive and as a primitive object
// loaded into the workbench.
//
// Input: the file name (or the JSON text). Output: FitResultFile with the shape name as
// written, the shape when it is one of the nine fit shapes, the parameters of that shape
// (the keys of fitParameters()) and, when present, the extent along the axis ("bottom"
// and "height" of cylinder and cone).
// Errors: Alg3dException "can not open file.\n" when the file cannot be opened;
// std::runtime_error "not a fit result (invalid JSON)", "not a fit result (no
// \"shape\")", "not a fit result (no \"parameters\")", "missing or invalid parameter
// \"KEY\"" (a missing, non-numeric or non-finite value), "invalid \"bottom\" or
// \"height\"" and "the direction of the primitive is the zero vector" (every shape but
// the sphere). A shape name that is no fit shape is not an error here: the callers
// refuse it with their own texts.
// Cost: linear in the file size.
#pragma once

#include <optional>
#include <string>

#include "alg3D/matrix/Matrix.h"
#include "commands/FitCommand.h"

namespace tessaro {
namespace commands {

struct FitResultFile {
    std::string shapeName;          // "shape" as written
    std::optional<FitShape> shape;  // nullopt when shapeName is no fit shape
    FitGeometry geometry;           // the shape's parameters (the rest stay zero)
    bool hasExtent = false;         // "bottom" and "height" were given
    alg3D::Vec3d bottom;            // point on the axis where the fitted points begin
    double height = 0.0;            // their extent along the axis
};

FitResultFile parseFitResult(const std::string& text);
FitResultFile readFitResultFile(const std::string& fileName);

}  // namespace commands
}  // namespace tessaro
