// Enclosing and inscribing spheres and cylinders (see SolidElements.h).
#include "alg3D/approximate/SolidElements.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "alg3D/approximate/ChebyshevFit.h"
#include "alg3D/approximate/ChebyshevScheme-inl.h"
#include "alg3D/approximate/InscribedEnclosure.h"
#include "alg3D/approximate/MinimaxObjectives.h"
#include "alg3D/approximate/MinimumEnclosingSphere.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/PointStatistics.h"

namespace alg3D {
namespace approximate {

namespace {

// The progress bar's share of the enclosing start of the inscribing elements: the ball is
// cheap, the cylinder's minimax line is a fit of its own.
constexpr float kSphereStartShare = 10.0f;
constexpr float kCylinderStartShare = 50.0f;

void requirePoints(const Vec3d* begin, const Vec3d* end, std::size_t minimum) {
    if (pointCount(begin, end) < minimum) throwAlg3dException(errors::kNotEnoughData);
}

}  // namespace

std::uint64_t minimumEnclosingSphere(const Vec3d* begin, const Vec3d* end, FitObjSphere& fit,
                                     std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                     std::atomic<float>& progress) {
    progress = 0.0f;
    requirePoints(begin, end, FitObjSphere::kMinPoints);
    const EnclosingBall ball =
        minimumEnclosingBall(begin, end, std::max<std::uint64_t>(1, maxIterations), &abort);
    // A ball cut short need not enclose the points: the fit object keeps its values.
    if (!ball.aborted) {
        fit.setCenter(ball.center, Given);
        fit.setRadius(std::sqrt(ball.squaredRadius), Given);
    }
    progress = 100.0f;
    return 0;
}

std::uint64_t maximumInscribingSphere(const Vec3d* begin, const Vec3d* end, FitObjSphere& fit,
                                      std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                      std::atomic<float>& progress) {
    progress = 0.0f;
    requirePoints(begin, end, FitObjSphere::kMinPoints);
    const EnclosingBall ball =
        minimumEnclosingBall(begin, end, std::max<std::uint64_t>(1, maxIterations), &abort);
    if (ball.aborted) {
        // No start: nothing accepted, the fit object keeps its values.
        progress = 100.0f;
        return 0;
    }
    InscribedSphereObjective objective;
    objective.center = ball.center;
    objective.heldRadius = std::sqrt(ball.squaredRadius);
    progress = kSphereStartShare;
    const std::uint64_t l = chebyshev::iterateOnData(begin, end, objective, maxIterations, abort,
                                                     progress, 100.0f - kSphereStartShare);
    // Outside the points' hull the held-radius iteration only runs away from them: no
    // largest sphere exists there, and its radius would be a confident wrong number.
    if (!abort && !enclosesCentre(begin, end, objective.center))
        throwAlg3dException(errors::kNotEnclosing);
    double nearest = std::numeric_limits<double>::max();
    for (const Vec3d* p = begin; p != end; ++p)
        nearest = std::min(nearest, (*p - objective.center).norm());
    fit.setCenter(objective.center, Given);
    fit.setRadius(nearest, Given);
    progress = 100.0f;
    return l;
}

std::uint64_t minimumEnclosingCylinder(const Vec3d* begin, const Vec3d* end, FitObjCylinder& fit,
                                       std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                       std::atomic<float>& progress) {
    progress = 0.0f;
    requirePoints(begin, end, 2);
    const MinimaxLineResult line = minimaxLine(begin, end, maxIterations, abort, progress, true);
    fit.setPoint(line.point, Given);
    fit.setDirection(line.direction, Given);
    fit.setRadius(line.radius, Given);
    fit.centroid = centroid(begin, end);
    progress = 100.0f;
    return line.iterations;
}

std::uint64_t maximumInscribingCylinder(const Vec3d* begin, const Vec3d* end, FitObjCylinder& fit,
                                        std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                        std::atomic<float>& progress) {
    progress = 0.0f;
    requirePoints(begin, end, FitObjCylinder::kMinPoints);
    const MinimaxLineResult line =
        minimaxLine(begin, end, maxIterations, abort, progress, true, kCylinderStartShare);
    progress = kCylinderStartShare;
    AxisObjective axis;
    axis.setAxis(line.point, line.direction);
    axis.centroid = line.point;
    axis.offset = 2.0 * line.radius;
    axis.sign = -1.0;
    const std::uint64_t l = chebyshev::iterateOnData(begin, end, axis, maxIterations, abort,
                                                     progress, 100.0f - kCylinderStartShare);
    if (!abort && !enclosesAxis(begin, end, axis.point, axis.direction()))
        throwAlg3dException(errors::kNotEnclosing);
    double nearest = std::numeric_limits<double>::max();
    for (const Vec3d* p = begin; p != end; ++p)
        nearest = std::min(nearest, axis.distance(*p));
    fit.setPoint(axis.point, Given);
    fit.setDirection(axis.direction(), Given);
    fit.setRadius(nearest, Given);
    fit.centroid = centroid(begin, end);
    progress = 100.0f;
    return l;
}

}  // namespace approximate
}  // namespace alg3D
