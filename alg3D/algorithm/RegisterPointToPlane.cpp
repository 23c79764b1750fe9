#include "alg3D/algorithm/RegisterPointToPlane.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "alg3D/algorithm/IcpSampledPairing.h"
#include "alg3D/algorithm/Normals.h"
#include "alg3D/algorithm/TriangleGeometry.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/PointStatistics.h"
#include "alg3D/matrix/SVD.h"

namespace alg3D {
namespace algorithm {
namespace {

constexpr double kMaxDouble = std::numeric_limits<double>::max();
// Below this many points per pass a serial loop beats starting a thread team.
constexpr std::ptrdiff_t kParallelFrom = 4096;
// Pairs per block of the normal-equation sums: the blocks are summed in their order, so
// the result does not depend on the number of threads.
constexpr std::size_t kBlock = 4096;
// A direction of the system whose singular value is below this fraction of the largest
// one is not fixed by the pairs (the rotation about a plane's normal): it gets no step.
constexpr double kUnobservable = 1e-6;
// Robust scale from the median absolute residual, and the tuning constants.
constexpr double kMadToSigma = 1.4826;
constexpr double kHuber = 1.345;
constexpr double kTukey = 4.685;

// Below this many queries a pass runs serially; with a local surface to compute on a
// pair's first visit a query costs some microseconds, so the team pays off early.
constexpr std::ptrdiff_t kParallelPairsFrom = 256;
// Pairs farther apart than the median distance plus this many robust standard deviations
// (1.4826 · median absolute deviation) take no part in the step: data beyond the
// reference's edge paired with its rim, pairs across a gap.
constexpr double kFarPairs = 3.0;
// With samples the next pairing searches within this multiple of that distance.
constexpr double kFarRadius = 1.5;
// A step shorter than this fraction of the plane distances' root mean square is below
// what the pairs resolve (their scatter over the root of their count, a few thousand
// pairs): the run has converged. Without it a pair whose nearest reference point switches
// back and forth between two noisy samples keeps the run going to its iteration limit.
constexpr double kResolvedStep = 0.01;
// Rounds of polishing and pairing after the stopping rule, at most.
constexpr std::uint64_t kPolishRounds = 6;

// The tangent plane a pair's data point is measured against (none: zero normal).
struct PairPlane {
    Vec3d normal;
    double offset = 0.0;
    std::size_t element = 0;  // the reference element, for a plane given later
};

struct PlanePair {
    IcpPair pair;
    PairPlane plane;
};

int threadsOf(const IcpState& s) {
    return icpThreads(s);
}

void addProgress(std::atomic<float>& target, float value) {
    float current = target.load(std::memory_order_relaxed);
    while (!target.compare_exchange_weak(current, current + value, std::memory_order_relaxed)) {
    }
}

// Pairs the data under t within r, wanting m pairs, with the sampling of registerGauss
// (icpSampledPairs); sorted by distance (stable).
template <typename P>
void pairUp(IcpState& state, std::vector<PairPlane>& planes, const P* data, std::size_t n,
            std::size_t m, double r, const IcpTransform& t, const IcpNearestWithNormal& nearest) {
    const auto& weight = state.weightFunction;
    std::vector<PlanePair> found;
    icpSampledPairs(
        state, data, n, m, t, kParallelPairsFrom,
        [&](const Vec3d& x, PlanePair& p) {
            IcpPartner partner;
            if (!nearest.find(x, r, partner)) return false;
            const Vec3d& b = partner.point;
            p.pair.data = x;
            p.pair.reference = b;
            p.pair.distance = (x - b).norm();
            p.pair.weight = weight ? weight(x, b) : 1.0;
            p.plane.normal = partner.normal;
            p.plane.offset = partner.offset;
            p.plane.element = partner.element;
            return true;
        },
        found);
    std::stable_sort(found.begin(), found.end(), [](const PlanePair& a, const PlanePair& b) {
        return a.pair.distance < b.pair.distance;
    });
    state.pairs.clear();
    planes.clear();
    state.pairs.reserve(found.size());
    planes.reserve(found.size());
    for (const PlanePair& p : found) {
        state.pairs.push_back(p.pair);
        planes.push_back(p.plane);
    }
    state.stats = icpPairStatistics(state.pairs);
}

// The plane the search gives later for a pair, where its data point now is.
void placePlane(const IcpPair& pair, PairPlane& plane, const IcpNearestWithNormal& nearest) {
    IcpPartner partner;
    partner.point = pair.reference;
    partner.element = plane.element;
    nearest.plane(pair.data, partner);
    plane.normal = partner.normal;
    plane.offset = partner.offset;
}

// The planes of the pairs the step uses, those (sorted by distance) within `far`; the
// others get none. Planes the search gives later are computed here, in parallel. (All
// pairs within it, not the nearest so many: choosing pairs by their distance favours
// those that agree with the current transform, and on noisy data the run stops short.)
void settlePlanes(const IcpState& state, std::vector<PairPlane>& planes, double far,
                  const IcpNearestWithNormal& nearest) {
    const std::vector<IcpPair>& pairs = state.pairs;
    std::size_t used = pairs.size();
    while (used > 0 && pairs[used - 1].distance > far)
        --used;
    for (std::size_t i = used; i < planes.size(); ++i)
        planes[i].normal = Vec3d();
    if (!nearest.plane) return;
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(used);
#pragma omp parallel for schedule(dynamic, 16) \
    num_threads(threadsOf(state)) if (count >= kParallelPairsFrom)
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        if (state.cancel.load(std::memory_order_relaxed)) continue;
        placePlane(pairs[i], planes[i], nearest);
    }
}

// The reference elements of the pairs with a plane, sorted.
std::vector<std::size_t> stepElements(const std::vector<PairPlane>& planes) {
    std::vector<std::size_t> e;
    for (const PairPlane& p : planes)
        if (p.normal.squaredNorm() > 0.0) e.push_back(p.element);
    std::sort(e.begin(), e.end());
    return e;
}

// The planes the search gives later, again where the pairs' data points now are (the
// local surface's tangent plane under a point moves with it); the same partners.
void refreshPlanes(const IcpState& state, std::vector<PairPlane>& planes,
                   const IcpNearestWithNormal& nearest) {
    if (!nearest.plane) return;
    const std::vector<IcpPair>& pairs = state.pairs;
    for (std::size_t i = 0; i < planes.size(); ++i)
        if (planes[i].normal.squaredNorm() > 0.0) placePlane(pairs[i], planes[i], nearest);
}

// Signed distance of a pair's data point from its plane (0 for pairs without a normal).
double planeDistance(const IcpPair& pair, const PairPlane& plane) {
    return plane.normal.dot(pair.data - pair.reference) - plane.offset;
}

void planeResiduals(const std::vector<IcpPair>& pairs, const std::vector<PairPlane>& planes,
                    std::vector<double>& r) {
    r.resize(pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i)
        r[i] = planes[i].normal.squaredNorm() > 0.0 ? planeDistance(pairs[i], planes[i]) : 0.0;
}

void planeMeasures(const std::vector<IcpPair>& pairs, const std::vector<PairPlane>& planes,
                   double& mean, double& rms) {
    double sum = 0.0, squares = 0.0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (planes[i].normal.squaredNorm() == 0.0) continue;
        const double d = planeDistance(pairs[i], planes[i]);
        sum += std::abs(d);
        squares += d * d;
        ++used;
    }
    mean = used ? sum / static_cast<double>(used) : 0.0;
    rms = used ? std::sqrt(squares / static_cast<double>(used)) : 0.0;
}

// Robust weights of the residuals (1 without robust weighting), scale from the median
// absolute residual, never below `floor`.
void robustWeights(int robust, const std::vector<double>& r, const std::vector<PairPlane>& planes,
                   double floor, std::vector<double>& w) {
    w.assign(r.size(), 1.0);
    if (robust != kIcpRobustHuber && robust != kIcpRobustTukey) return;
    std::vector<double> a;
    a.reserve(r.size());
    for (std::size_t i = 0; i < r.size(); ++i)
        if (planes[i].normal.squaredNorm() > 0.0) a.push_back(std::abs(r[i]));
    if (a.empty()) return;
    const auto mid = a.begin() + static_cast<std::ptrdiff_t>(a.size() / 2);
    std::nth_element(a.begin(), mid, a.end());
    const double scale = std::max(kMadToSigma * *mid, floor);
    for (std::size_t i = 0; i < r.size(); ++i) {
        const double x = std::abs(r[i]);
        if (robust == kIcpRobustHuber) {
            const double k = kHuber * scale;
            w[i] = x <= k ? 1.0 : k / x;
        } else {
            const double c = kTukey * scale;
            const double u = x / c;
            w[i] = u < 1.0 ? (1.0 - u * u) * (1.0 - u * u) : 0.0;
        }
    }
}

// The distance beyond which pairs take no part in the step: median + kFarPairs robust
// standard deviations of the pair distances, at least twice the median. (Two regular
// grids give pair distances within a narrow spread; a cut inside it would choose pairs
// at random from step to step, and the run went on to its iteration limit.)
double farPairDistance(const std::vector<IcpPair>& pairs) {
    if (pairs.empty()) return kMaxDouble;
    std::vector<double> d(pairs.size());
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = pairs[i].distance;
    const auto mid = d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2);
    std::nth_element(d.begin(), mid, d.end());
    const double median = *mid;
    for (double& x : d)
        x = std::abs(x - median);
    std::nth_element(d.begin(), mid, d.end());
    return std::max(median + kFarPairs * kMadToSigma * *mid, 2.0 * median);
}

