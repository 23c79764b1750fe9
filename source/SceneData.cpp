#include "SceneData.h"

#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

using alg3D::Vec3d;
using tessaro::commands::DataKind;
using tessaro::commands::DistanceOperand;
using tessaro::commands::JobStatus;
using tessaro::commands::LoadedData;
using tessaro::commands::PollCallback;

DistanceOperand operandOf(const GLBaseObject* object) {
    if (dynamic_cast<const GLObjPnts*>(object) || dynamic_cast<const GLObjPntsColored*>(object) ||
        dynamic_cast<const GLObjPntsUniform*>(object))
        return DistanceOperand::kPoints;
    if (dynamic_cast<const GLObjSTL*>(object)) return DistanceOperand::kMesh;
    if (object && object->getObjectType() == GLBaseObject::kPrimitive)
        return DistanceOperand::kPrimitive;
    return DistanceOperand::kOther;
}

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

Vec3d coordsOf(const Vec3d& p) {
    return p;
}
Vec3d coordsOf(const alg3D::GLPoint& p) {
    return Vec3d(p.x, p.y, p.z);
}
void setCoords(Vec3d& p, const Vec3d& q) {
    p = q;
}
void setCoords(alg3D::GLPoint& p, const Vec3d& q) {
    p.x = q.x;
    p.y = q.y;
    p.z = q.z;
}

// Appends `source` to `out` a chunk at a time, each chunk placed by `m` unless `placed` is
// false; stops between chunks once `abort` is set.
template <typename P>
void copyPlaced(const std::vector<P>& source, std::vector<P>& out, const alg3D::Matrix4x4d& m,
                bool placed, const std::atomic<bool>* abort) {
    out.reserve(source.size());
    for (std::size_t first = 0; first < source.size(); first += kCopyChunk) {
        if (abort && *abort) return;
        const std::size_t last = std::min(source.size(), first + kCopyChunk);
        out.insert(out.end(), source.begin() + static_cast<std::ptrdiff_t>(first),
                   source.begin() + static_cast<std::ptrdiff_t>(last));
        if (!placed) continue;
        const std::int64_t a = static_cast<std::int64_t>(first);
        const std::int64_t b = static_cast<std::int64_t>(last);
#pragma omp parallel for schedule(static)
        for (std::int64_t i = a; i < b; ++i)
            setCoords(out[i], alg3D::matrix::transformPoint(m, coordsOf(out[i])));
    }
}

LoadedData copyOf(const GLBaseObject* object, const std::atomic<bool>* abort) {
    LoadedData data;
    if (!object) return data;
    const alg3D::Matrix4x4d m = object->objectPlacement();
    const bool placed = !(m == alg3D::Matrix4x4d::identity());
    const auto* colored = dynamic_cast<const GLObjPntsColored*>(object);
    const auto* uniform = dynamic_cast<const GLObjPntsUniform*>(object);
    if (const auto* cloud = dynamic_cast<const GLObjPnts*>(object)) {
        data.kind = DataKind::kPoints;
        copyPlaced(cloud->getPoints(), data.points, m, placed, abort);
    } else if (const auto* mesh = dynamic_cast<const GLObjSTL*>(object)) {
        data.kind = DataKind::kMesh;
        copyPlaced(mesh->corners(), data.points, m, placed, abort);
    } else if (colored || uniform) {
        data.kind = DataKind::kColoredPoints;
        copyPlaced(colored ? colored->getPoints() : uniform->getPoints(), data.coloredPoints, m,
                   placed, abort);
    }
    return data;
}

}  // namespace

LoadedData sceneDataOf(const GLBaseObject* object) {
    return copyOf(object, nullptr);
}

JobStatus runOnWorker(const std::function<void(const std::atomic<bool>& abort)>& work,
                      const PollCallback& poll) {
    std::atomic<bool> abort{false};
    const tessaro::commands::JobHooks hooks{[] { return 0.0f; }, [&abort] { abort = true; }};
    const JobStatus status = tessaro::commands::runJob([&] { work(abort); }, hooks, poll);
    return abort ? JobStatus::kAborted : status;
}

JobStatus sceneDataOf(const std::vector<std::pair<const GLBaseObject*, LoadedData*>>& objects,
                      const PollCallback& poll) {
    return runOnWorker(
        [&objects](const std::atomic<bool>& abort) {
            for (const auto& [object, data] : objects)
                *data = copyOf(object, &abort);
        },
        poll);
}
