#include "commands/FitCommand.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <utility>

#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitObjCone.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitObjLine3D.h"
#include "alg3D/approximate/FitObjPlane.h"
#include "alg3D/approximate/FitObjSphere.h"
#include "alg3D/approximate/FitObjSuperEllipse3D.h"
#include "alg3D/approximate/FitObjTorus.h"
#include "alg3D/approximate/SolidElements.h"
#include "alg3D/matrix/PointStatistics.h"
#include "alg3D/matrix/TimeMeasurement.h"
#include "commands/FitPrimitiveInfo.h"

namespace tessaro {
namespace commands {

using alg3D::Vec3d;
using namespace alg3D::approximate;

namespace {

struct ShapeEntry {
    FitShape shape;
    const char* name;
    const char* title;
    std::size_t minimumPoints;
    unsigned groups;
};

constexpr ShapeEntry kShapeTable[] = {
    {FitShape::kLine, "line", "Line approximation", 0, kGroupPoint | kGroupDirection},
    {FitShape::kPlane, "plane", "Plane approximation", 0, kGroupPoint | kGroupDirection},
    {FitShape::kCircle, "circle", "Circle approximation", 3,
     kGroupPoint | kGroupDirection | kGroupRadius},
    {FitShape::kEllipse, "ellipse", "Ellipse approximation", 7,
     kGroupPoint | kGroupDirection | kGroupRadius | kGroupRadius2 | kGroupAngle},
    {FitShape::kSuperEllipse, "superellipse", "Superellipse approximation", 7,
     kGroupPoint | kGroupDirection | kGroupRadius | kGroupRadius2 | kGroupAngle | kGroupFactor},
    {FitShape::kSphere, "sphere", "Sphere approximation", 4, kGroupPoint | kGroupRadius},
    {FitShape::kCylinder, "cylinder", "Cylinder approximation", 7,
     kGroupPoint | kGroupDirection | kGroupRadius},
    {FitShape::kCone, "cone", "Cone approximation", 7,
     kGroupPoint | kGroupDirection | kGroupRadius | kGroupAngle},
    {FitShape::kTorus, "torus", "Torus approximation", 7,
     kGroupPoint | kGroupDirection | kGroupRadius | kGroupRadius2},
};

const ShapeEntry& entryOf(FitShape shape) {
    for (const ShapeEntry& e : kShapeTable)
        if (e.shape == shape) return e;
    throw std::invalid_argument("Unknown fit shape.");
}

void checkMethod(int method) {
    if (method != kGaussNewton && method != kLevenbergMarquardt && method != kChebyshev) {
        throw std::invalid_argument("Unsupported fit method.");
    }
}

// Outer and inner Chebyshev elements: the central result moved out to the largest or in to
// the smallest signed deviation.
template <class FitObj>
void shiftElement(FitObj&, FitElement, double, double) {}

void shiftElement(FitObjPlane& fit, FitElement element, double lo, double hi) {
    if (element == FitElement::kOuter) fit.point = fit.point + hi * fit.normal;
    if (element == FitElement::kInner) fit.point = fit.point + lo * fit.normal;
}

void shiftElement(FitObjSphere& fit, FitElement element, double lo, double hi) {
    if (element == FitElement::kOuter) fit.radius += hi;
    if (element == FitElement::kInner) fit.radius += lo;
}

void shiftElement(FitObjCylinder& fit, FitElement element, double lo, double hi) {
    if (element == FitElement::kOuter) fit.radius += hi;
    if (element == FitElement::kInner) fit.radius += lo;
}

// Enclosing and inscribing elements: on a worker thread through the job runner, like the
// other fits, with a stopwatch of their own; the poll callback sees their progress and may
// abort them.
template <class FitObj>
JobStatus runSolidElement(FitObj&, const Vec3d*, std::size_t, const FitOptions&, FitRunInfo&,
                          const PollCallback&, std::chrono::milliseconds) {
    throw std::invalid_argument("Unsupported fit element.");
}

template <class FitObj, class Fn>
JobStatus timedElement(FitObj& fit, const Vec3d* begin, std::size_t count,
                       const FitOptions& options, FitRunInfo& info, const PollCallback& poll,
                       std::chrono::milliseconds interval, Fn fn) {
    std::atomic<bool> abort{false};
    std::atomic<float> progress{0.0f};
    std::uint64_t iterations = 0;
    std::string duration = "-";
    double milliseconds = 0.0;
    const JobHooks hooks{[&progress] { return progress.load(); }, [&abort] { abort.store(true); }};
    const int threads = options.threads;
    const std::uint64_t maxIterations = options.maxIterations;
    const JobStatus status = runJob(
        [&] {
            // The OpenMP thread count belongs to the thread that sets it (see runFitJob).
            if (threads > 0) omp_set_num_threads(threads);
            alg3D::TimeMeasurement watch("");
            watch.setReport(false);
            const auto start = std::chrono::steady_clock::now();
            iterations = fn(begin, begin + count, fit, maxIterations, abort, progress);
            duration = watch.elapsedText();
            milliseconds =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        },
        hooks, poll, interval);
    info.iterations = iterations;
    info.duration = duration;
    info.milliseconds = milliseconds;
    return status;
}

JobStatus runSolidElement(FitObjSphere& fit, const Vec3d* begin, std::size_t count,
                          const FitOptions& options, FitRunInfo& info, const PollCallback& poll,
                          std::chrono::milliseconds interval) {
    return timedElement(fit, begin, count, options, info, poll, interval,
                        options.element == FitElement::kEnclosing ? minimumEnclosingSphere
                                                                  : maximumInscribingSphere);
}

JobStatus runSolidElement(FitObjCylinder& fit, const Vec3d* begin, std::size_t count,
                          const FitOptions& options, FitRunInfo& info, const PollCallback& poll,
                          std::chrono::milliseconds interval) {
    return timedElement(fit, begin, count, options, info, poll, interval,
                        options.element == FitElement::kEnclosing ? minimumEnclosingCylinder
                                                                  : maximumInscribingCylinder);
}

int threadsFor(const FitOptions& options) {
    return options.threads > 0 ? options.threads : omp_get_num_procs();
}

bool isZero(const Vec3d& v) {
    return v.x == 0.0 && v.y == 0.0 && v.z == 0.0;
}

// Deviation of every point from the fitted shape, in input order.
template <class FitObj>
std::vector<double> deviationsOf(const FitObj& fit, const Vec3d* begin, std::size_t count,
                                 int threads) {
    std::vector<double> out(count);
    const long long n = static_cast<long long>(count);
    double* values = out.data();
#pragma omp parallel for schedule(dynamic, 4096) num_threads(threads)
    for (long long i = 0; i < n; ++i) {
        values[i] = fit.deviation(begin[i]);
    }
    return out;
}

struct Range {
    double lo = 0.0;
    double hi = 0.0;
};

Range minMax(const std::vector<double>& values, int threads) {
    if (values.empty()) return {};
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    const long long n = static_cast<long long>(values.size());
    const double* v = values.data();
#pragma omp parallel for schedule(static) reduction(min                   \
                                                    : lo) reduction(max   \
                                                                    : hi) \
    num_threads(threads) if (n >= 100000)
    for (long long i = 0; i < n; ++i) {
        lo = std::min(lo, v[i]);
        hi = std::max(hi, v[i]);
    }
    return {lo, hi};
}

// Range of the projections direction·(p − origin) of the points.
Range projectionRange(const Vec3d* begin, std::size_t count, const Vec3d& origin,
                      const Vec3d& direction, int threads) {
    if (count == 0) return {};
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    const long long n = static_cast<long long>(count);
#pragma omp parallel for schedule(static) reduction(min                   \
                                                    : lo) reduction(max   \
                                                                    : hi) \
    num_threads(threads) if (n >= 100000)
    for (long long i = 0; i < n; ++i) {
        const double t = direction.dot(begin[i] - origin);
        lo = std::min(lo, t);
        hi = std::max(hi, t);
    }
    return {lo, hi};
}

double largestInPlaneDistance(const Vec3d* begin, std::size_t count, const Vec3d& origin,
                              const Vec3d& normal, int threads) {
    const Vec3d n = normal.normalized();
    double largest = 0.0;
    const long long m = static_cast<long long>(count);
#pragma omp parallel for schedule(static) reduction(max        \
                                                    : largest) \
    num_threads(threads) if (m >= 100000)
    for (long long i = 0; i < m; ++i) {
        const Vec3d v = begin[i] - origin;
        largest = std::max(largest, (v - n * v.dot(n)).norm());
    }
    return largest;
}