// Rotation by the vector ω (axis ω/|ω|, angle |ω|).
Matrix3x3d exactRotation(const Vec3d& omega) {
    Matrix3x3d R;  // identity
    const double angle = omega.norm();
    if (!(angle > 0.0)) return R;
    const Vec3d k = omega / angle;
    const double c = std::cos(angle), s = std::sin(angle), C = 1.0 - c;
    R(0, 0) = c + k.x * k.x * C;
    R(0, 1) = k.x * k.y * C - k.z * s;
    R(0, 2) = k.x * k.z * C + k.y * s;
    R(1, 0) = k.y * k.x * C + k.z * s;
    R(1, 1) = c + k.y * k.y * C;
    R(1, 2) = k.y * k.z * C - k.x * s;
    R(2, 0) = k.z * k.x * C - k.y * s;
    R(2, 1) = k.z * k.y * C + k.x * s;
    R(2, 2) = c + k.z * k.z * C;
    return R;
}

struct Step {
    IcpTransform candidate;
    double length = 0.0;  // of the step, as a length (angles and log-scale times the extent)
    unsigned unobservable = 0;
    // The step itself: x -> scale·rotation·(x - centre) + centre + translation.
    Matrix3x3d rotation;
    Vec3d centre, translation;
    double scale = 1.0;

