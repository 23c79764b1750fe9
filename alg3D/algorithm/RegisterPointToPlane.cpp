#include "alg3D/algorithm/RegisterPointToPlane.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

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

struct PlanePair {
    IcpPair pair;
    Vec3d normal;
};

int threadsOf(const IcpState& s) {
    return s.threads > 0 ? static_cast<int>(s.threads) : omp_get_num_procs();
}

void addProgress(std::atomic<float>& target, float value) {
    float current = target.load(std::memory_order_relaxed);
    while (!target.compare_exchange_weak(current, current + value, std::memory_order_relaxed)) {
    }
}

// Pairs the data under t within r, wanting m pairs, with the sampling of registerGauss
// (stride n / m, offsets 0, 1, ... until m pairs exist); sorted by distance (stable).
template <typename P>
void pairUp(IcpState& state, std::vector<Vec3d>& normals, const P* data, std::size_t n,
            std::size_t m, double r, const IcpTransform& t, const IcpNearestWithNormal& nearest) {
    state.pairs.clear();
    normals.clear();
    std::size_t stride = 1;
    std::size_t want = n;
    if (n >= m && m > 0) {
        stride = n / m;
        want = m;
    }
    const std::size_t perOffset = n / stride;
    std::vector<PlanePair> slots(perOffset), found;
    std::vector<char> hit(perOffset);
    const auto& weight = state.weightFunction;
    for (std::size_t o = 0; o < stride && found.size() < want; ++o) {
        const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(perOffset);
#pragma omp parallel for schedule(dynamic, 64) \
    num_threads(threadsOf(state)) if (count >= kParallelFrom)
        for (std::ptrdiff_t j = 0; j < count; ++j) {
            hit[j] = 0;
            if (state.cancel.load(std::memory_order_relaxed)) continue;
            const Vec3d x = t.apply(coords(data[o + stride * static_cast<std::size_t>(j)]));
            Vec3d b, normal;
            if (nearest(x, r, b, normal)) {
                PlanePair& p = slots[j];
                p.pair.data = x;
                p.pair.reference = b;
                p.pair.distance = (x - b).norm();
                p.pair.weight = weight ? weight(x, b) : 1.0;
                p.normal = normal;
                hit[j] = 1;
            }
        }
        for (std::size_t j = 0; j < perOffset; ++j)
            if (hit[j]) found.push_back(slots[j]);
    }
    std::stable_sort(found.begin(), found.end(), [](const PlanePair& a, const PlanePair& b) {
        return a.pair.distance < b.pair.distance;
    });
    state.pairs.reserve(found.size());
    normals.reserve(found.size());
    for (const PlanePair& p : found) {
        state.pairs.push_back(p.pair);
        normals.push_back(p.normal);
    }
    state.stats = icpPairStatistics(state.pairs);
}

// Signed plane distances n·(a - b) (0 for pairs without a normal).
void planeResiduals(const std::vector<IcpPair>& pairs, const std::vector<Vec3d>& normals,
                    std::vector<double>& r) {
    r.resize(pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i)
        r[i] = normals[i].dot(pairs[i].data - pairs[i].reference);
}

void planeMeasures(const std::vector<IcpPair>& pairs, const std::vector<Vec3d>& normals,
                   double& mean, double& rms) {
    double sum = 0.0, squares = 0.0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (normals[i].squaredNorm() == 0.0) continue;
        const double d = normals[i].dot(pairs[i].data - pairs[i].reference);
        sum += std::abs(d);
        squares += d * d;
        ++used;
    }
    mean = used ? sum / static_cast<double>(used) : 0.0;
    rms = used ? std::sqrt(squares / static_cast<double>(used)) : 0.0;
}