bool hasExtent(FitShape shape) {
    return shape == FitShape::kLine || shape == FitShape::kCylinder || shape == FitShape::kCone;
}

template <class FitObj>
JobStatus runShape(FitShape shape, const Vec3d* begin, std::size_t count, const FitOptions& options,
                   FitResult& result, const PollCallback& poll, std::chrono::milliseconds interval,
                   const alg3D::TimeMeasurement& watch) {
    FitObj fit;
    applyStartValues(fit, options);
    FitRunInfo run;
    const bool solid =
        options.element == FitElement::kEnclosing || options.element == FitElement::kInscribing;
    const JobStatus status =
        solid ? runSolidElement(fit, begin, count, options, run, poll, interval)
              : runFitJob(fit, begin, begin + count, options, run, poll, interval);
    if (status == JobStatus::kAborted) return JobStatus::kAborted;

    // The deviations, statistics and extents take several passes over the points: they run
    // on a worker too, so that the caller's poll keeps a window answering, and an abort
    // asked for meanwhile drops the result after the pass under way.
    FitResult r;
    const int threads = threadsFor(options);
    std::atomic<bool> abort{false};
    const auto evaluate = [&] {
        if (options.element == FitElement::kOuter || options.element == FitElement::kInner) {
            const Range shift = minMax(deviationsOf(fit, begin, count, threads), threads);
            shiftElement(fit, options.element, shift.lo, shift.hi);
        }
        if (abort) return;
        r.geometry = fitGeometryOf(fit);
        r.deviations = deviationsOf(fit, begin, count, threads);
        if (abort) return;
        const Range range = minMax(r.deviations, threads);
        r.mindev = range.lo;
        r.maxdev = range.hi;
        r.sigma = alg3D::meanAndStdDev(r.deviations).sigma;
        if (abort) return;
        if (shape == FitShape::kPlane)
            r.planeRadius = largestInPlaneDistance(begin, count, r.geometry.point,
                                                   r.geometry.direction, threads);
        if (!hasExtent(shape)) return;
        const Range t =
            projectionRange(begin, count, r.geometry.point, r.geometry.direction, threads);
        r.extentStart = r.geometry.point + t.lo * r.geometry.direction;
        r.extentLength = t.hi - t.lo;
    };
    const JobHooks hooks{[] { return 100.0f; }, [&abort] { abort = true; }};
    if (runJob(evaluate, hooks, poll, interval) == JobStatus::kAborted || abort)
        return JobStatus::kAborted;

    r.shape = shape;
    r.title = fitTitle(shape);
    r.method = options.method;
    r.element = options.element;
    r.points = count;
    r.iterations = run.iterations;
    r.maxIterationsReached = run.iterations >= options.maxIterations;
    r.parameters = fitParameters(shape, r.geometry);

    r.statistics = fitStatisticsText(r.sigma, r.mindev, r.maxdev, r.iterations);
    r.console = fitConsoleText(shape, r.geometry, r.sigma, r.iterations, r.maxIterationsReached);
    r.description = fitDescription(shape, r.geometry, r.extentStart, r.extentLength);
    r.run = std::move(run);
    r.commandDuration = watch.elapsedText();
    result = std::move(r);
    return JobStatus::kCompleted;
}

}  // namespace