    Vec3d move(const Vec3d& x) const {
        return scale * (rotation * (x - centre)) + centre + translation;
    }
};

// One linearised step about the centre c from the current pairs.
Step solveStep(const IcpState& state, const std::vector<PairPlane>& planes,
               const std::vector<double>& residuals, const std::vector<double>& robust,
               const Vec3d& c, const IcpTransform& current) {
    Step step;
    step.candidate = current;
    const std::vector<IcpPair>& pairs = state.pairs;
    int columns[7];
    int f = 0;
    for (int k = 0; k < 7; ++k)
        if (state.freedom & (1u << k)) columns[f++] = k;
    // Rotation and scale columns are divided by the extent about the centre, so that all
    // unknowns are lengths and the system does not depend on the unit.
    double extent = 0.0;
    for (const IcpPair& p : pairs)
        extent = std::max(extent, (p.data - c).norm());
    if (!(extent > 0.0)) extent = 1.0;

    const std::size_t n = pairs.size();
    const std::size_t blocks = (n + kBlock - 1) / kBlock;
    const std::size_t width = static_cast<std::size_t>(f * f + f);
    std::vector<double> sums(blocks * width, 0.0);
    const std::ptrdiff_t blockCount = static_cast<std::ptrdiff_t>(blocks);
#pragma omp parallel for schedule(static) \
    num_threads(threadsOf(state)) if (n >= static_cast <std::size_t>(kParallelFrom))
    for (std::ptrdiff_t bi = 0; bi < blockCount; ++bi) {
        double* s = sums.data() + static_cast<std::size_t>(bi) * width;
        const std::size_t end = std::min(n, (static_cast<std::size_t>(bi) + 1) * kBlock);
        for (std::size_t i = static_cast<std::size_t>(bi) * kBlock; i < end; ++i) {
            const Vec3d& nv = planes[i].normal;
            if (nv.squaredNorm() == 0.0) continue;
            const double w = pairs[i].weight * robust[i];
            if (!(w > 0.0)) continue;
            const Vec3d p = pairs[i].data - c;
            const Vec3d pn = p.cross(nv) / extent;
            const double all[7] = {pn.x, pn.y, pn.z, nv.x, nv.y, nv.z, nv.dot(p) / extent};
            double row[7];
            for (int j = 0; j < f; ++j)
                row[j] = all[columns[j]];
            for (int j = 0; j < f; ++j) {
                const double wj = w * row[j];
                for (int k = j; k < f; ++k)
                    s[j * f + k] += wj * row[k];
                s[f * f + j] -= wj * residuals[i];
            }
        }
    }
    DMatrix M(static_cast<std::uint64_t>(f), static_cast<std::uint64_t>(f));
    std::vector<double> g(static_cast<std::size_t>(f), 0.0);
    for (std::size_t b = 0; b < blocks; ++b) {
        const double* s = sums.data() + b * width;
        for (int j = 0; j < f; ++j) {
            for (int k = j; k < f; ++k)
                M(j, k) += s[j * f + k];
            g[static_cast<std::size_t>(j)] += s[f * f + j];
        }
    }
    for (int j = 0; j < f; ++j)
        for (int k = 0; k < j; ++k)
            M(j, k) = M(k, j);
    DMatrix U, V;
    std::vector<double> w;
    svd(M, U, w, V);
    double x[7] = {0, 0, 0, 0, 0, 0, 0};
    const double largest = w.empty() ? 0.0 : w[0];
    double hidden[7] = {0, 0, 0, 0, 0, 0, 0};  // diagonal of the projector on the null space
    for (int i = 0; i < f; ++i) {
        if (!(w[static_cast<std::size_t>(i)] > kUnobservable * largest) || !(largest > 0.0)) {
            for (int j = 0; j < f; ++j)
                hidden[j] += V(j, i) * V(j, i);
            continue;
        }
        double ug = 0.0;
        for (int j = 0; j < f; ++j)
            ug += U(j, i) * g[static_cast<std::size_t>(j)];
        ug /= w[static_cast<std::size_t>(i)];
        for (int j = 0; j < f; ++j)
            x[j] += V(j, i) * ug;
    }
    double delta[7] = {0, 0, 0, 0, 0, 0, 0};
    double length = 0.0;
    for (int j = 0; j < f; ++j) {
        delta[columns[j]] = x[j];
        length += x[j] * x[j];
        if (hidden[j] > 0.5) step.unobservable |= 1u << columns[j];
    }
    step.length = std::sqrt(length);
    const Matrix3x3d dR = exactRotation(Vec3d(delta[0], delta[1], delta[2]) / extent);
    const Vec3d dt(delta[3], delta[4], delta[5]);
    const double ds = std::exp(delta[6] / extent);
    // x -> ds·dR·(x - c) + c + dt applied after the current transform.
    step.rotation = dR;
    step.centre = c;
    step.translation = dt;
    step.scale = ds;
    step.candidate.rotation = dR * current.rotation;
    step.candidate.translation = ds * (dR * (current.translation - c)) + c + dt;
    step.candidate.scale = ds * current.scale;
    return step;
}

