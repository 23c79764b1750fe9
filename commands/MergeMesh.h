// The mesh of a loaded triangle soup as shared vertices and triangle indices, merged on a
// worker thread that the caller polls like a file read (the window keeps drawing its
// progress dialog; a 2,000,000-triangle soup takes about a second).
//
// Input: `soup`, three corners per triangle (as loadFile gives a mesh).
// Output: `vertices` and `indices` as alg3D::algorithm::mergeCoincidentCorners gives them
// (corners within 2e-6 are one vertex, first occurrence wins).
// Abort: the merge itself cannot stop half-way; an abort asked for while it runs is
// honoured when it ends: the status is kAborted and both outputs are left as they were.
// Errors: what the merge throws (memory), rethrown in the calling thread.
#pragma once

#include <cstdint>
#include <vector>

#include "alg3D/matrix/Matrix.h"
#include "commands/JobRunner.h"

namespace tessaro {
namespace commands {

JobStatus mergeMesh(const std::vector<alg3D::Vec3d>& soup, std::vector<alg3D::Vec3d>& vertices,
                    std::vector<std::uint64_t>& indices, const PollCallback& poll = neverAbort,
                    std::chrono::milliseconds interval = kDefaultPollInterval);

}  // namespace commands
}  // namespace tessaro