const char* fitElementName(FitElement element) {
    switch (element) {
        case FitElement::kCentral:
            return "central";
        case FitElement::kOuter:
            return "outer";
        case FitElement::kInner:
            return "inner";
        case FitElement::kEnclosing:
            return "enclosing";
        case FitElement::kInscribing:
            return "inscribing";
    }
    return "";
}

void checkFitMethod(FitShape shape, int method, FitElement element) {
    checkMethod(method);
    if (element == FitElement::kCentral) return;
    if (method != kChebyshev) throw std::invalid_argument("Unsupported fit element.");
    const bool solid = shape == FitShape::kSphere || shape == FitShape::kCylinder;
    const bool shifted = solid || shape == FitShape::kPlane;
    const bool ok =
        (element == FitElement::kOuter || element == FitElement::kInner) ? shifted : solid;
    if (!ok) throw std::invalid_argument("Unsupported fit element.");
}

const char* fitShapeName(FitShape shape) {
    return entryOf(shape).name;
}

std::optional<FitShape> fitShapeFromName(const std::string& name) {
    for (const ShapeEntry& e : kShapeTable)
        if (name == e.name) return e.shape;
    return std::nullopt;
}

const char* fitTitle(FitShape shape) {
    return entryOf(shape).title;
}

std::size_t fitMinimumPoints(FitShape shape) {
    return entryOf(shape).minimumPoints;
}