int finish(IcpState& state, int code) {
    state.progress.store(100.0f);
    return code;
}

}  // namespace

template <typename P>
int registerPointToPlane(IcpState& state, const P* dataBegin, const P* dataEnd, int samples,
                         double searchRadius, std::uint64_t maxIterations, double tolerance,
                         const IcpNearestWithNormal& nearest, const PointToPlaneOptions& options,
                         PointToPlaneReport* report) {
    // As registerGauss: `cancel` is left alone, an abort set before the start counts.
    state.progress.store(0.0f);
    state.pairs.clear();
    state.stats = IcpStatistics();
    state.iterations = 0;
    if (!state.hasInitialTransform) state.setTransform(IcpTransform());
    PointToPlaneReport localReport;
    PointToPlaneReport& out = report ? *report : localReport;
    out = PointToPlaneReport();

    const std::size_t n = dataEnd > dataBegin ? static_cast<std::size_t>(dataEnd - dataBegin) : 0;
    if (n < 3) return finish(state, kIcpTooFewPoints);
    if ((state.freedom & (kIcpRigid | kIcpScale)) == 0) return finish(state, kIcpConverged);
    if (state.cancel.load()) return finish(state, kIcpIterationLimit);

    const double size = pointSpread(dataBegin, dataEnd);
    const double lengthFloor = approximate::stepThreshold(size);
    const double spreadFloor = size < 1.0 ? 0.001 * size : 0.001;
    std::size_t m = samples > 0 ? static_cast<std::size_t>(samples) : 0;
    if (m == 0 || m > n) m = n;
    m = std::max<std::size_t>(m, 3);
    const bool allPoints = m >= n;
    const double tol = std::max(tolerance, lengthFloor);
    const double tolChange = std::max(tol / 10.0, lengthFloor);
    const double r0 = searchRadius > 0.0 ? searchRadius : kMaxDouble;
    const float progressStep =
        maxIterations > 0 ? 100.0f / static_cast<float>(maxIterations) : 100.0f;

    IcpTransform current = state.transform();
    std::vector<PairPlane> planes, acceptedPlanes;
    pairUp(state, planes, dataBegin, n, m, r0, current, nearest);
    if (state.cancel.load()) return finish(state, kIcpIterationLimit);
    if (allPoints) m = state.pairs.size();
    if (state.pairs.size() < m || state.pairs.size() < 3) return finish(state, kIcpTooFewPoints);
    // The planes of the pairs the step uses: those within the far-pair distance.
    double far = kMaxDouble;
    const auto settle = [&] {
        far = farPairDistance(state.pairs);
        settlePlanes(state, planes, far, nearest);
        planeMeasures(state.pairs, planes, out.planeMean, out.planeRms);
    };
    settle();
    double radius = std::min(
        allPoints ? state.stats.maxDev : state.stats.meanDev + 3.0 * state.stats.stdDev, r0);

    const Vec3d dataCentroid = centroid(dataBegin, dataEnd);
    std::vector<double> residuals, weights;
    std::vector<IcpPair> accepted;
    // The next linearised step from the accepted pairs.
    // `keepWeights`: the robust weights of the previous call stay (one per pair).
    const auto nextStep = [&](bool keepWeights) {
        const Vec3d centre = state.rotationCentreIsOrigin ? Vec3d() : current.apply(dataCentroid);
        planeResiduals(state.pairs, planes, residuals);
        if (!keepWeights) robustWeights(options.robust, residuals, planes, lengthFloor, weights);
        const Step step = solveStep(state, planes, residuals, weights, centre, current);
        out.unobservable = step.unobservable;
        return step;
    };
    // Pairs again under the step's transform: accepted when enough pairs answer,
    // otherwise the accepted pairs and statistics stay. The radius follows the pairs
    // unless `keepRadius` (the polishing rounds keep the one the run settled with).
    const auto take = [&](const Step& step, bool keepRadius) {
        const IcpStatistics old = state.stats;
        accepted.swap(state.pairs);
        acceptedPlanes.swap(planes);
        pairUp(state, planes, dataBegin, n, m, radius, step.candidate, nearest);
        if (state.pairs.size() >= m && !state.cancel.load()) {
            const IcpStatistics& now = state.stats;
            current = step.candidate;
            state.setTransform(current);
            settle();
            if (keepRadius) return true;
            // All points: every point must keep a partner. With samples the radius also
            // follows the far-pair distance, so the pairs the step leaves out are soon no
            // longer searched for.
            if (allPoints)
                radius = std::min(now.maxDev, r0);
            else if (now.stdDev > spreadFloor)
                radius = std::min(kFarRadius * far, r0);
            return true;
        }
        state.pairs.swap(accepted);
        planes.swap(acceptedPlanes);
        state.stats = old;
        return false;
    };
    int code = kIcpIterationLimit;
    bool converged = false;
    std::uint64_t passes = 0;
    for (std::uint64_t i = 1; i < maxIterations && !converged && !state.cancel.load(); ++i) {
        ++passes;
        addProgress(state.progress, progressStep);
        const double scatter = out.planeRms;  // of the pairs the step comes from
        const Step step = nextStep(false);
        if (step.length < lengthFloor) {
            converged = true, code = kIcpConverged;
        } else if (take(step, false)) {
            state.iterations = i;
            if (step.length < tolChange || step.length < kResolvedStep * scatter) {
                converged = true, code = kIcpConverged;
            } else if (out.planeMean < tol) {
                converged = true, code = kIcpBelowTolerance;
            }
        } else {
            // Widens for the next try; at least by the step, which moves no point farther
            // than about its length (pairs at distance 0 would otherwise never be found
            // again after a step off them).
            radius = std::min(std::max(1.5 * state.stats.maxDev, 2.0 * step.length), r0);
        }
    }
    // After the stopping rule, rounds of polishing: up to four Gauss-Newton steps on the
    // settled pairs and weights, then a pairing with planes and weights where the data now
    // are. The rule leaves the transform a step short of the optimum, a step of a different
    // size relative to the part in each unit; on fixed pairs the plane distances are almost
    // linear in the motion, so the steps reach the optimum of the pairs. While the pairing
    // changes which reference points the step uses, or the polish still moved the data,
    // another round follows (a few at most): the same part ends at the same pairs and the
    // same transform relative to its size in any unit.
    std::uint64_t rounds = 0;
    while (converged && !state.cancel.load() && rounds < kPolishRounds) {
        ++rounds;
        const std::vector<std::size_t> before = stepElements(planes);
        const IcpTransform settled = current;
        const IcpStatistics settledStats = state.stats;
        const PointToPlaneReport settledReport = out;
        std::vector<IcpPair> pairs = state.pairs;
        std::vector<PairPlane> settledPlanes = planes;
        double moved = 0.0;
        for (int k = 0; k < 4; ++k) {
            const Step step = nextStep(k > 0);
            if (!(step.length > 1e-6 * lengthFloor)) break;
            moved += step.length;
            for (IcpPair& p : state.pairs) {
                p.data = step.move(p.data);
                p.distance = (p.data - p.reference).norm();
            }
            refreshPlanes(state, planes, nearest);
            current = step.candidate;
        }
        state.pairs.swap(pairs);
        planes.swap(settledPlanes);
        state.stats = settledStats;
        const Step none;  // the polished transform as it is
        Step polished = none;
        polished.candidate = current;
        current = settled;
        if (!take(polished, true)) {
            state.setTransform(settled);
            out = settledReport;
            break;
        }
        // Done when the pairs stand and the polish moved the data by less than a thousandth
        // of the length floor or a millionth of the plane distances' RMS (far below what
        // noisy pairs resolve).
        if (moved < std::max(1e-3 * lengthFloor, 1e-6 * out.planeRms) &&
            stepElements(planes) == before)
            break;
    }
    state.iterations = passes + std::max<std::uint64_t>(rounds, 1);
    state.progress.store(100.0f);
    return code;
}

