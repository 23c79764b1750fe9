#include "alg3D/approximate/FitObjSuperEllipse3D.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "alg3D/approximate/EllipseFitSupport-inl.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/approximate/SuperEllipseRadialDistance.h"
#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {
namespace approximate {

namespace {

// A point costs some fifty power evaluations; small chunks balance the threads.
constexpr long long kChunk = 16;
// Below this a parallel team costs more than it saves: some 1 ms of work per pass,
// and on a machine whose cores are busy with other work, a team waits for threads
// that are not running. The start search's fits (at most kSearchPoints points) stay
// on one thread.
constexpr long long kParallelPoints = 256;

// Start search on partial arcs (see searchArcStart): arcs whose largest angular gap
// exceeds kFullArcGap; the box starts (orientations over a quarter turn, shape
// factors) and the points and iterations of their rough fits by the radial
// distance; the finalists fitted by the Euclidean distance, on at most
// kSearchPoints points.
constexpr double kFullArcGap = 1.0471975511965976;  // 60 degrees
constexpr int kBoxAngles = 6;
constexpr double kBoxFactors[] = {0.6, 1.0, 1.5};
constexpr std::size_t kRadialPoints = 24;
constexpr std::uint64_t kRadialIterations = 25;
constexpr std::size_t kFinalists = 3;
constexpr std::size_t kSearchPoints = 200;
constexpr std::uint64_t kFreeIterations = 60;

// The superellipse with its current values as the start: the inner fits of the
// start search skip the estimate.
struct StartedSuperEllipse {
    FitObjSuperEllipse3D curve;

    void estimateInitial(const Vec3d*, const Vec3d*, const std::atomic<bool>*) {}
    std::size_t numFreeParameters() const { return curve.numFreeParameters(); }
    std::size_t numResidualRows(std::size_t n) const { return curve.numResidualRows(n); }
    void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r, bool weighting,
                       const std::atomic<bool>* abort) const {
        curve.buildJacobian(begin, end, J, r, weighting, abort);
    }
    void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool weighting,
                          const std::atomic<bool>* abort) const {
        curve.computeResiduals(begin, end, r, weighting, abort);
    }
    void applyStep(const DMatrix& delta) { curve.applyStep(delta); }
    double deviation(const Vec3d& p) const { return curve.deviation(p); }
};

// The superellipse fitted by the radial distance (SuperEllipseRadialDistance.h) to
// points of the plane's 2D frame, stored as (x, y, 0): the rough fits of the start
// search. Runs on one thread (a few dozen points).
struct RadialSuperEllipse {
    FitObjSuperEllipse3D curve;

    void estimateInitial(const Vec3d*, const Vec3d*, const std::atomic<bool>*) {}
    std::size_t numFreeParameters() const { return curve.numFreeParameters(); }
    std::size_t numResidualRows(std::size_t n) const { return n; }
    PlanarCurveParams params() const {
        PlanarCurveParams c;
        c.a = curve.a;
        c.b = curve.b;
        c.k = curve.factor;
        c.u = curve.u;
        c.v = curve.v;
        c.angle = curve.angle;
        return c;
    }
    void buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J, DMatrix& r, bool,
                       const std::atomic<bool>*) const {
        const std::size_t n = pointCount(begin, end);
        const std::size_t m = numFreeParameters();
        J.assignZeroParallel(n, m, nullptr);
        r.assignZeroParallel(n, 1, nullptr);
        const PlanarCurveParams c = params();
        const double cs = std::cos(c.angle), sn = std::sin(c.angle);
        for (std::size_t i = 0; i < n; ++i) {
            const RadialCurveDistance d =
                superEllipseRadialDistance(c, cs, sn, begin[i].x, begin[i].y);
            r[i] = d.distance;
            double* row = J.row(i);
            std::size_t column = 0;
            for (std::size_t k = 0; k < FitObjSuperEllipse3D::kNumParameters; ++k)
                if (curve.state[k] != Fixed) row[column++] = d.derivative[k];
        }
    }
    void computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r, bool,
                          const std::atomic<bool>*) const {
        const std::size_t n = pointCount(begin, end);
        r.assignZeroParallel(n, 1, nullptr);
        const PlanarCurveParams c = params();
        const double cs = std::cos(c.angle), sn = std::sin(c.angle);
        for (std::size_t i = 0; i < n; ++i)
            r[i] = superEllipseRadialDistance(c, cs, sn, begin[i].x, begin[i].y).distance;
    }
    void applyStep(const DMatrix& delta) { curve.applyStep(delta); }
};

