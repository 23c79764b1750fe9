#include "commands/DistancesCommand.h"

#include <omp.h>

#include <chrono>
#include <stdexcept>
#include <utility>

#include "alg3D/algorithm/Distances.h"
#include "alg3D/algorithm/DistancesPrimitives.h"
#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitObjCone.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitObjLine3D.h"
#include "alg3D/approximate/FitObjPlane.h"
#include "alg3D/approximate/FitObjSphere.h"
#include "alg3D/approximate/FitObjSuperEllipse3D.h"
#include "alg3D/approximate/FitObjTorus.h"
#include "alg3D/matrix/TimeMeasurement.h"

namespace tessaro {
namespace commands {
namespace {

using namespace alg3D::algorithm;
using alg3D::GLPoint;
using alg3D::TimeMeasurement;
using alg3D::Vec3d;

using Clock = std::chrono::steady_clock;

// Runs a distance worker on its own thread with the record's control fields wired to
// the poll callback.
template <typename Param>
JobStatus runWorker(Param& param, const char* name, int threads, const PollCallback& poll,
                    std::chrono::milliseconds interval, std::string& duration, std::string& console,
                    void (*work)(Param&)) {
    param.control.threads = threads;
    TimeMeasurement watch(name);
    watch.setReport(false);
    const JobHooks hooks{[&param] { return param.control.progress.load(); },
                         [&param] { param.control.abort.store(true); }};
    const JobStatus status = runJob([&param, work] { work(param); }, hooks, poll, interval);
    duration = watch.elapsedText();
    console += std::string(name) + " finished in " + duration + "\n";
    return status;
}

template <typename T>
std::pair<const T*, const T*> rangeOf(const std::vector<T>& v) {
    return {v.data(), v.data() + v.size()};
}

template <typename Q>
JobStatus cloudOrMesh(const LoadedData& ref, const Q* tb, const Q* te, const DistancesOptions& o,
                      DistancesResult& r, const PollCallback& poll,
                      std::chrono::milliseconds interval) {
    if (ref.kind == DataKind::kMesh) {
        const auto proxies = makeTriangleProxies(ref.points);
        ParamDistances2Mesh<alg3D::algorithm::KdTriangleProxy<Vec3d>, Q> p;
        p.triangleBegin = proxies.data();
        p.triangleEnd = proxies.data() + proxies.size();
        p.testBegin = tb;
        p.testEnd = te;
        p.maxDistance = o.maxDistance;
        p.result = &r.values;
        return runWorker(p, "calcDistancesMesh", o.threads, poll, interval, r.duration, r.console,
                         &calcDistancesMesh<alg3D::algorithm::KdTriangleProxy<Vec3d>, Q>);
    }
    r.noPartnerMarker = true;
    if (ref.kind == DataKind::kColoredPoints) {
        ParamDistances<GLPoint, Q> p;
        std::tie(p.referenceBegin, p.referenceEnd) = rangeOf(ref.coloredPoints);
        p.testBegin = tb;
        p.testEnd = te;
        p.maxDistance = o.maxDistance;
        p.result = &r.values;
        return runWorker(p, "calcDistancesPts2Pts", o.threads, poll, interval, r.duration,
                         r.console, &calcDistancesPts2Pts<GLPoint, Q>);
    }
    ParamDistances<Vec3d, Q> p;
    std::tie(p.referenceBegin, p.referenceEnd) = rangeOf(ref.points);
    p.testBegin = tb;
    p.testEnd = te;
    p.maxDistance = o.maxDistance;
    p.result = &r.values;
    return runWorker(p, "calcDistancesPts2Pts", o.threads, poll, interval, r.duration, r.console,
                     &calcDistancesPts2Pts<Vec3d, Q>);
}

// A fit object with the geometry's values as given start values.
template <typename FitObj>
FitObj primitiveOf(const FitGeometry& g) {
    FitOptions o;
    o.point.give(g.point);
    o.direction.give(g.direction);
    o.radius.give(g.radius);
    o.radius2.give(g.radius2);
    o.angle.give(g.angle);
    o.factor.give(g.factor);
    FitObj fit;
    applyStartValues(fit, o);
    return fit;
}

template <typename Q>
void primitiveDistances(const DistanceReference& ref, const Q* tb, const Q* te, int threads,
                        std::vector<double>& out) {
    using namespace alg3D::approximate;
    const std::optional<FitShape> shape = fitShapeFromName(ref.primitive);
    if (!shape) throw std::runtime_error(kUnknownObject);
    out.assign(static_cast<std::size_t>(te - tb), kDistanceUnset);
    double* o = out.data();
    const FitGeometry& g = ref.geometry;
    switch (*shape) {
        case FitShape::kLine:
            return distancesToPrimitive(primitiveOf<FitObjLine3D>(g), tb, te, o, threads);
        case FitShape::kPlane:
            return distancesToPrimitive(primitiveOf<FitObjPlane>(g), tb, te, o, threads);
        case FitShape::kCircle:
            return distancesToPrimitive(primitiveOf<FitObjCircle3D>(g), tb, te, o, threads);
        case FitShape::kEllipse:
            return distancesToPrimitive(primitiveOf<FitObjEllipse3D>(g), tb, te, o, threads);
        case FitShape::kSuperEllipse:
            return distancesToPrimitive(primitiveOf<FitObjSuperEllipse3D>(g), tb, te, o, threads);
        case FitShape::kSphere:
            return distancesToPrimitive(primitiveOf<FitObjSphere>(g), tb, te, o, threads);
        case FitShape::kCylinder:
            return distancesToPrimitive(primitiveOf<FitObjCylinder>(g), tb, te, o, threads);
        case FitShape::kCone:
            return distancesToPrimitive(primitiveOf<FitObjCone>(g), tb, te, o, threads);
        case FitShape::kTorus:
            return distancesToPrimitive(primitiveOf<FitObjTorus>(g), tb, te, o, threads);
    }
    throw std::runtime_error(kUnknownObject);
}

template <typename Q>
JobStatus compute(const DistanceReference& ref, const Q* tb, const Q* te, const DistancesOptions& o,
                  DistancesResult& r, const PollCallback& poll,
                  std::chrono::milliseconds interval) {
    if (ref.data) return cloudOrMesh(*ref.data, tb, te, o, r, poll, interval);
    TimeMeasurement watch("distances");
    watch.setReport(false);
    primitiveDistances(ref, tb, te, o.threads, r.values);
    r.duration = watch.elapsedText();
    return JobStatus::kCompleted;
}

// A point without a partner within a bounded search lies farther than the bound; when
// every such distance is beyond the range, "select outside" takes it as well.
void selectUnmatchedOutside(DistancesResult& r, const DistancesOptions& o) {
    const DistanceEvaluationSettings& s = o.evaluation;
    const double bound = o.maxDistance;
    if (!s.selectOutside || !(bound > 0) || s.maxD > bound) return;
    if (!(r.noPartnerMarker || s.absolute || s.minD >= -bound)) return;
    DistanceEvaluation& e = r.evaluation;
    for (std::size_t i = 0; i < r.values.size(); ++i) {
        const double v = r.values[i];
        const bool unmatched = r.noPartnerMarker ? v == -1.0 : v == kDistanceUnset;
        if (unmatched && !e.selected[i]) {
            e.selected[i] = 1;
            ++e.selectedCount;
        }
    }
    r.text = e.text(r.duration);
}

}  // namespace

const char* distancesSelectionProblem(const std::vector<DistanceOperand>& selection) {
    if (selection.size() != 2) return kSelectTwoObjects;
    const DistanceOperand reference = selection[0], test = selection[1];
    if (reference == DistanceOperand::kPrimitive && test == DistanceOperand::kPrimitive)
        return kTwoPrimitives;
    if (test != DistanceOperand::kPoints || reference == DistanceOperand::kOther)
        return kOperationNotSupported;
    return nullptr;
}

bool DistancesResult::matched(std::size_t i) const {
    return isRealDistance(values[i], noPartnerMarker);
}

JobStatus runDistancesCommand(const DistanceReference& reference, const LoadedData& test,
                              const DistancesOptions& options, DistancesResult& result,
                              const PollCallback& poll, std::chrono::milliseconds interval) {
    if (test.kind == DataKind::kMesh) throw std::runtime_error(kOperationNotSupported);
    const auto start = Clock::now();
    DistancesResult r;
    JobStatus status;
    if (test.kind == DataKind::kColoredPoints) {
        const auto [b, e] = rangeOf(test.coloredPoints);
        status = compute(reference, b, e, options, r, poll, interval);
    } else {
        const auto [b, e] = rangeOf(test.points);
        status = compute(reference, b, e, options, r, poll, interval);
    }
    if (status == JobStatus::kAborted) return status;

    // The evaluation (statistics, colours, range selection) passes over every distance a
    // few times: on a worker as well, so that the caller's poll keeps a window answering.
    TimeMeasurement watch("evaluateDistances");
    watch.setReport(false);
    const auto evaluate = [&] {
        DistanceEvaluationSettings settings = options.evaluation;
        settings.noPartnerMarker = r.noPartnerMarker;
        r.evaluation = evaluateDistances(r.values, settings);
        r.text = r.evaluation.text(r.duration);
        selectUnmatchedOutside(r, options);
    };
    const JobHooks hooks{[] { return 100.0f; }, [] {}};
    if (runJob(evaluate, hooks, poll, interval) == JobStatus::kAborted) return JobStatus::kAborted;
    r.console += "evaluateDistances finished in " + watch.elapsedText() + "\n";
    r.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    result = std::move(r);
    return JobStatus::kCompleted;
}

}  // namespace commands
}  // namespace tessaro