void checkFitPointCount(FitShape shape, std::size_t count) {
    if (count < fitMinimumPoints(shape)) throw NotEnoughPointsError();
}

unsigned fitGroups(FitShape shape) {
    return entryOf(shape).groups;
}

std::vector<FitParameter> fitParameters(FitShape shape, const FitGeometry& g) {
    const auto vec = [](const char* key, const Vec3d& v) {
        FitParameter p;
        p.key = key;
        p.isVector = true;
        p.vector = v;
        return p;
    };
    const auto num = [](const char* key, double value) {
        FitParameter p;
        p.key = key;
        p.scalar = value;
        return p;
    };
    switch (shape) {
        case FitShape::kLine:
            return {vec("point", g.point), vec("direction", g.direction)};
        case FitShape::kPlane:
            return {vec("point", g.point), vec("normal", g.direction), num("d", g.d)};
        case FitShape::kCircle:
            return {vec("center", g.point), vec("normal", g.direction), num("radius", g.radius)};
        case FitShape::kEllipse:
            return {vec("center", g.point), vec("normal", g.direction), num("a", g.radius),
                    num("b", g.radius2), num("angle", g.angle)};
        case FitShape::kSuperEllipse:
            return {vec("center", g.point), vec("normal", g.direction), num("a", g.radius),
                    num("b", g.radius2),    num("angle", g.angle),      num("factor", g.factor)};
        case FitShape::kSphere:
            return {vec("center", g.point), num("radius", g.radius)};
        case FitShape::kCylinder:
            return {vec("point", g.point), vec("direction", g.direction), num("radius", g.radius)};
        case FitShape::kCone:
            return {vec("point", g.point), vec("direction", g.direction), num("angle", g.angle),
                    num("radius", g.radius)};
        case FitShape::kTorus:
            return {vec("center", g.point), vec("direction", g.direction), num("r1", g.radius),
                    num("r2", g.radius2)};
    }
    return {};
}

std::string fitStatisticsText(double sigma, double mindev, double maxdev,
                              std::uint64_t iterations) {
    return formatText("sigma: %.6f\nmindev: %.6f\nmaxdev: %.6f\niterations: %zu", sigma, mindev,
                      maxdev, static_cast<std::size_t>(iterations));
}

