#include "SceneData.h"

#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"

#include <atomic>
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

LoadedData sceneDataOf(const GLBaseObject* object) {
    LoadedData data;
    if (!object) return data;
    const alg3D::Matrix4x4d m = object->objectPlacement();
    const bool placed = !(m == alg3D::Matrix4x4d::identity());
    auto place = [&](std::vector<Vec3d>& points) {
        if (!placed) return;
        const std::int64_t n = static_cast<std::int64_t>(points.size());
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < n; ++i)
            points[i] = alg3D::matrix::transformPoint(m, points[i]);
    };
    const auto* colored = dynamic_cast<const GLObjPntsColored*>(object);
    const auto* uniform = dynamic_cast<const GLObjPntsUniform*>(object);
    if (const auto* cloud = dynamic_cast<const GLObjPnts*>(object)) {
        data.kind = DataKind::kPoints;
        data.points = cloud->getPoints();
        place(data.points);
    } else if (const auto* mesh = dynamic_cast<const GLObjSTL*>(object)) {
        data.kind = DataKind::kMesh;
        data.points = mesh->corners();
        place(data.points);
    } else if (colored || uniform) {
        data.kind = DataKind::kColoredPoints;
        data.coloredPoints = colored ? colored->getPoints() : uniform->getPoints();
        const std::int64_t n = placed ? static_cast<std::int64_t>(data.coloredPoints.size()) : 0;
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < n; ++i) {
            alg3D::GLPoint& p = data.coloredPoints[i];
            const Vec3d q = alg3D::matrix::transformPoint(m, Vec3d(p.x, p.y, p.z));
            p.x = q.x;
            p.y = q.y;
            p.z = q.z;
        }
    }
    return data;
}

JobStatus runOnWorker(const std::function<void()>& work, const PollCallback& poll) {
    std::atomic<bool> abort{false};
    const tessaro::commands::JobHooks hooks{[] { return 0.0f; }, [&abort] { abort = true; }};
    const JobStatus status = tessaro::commands::runJob(work, hooks, poll);
    return abort ? JobStatus::kAborted : status;
}

JobStatus sceneDataOf(const std::vector<std::pair<const GLBaseObject*, LoadedData*>>& objects,
                      const PollCallback& poll) {
    return runOnWorker(
        [&objects] {
            for (const auto& [object, data] : objects)
                *data = sceneDataOf(object);
        },
        poll);
}