template <typename Q>
IcpNearestWithNormal icpNearestPointWithNormal(const KdTree<Q>& tree, const Vec3f* normals) {
    return [&tree, normals](const Vec3d& query, double radius, IcpPartner& partner) {
        // The tree's bound 0 means unbounded; a radius of 0 still finds coincident points.
        const Q* p = tree.findNearest(query, radius >= kMaxDouble ? 0.0 : std::max(radius, 1e-300));
        if (!p) return false;
        partner.point = coords(*p);
        const Vec3f& v = normals[static_cast<std::size_t>(p - tree.first())];
        partner.normal = Vec3d(v.x, v.y, v.z);
        const double length = partner.normal.norm();
        partner.normal = length > 0.0 ? partner.normal / length : Vec3d();
        partner.offset = 0.0;
        return true;
    };
}

namespace {

constexpr std::size_t kPage = 4096;

Vec3d unit(const float v[3]) {
    const Vec3d n(v[0], v[1], v[2]);
    const double length = n.norm();
    return length > 0.0 ? n / length : Vec3d();
}

// A right-handed frame (e1, e2, n) for the unit normal n, the same for the same n.
void frameOf(const Vec3d& n, Vec3d& e1, Vec3d& e2) {
    e1 = std::abs(n.x) < 0.6 ? Vec3d(1.0, 0.0, 0.0) : Vec3d(0.0, 1.0, 0.0);
    e1 = e1 - n * n.dot(e1);
    e1 = e1 / e1.norm();
    e2 = n.cross(e1);
}

// Solves the symmetric positive definite 5x5 system A x = y in place (Cholesky); false
// when a pivot falls below 1e-12 of the largest diagonal entry (the points fix no quadric).
bool solveSymmetric5(double A[5][5], double y[5]) {
    double largest = 0.0;
    for (int i = 0; i < 5; ++i)
        largest = std::max(largest, A[i][i]);
    if (!(largest > 0.0)) return false;
    for (int j = 0; j < 5; ++j) {
        double d = A[j][j];
        for (int k = 0; k < j; ++k)
            d -= A[j][k] * A[j][k];
        if (!(d > 1e-12 * largest)) return false;
        A[j][j] = std::sqrt(d);
        for (int i = j + 1; i < 5; ++i) {
            double v = A[i][j];
            for (int k = 0; k < j; ++k)
                v -= A[i][k] * A[j][k];
            A[i][j] = v / A[j][j];
        }
    }
    for (int i = 0; i < 5; ++i) {
        double v = y[i];
        for (int k = 0; k < i; ++k)
            v -= A[i][k] * y[k];
        y[i] = v / A[i][i];
    }
    for (int i = 4; i >= 0; --i) {
        double v = y[i];
        for (int k = i + 1; k < 5; ++k)
            v -= A[k][i] * y[k];
        y[i] = v / A[i][i];
    }
    return true;
}

}  // namespace

