// The geometry fit command's request checks as the window asks them: its title, its
// warnings, the panel's function codes and the console header of a run. The window
// gathers the points; these decide whether it may, and which shape it runs.
//
// Function codes of the panel: 0 none, 1 plane, 2 cylinder, 3 sphere, 4 cone, 5 torus,
// 6 circle, 7 line, 8 ellipse, 9 superellipse.
// Checks, in this order: no object selected -> kFitSelectPointcloud; function code none
// (or unknown) -> kFitSelectFunction; the first selected object a primitive ->
// kFitSelectPointcloud.
// Cost: constant; no errors.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "commands/FitCommand.h"
#include "commands/SelectionChecks.h"

namespace tessaro {
namespace commands {

inline constexpr const char* kFitCommandTitle = "Geometry approximation";
inline constexpr const char* kFitSelectPointcloud = kSelectPointcloud;
inline constexpr const char* kFitSelectFunction = "Please select a function!";
// Where the points of a run go first when the user keeps the last selection.
inline constexpr const char* kLastSelectionFile = "lastSelection.xyz";

// The shape of a panel function code; nullopt for 0 (none) and unknown codes.
std::optional<FitShape> fitShapeFromCode(int code);
// The panel code of a shape (1 to 9).
int fitShapeCode(FitShape shape);

// The warning that stops the request, or nullptr when the fit may run.
const char* checkFitRequest(std::size_t selectedObjects, bool firstIsPrimitive, int functionCode);

// "\nfile: NAME (cylinder)\n": what a run prints before its own lines.
std::string fitConsoleHeader(const std::string& objectName, FitShape shape);

}  // namespace commands
}  // namespace tessaro
