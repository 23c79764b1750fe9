#include "commands/FitRequest.h"

namespace tessaro {
namespace commands {

namespace {

// Index = panel code - 1.
constexpr FitShape kShapeOfCode[] = {
    FitShape::kPlane, FitShape::kCylinder, FitShape::kSphere,
    FitShape::kCone,  FitShape::kTorus,    FitShape::kCircle,
    FitShape::kLine,  FitShape::kEllipse,  FitShape::kSuperEllipse,
};

}  // namespace

std::optional<FitShape> fitShapeFromCode(int code) {
    if (code < 1 || code > 9) return std::nullopt;
    return kShapeOfCode[code - 1];
}

int fitShapeCode(FitShape shape) {
    for (int i = 0; i < 9; ++i)
        if (kShapeOfCode[i] == shape) return i + 1;
    return 0;
}

const char* checkFitRequest(std::size_t selectedObjects, bool firstIsPrimitive, int functionCode) {
    if (selectedObjects == 0) return kFitSelectPointcloud;
    if (!fitShapeFromCode(functionCode)) return kFitSelectFunction;
    if (firstIsPrimitive) return kFitSelectPointcloud;
    return nullptr;
}

std::string fitConsoleHeader(const std::string& objectName, FitShape shape) {
    return "\nfile: " + objectName + " (" + fitShapeName(shape) + ")\n";
}

}  // namespace commands
}  // namespace tessaro
