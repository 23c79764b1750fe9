#include "commands/RegisterCommand.h"

#include <omp.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <vector>

#include "alg3D/algorithm/Distances.h"
#include "alg3D/algorithm/KdTree.h"
#include "alg3D/matrix/PointStatistics.h"
#include "alg3D/matrix/TimeMeasurement.h"
#include "commands/MeshVertices.h"
#include "commands/SelectionChecks.h"

namespace tessaro {
namespace commands {
namespace {

using namespace alg3D::algorithm;
using alg3D::GLPoint;
using alg3D::Vec3d;

template <typename P>
void applyTransform(std::vector<P>& points, const IcpTransform& t) {
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(points.size());
#pragma omp parallel for schedule(static) if (n > 100000)
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        P& p = points[static_cast<std::size_t>(i)];
        const Vec3d x = t.apply(alg3D::coords(p));
        p.x = x.x;
        p.y = x.y;
        p.z = x.z;
    }
}

// The centre of the reference: the mean of its points, for a mesh of its vertices each
// taken once (the corners of the triangle soup would weight a vertex by its valence).
Vec3d referenceCentre(const LoadedData& ref) {
    if (ref.kind == DataKind::kMesh) {
        const std::vector<Vec3d> vertices = meshVertices(ref.points);
        return alg3D::centroid(vertices.data(), vertices.data() + vertices.size());
    }
    return ref.kind == DataKind::kColoredPoints
               ? alg3D::centroid(ref.coloredPoints.data(),
                                 ref.coloredPoints.data() + ref.coloredPoints.size())
               : alg3D::centroid(ref.points.data(), ref.points.data() + ref.points.size());
}

// The point-to-plane run, timed like the worker entry of the other variants.
template <typename P>
void pointToPlane(ParamICPalgorithm<P, Vec3d>& param, const IcpNearestWithNormal& nearest,
                  int robust, PointToPlaneReport& report) {
    alg3D::TimeMeasurement watch("ICP-Registration");
    watch.setReport(param.report);
    PointToPlaneOptions options;
    options.robust = robust;
    param.result = registerPointToPlane(param.state, param.dataBegin, param.dataEnd, param.samples,
                                        param.searchRadius, param.maxIterations, param.tolerance,
                                        nearest, options, &report);
    param.duration = watch.elapsedText();
    param.milliseconds = static_cast<double>(watch.elapsedMilliseconds());
}

// The statistics text with the plane residuals and the unobservable freedoms before the
// duration line.
std::string pointToPlaneStatisticsText(const IcpState& state, const PointToPlaneReport& report,
                                       const std::string& duration) {
    std::string text = icpStatisticsText(state, "");
    const std::string last = "duration: ";
    text.erase(text.size() - last.size());
    char line[128];
    std::snprintf(line, sizeof line, "planeMeanDev.: %.8f\nplaneRMSE: %.8f\n", report.planeMean,
                  report.planeRms);
    text += line;
    if (report.unobservable) text += "unobservable: " + icpFreedomNames(report.unobservable) + "\n";
    return text + last + duration;
}

// `prepare` builds what `nearest` searches; it runs on the worker (a tree over a big
// reference takes long) and may stop early when the flag it gets is set.
template <typename P>
JobStatus runWith(std::vector<P>& data, const LoadedData& reference,
                  const std::function<void(const std::atomic<bool>&)>& prepare,
                  const IcpNearest& nearest, const IcpNearestWithNormal& nearestWithNormal,
                  const RegisterOptions& o, RegisterResult& result, const PollCallback& poll,
                  std::chrono::milliseconds interval, const LiveTransform& live) {
    // The reference type only chooses the nearest function, built by the caller.
    ParamICPalgorithm<P, Vec3d> param;
    param.state.threads = static_cast<unsigned>(o.threads > 0 ? o.threads : omp_get_num_procs());
    param.state.freedom = o.freedom;
    param.state.rotationCentreIsOrigin = o.rotateAboutOrigin;
    param.nearest = nearest;
    param.dataBegin = data.data();
    param.dataEnd = data.data() + data.size();
    param.chebyshev = o.chebyshev;
    param.mesh = reference.kind == DataKind::kMesh;
    param.searchRadius = o.searchRadius;
    param.maxIterations = o.maxIterations;
    param.tolerance = o.tolerance;
    param.samples = o.chebyshev ? 0 : o.samples;
    param.report = false;
    PointToPlaneReport report;
    const bool align = o.alignCenters;
    const bool move = o.moveData;

    const JobHooks hooks{[&param] { return param.state.progress.load(); },
                         [&param] { param.state.cancel.store(true); }};
    // The poll callback runs on this thread; the transform is read under the state's lock.
    PollCallback watched = poll;
    if (live) {
        watched = [&param, &poll, &live](float percent) {
            live(param.state.transform());
            return poll && poll(percent);
        };
    }
    // Everything that passes over the points runs on the worker, so that the calling
    // thread goes on polling: the tree, the centres, the run and moving the data.
    const JobStatus status = runJob(
        [&] {
            if (align)
                alignCenters(param.state, param.dataBegin, param.dataEnd,
                             referenceCentre(reference));
            prepare(param.state.cancel);
            if (param.state.cancel.load()) {
            } else if (o.pointToPlane) {
                pointToPlane(param, nearestWithNormal, o.robust, report);
            } else {
                icpRegistration(param);
            }
            if (move) applyTransform(data, param.state.transform());
        },
        hooks, watched, interval);

    RegisterResult r;
    r.method = registrationMethodName(o);
    r.code = param.result;
    r.iterations = param.state.iterations;
    r.stats = param.state.stats;
    r.transform = param.state.transform();
    r.duration = param.duration;
    r.milliseconds = param.milliseconds;
    r.statistics = o.pointToPlane ? pointToPlaneStatisticsText(param.state, report, r.duration)
                                  : icpStatisticsText(param.state, r.duration);
    r.unobservable = report.unobservable;
    r.planeMean = report.planeMean;
    r.planeRms = report.planeRms;
    r.transformText = icpTransformText(r.transform);
    r.console = "ICP-Registration finished in " + r.duration + "\n";
    result = std::move(r);
    if (live) live(result.transform);
    return status;
}

}  // namespace

const char* registrationMethodName(const RegisterOptions& options) {
    if (options.pointToPlane) return "point-to-plane";
    return options.chebyshev ? "chebyshev" : "gauss";
}

const char* registrationSelectionProblem(const std::vector<DistanceOperand>& selection) {
    if (selection.size() != 2) return kSelectTwoObjects;
    const DistanceOperand reference = selection[0], data = selection[1];
    if (reference == DistanceOperand::kPrimitive || data == DistanceOperand::kPrimitive)
        return kRegistrationWithPrimitives;
    if (reference == DistanceOperand::kMesh && data == DistanceOperand::kMesh)
        return kMeshesCanNotBeRegistered;
    if (reference == DistanceOperand::kOther || data == DistanceOperand::kOther)
        return kUnsupportedDataTypes;
    return nullptr;
}

void checkRegistrationFiles(const std::string& dataFile, const std::string& referenceFile) {
    if (fileSuffix(dataFile) == "stl" && fileSuffix(referenceFile) == "stl")
        throw std::runtime_error(kMeshesCanNotBeRegistered);
}

JobStatus runRegisterCommand(LoadedData& data, const LoadedData& reference,
                             const RegisterOptions& options, RegisterResult& result,
                             const PollCallback& poll, std::chrono::milliseconds interval,
                             const LiveTransform& live) {
    if (data.kind == DataKind::kMesh && reference.kind == DataKind::kMesh) {
        throw std::runtime_error(kMeshesCanNotBeRegistered);
    }
    if (options.pointToPlane && options.chebyshev)
        throw std::invalid_argument(kRegistrationMethods);
    if (options.pointToPlane && options.normalsK < 3)
        throw std::invalid_argument(kNormalsNeighbours);
    // Trees over the reference; they live for the run only.
    KdTree<Vec3d> pointTree;
    KdTree<GLPoint> colorTree;
    KdTree<KdTriangleProxy<Vec3d>> meshTree;
    std::vector<KdTriangleProxy<Vec3d>> proxies;
    IcpNearest nearest;
    IcpNearestWithNormal nearestWithNormal;
    std::function<void(const std::atomic<bool>&)> prepare;
    // The local surfaces of a point reference, computed as the pairs ask for them (a run
    // with samples needs only a few of a large reference's): the caller's normals when
    // there is one per point, otherwise computed ones.
    const std::size_t referenceCount = reference.pointCount();
    const alg3D::Vec3f* givenNormals =
        options.referenceNormals && options.referenceNormals->size() == referenceCount
            ? options.referenceNormals->data()
            : nullptr;
    const bool surfaces = options.pointToPlane && reference.kind != DataKind::kMesh;
    IcpLocalSurfaces<Vec3d> pointSurfaces(pointTree, options.normalsK, givenNormals);
    IcpLocalSurfaces<GLPoint> colorSurfaces(colorTree, options.normalsK, givenNormals);
    if (reference.kind == DataKind::kMesh) {
        prepare = [&](const std::atomic<bool>& stop) {
            proxies = makeTriangleProxies(reference.points);
            if (!proxies.empty())
                meshTree.build(proxies.data(), proxies.data() + proxies.size(), &stop);
        };
        nearest = icpNearestOnMesh(meshTree);
        nearestWithNormal = icpNearestOnMeshWithNormal(meshTree);
    } else if (reference.kind == DataKind::kColoredPoints) {
        prepare = [&](const std::atomic<bool>& stop) {
            const auto& p = reference.coloredPoints;
            if (!p.empty()) colorTree.build(p.data(), p.data() + p.size(), &stop);
            if (surfaces) colorSurfaces.allocate();
        };
        nearest = icpNearestPoint(colorTree);
    } else {
        prepare = [&](const std::atomic<bool>& stop) {
            const auto& p = reference.points;
            if (!p.empty()) pointTree.build(p.data(), p.data() + p.size(), &stop);
            if (surfaces) pointSurfaces.allocate();
        };
        nearest = icpNearestPoint(pointTree);
    }
    if (surfaces) {
        nearestWithNormal = reference.kind == DataKind::kColoredPoints ? colorSurfaces.nearest()
                                                                       : pointSurfaces.nearest();
    }
    if (data.kind == DataKind::kColoredPoints) {
        return runWith(data.coloredPoints, reference, prepare, nearest, nearestWithNormal, options,
                       result, poll, interval, live);
    }
    return runWith(data.points, reference, prepare, nearest, nearestWithNormal, options, result,
                   poll, interval, live);
}

}  // namespace commands
}  // namespace tessaro