std::string fitConsoleText(FitShape shape, const FitGeometry& g, double sigma,
                           std::uint64_t iterations, bool maxIterationsReached) {
    const Vec3d& p = g.point;
    const Vec3d& n = g.direction;
    const auto pointAndDirection = [&] {
        return formatText("pt: %lf,%lf,%lf\ndir: %1.10lf,%1.10lf,%1.10lf\n", p.x, p.y, p.z, n.x,
                          n.y, n.z);
    };
    switch (shape) {
        case FitShape::kLine: {
            std::string text;
            if (!maxIterationsReached) {
                text = formatText("iterations: %zu\n", static_cast<std::size_t>(iterations));
            }
            return text + pointAndDirection();
        }
        case FitShape::kPlane:
            return pointAndDirection() + formatText("d: %lf\n", g.d);
        case FitShape::kCircle:
            return pointAndDirection() + formatText("radius: %lf\n", g.radius);
        case FitShape::kEllipse:
        case FitShape::kSuperEllipse:
            return formatText(
                "a:\t%lf\nb:\t%lf\nk:\t%lf(%lf%s)\npt:\t%3.4lf,%3.4lf,%3.4lf\n"
                "dir:\t%1.10lf,%1.10lf,%1.10lf\n",
                g.radius, g.radius2, g.angle, degrees(g.angle), kDegreeSign, p.x, p.y, p.z, n.x,
                n.y, n.z);
        case FitShape::kSphere:
            return formatText("pt: %lf,%lf,%lf\nradius: %lf\n", p.x, p.y, p.z, g.radius);
        case FitShape::kCylinder:
            return pointAndDirection() + formatText("radius: %lf\n", g.radius) +
                   formatText("stdDev: %lf\n", sigma);
        case FitShape::kCone:
            return pointAndDirection() + formatText("angle: %lf\n", degrees(g.angle)) +
                   formatText("radius: %lf\n", g.radius) + formatText("stdDev: %lf\n", sigma);
        case FitShape::kTorus:
            return formatText(
                "r1: %lf\t r2: %lf\npoint: (%1.10lf,%1.10lf,%1.10lf)\n"
                "dir (%1.10lf,%1.10lf,%1.10lf)\n",
                g.radius, g.radius2, p.x, p.y, p.z, n.x, n.y, n.z);
    }
    return {};
}

std::string fitDescription(FitShape shape, const FitGeometry& g, const Vec3d& extentStart,
                           double extentLength) {
    switch (shape) {
        case FitShape::kLine:
            return lineInfoText(extentStart, g.direction);
        case FitShape::kPlane:
            return planeInfoText(g.point, g.direction);
        case FitShape::kCircle:
            return circleInfoText(g.radius, g.point, g.direction);
        case FitShape::kEllipse:
            return ellipseInfoText(g.radius, g.radius2, g.angle, g.point, g.direction);
        case FitShape::kSuperEllipse:
            return superEllipseInfoText(g.factor, g.radius, g.radius2, g.angle, g.point,
                                        g.direction);
        case FitShape::kSphere:
            return sphereInfoText(g.radius, g.point);
        case FitShape::kCylinder:
            return cylinderInfoText(g.radius, g.point, g.direction, extentStart, extentLength);
        case FitShape::kCone:
            return coneInfoText(g.angle, g.radius, g.point, g.direction, extentStart, extentLength);
        case FitShape::kTorus:
            return torusInfoText(g.radius, g.radius2, g.point, g.direction);
    }
    return {};
}

