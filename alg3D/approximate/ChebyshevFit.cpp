// Chebyshev fits (see ChebyshevFit.h).
#include "alg3D/approximate/ChebyshevFit.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "alg3D/approximate/ChebyshevScheme-inl.h"
#include "alg3D/approximate/ConvexHull.h"
#include "alg3D/approximate/FitObjCircle3D.h"
#include "alg3D/approximate/FitObjCone.h"
#include "alg3D/approximate/FitObjCylinder.h"
#include "alg3D/approximate/FitObjEllipse3D.h"
#include "alg3D/approximate/FitObjLine3D.h"
#include "alg3D/approximate/FitObjPlane.h"
#include "alg3D/approximate/FitObjSphere.h"
#include "alg3D/approximate/FitObjSuperEllipse3D.h"
#include "alg3D/approximate/FitObjTorus.h"
#include "alg3D/approximate/FitSchemes-inl.h"
#include "alg3D/approximate/MinimaxObjectives.h"
#include "alg3D/approximate/MinimumEnclosingSphere.h"
#include "alg3D/matrix/PointStatistics.h"
#include "alg3D/matrix/SVD.h"

namespace alg3D {
namespace approximate {

namespace {

constexpr double kHullTolerance = 1e-6;
constexpr std::size_t kPlaneStarts = 8;

// The hull tolerance of the plane and line fits: 1e-6, but at most 1e-9 of the data's
// extent, so that a small part does not lose zone-defining points as "on the hull".
double hullTolerance(const Vec3d* begin, const Vec3d* end) {
    const double size = dataSize(begin, end);
    return size > 0.0 ? std::min(kHullTolerance, 1e-9 * size) : kHullTolerance;
}
constexpr std::size_t kMaxLineCandidates = 4096;

// The plane and line iterations work on a handful of hull vertices and stop on 1e-8
// steps; the generic one on 1e-6 (both scaled down for parts smaller than 1).
double fineStep(double size) {
    return 1e-2 * stepThreshold(size);
}

// Progress is shared by the threads of the line start.
void addProgress(std::atomic<float>& progress, float delta) {
    float current = progress.load(std::memory_order_relaxed);
    while (!progress.compare_exchange_weak(current, current + delta, std::memory_order_relaxed)) {
    }
}

std::vector<Vec3d> hullVertices(const ConvexHull& hull, const Vec3d* points) {
    std::vector<Vec3d> out;
    for (const std::uint32_t i : hull.vertexIndices())
        out.push_back(points[i]);
    return out;
}

}  // namespace

std::uint64_t approximateChebyshev(const Vec3d* begin, const Vec3d* end, FitObjPlane& fitObj,
                                   std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                   std::atomic<float>& progress) {
    progress = 0.0f;
    const std::size_t n = pointCount(begin, end);
    if (n < FitObjPlane::kMinPoints) throwAlg3dException(errors::kNotEnoughData);
    ConvexHull hull;
    hull.build(begin, n, hullTolerance(begin, end), &abort);
    // An aborted build has no faces: that is no failure.
    if (abort.load()) {
        progress = 100.0f;
        return 0;
    }
    if (hull.liveFaceCount() == 0) throwAlg3dException(errors::kApproximationFailed);
    const std::vector<Vec3d> vertices = hullVertices(hull, begin);

    // The slab of every live hull facet; the thinnest ones are the starts.
    const std::vector<ConvexHull::Face>& faces = hull.faces();
    const long long faceCount = static_cast<long long>(faces.size());
    std::vector<double> widths(faces.size(), std::numeric_limits<double>::max());
#pragma omp parallel for schedule(dynamic, 16)
    for (long long f = 0; f < faceCount; ++f) {
        const ConvexHull::Face& face = faces[static_cast<std::size_t>(f)];
        if (face.valid < 0 || abort.load(std::memory_order_relaxed)) continue;
        double lo = std::numeric_limits<double>::max();
        double hi = -std::numeric_limits<double>::max();
        for (const Vec3d& v : vertices) {
            const double t = face.normal.dot(v);
            lo = std::min(lo, t);
            hi = std::max(hi, t);
        }
        widths[static_cast<std::size_t>(f)] = hi - lo;
    }
    if (abort.load()) {
        progress = 100.0f;
        return 0;
    }
    std::vector<std::size_t> order;
    for (std::size_t f = 0; f < faces.size(); ++f)
        if (faces[f].valid >= 0) order.push_back(f);
    const std::size_t starts = std::min(kPlaneStarts, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<long>(starts), order.end(),
                      [&](std::size_t a, std::size_t b) { return widths[a] < widths[b]; });

    const bool pointFixed = fitObj.state[FitObjPlane::kPointX] == Fixed ||
                            fitObj.state[FitObjPlane::kPointY] == Fixed ||
                            fitObj.state[FitObjPlane::kPointZ] == Fixed;
    const bool normalFixed =
        fitObj.state[FitObjPlane::kAngle1] == Fixed || fitObj.state[FitObjPlane::kAngle2] == Fixed;
    const double size = dataSize(vertices.data(), vertices.data() + vertices.size());
    const Vec3d* vb = vertices.data();
    const Vec3d* ve = vb + vertices.size();
    // The minimum zone problem has local minima: the iteration runs from the thinnest
    // facet slabs (one when the normal is fixed) and the thinnest result wins.
    FitObjPlane best = fitObj;
    double bestMax = std::numeric_limits<double>::max();
    std::uint64_t bestIterations = 0;
    const std::size_t runs = normalFixed ? 1 : starts;
    const std::uint64_t cap = maxIterations;
    for (std::size_t s = 0; s < runs && !abort.load(); ++s) {
        FitObjPlane trial = fitObj;
        // Values the user fixed stay; everything else starts from the slab.
        if (!normalFixed) trial.setNormal(faces[order[s]].normal, Given);
        if (!pointFixed) {
            double lo = std::numeric_limits<double>::max();
            double hi = -std::numeric_limits<double>::max();
            for (const Vec3d& v : vertices) {
                lo = std::min(lo, trial.normal.dot(v));
                hi = std::max(hi, trial.normal.dot(v));
            }
            trial.setPoint((0.5 * (lo + hi)) * trial.normal, Given);
        }
        trial.estimateInitial(vb, ve);
        std::uint64_t l = 0;
        if (trial.numFreeParameters() > 0) {
            std::atomic<float> runProgress{0.0f};
            l = chebyshev::rethrowAsCopy([&] {
                return chebyshev::iterate(vb, ve, trial, cap, abort,
                                          s == 0 ? progress : runProgress, fineStep(size),
                                          fineStep(size));
            });
        }
        double worst = 0.0;
        for (const Vec3d& v : vertices)
            worst = std::max(worst, std::abs(trial.deviation(v)));
        if (worst < bestMax) {
            bestMax = worst;
            best = trial;
            bestIterations = l;
        }
    }
    fitObj = best;
    const std::uint64_t l = bestIterations;
    fitObj.normal = fitObj.frame.direction();
    progress = 100.0f;
    return l;
}

MinimaxLineResult minimaxLine(const Vec3d* begin, const Vec3d* end, std::uint64_t maxIterations,
                              const std::atomic<bool>& abort, std::atomic<float>& progress,
                              bool requireHull, float progressSpan) {
    const std::size_t n = pointCount(begin, end);
    if (n < 2) throwAlg3dException(errors::kNotEnoughData);
    MinimaxLineResult result;
    ConvexHull hull;
    hull.build(begin, n, hullTolerance(begin, end));
    if (hull.liveFaceCount() == 0) {
        if (requireHull) throwAlg3dException(errors::kApproximationFailed);
        // On one line (or one point): the line of the points, through their centroid.
        const Vec3d c = centroid(begin, end);
        Matrix3x3d u, v;
        Vec3d w;
        svd(covariance(begin, end, c), u, w, v);
        result.point = c;
        result.direction = normalize(Vec3d(u(0, 0), u(1, 0), u(2, 0)));
        for (const Vec3d* p = begin; p != end; ++p) {
            const Vec3d d = *p - c;
            result.radius =
                std::max(result.radius, (d - d.dot(result.direction) * result.direction).norm());
        }
        addProgress(progress, progressSpan);
        return result;
    }
    const std::vector<Vec3d> vertices = hullVertices(hull, begin);
    const Vec3d c = centroid(vertices.data(), vertices.data() + vertices.size());

    // Candidate directions: the hull edges, each once.
    std::vector<Vec3d> candidates;
    const auto& edges = hull.halfEdges();
    for (const ConvexHull::Face& face : hull.faces()) {
        if (face.valid < 0) continue;
        std::uint32_t h = face.edge;
        for (int k = 0; k < 3; ++k, h = edges[h].next) {
            if (edges[h].opposite < h) continue;
            const std::uint32_t from = edges[edges[edges[h].next].next].end;
            const Vec3d d = begin[edges[h].end] - begin[from];
            if (d.squaredNorm() > 0.0) candidates.push_back(normalize(d));
        }
    }
    if (candidates.empty()) throwAlg3dException(errors::kApproximationFailed);
    if (candidates.size() > kMaxLineCandidates) {
        std::vector<Vec3d> spread;
        for (std::size_t k = 0; k < kMaxLineCandidates; ++k)
            spread.push_back(candidates[k * candidates.size() / kMaxLineCandidates]);
        candidates.swap(spread);
    }
    double bestRadius = std::numeric_limits<double>::max();
    Vec3d bestDirection = candidates.front(), bestPoint = c;
    const long long candidateCount = static_cast<long long>(candidates.size());
    // The start takes the first half of the caller's span, the iteration the second.
    const float candidateProgress = 0.5f * progressSpan / static_cast<float>(candidateCount);
#pragma omp parallel
    {
        std::vector<Vec3d> projected(vertices.size());
        double localRadius = std::numeric_limits<double>::max();
        Vec3d localDirection = candidates.front(), localPoint = c;
#pragma omp for schedule(dynamic, 4) nowait
        for (long long k = 0; k < candidateCount; ++k) {
            if (abort.load(std::memory_order_relaxed)) continue;
            const Vec3d& d = candidates[static_cast<std::size_t>(k)];
            for (std::size_t i = 0; i < vertices.size(); ++i) {
                const Vec3d q = vertices[i] - c;
                projected[i] = c + (q - q.dot(d) * d);
            }
            const EnclosingBall ball =
                minimumEnclosingBall(projected.data(), projected.data() + projected.size());
            if (ball.squaredRadius < localRadius) {
                localRadius = ball.squaredRadius;
                localDirection = d;
                localPoint = ball.center;
            }
            addProgress(progress, candidateProgress);
        }
#pragma omp critical(chebyshev_line_start)
        if (localRadius < bestRadius) {
            bestRadius = localRadius;
            bestDirection = localDirection;
            bestPoint = localPoint;
        }
    }

    AxisObjective line;
    line.setAxis(bestPoint, bestDirection);
    line.centroid = bestPoint;
    const double size = dataSize(vertices.data(), vertices.data() + vertices.size());
    if (!abort.load()) {
        result.iterations = chebyshev::rethrowAsCopy([&] {
            return chebyshev::iterate(vertices.data(), vertices.data() + vertices.size(), line,
                                      maxIterations, abort, progress, fineStep(size),
                                      fineStep(size), 0.5f * progressSpan);
        });
    }
    result.point = line.point;
    result.direction = line.direction();
    for (const Vec3d& v : vertices)
        result.radius = std::max(result.radius, line.distance(v));
    return result;
}

std::uint64_t approximateChebyshev(const Vec3d* begin, const Vec3d* end, FitObjLine3D& fitObj,
                                   std::uint64_t maxIterations, const std::atomic<bool>& abort,
                                   std::atomic<float>& progress) {
    progress = 0.0f;
    // An aborted run leaves the caller's line as it was.
    const MinimaxLineResult line =
        abort.load() ? MinimaxLineResult{}
                     : minimaxLine(begin, end, maxIterations, abort, progress, false);
    progress = 100.0f;
    if (abort.load()) return 0;
    fitObj.setPoint(line.point, Given);
    fitObj.setDirection(line.direction, Given);
    fitObj.centroid = centroid(begin, end);
    return line.iterations;
}

// The generic scheme for the shapes that use it.
template std::uint64_t approximateChebyshev<FitObjCircle3D>(const Vec3d*, const Vec3d*,
                                                            FitObjCircle3D&, std::uint64_t,
                                                            const std::atomic<bool>&,
                                                            std::atomic<float>&);
template std::uint64_t approximateChebyshev<FitObjEllipse3D>(const Vec3d*, const Vec3d*,
                                                             FitObjEllipse3D&, std::uint64_t,
                                                             const std::atomic<bool>&,
                                                             std::atomic<float>&);
template std::uint64_t approximateChebyshev<FitObjSuperEllipse3D>(const Vec3d*, const Vec3d*,
                                                                  FitObjSuperEllipse3D&,
                                                                  std::uint64_t,
                                                                  const std::atomic<bool>&,
                                                                  std::atomic<float>&);
template std::uint64_t approximateChebyshev<FitObjSphere>(const Vec3d*, const Vec3d*, FitObjSphere&,
                                                          std::uint64_t, const std::atomic<bool>&,
                                                          std::atomic<float>&);
template std::uint64_t approximateChebyshev<FitObjCylinder>(const Vec3d*, const Vec3d*,
                                                            FitObjCylinder&, std::uint64_t,
                                                            const std::atomic<bool>&,
                                                            std::atomic<float>&);
template std::uint64_t approximateChebyshev<FitObjCone>(const Vec3d*, const Vec3d*, FitObjCone&,
                                                        std::uint64_t, const std::atomic<bool>&,
                                                        std::atomic<float>&);
template std::uint64_t approximateChebyshev<FitObjTorus>(const Vec3d*, const Vec3d*, FitObjTorus&,
                                                         std::uint64_t, const std::atomic<bool>&,
                                                         std::atomic<float>&);

}  // namespace approximate
}  // namespace alg3D