// Two rough fits of the start search in the same basin: semi-axes and centre within
// 5% of the larger semi-axis, shape factors within 0.05 and angles within 0.05 rad
// (modulo π).
bool sameBasin(const FitObjSuperEllipse3D& x, const FitObjSuperEllipse3D& y) {
    const double tolerance = 0.05 * std::max(x.a, y.a);
    const double turn = std::abs(planar_curve::reduceAnglePi(x.angle - y.angle));
    return std::abs(x.a - y.a) < tolerance && std::abs(x.b - y.b) < tolerance &&
           std::hypot(x.u - y.u, x.v - y.v) < tolerance && std::abs(x.factor - y.factor) < 0.05 &&
           std::min(turn, planar_curve::kPi - turn) < 0.05;
}

// Sum of squared residuals; infinity when it is not finite.
double squaredResiduals(const FitObjSuperEllipse3D& f, const Vec3d* begin, const Vec3d* end) {
    DMatrix r;
    f.computeResiduals(begin, end, r, false);
    const double s = sumOfSquares(r);
    return std::isfinite(s) ? s : std::numeric_limits<double>::infinity();
}

// Largest gap between the points' angles about the centre, in the curve's frame
// scaled to a circle (x/a, y/b); 2π for fewer than two points.
double largestAngularGap(const FitObjSuperEllipse3D& f, const Vec3d* begin, const Vec3d* end) {
    const double cs = std::cos(f.angle), sn = std::sin(f.angle);
    std::vector<double> angles;
    angles.reserve(pointCount(begin, end));
    for (const Vec3d* p = begin; p < end; ++p) {
        const Vec3d q = f.frame.toLocal(*p - f.planePoint);
        const double x = q.x - f.u, y = q.y - f.v;
        const double t = std::atan2((-sn * x + cs * y) / f.b, (cs * x + sn * y) / f.a);
        if (std::isfinite(t)) angles.push_back(t);
    }
    if (angles.size() < 2) return 2.0 * 3.141592653589793;
    std::sort(angles.begin(), angles.end());
    double gap = angles.front() + 2.0 * 3.141592653589793 - angles.back();
    for (std::size_t i = 1; i < angles.size(); ++i)
        gap = std::max(gap, angles[i] - angles[i - 1]);
    return gap;
}

}  // namespace

void FitObjSuperEllipse3D::setCenter(const Vec3d& c, ParamState s) {
    planePoint = c;
    u = 0.0;
    v = 0.0;
    state[kCenterU] = s;
    state[kCenterV] = s;
}

void FitObjSuperEllipse3D::setNormal(const Vec3d& n, ParamState s) {
    frame.setDirection(n);
    normal = frame.direction();
    normalState = s;
}

void FitObjSuperEllipse3D::setSemiAxisA(double value, ParamState s) {
    a = value;
    state[kSemiAxisA] = s;
}

void FitObjSuperEllipse3D::setSemiAxisB(double value, ParamState s) {
    b = value;
    state[kSemiAxisB] = s;
}

void FitObjSuperEllipse3D::setFactor(double value, ParamState s) {
    factor = value;
    state[kFactor] = s;
}

void FitObjSuperEllipse3D::setAngle(double value, ParamState s) {
    angle = value;
    state[kAngle] = s;
}

Vec3d FitObjSuperEllipse3D::center() const {
    return planePoint + u * frame.axis(0) + v * frame.axis(1);
}

Vec3d FitObjSuperEllipse3D::axisA() const {
    return std::cos(angle) * frame.axis(0) + std::sin(angle) * frame.axis(1);
}