template <class FitObj>
JobStatus runFitJob(FitObj& fitObj, const Vec3d* begin, const Vec3d* end, const FitOptions& options,
                    FitRunInfo& info, const PollCallback& poll,
                    std::chrono::milliseconds interval) {
    checkMethod(options.method);
    ParamFitGeometry<FitObj, Vec3d> param;
    param.numThreads = threadsFor(options);
    param.method = options.method;
    param.weighting = options.weighting;
    param.maxIterations = options.maxIterations;
    param.begin = begin;
    param.end = end;
    param.fitObj = &fitObj;

    double milliseconds = 0.0;
    const JobHooks hooks{[&param] { return param.progress.load(); },
                         [&param] { param.abort.store(true); }};
    const int threads = options.threads;
    const JobStatus status = runJob(
        [&param, &milliseconds, threads] {
            // The OpenMP thread count belongs to the thread that sets it: a new worker
            // starts with the default (all processors), whatever the caller set.
            if (threads > 0) omp_set_num_threads(threads);
            std::atomic<bool> finished{false};
            std::exception_ptr error;
            const auto start = std::chrono::steady_clock::now();
            fitGeometry(param, finished, error);
            milliseconds =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            if (error) std::rethrow_exception(error);
        },
        hooks, poll, interval);
    info.iterations = param.iterations;
    info.duration = param.duration;
    info.milliseconds = milliseconds;
    return status;
}

template JobStatus runFitJob<FitObjLine3D>(FitObjLine3D&, const Vec3d*, const Vec3d*,
                                           const FitOptions&, FitRunInfo&, const PollCallback&,
                                           std::chrono::milliseconds);
template JobStatus runFitJob<FitObjPlane>(FitObjPlane&, const Vec3d*, const Vec3d*,
                                          const FitOptions&, FitRunInfo&, const PollCallback&,
                                          std::chrono::milliseconds);
template JobStatus runFitJob<FitObjCircle3D>(FitObjCircle3D&, const Vec3d*, const Vec3d*,
                                             const FitOptions&, FitRunInfo&, const PollCallback&,
                                             std::chrono::milliseconds);
template JobStatus runFitJob<FitObjEllipse3D>(FitObjEllipse3D&, const Vec3d*, const Vec3d*,
                                              const FitOptions&, FitRunInfo&, const PollCallback&,
                                              std::chrono::milliseconds);
template JobStatus runFitJob<FitObjSuperEllipse3D>(FitObjSuperEllipse3D&, const Vec3d*,
                                                   const Vec3d*, const FitOptions&, FitRunInfo&,
                                                   const PollCallback&, std::chrono::milliseconds);
template JobStatus runFitJob<FitObjSphere>(FitObjSphere&, const Vec3d*, const Vec3d*,
                                           const FitOptions&, FitRunInfo&, const PollCallback&,
                                           std::chrono::milliseconds);
template JobStatus runFitJob<FitObjCylinder>(FitObjCylinder&, const Vec3d*, const Vec3d*,
                                             const FitOptions&, FitRunInfo&, const PollCallback&,
                                             std::chrono::milliseconds);
template JobStatus runFitJob<FitObjCone>(FitObjCone&, const Vec3d*, const Vec3d*, const FitOptions&,
                                         FitRunInfo&, const PollCallback&,
                                         std::chrono::milliseconds);
template JobStatus runFitJob<FitObjTorus>(FitObjTorus&, const Vec3d*, const Vec3d*,
                                          const FitOptions&, FitRunInfo&, const PollCallback&,
                                          std::chrono::milliseconds);

// Start values: only groups with a value are touched, so every other parameter keeps
// the state Estimate of a fresh object.

void applyStartValues(FitObjLine3D& fit, const FitOptions& o) {
    if (o.point.state != Estimate) fit.setPoint(o.point.value, o.point.state);
    if (o.direction.state != Estimate && !isZero(o.direction.value)) {
        fit.setDirection(o.direction.value, o.direction.state);
    }
}

void applyStartValues(FitObjPlane& fit, const FitOptions& o) {
    if (o.point.state != Estimate) fit.setPoint(o.point.value, o.point.state);
    if (o.direction.state != Estimate && !isZero(o.direction.value)) {
        fit.setNormal(o.direction.value, o.direction.state);
    }
}