template <typename Q>
struct IcpLocalSurfaces<Q>::Page {
    Surface surfaces[kPage];
    std::atomic<unsigned char> states[kPage];  // 0 not computed, 1 being stored, 2 ready
};

template <typename Q>
IcpLocalSurfaces<Q>::IcpLocalSurfaces(const KdTree<Q>& tree, std::size_t k,
                                      const Vec3f* givenNormals)
    : tree_(tree), k_(k), given_(givenNormals) {}

template <typename Q>
IcpLocalSurfaces<Q>::~IcpLocalSurfaces() {
    for (std::size_t i = 0; i < pageCount_; ++i)
        delete pages_[i].load();
}

template <typename Q>
void IcpLocalSurfaces<Q>::allocate() {
    for (std::size_t i = 0; i < pageCount_; ++i)
        delete pages_[i].load();
    size_ = tree_.size();
    pageCount_ = (size_ + kPage - 1) / kPage;
    pages_.reset(new std::atomic<Page*>[pageCount_]);
    for (std::size_t i = 0; i < pageCount_; ++i)
        pages_[i].store(nullptr, std::memory_order_relaxed);
    computed_.store(0);
}

template <typename Q>
const typename IcpLocalSurfaces<Q>::Surface& IcpLocalSurfaces<Q>::surfaceAt(
    std::size_t index, Surface& scratch) const {
    std::atomic<Page*>& slot = pages_[index / kPage];
    Page* page = slot.load(std::memory_order_acquire);
    if (!page) {
        Page* fresh = new Page();  // zero: nothing computed
        Page* expected = nullptr;
        if (slot.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) {
            page = fresh;
        } else {
            delete fresh;
            page = expected;
        }
    }
    const std::size_t i = index % kPage;
    std::atomic<unsigned char>& state = page->states[i];
    if (state.load(std::memory_order_acquire) == 2) return page->surfaces[i];

    thread_local std::vector<Vec3d> hood;
    const Vec3d b = coords(tree_.first()[index]);
    Vec3f n;
    if (given_) {  // the cloud's normal sets the frame; the k nearest points the quadric
        thread_local std::vector<const KdEntry<Q>*> list;
        tree_.findKNearest(b, std::min(k_, tree_.size()), 0.0, list);
        hood.resize(list.size());
        for (std::size_t j = 0; j < list.size(); ++j) {
            const KdKey& key = tree_.keyAt(tree_.positionOf(list[j]));
            hood[j] = Vec3d(key.v[0], key.v[1], key.v[2]);
        }
        n = given_[index];
    } else {
        n = normalKNearestAt(tree_, b, k_, &hood);
    }
    Surface& s = scratch;
    s.normal[0] = n.x, s.normal[1] = n.y, s.normal[2] = n.z;
    std::fill(s.c, s.c + 5, 0.0);
    s.radius = 0.0;
    const Vec3d nd = unit(s.normal);
    if (nd.squaredNorm() > 0.0 && hood.size() >= 5) {
        Vec3d e1, e2;
        frameOf(nd, e1, e2);
        double rho2 = 0.0;
        for (const Vec3d& q : hood) {
            const Vec3d d = q - b;
            const double u = d.dot(e1), v = d.dot(e2);
            rho2 = std::max(rho2, u * u + v * v);
        }
        const double rho = std::sqrt(rho2);
        // In units of the neighbourhood's radius, so the system is well scaled.
        double A[5][5] = {}, y[5] = {};
        if (rho > 0.0) {
            for (const Vec3d& q : hood) {
                const Vec3d d = (q - b) / rho;
                const double u = d.dot(e1), v = d.dot(e2), w = d.dot(nd);
                const double row[5] = {u, v, u * u, u * v, v * v};
                for (int r = 0; r < 5; ++r) {
                    for (int c = 0; c <= r; ++c)
                        A[r][c] += row[r] * row[c];
                    y[r] += row[r] * w;
                }
            }
            for (int r = 0; r < 5; ++r)
                for (int c = r + 1; c < 5; ++c)
                    A[r][c] = A[c][r];
        }
        if (rho > 0.0 && solveSymmetric5(A, y)) {
            s.c[0] = y[0];
            s.c[1] = y[1];
            s.c[2] = y[2] / rho;
            s.c[3] = y[3] / rho;
            s.c[4] = y[4] / rho;
            s.radius = rho;
        }
    }
    unsigned char expected = 0;
    if (state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
        page->surfaces[i] = s;
        state.store(2, std::memory_order_release);
        ++computed_;
    }
    return scratch;
}

