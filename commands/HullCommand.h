// The convex hull command without its dialogs: the hull of all points of one cloud as a
// triangle mesh, with the texts of the command's information box. The GUI's "Convex Hull"
// command and `tessaro-cli hull` both call runHullCommand.
//
// Inputs: the cloud's points (plain or coloured), its name and colour. Outputs: HullResult
// (the hull's vertices and triangles, the mesh name cloud name + "_hull", the halved
// colour, the information text and the duration). The hull is built with the tolerance
// 1e-6 and runs on the calling thread; an optional abort flag (set from another thread or
// a signal handler) ends it early with an empty result (`aborted` set). Degenerate clouds (no
// points, points on a line) give a mesh without triangles; flat clouds a closed flat mesh. Cost:
// the hull (expected O(n log h)) plus one pass to extract it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "commands/SelectionChecks.h"

namespace tessaro {
namespace commands {

inline constexpr const char* kHullTitle = "Convex Hull";
inline constexpr const char* kHullTimerName = "convex hull";
inline constexpr double kHullTolerance = 1e-6;
// The selection checks' warnings (titled kHullTitle).
inline constexpr const char* kHullSelectCloud = kSelectPointcloud;
inline constexpr const char* kHullSelectOneCloud = kSelectOnePointcloud;
inline constexpr const char* kHullCloudsOnly = "Convex hull can be computed for pointclouds only!";
inline constexpr const char* kHullUnsupportedType = kUnsupportedDataTypes;

struct HullResult {
    std::vector<alg3D::Vec3d> vertices;  // used hull vertices, in input order
    std::vector<std::uint64_t> indices;  // three per triangle, into `vertices`
    std::string name;                    // cloud name + "_hull"
    alg3D::Color color;                  // the cloud's colour, each channel halved
    std::string duration;                // elapsed text of the build
    // The console lines: the build's elapsed text, then "convex hull finished in <t>\n"
    // (t taken after the extraction).
    std::string console;
    double milliseconds = 0.0;  // wall time of the build
    bool aborted = false;       // the abort flag ended the build; everything else is empty

    std::size_t triangleCount() const { return indices.size() / 3; }
    // The information box: "triangles:\t" T "      \n" "vertices:\t" V "\n" "duration:\t" D.
    std::string infoText() const;
    // The mesh as a triangle soup (three corners per triangle), as the STL writer takes it.
    std::vector<alg3D::Vec3d> triangleSoup() const;
};

HullResult runHullCommand(const std::vector<alg3D::Vec3d>& points, const std::string& cloudName,
                          const alg3D::Color& cloudColor, const std::atomic<bool>* abort = nullptr);
HullResult runHullCommand(const std::vector<alg3D::GLPoint>& points, const std::string& cloudName,
                          const alg3D::Color& cloudColor, const std::atomic<bool>* abort = nullptr);

}  // namespace commands
}  // namespace tessaro
