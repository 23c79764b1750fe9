// The selection checks of the commands that work on one point cloud (convex hull,
// thinning, regions, smoothing, surface features, normals): the window counts what is
// selected, these decide whether the command may run and which warning it shows.
//
// Checks, in this order: nothing selected -> kSelectPointcloud; more than one object ->
// kSelectOnePointcloud; the object is not a point cloud -> the command's own text.
// Cost: constant; no errors.
#pragma once

#include <cstddef>

namespace tessaro {
namespace commands {

inline constexpr const char* kSelectPointcloud = "Please select a pointcloud!";
inline constexpr const char* kSelectOnePointcloud = "Please select one pointcloud only!";
// A cloud whose point type the command does not know.
inline constexpr const char* kUnsupportedDataTypes = "Data type(s) are not supported.";

// The warning that stops the command, or nullptr when it may run.
const char* checkSingleCloud(std::size_t selectedObjects, bool isPointCloud,
                             const char* notACloudText);

}  // namespace commands
}  // namespace tessaro