PlanarCurveParams FitObjSuperEllipse3D::curveParams() const {
    PlanarCurveParams c;
    c.a = a;
    c.b = b;
    c.k = factor;
    c.u = u;
    c.v = v;
    c.angle = angle;
    return c;
}

PlanarCurveDistance FitObjSuperEllipse3D::distance(double x, double y) const {
    return superEllipseDistance(curveParams(), x, y);
}

void FitObjSuperEllipse3D::estimateInitial(const Vec3d* begin, const Vec3d* end,
                                           const std::atomic<bool>* abort) {
    const std::size_t n = pointCount(begin, end);
    if (n < kMinPoints) throwAlg3dException(errors::kNotEnoughData);

    // Plane, centre, semi-axes and angle from an ellipse with the superellipse's
    // given values and states.
    FitObjEllipse3D ellipse;
    ellipse.planePoint = center();
    ellipse.frame = frame;
    ellipse.normal = normal;
    ellipse.normalState = normalState;
    ellipse.a = a;
    ellipse.b = b;
    ellipse.angle = angle;
    ellipse.state[FitObjEllipse3D::kSemiAxisA] = state[kSemiAxisA];
    ellipse.state[FitObjEllipse3D::kSemiAxisB] = state[kSemiAxisB];
    ellipse.state[FitObjEllipse3D::kCenterU] = state[kCenterU];
    ellipse.state[FitObjEllipse3D::kCenterV] = state[kCenterV];
    ellipse.state[FitObjEllipse3D::kAngle] = state[kAngle];
    {
        const std::atomic<bool> noAbort{false};
        std::atomic<float> progress{0.0f};
        approximateLevenbergMarquardt(begin, end, ellipse, 20, false, abort ? *abort : noAbort,
                                      progress);
    }
    if (isAborted(abort)) return;
    // The ellipse's plane; its values replace those in state Estimate, while given
    // ones stay the start values (the ellipse fitted with them as its start, but
    // its semi-axes, centre and angle make up for k = 1).
    frame = ellipse.frame;
    normal = ellipse.normal;
    const bool estimateCenter = state[kCenterU] == Estimate || state[kCenterV] == Estimate;
    // Without an Estimate centre the ellipse's plane point is the given centre,
    // moved into the plane of the points.
    planePoint = estimateCenter ? ellipse.center() : ellipse.planePoint;
    u = 0.0;
    v = 0.0;
    if (state[kSemiAxisA] == Estimate) a = ellipse.a;
    if (state[kSemiAxisB] == Estimate) b = ellipse.b;
    if (state[kAngle] == Estimate) angle = ellipse.angle;
    minSemiAxis = ellipse.minSemiAxis;
    if (!(a >= minSemiAxis)) a = minSemiAxis;
    if (!(b >= minSemiAxis)) b = minSemiAxis;
    if (!std::isfinite(angle)) angle = 0.0;
    planar_curve::orderSemiAxes(a, b, angle, state[kSemiAxisA], state[kSemiAxisB], state[kAngle]);
    if (state[kFactor] == Estimate) factor = 1.0;
    if (!(factor >= kMinShapeFactor)) factor = kMinShapeFactor;
    if (factor > kMaxShapeFactor) factor = kMaxShapeFactor;
    searchArcStart(begin, end, abort);
}

