#include "commands/MergeMesh.h"

#include <atomic>

#include "alg3D/algorithm/MergeCorners.h"

namespace tessaro {
namespace commands {

JobStatus mergeMesh(const std::vector<alg3D::Vec3d>& soup, std::vector<alg3D::Vec3d>& vertices,
                    std::vector<std::uint64_t>& indices, const PollCallback& poll,
                    std::chrono::milliseconds interval) {
    std::vector<alg3D::Vec3d> mergedVertices;
    std::vector<std::uint64_t> mergedIndices;
    std::atomic<bool> abortAsked{false};
    const JobHooks hooks{[] { return 50.0f; }, [&abortAsked] { abortAsked = true; }};
    JobStatus status = runJob(
        [&] { alg3D::algorithm::mergeCoincidentCorners(soup, mergedVertices, mergedIndices); },
        hooks, poll, interval);
    // A merge that ended between two polls is asked once more, as the loaders do.
    if (status == JobStatus::kAborted || abortAsked || (poll && poll(100.0f)))
        return JobStatus::kAborted;
    vertices = std::move(mergedVertices);
    indices = std::move(mergedIndices);
    return status;
}

}  // namespace commands
}  // namespace tessaro