template <typename Q>
Vec3d IcpLocalSurfaces<Q>::normalAt(std::size_t index) const {
    if (index >= size_) return Vec3d();
    Surface scratch;
    return unit(surfaceAt(index, scratch).normal);
}

template <typename Q>
IcpPartner IcpLocalSurfaces<Q>::partnerOf(std::size_t index, const Vec3d& query) const {
    IcpPartner p;
    if (index >= size_) return p;
    Surface scratch;
    const Surface& s = surfaceAt(index, scratch);
    const Vec3d b = coords(tree_.first()[index]);
    p.point = b;
    p.element = index;
    const Vec3d n = unit(s.normal);
    p.normal = n;
    if (!(s.radius > 0.0)) return p;  // the tangent plane at the point
    Vec3d e1, e2;
    frameOf(n, e1, e2);
    const Vec3d d = query - b;
    double u = d.dot(e1), v = d.dot(e2);
    const double r = std::sqrt(u * u + v * v);
    if (r > s.radius) {  // beyond the neighbourhood: the tangent plane at its rim
        u *= s.radius / r;
        v *= s.radius / r;
    }
    const double* c = s.c;
    const double w = c[0] * u + c[1] * v + c[2] * u * u + c[3] * u * v + c[4] * v * v;
    const double gu = c[0] + 2.0 * c[2] * u + c[3] * v;
    const double gv = c[1] + c[3] * u + 2.0 * c[4] * v;
    const Vec3d normal = n - gu * e1 - gv * e2;
    p.normal = normal / normal.norm();
    p.offset = p.normal.dot(u * e1 + v * e2 + w * n);
    return p;
}