void applyStartValues(FitObjCircle3D& fit, const FitOptions& o) {
    if (o.point.state != Estimate) fit.setCenter(o.point.value, o.point.state);
    if (o.direction.state != Estimate && !isZero(o.direction.value)) {
        fit.setNormal(o.direction.value, o.direction.state);
    }
    if (o.radius.state != Estimate) fit.setRadius(o.radius.value, o.radius.state);
}

void applyStartValues(FitObjEllipse3D& fit, const FitOptions& o) {
    if (o.point.state != Estimate) fit.setCenter(o.point.value, o.point.state);
    if (o.direction.state != Estimate && !isZero(o.direction.value)) {
        fit.setNormal(o.direction.value, o.direction.state);
    }
    if (o.radius.state != Estimate) fit.setSemiAxisA(o.radius.value, o.radius.state);
    if (o.radius2.state != Estimate) fit.setSemiAxisB(o.radius2.value, o.radius2.state);
    if (o.angle.state != Estimate) fit.setAngle(o.angle.value, o.angle.state);
}

void applyStartValues(FitObjSuperEllipse3D& fit, const FitOptions& o) {
    if (o.point.state != Estimate) fit.setCenter(o.point.value, o.point.state);
    if (o.direction.state != Estimate && !isZero(o.direction.value)) {
        fit.setNormal(o.direction.value, o.direction.state);
    }
    if (o.radius.state != Estimate) fit.setSemiAxisA(o.radius.value, o.radius.state);
    if (o.radius2.state != Estimate) fit.setSemiAxisB(o.radius2.value, o.radius2.state);
    if (o.angle.state != Estimate) fit.setAngle(o.angle.value, o.angle.state);
    if (o.factor.state != Estimate) fit.setFactor(o.factor.value, o.factor.state);
}

void applyStartValues(FitObjSphere& fit, const FitOptions& o) {
    if (o.point.state != Estimate) fit.setCenter(o.point.value, o.point.state);
    if (o.radius.state != Estimate) fit.setRadius(o.radius.value, o.radius.state);
}

void applyStartValues(FitObjCylinder& fit, const FitOptions& o) {
    if (o.point.state != Estimate) fit.setPoint(o.point.value, o.point.state);
    if (o.direction.state != Estimate && !isZero(o.direction.value)) {
        fit.setDirection(o.direction.value, o.direction.state);
    }
    if (o.radius.state != Estimate) fit.setRadius(o.radius.value, o.radius.state);
}

void applyStartValues(FitObjCone& fit, const FitOptions& o) {
    if (o.point.state != Estimate) fit.setPoint(o.point.value, o.point.state);
    if (o.direction.state != Estimate && !isZero(o.direction.value)) {
        fit.setDirection(o.direction.value, o.direction.state);
    }
    if (o.radius.state != Estimate) fit.setRadius(o.radius.value, o.radius.state);
    if (o.angle.state != Estimate) fit.setAngle(o.angle.value, o.angle.state);
}

void applyStartValues(FitObjTorus& fit, const FitOptions& o) {
    if (o.point.state != Estimate) fit.setCenter(o.point.value, o.point.state);
    if (o.direction.state != Estimate && !isZero(o.direction.value)) {
        fit.setDirection(o.direction.value, o.direction.state);
    }
    if (o.radius.state != Estimate) fit.setRadius1(o.radius.value, o.radius.state);
    if (o.radius2.state != Estimate) fit.setRadius2(o.radius2.value, o.radius2.state);
    // The spine-circle fit of the torus estimate follows the run's weighting.
    fit.weighting = o.weighting;
}

FitGeometry fitGeometryOf(const FitObjLine3D& fit) {
    FitGeometry g;
    g.point = fit.point;
    g.direction = fit.direction;
    return g;
}