void FitObjSuperEllipse3D::searchArcStart(const Vec3d* begin, const Vec3d* end,
                                          const std::atomic<bool>* abort) {
    if (state[kFactor] != Estimate) return;
    for (ParamState s : state)
        if (s == Given) return;
    if (!(largestAngularGap(*this, begin, end) > kFullArcGap)) return;

    const std::atomic<bool> noAbort{false};
    const std::atomic<bool>& stop = abort ? *abort : noAbort;
    std::atomic<float> progress{0.0f};

    // An even subsample of at most kSearchPoints points for the finalists, and its
    // projections into the plane's 2D frame.
    const std::size_t n = pointCount(begin, end);
    std::vector<Vec3d> sample;
    const Vec3d* sb = begin;
    const Vec3d* se = end;
    if (n > kSearchPoints) {
        const std::size_t stride = (n + kSearchPoints - 1) / kSearchPoints;
        for (std::size_t i = 0; i < n; i += stride)
            sample.push_back(begin[i]);
        sb = sample.data();
        se = sample.data() + sample.size();
    }
    const std::size_t sampleSize = pointCount(sb, se);
    std::vector<Vec3d> plane(sampleSize);
    for (std::size_t i = 0; i < sampleSize; ++i) {
        const Vec3d q = frame.toLocal(sb[i] - planePoint);
        plane[i] = Vec3d(q.x, q.y, 0.0);
    }
    // At most kRadialPoints of them, evenly spread, for the rough fits.
    std::vector<Vec3d> rough;
    for (std::size_t i = 0; i < std::min(kRadialPoints, sampleSize); ++i)
        rough.push_back(plane[i * sampleSize / std::min(kRadialPoints, sampleSize)]);

    struct Candidate {
        FitObjSuperEllipse3D curve;
        double squares;
    };
    const auto lower = [](const Candidate& x, const Candidate& y) { return x.squares < y.squares; };

    // Box starts: for each orientation θ, the bounding box of the points in the
    // frame turned by θ; the arc of a quarter of the curve ends near the axes, so a
    // corner of the box is near the centre and its sides near the semi-axes. Every
    // corner with each of the box factors (θ and θ + π/2 give the same curves, so a
    // quarter turn of orientations suffices), and the ellipse's start as it is; all
    // refined by rough fits of the radial distance and ranked by its sum of squares.
    // Parameters the caller fixed keep their values.
    std::vector<Candidate> roughFits;
    const auto roughFit = [&](const FitObjSuperEllipse3D& start) {
        RadialSuperEllipse s{start};
        try {
            approximateLevenbergMarquardt(rough.data(), rough.data() + rough.size(), s,
                                          kRadialIterations, false, stop, progress);
        } catch (const Alg3dException&) {
            return;
        }
        DMatrix r;
        s.computeResiduals(rough.data(), rough.data() + rough.size(), r, false, nullptr);
        const double squares = sumOfSquares(r);
        if (std::isfinite(squares)) roughFits.push_back(Candidate{s.curve, squares});
    };
    roughFit(*this);
    for (int j = 0; j < kBoxAngles && !stop.load(); ++j) {
        const double theta = angle + planar_curve::kHalfPi * j / kBoxAngles;
        const double cs = std::cos(theta), sn = std::sin(theta);
        double x0 = std::numeric_limits<double>::infinity(), x1 = -x0, y0 = x0, y1 = -x0;
        for (const Vec3d& q : plane) {
            const double x = cs * q.x + sn * q.y, y = -sn * q.x + cs * q.y;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
        if (!(x1 - x0 > minSemiAxis) || !(y1 - y0 > minSemiAxis)) continue;
        for (const double cx : {x0, x1}) {
            for (const double cy : {y0, y1}) {
                for (const double k : kBoxFactors) {
                    FitObjSuperEllipse3D start = *this;
                    if (state[kCenterU] == Estimate) start.u = cs * cx - sn * cy;
                    if (state[kCenterV] == Estimate) start.v = sn * cx + cs * cy;
                    if (state[kSemiAxisA] == Estimate) start.a = x1 - x0;
                    if (state[kSemiAxisB] == Estimate) start.b = y1 - y0;
                    if (state[kAngle] == Estimate) start.angle = theta;
                    start.factor = k;
                    planar_curve::orderSemiAxes(start.a, start.b, start.angle, state[kSemiAxisA],
                                                state[kSemiAxisB], state[kAngle]);
                    roughFit(start);
                }
            }
        }
    }
    if (stop.load() || roughFits.empty()) return;  // cut short: keep the ellipse's start

    // The best rough fits that differ from each other (many starts end in the same
    // basin), fitted by the Euclidean distance; the lowest sum of squares is the
    // start. The radial distance is biased on elongated curves, so the ranking of
    // nearby minima can be off and more than one basin goes on.
    std::sort(roughFits.begin(), roughFits.end(), lower);
    std::vector<FitObjSuperEllipse3D> finalists;
    for (const Candidate& c : roughFits) {
        if (finalists.size() >= kFinalists) break;
        bool seen = false;
        for (const FitObjSuperEllipse3D& f : finalists)
            seen = seen || sameBasin(f, c.curve);
        if (!seen) finalists.push_back(c.curve);
    }
    const auto fitFrom = [&](const FitObjSuperEllipse3D& start) {
        StartedSuperEllipse s{start};
        try {
            approximateLevenbergMarquardt(sb, se, s, kFreeIterations, false, stop, progress);
        } catch (const Alg3dException&) {
            return Candidate{start, std::numeric_limits<double>::infinity()};
        }
        return Candidate{s.curve, squaredResiduals(s.curve, sb, se)};
    };
    Candidate best{*this, std::numeric_limits<double>::infinity()};
    for (std::size_t i = 0; i < finalists.size() && !stop.load(); ++i) {
        const Candidate c = fitFrom(finalists[i]);
        if (c.squares < best.squares) best = c;
    }
    if (!std::isfinite(best.squares) || stop.load()) return;
    a = best.curve.a;
    b = best.curve.b;
    factor = best.curve.factor;
    u = best.curve.u;
    v = best.curve.v;
    angle = best.curve.angle;
}

std::size_t FitObjSuperEllipse3D::numFreeParameters() const {
    std::size_t m = 0;
    for (ParamState s : state)
        m += s != Fixed ? 1 : 0;
    return m;
}

void FitObjSuperEllipse3D::buildJacobian(const Vec3d* begin, const Vec3d* end, DMatrix& J,
                                         DMatrix& r, bool weighting,
                                         const std::atomic<bool>* abort) const {
    planar_curve::buildJacobian(*this, begin, end, J, r, weighting, kChunk, kParallelPoints, abort);
}

void FitObjSuperEllipse3D::computeResiduals(const Vec3d* begin, const Vec3d* end, DMatrix& r,
                                            bool weighting, const std::atomic<bool>* abort) const {
    planar_curve::computeResiduals(*this, begin, end, r, weighting, kChunk, kParallelPoints, abort);
}

void FitObjSuperEllipse3D::applyStep(const DMatrix& delta) {
    const planar_curve::ParameterSet p{{&a, &b, &factor, &u, &v, &angle},
                                       state,
                                       kNumParameters,
                                       kSemiAxisA,
                                       kSemiAxisB,
                                       kAngle,
                                       kFactor};
    planar_curve::applyStep(p, delta, minSemiAxis);
}

double FitObjSuperEllipse3D::deviation(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - planePoint);
    double x, y;
    toCurveFrame(curveParams(), q.x, q.y, x, y);
    return closestPointOnSuperEllipse(a, b, factor, x, y).distance;
}