template <typename Q>
IcpNearestWithNormal IcpLocalSurfaces<Q>::nearest() const {
    // The nearest point now, its local surface when the step needs it.
    IcpNearestWithNormal::Find find = [this](const Vec3d& query, double radius,
                                             IcpPartner& partner) {
        const Q* p =
            tree_.findNearest(query, radius >= kMaxDouble ? 0.0 : std::max(radius, 1e-300));
        if (!p) return false;
        partner.point = coords(*p);
        partner.normal = Vec3d();
        partner.offset = 0.0;
        partner.element = static_cast<std::size_t>(p - tree_.first());
        return true;
    };
    IcpNearestWithNormal::Plane plane = [this](const Vec3d& query, IcpPartner& partner) {
        partner = partnerOf(partner.element, query);
    };
    return IcpNearestWithNormal(std::move(find), std::move(plane));
}

IcpNearestWithNormal icpNearestOnMeshWithNormal(const KdTree<KdTriangleProxy<Vec3d>>& tree) {
    return [&tree](const Vec3d& query, double radius, IcpPartner& partner) {
        // The same reach as the closest-point search of the other variants.
        const double reach =
            radius >= kMaxDouble ? std::numeric_limits<double>::infinity() : radius + 1e-6;
        const auto hit = tree.searchWithin(query, reach);
        if (!hit) return false;
        partner.point = hit.closest;
        const KdTriangleProxy<Vec3d>& t = *hit.entry->element;
        const Vec3d normal = triangleNormal(*t.vertex0, *t.vertex1, *t.vertex2);
        const double length = normal.norm();
        partner.normal = length > 0.0 ? normal / length : Vec3d();
        partner.offset = 0.0;
        return true;
    };
}

std::string icpFreedomNames(unsigned bits) {
    static const char* const kNames[] = {"rx", "ry", "rz", "tx", "ty", "tz", "s"};
    std::string text;
    for (unsigned k = 0; k < 7; ++k) {
        if (!(bits & (1u << k))) continue;
        if (!text.empty()) text += ", ";
        text += kNames[k];
    }
    return text;
}

#define TESSARO_P2PLANE_FOR(P)                                                                   \
    template int registerPointToPlane(IcpState&, const P*, const P*, int, double, std::uint64_t, \
                                      double, const IcpNearestWithNormal&,                       \
                                      const PointToPlaneOptions&, PointToPlaneReport*);          \
    template IcpNearestWithNormal icpNearestPointWithNormal(const KdTree<P>&, const Vec3f*);
TESSARO_P2PLANE_FOR(Vec3d)
TESSARO_P2PLANE_FOR(GLPoint)
template class IcpLocalSurfaces<Vec3d>;
template class IcpLocalSurfaces<GLPoint>;
#undef TESSARO_P2PLANE_FOR

}  // namespace algorithm
}  // namespace alg3D