FitGeometry fitGeometryOf(const FitObjPlane& fit) {
    FitGeometry g;
    g.point = fit.point;
    g.direction = fit.normal;
    g.d = fit.d();
    return g;
}

FitGeometry fitGeometryOf(const FitObjCircle3D& fit) {
    FitGeometry g;
    g.point = fit.center();
    g.direction = fit.normal;
    g.radius = fit.radius;
    return g;
}

FitGeometry fitGeometryOf(const FitObjEllipse3D& fit) {
    FitGeometry g;
    g.point = fit.center();
    g.direction = fit.normal;
    g.radius = fit.a;
    g.radius2 = fit.b;
    g.angle = fit.angle;
    return g;
}

FitGeometry fitGeometryOf(const FitObjSuperEllipse3D& fit) {
    FitGeometry g;
    g.point = fit.center();
    g.direction = fit.normal;
    g.radius = fit.a;
    g.radius2 = fit.b;
    g.angle = fit.angle;
    g.factor = fit.factor;
    return g;
}

FitGeometry fitGeometryOf(const FitObjSphere& fit) {
    FitGeometry g;
    g.point = fit.center;
    g.radius = fit.radius;
    return g;
}

FitGeometry fitGeometryOf(const FitObjCylinder& fit) {
    FitGeometry g;
    g.point = fit.point;
    g.direction = fit.direction;
    g.radius = fit.radius;
    return g;
}

FitGeometry fitGeometryOf(const FitObjCone& fit) {
    FitGeometry g;
    g.point = fit.point;
    g.direction = fit.direction;
    g.angle = fit.angleToAxis();
    g.radius = fit.radiusAtPoint();
    return g;
}

FitGeometry fitGeometryOf(const FitObjTorus& fit) {
    FitGeometry g;
    g.point = fit.center;
    g.direction = fit.direction;
    g.radius = fit.r1;
    g.radius2 = fit.r2;
    return g;
}

JobStatus runFitCommand(FitShape shape, const Vec3d* begin, const Vec3d* end,
                        const FitOptions& options, FitResult& result, const PollCallback& poll,
                        std::chrono::milliseconds interval) {
    alg3D::TimeMeasurement watch(fitTitle(shape));
    // The texts go back to the caller; a report line on standard output would get in the
    // way of the command-line tool's JSON.
    watch.setReport(false);
    const std::size_t count = pointCount(begin, end);
    checkFitPointCount(shape, count);
    checkFitMethod(shape, options.method, options.element);
    const Vec3d* first = count > 0 ? begin : nullptr;
    switch (shape) {
        case FitShape::kLine:
            return runShape<FitObjLine3D>(shape, first, count, options, result, poll, interval,
                                          watch);
        case FitShape::kPlane:
            return runShape<FitObjPlane>(shape, first, count, options, result, poll, interval,
                                         watch);
        case FitShape::kCircle:
            return runShape<FitObjCircle3D>(shape, first, count, options, result, poll, interval,
                                            watch);
        case FitShape::kEllipse:
            return runShape<FitObjEllipse3D>(shape, first, count, options, result, poll, interval,
                                             watch);
        case FitShape::kSuperEllipse:
            return runShape<FitObjSuperEllipse3D>(shape, first, count, options, result, poll,
                                                  interval, watch);
        case FitShape::kSphere:
            return runShape<FitObjSphere>(shape, first, count, options, result, poll, interval,
                                          watch);
        case FitShape::kCylinder:
            return runShape<FitObjCylinder>(shape, first, count, options, result, poll, interval,
                                            watch);
        case FitShape::kCone:
            return runShape<FitObjCone>(shape, first, count, options, result, poll, interval,
                                        watch);
        case FitShape::kTorus:
            return runShape<FitObjTorus>(shape, first, count, options, result, poll, interval,
                                         watch);
    }
    throw std::invalid_argument("Unknown fit shape.");
}

}  // namespace commands
}  // namespace tessaro