Vec3d FitObjSuperEllipse3D::nearestPoint(const Vec3d& p) const {
    const Vec3d q = frame.toLocal(p - planePoint);
    double x, y;
    toCurveFrame(curveParams(), q.x, q.y, x, y);
    const CurveClosestPoint cp = closestPointOnSuperEllipse(a, b, factor, x, y);
    const double cs = std::cos(angle), sn = std::sin(angle);
    return planePoint +
           frame.toWorld(Vec3d(u + cs * cp.x - sn * cp.y, v + sn * cp.x + cs * cp.y, 0.0));
}

template std::uint64_t approximateGaussNewton<FitObjSuperEllipse3D>(const Vec3d*, const Vec3d*,
                                                                    FitObjSuperEllipse3D&,
                                                                    std::uint64_t, bool,
                                                                    const std::atomic<bool>&,
                                                                    std::atomic<float>&);
template std::uint64_t approximateLevenbergMarquardt<FitObjSuperEllipse3D>(
    const Vec3d*, const Vec3d*, FitObjSuperEllipse3D&, std::uint64_t, bool,
    const std::atomic<bool>&, std::atomic<float>&);
template struct ParamFitGeometry<FitObjSuperEllipse3D, Vec3d>;
template void fitGeometry<FitObjSuperEllipse3D, Vec3d>(
    ParamFitGeometry<FitObjSuperEllipse3D, Vec3d>&, std::atomic<bool>&, std::exception_ptr&);

}  // namespace approximate
}  // namespace alg3D