// Robust weights of the residuals (1 without robust weighting), scale from the median
// absolute residual, never below `floor`.
void robustWeights(int robust, const std::vector<double>& r, const std::vector<Vec3d>& normals,
                   double floor, std::vector<double>& w) {
    w.assign(r.size(), 1.0);
    if (robust != kIcpRobustHuber && robust != kIcpRobustTukey) return;
    std::vector<double> a;
    a.reserve(r.size());
    for (std::size_t i = 0; i < r.size(); ++i)
        if (normals[i].squaredNorm() > 0.0) a.push_back(std::abs(r[i]));
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
Step solveStep(const IcpState& state, const std::vector<Vec3d>& normals,
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
            const Vec3d& nv = normals[i];
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
    std::vector<Vec3d> normals, acceptedNormals;
    pairUp(state, normals, dataBegin, n, m, r0, current, nearest);
    if (state.cancel.load()) return finish(state, kIcpIterationLimit);
    if (allPoints) m = state.pairs.size();
    if (state.pairs.size() < m || state.pairs.size() < 3) return finish(state, kIcpTooFewPoints);
    double radius = std::min(
        allPoints ? state.stats.maxDev : state.stats.meanDev + 3.0 * state.stats.stdDev, r0);
    planeMeasures(state.pairs, normals, out.planeMean, out.planeRms);

    const Vec3d dataCentroid = centroid(dataBegin, dataEnd);
    std::vector<double> residuals, weights;
    std::vector<IcpPair> accepted;
    // The next linearised step from the accepted pairs.
    // `keepWeights`: the robust weights of the previous call stay (one per pair).
    const auto nextStep = [&](bool keepWeights) {
        const Vec3d centre = state.rotationCentreIsOrigin ? Vec3d() : current.apply(dataCentroid);
        planeResiduals(state.pairs, normals, residuals);
        if (!keepWeights) robustWeights(options.robust, residuals, normals, lengthFloor, weights);
        const Step step = solveStep(state, normals, residuals, weights, centre, current);
        out.unobservable = step.unobservable;
        return step;
    };
    // Pairs again under the step's transform: accepted when enough pairs answer,
    // otherwise the accepted pairs and statistics stay.
    const auto take = [&](const Step& step) {
        const IcpStatistics old = state.stats;
        accepted.swap(state.pairs);
        acceptedNormals.swap(normals);
        pairUp(state, normals, dataBegin, n, m, radius, step.candidate, nearest);
        if (state.pairs.size() >= m && !state.cancel.load()) {
            const IcpStatistics& now = state.stats;
            current = step.candidate;
            state.setTransform(current);
            planeMeasures(state.pairs, normals, out.planeMean, out.planeRms);
            if (allPoints)
                radius = std::min(now.maxDev, r0);
            else if (now.stdDev > spreadFloor)
                radius = std::min(now.meanDev + 3.0 * now.stdDev, r0);
            return true;
        }
        state.pairs.swap(accepted);
        normals.swap(acceptedNormals);
        state.stats = old;
        return false;
    };
    int code = kIcpIterationLimit;
    bool converged = false;
    std::uint64_t passes = 0;
    for (std::uint64_t i = 1; i < maxIterations && !converged && !state.cancel.load(); ++i) {
        ++passes;
        addProgress(state.progress, progressStep);
        const Step step = nextStep(false);
        if (step.length < lengthFloor) {
            converged = true, code = kIcpConverged;
        } else if (take(step)) {
            state.iterations = i;
            if (step.length < tolChange) {
                converged = true, code = kIcpConverged;
            } else if (out.planeMean < tol) {
                converged = true, code = kIcpBelowTolerance;
            }
        } else {
            radius = std::min(1.5 * state.stats.maxDev, r0);  // widens for the next try
        }
    }
    // After the stopping rule: up to four Gauss-Newton steps on the settled pairs and
    // weights, then one pairing. The rule leaves the transform a step short of the optimum, a step
    // of a different size relative to the part in each unit; on fixed pairs the plane distances are
    // almost linear in the motion, so these steps reach the optimum of the pairs and the same part
    // ends at the same transform relative to its size in any unit.
    if (converged && !state.cancel.load()) {
        const IcpTransform settled = current;
        const IcpStatistics settledStats = state.stats;
        const PointToPlaneReport settledReport = out;
        std::vector<IcpPair> pairs = state.pairs;
        for (int k = 0; k < 4; ++k) {
            const Step step = nextStep(k > 0);
            if (!(step.length > 1e-6 * lengthFloor)) break;
            for (IcpPair& p : state.pairs) {
                p.data = step.move(p.data);
                p.distance = (p.data - p.reference).norm();
            }
            current = step.candidate;
        }
        state.pairs.swap(pairs);
        state.stats = settledStats;
        const Step none;  // the polished transform as it is
        Step polished = none;
        polished.candidate = current;
        current = settled;
        if (!take(polished)) {
            state.setTransform(settled);
            out = settledReport;
        }
    }
    state.iterations = passes + 1;
    state.progress.store(100.0f);
    return code;
}

template <typename Q>
IcpNearestWithNormal icpNearestPointWithNormal(const KdTree<Q>& tree, const Vec3f* normals) {
    return [&tree, normals](const Vec3d& query, double radius, Vec3d& found, Vec3d& normal) {
        // The tree's bound 0 means unbounded; a radius of 0 still finds coincident points.
        const Q* p = tree.findNearest(query, radius >= kMaxDouble ? 0.0 : std::max(radius, 1e-300));
        if (!p) return false;
        found = coords(*p);
        const Vec3f& v = normals[static_cast<std::size_t>(p - tree.first())];
        normal = Vec3d(v.x, v.y, v.z);
        const double length = normal.norm();
        normal = length > 0.0 ? normal / length : Vec3d();
        return true;
    };
}

namespace {
Vec3d unit(const Vec3f& v) {
    const Vec3d n(v.x, v.y, v.z);
    const double length = n.norm();
    return length > 0.0 ? n / length : Vec3d();
}
}  // namespace

template <typename Q>
void IcpLazyNormals<Q>::allocate() {
    size_ = tree_.size();
    normals_.reset(new Vec3f[size_]);
    states_.reset(new std::atomic<unsigned char>[size_]);
    for (std::size_t i = 0; i < size_; ++i)
        states_[i].store(0, std::memory_order_relaxed);
    computed_.store(0);
}

template <typename Q>
Vec3d IcpLazyNormals<Q>::at(std::size_t index) const {
    if (index >= size_) return Vec3d();
    std::atomic<unsigned char>& state = states_[index];
    if (state.load(std::memory_order_acquire) == 2) return unit(normals_[index]);
    const Vec3f n = normalKNearestAt(tree_, coords(tree_.first()[index]), k_);
    unsigned char expected = 0;
    if (state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
        normals_[index] = n;
        state.store(2, std::memory_order_release);
        ++computed_;
    }
    return unit(n);
}

template <typename Q>
IcpNearestWithNormal IcpLazyNormals<Q>::nearest() const {
    return [this](const Vec3d& query, double radius, Vec3d& found, Vec3d& normal) {
        const Q* p =
            tree_.findNearest(query, radius >= kMaxDouble ? 0.0 : std::max(radius, 1e-300));
        if (!p) return false;
        found = coords(*p);
        normal = at(static_cast<std::size_t>(p - tree_.first()));
        return true;
    };
}

IcpNearestWithNormal icpNearestOnMeshWithNormal(const KdTree<KdTriangleProxy<Vec3d>>& tree) {
    return [&tree](const Vec3d& query, double radius, Vec3d& found, Vec3d& normal) {
        // The same reach as the closest-point search of the other variants.
        const double reach =
            radius >= kMaxDouble ? std::numeric_limits<double>::infinity() : radius + 1e-6;
        const auto hit = tree.searchWithin(query, reach);
        if (!hit) return false;
        found = hit.closest;
        const KdTriangleProxy<Vec3d>& t = *hit.entry->element;
        normal = triangleNormal(*t.vertex0, *t.vertex1, *t.vertex2);
        const double length = normal.norm();
        normal = length > 0.0 ? normal / length : Vec3d();
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
template class IcpLazyNormals<Vec3d>;
template class IcpLazyNormals<GLPoint>;
#undef TESSARO_P2PLANE_FOR

}  // namespace algorithm
}  // namespace alg3D
