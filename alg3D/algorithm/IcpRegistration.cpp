#include "alg3D/algorithm/IcpRegistration.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "alg3D/algorithm/IcpSampledPairing.h"
#include "alg3D/approximate/FitFramework.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/LinearMinimax.h"
#include "alg3D/matrix/PointStatistics.h"
#include "alg3D/matrix/SVD.h"
#include "alg3D/matrix/TimeMeasurement.h"

namespace alg3D {
namespace algorithm {

Matrix4x4d IcpTransform::matrix() const {
    Matrix4x4d m = Matrix4x4d::identity();
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t c = 0; c < 3; ++c)
            m(r, c) = scale * rotation(r, c);
        m(r, 3) = translation[r];
    }
    return m;
}

IcpState::IcpState() : threads(static_cast<unsigned>(omp_get_num_procs())) {}

IcpTransform IcpState::transform() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transform_;
}

void IcpState::setTransform(const IcpTransform& t) {
    std::lock_guard<std::mutex> lock(mutex_);
    transform_ = t;
}

namespace {

constexpr double kMaxDouble = std::numeric_limits<double>::max();
constexpr double kPi = 3.14159265358979323846;
// Below this many points per pairing pass a serial loop beats starting a thread team.
constexpr std::ptrdiff_t kParallelPairingFrom = 4096;
// Chebyshev's closing Newton steps: at most this many; a dual weight (of Σ|w| = 1)
// above kBindingWeight marks a binding pair; a step below kNewtonRest of the size
// ends them (the next would be at the rounding level).
constexpr int kNewtonSteps = 10;
constexpr double kBindingWeight = 1e-12;
constexpr double kNewtonRest = 1e-13;
constexpr int kActiveSetPasses = 32;

void addProgress(std::atomic<float>& target, float value) {
    float current = target.load(std::memory_order_relaxed);
    while (!target.compare_exchange_weak(current, current + value, std::memory_order_relaxed)) {
    }
}

int threadsOf(const IcpState& s) {
    return icpThreads(s);
}

IcpStatistics statisticsOf(const std::vector<IcpPair>& pairs) {
    IcpStatistics s;
    if (pairs.empty()) return s;
    const double n = static_cast<double>(pairs.size());
    s.minDev = pairs.front().distance;
    s.maxDev = pairs.front().distance;
    double sum = 0.0;
    for (const IcpPair& p : pairs) {
        sum += p.distance;
        s.sumSquares += p.distance * p.distance;
        s.minDev = std::min(s.minDev, p.distance);
        s.maxDev = std::max(s.maxDev, p.distance);
    }
    s.meanDev = sum / n;
    double squares = 0.0;
    for (const IcpPair& p : pairs)
        squares += (p.distance - s.meanDev) * (p.distance - s.meanDev);
    s.stdDev = std::sqrt(squares / n);
    s.rmse = std::sqrt(s.sumSquares / n);
    s.pairs = pairs.size();
    return s;
}

// Pairs the data under transform t with radius r, wanting m pairs (the sampling of
// icpSampledPairs), then sorted by distance (stable, so runs repeat exactly).
template <typename P>
void pairUp(IcpState& state, const P* data, std::size_t n, std::size_t m, double r,
            const IcpTransform& t, const IcpNearest& nearest) {
    const auto& weight = state.weightFunction;
    icpSampledPairs(
        state, data, n, m, t, kParallelPairingFrom,
        [&](const Vec3d& x, IcpPair& p) {
            Vec3d b;
            if (!nearest(x, r, b)) return false;
            p.data = x;
            p.reference = b;
            p.distance = (x - b).norm();
            p.weight = weight ? weight(x, b) : 1.0;
            return true;
        },
        state.pairs);
    std::stable_sort(state.pairs.begin(), state.pairs.end(),
                     [](const IcpPair& a, const IcpPair& b) { return a.distance < b.distance; });
    state.stats = statisticsOf(state.pairs);
}

// Angles of R = Rz(az)·Ry(ay)·Rx(ax).
Vec3d anglesOf(const Matrix3x3d& R) {
    double ax, ay, az;
    ay = std::atan2(-R(2, 0), std::sqrt(R(2, 1) * R(2, 1) + R(2, 2) * R(2, 2)));
    if (std::abs(std::abs(ay) - kPi / 2) < 1e-4) {
        ax = std::atan2(-R(1, 2), R(1, 1));
        az = 0.0;
    } else {
        ax = std::atan2(R(2, 1), R(2, 2));
        az = std::atan2(R(1, 0), R(0, 0));
    }
    return Vec3d(ax, ay, az);
}

// Rz(az)·Ry(ay)·Rx(ax) by way of its quaternion.
Matrix3x3d rotationOf(double ax, double ay, double az) {
    const double cx = std::cos(ax / 2), sx = std::sin(ax / 2);
    const double cy = std::cos(ay / 2), sy = std::sin(ay / 2);
    const double cz = std::cos(az / 2), sz = std::sin(az / 2);
    double w = cx * cy * cz + sx * sy * sz;
    double x = sx * cy * cz - cx * sy * sz;
    double y = cx * sy * cz + sx * cy * sz;
    double z = cx * cy * sz - sx * sy * cz;
    const double q = w * w + x * x + y * y + z * z;
    if (q > 0.0 && q != 1.0) {
        const double f = 1.0 / std::sqrt(q);
        w *= f, x *= f, y *= f, z *= f;
    }
    Matrix3x3d R;
    R(0, 0) = w * w + x * x - y * y - z * z;
    R(0, 1) = 2 * (x * y - w * z);
    R(0, 2) = 2 * (x * z + w * y);
    R(1, 0) = 2 * (x * y + w * z);
    R(1, 1) = w * w - x * x + y * y - z * z;
    R(1, 2) = 2 * (y * z - w * x);
    R(2, 0) = 2 * (x * z - w * y);
    R(2, 1) = 2 * (y * z + w * x);
    R(2, 2) = w * w - x * x - y * y + z * z;
    return R;
}

Matrix3x3d maskedRotation(const Vec3d& angles, unsigned freedom) {
    return rotationOf((freedom & kIcpRx) ? angles.x : 0.0, (freedom & kIcpRy) ? angles.y : 0.0,
                      (freedom & kIcpRz) ? angles.z : 0.0);
}

Vec3d maskedTranslation(Vec3d t, unsigned freedom) {
    if (!(freedom & kIcpTx)) t.x = 0.0;
    if (!(freedom & kIcpTy)) t.y = 0.0;
    if (!(freedom & kIcpTz)) t.z = 0.0;
    return t;
}

// Incremental transform taking the pairs' data points onto their partners.
// Spread sums (weighted squared lengths) up to `sumFloor` leave the scale at 1.
IcpTransform incrementalTransform(const std::vector<IcpPair>& pairs, unsigned freedom, int threads,
                                  double sumFloor) {
    IcpTransform inc;
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(pairs.size());
    if (n < 3) return inc;
    double ca[3] = {0, 0, 0}, cb[3] = {0, 0, 0};
    for (const IcpPair& p : pairs) {
        for (int k = 0; k < 3; ++k)
            ca[k] += p.data[k], cb[k] += p.reference[k];
    }
    const Vec3d a0 = Vec3d(ca[0], ca[1], ca[2]) / static_cast<double>(n);
    const Vec3d b0 = Vec3d(cb[0], cb[1], cb[2]) / static_cast<double>(n);
    double h[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    double sa = 0.0, sb = 0.0;
#pragma omp parallel for schedule(static) num_threads(threads) reduction(+ : h[:9], sa, sb) if (n > 4096)
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const IcpPair& p = pairs[static_cast<std::size_t>(i)];
        const Vec3d da = p.data - a0;
        const Vec3d db = p.reference - b0;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                h[3 * r + c] += p.weight * da[r] * db[c];
        sa += p.weight * da.squaredNorm();
        sb += p.weight * db.squaredNorm();
    }
    if (freedom & kIcpRotations) {
        Matrix3x3d H;
        double largest = 0.0;
        for (int k = 0; k < 9; ++k) {
            H[k] = h[k] / static_cast<double>(n);
            largest = std::max(largest, std::abs(H[k]));
        }
        // Clear rounding noise only (relative to the matrix, so that small data keep
        // their rotation).
        for (int k = 0; k < 9; ++k)
            if (std::abs(H[k]) < 1e-12 * largest) H[k] = 0.0;
        Matrix3x3d U, V;
        Vec3d w;
        svd(H, U, w, V);
        if (w.x > 0.0 && w.y > 1e-12 * w.x) {
            // R = V·Uᵀ maximises Σ bᵀ·R·a; the last axis flips for a proper rotation.
            Matrix3x3d R = V * U.transposed();
            if (determinant(R) < 0.0) {
                for (int r = 0; r < 3; ++r)
                    V(r, 2) = -V(r, 2);
                R = V * U.transposed();
            }
            inc.rotation = maskedRotation(anglesOf(R), freedom);
        }
    }
    if ((freedom & kIcpScale) && sb > sumFloor && sa > sumFloor) inc.scale = std::sqrt(sb / sa);
    inc.translation = maskedTranslation(b0 - inc.scale * (inc.rotation * a0), freedom);
    return inc;
}

IcpTransform compose(const IcpTransform& inc, const IcpTransform& t) {
    IcpTransform r;
    r.rotation = inc.rotation * t.rotation;
    r.translation = inc.scale * (inc.rotation * t.translation) + inc.translation;
    r.scale = inc.scale * t.scale;
    return r;
}

struct RunSetup {
    std::size_t n = 0;
    std::size_t m = 0;
    bool allPoints = false;
    // Thresholds of the data's size (see the fit framework): lengths 1e-6 and squared
    // lengths 1e-6 from size 1 up, 1e-6·size and 1e-6·size² below, so that a part in
    // metres stops where it does in millimetres.
    double size = 0.0;
    double lengthFloor = 1e-6;
    double squareFloor = 1e-6;
    double spreadFloor = 0.001;  // the sampled radius follows a standard deviation above it
    double tol = 0.0;
    double tolChange = 0.0;
    double r0 = kMaxDouble;
    float step = 0.0f;
};

// `cancel` is left alone: the controlling thread may set it before the worker gets
// here, and clearing it would lose that abort.
template <typename P>
void resetState(IcpState& state) {
    state.progress.store(0.0f);
    state.pairs.clear();
    state.stats = IcpStatistics();
    state.iterations = 0;
    if (!state.hasInitialTransform) state.setTransform(IcpTransform());
}

RunSetup setupRun(std::size_t n, int samples, double searchRadius, std::uint64_t maxIterations,
                  double tolerance, double size) {
    RunSetup s;
    s.n = n;
    s.size = size;
    s.lengthFloor = approximate::stepThreshold(size);
    s.squareFloor = approximate::gradientThreshold(size);
    if (size < 1.0) s.spreadFloor = 0.001 * size;
    std::size_t m = samples > 0 ? static_cast<std::size_t>(samples) : 0;
    if (m == 0 || m > n) m = n;
    s.m = std::max<std::size_t>(m, 3);
    s.allPoints = s.m >= n;
    s.tol = std::max(tolerance, s.lengthFloor);
    s.tolChange = std::max(s.tol / 10.0, s.lengthFloor);
    s.r0 = searchRadius > 0.0 ? searchRadius : kMaxDouble;
    s.step = maxIterations > 0 ? 100.0f / static_cast<float>(maxIterations) : 100.0f;
    return s;
}

double nextRadius(const IcpStatistics& st, bool allPoints, double r0) {
    const double r = allPoints ? st.maxDev : st.meanDev + 3.0 * st.stdDev;
    return std::min(r, r0);
}

// Rotation centre of the linearised steps: origin, or the transformed data centroid.
Vec3d rotationCentre(const IcpState& state, const IcpTransform& t, const Vec3d& dataCentroid) {
    return state.rotationCentreIsOrigin ? Vec3d() : t.apply(dataCentroid);
}

// Rows per pair: columns Rx, Ry, Rz, Tx, Ty, Tz = w·(p × u), w·u; rhs = w·|a - b|.
// Pairs with |rhs| below `zeroRhs` give a zero row.
void linearSystem(const std::vector<IcpPair>& pairs, const Vec3d& c, unsigned freedom, int threads,
                  double zeroRhs, DMatrix& A, DMatrix& b) {
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(pairs.size());
    A.assign(static_cast<std::uint64_t>(n), 6, 0.0);
    b.assign(static_cast<std::uint64_t>(n), 1, 0.0);
#pragma omp parallel for schedule(static) num_threads(threads) if (n > 4096)
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const IcpPair& pr = pairs[static_cast<std::size_t>(i)];
        const double rhs = pr.weight * pr.distance;
        if (rhs > -zeroRhs && rhs < zeroRhs) continue;
        const Vec3d u = (pr.data - pr.reference) / pr.distance;
        const Vec3d pu = (pr.data - c).cross(u);
        double* row = A.row(static_cast<std::uint64_t>(i));
        for (int k = 0; k < 3; ++k) {
            if (freedom & (1u << k)) row[k] = pr.weight * pu[k];
            if (freedom & (1u << (k + 3))) row[k + 3] = pr.weight * u[k];
        }
        b[static_cast<std::uint64_t>(i)] = rhs;
    }
}

// The step δ (angles, translation) as a transform about the centre c, with scale si.
IcpTransform stepTransform(const double* delta, const Vec3d& c, const IcpTransform& t, double si) {
    const Matrix3x3d dR =
        rotationOf(std::fmod(delta[0], kPi), std::fmod(delta[1], kPi), std::fmod(delta[2], kPi));
    const Vec3d dt(delta[3], delta[4], delta[5]);
    IcpTransform r;
    r.rotation = dR * t.rotation;
    r.translation = si * (dR * (t.translation - c)) + c + dt;
    r.scale = si * t.scale;
    return r;
}

double spreadRatio(const std::vector<IcpPair>& pairs) {
    if (pairs.size() < 3) return 1.0;
    Vec3d ca, cb;
    for (const IcpPair& p : pairs)
        ca += p.data, cb += p.reference;
    ca /= static_cast<double>(pairs.size());
    cb /= static_cast<double>(pairs.size());
    double sa = 0.0, sb = 0.0;
    for (const IcpPair& p : pairs) {
        sa += p.weight * (p.data - ca).squaredNorm();
        sb += p.weight * (p.reference - cb).squaredNorm();
    }
    return (sa > 0.0 && sb > 0.0) ? std::sqrt(sb / sa) : 1.0;
}

// Hessian (row-major 6x6, unknowns Rx, Ry, Rz, Tx, Ty, Tz of stepTransform at the zero
// step) of a pair's weighted distance w·|g| to a fixed partner, g the moved point minus
// its partner: with e = a - b, u = e/|e|, p = a - c and G = ∂g/∂x = [ε_j × p | I],
//   ∇²|g| = Gᵀ(I - uuᵀ)G / |e| + (rotation block) ½(upᵀ + puᵀ) - (u·p)I + C,
// the last two terms from u·g's second order in the angles of Rz·Ry·Rx (C from the
// order of the three turns). Distance-free pairs give 0.
void addDistanceHessian(const IcpPair& pr, const Vec3d& c, double factor, double H[6][6]) {
    const Vec3d e = pr.data - pr.reference;
    const double d = e.norm();
    if (!(d > 0.0)) return;
    const Vec3d u = e / d;
    const Vec3d p = pr.data - c;
    const double f = factor * pr.weight;
    Vec3d G[6];  // columns of ∂g/∂x
    const Vec3d unit[3] = {Vec3d(1, 0, 0), Vec3d(0, 1, 0), Vec3d(0, 0, 1)};
    for (int j = 0; j < 3; ++j) {
        G[j] = unit[j].cross(p);
        G[j + 3] = unit[j];
    }
    for (int j = 0; j < 6; ++j) {
        const Vec3d Pj = G[j] - u * u.dot(G[j]);  // (I - uuᵀ)·G_j
        for (int l = 0; l < 6; ++l)
            H[j][l] += f * Pj.dot(G[l]) / d;
    }
    const double up = u.dot(p);
    const Vec3d q = p.cross(u);
    const double second[3][3] = {{u.x * p.x - up, 0.5 * (u.x * p.y + p.x * u.y) - 0.5 * q.z,
                                  0.5 * (u.x * p.z + p.x * u.z) + 0.5 * q.y},
                                 {0.5 * (u.y * p.x + p.y * u.x) - 0.5 * q.z, u.y * p.y - up,
                                  0.5 * (u.y * p.z + p.y * u.z) - 0.5 * q.x},
                                 {0.5 * (u.z * p.x + p.z * u.x) + 0.5 * q.y,
                                  0.5 * (u.z * p.y + p.z * u.y) - 0.5 * q.x, u.z * p.z - up}};
    for (int j = 0; j < 3; ++j)
        for (int l = 0; l < 3; ++l)
            H[j][l] += f * second[j][l];
}

// A Newton step towards the minimax optimum over a point reference, in the scaled
// unknowns of the minimax solve (As: the free columns, rotation columns over scaleRot;
// b over scaleAll; the step x' = x / D): the optimality conditions of the binding pairs
// B, linearised with W = Σλ_i·∇²f_i (f = the weighted distance, over scaleAll),
//   W·x' + Σ_B λ_i·As_i = 0,   Σ_B λ_i = 1,   f_i + As_i·x' = τ  (i in B),
// one square system solved by SVD. B starts with the pairs of positive `duals` and is
// mended as in an active-set method: a negative multiplier drops its pair, a pair the
// quadratic model puts above τ joins. Writes the step (Rx, Ry, Rz, Tx, Ty, Tz, zero
// where not free) and its length (translations and angles times scaleRot); false when
// no consistent binding set was found.
bool newtonStep(const std::vector<IcpPair>& pairs, const Vec3d& centre, const DMatrix& As,
                const DMatrix& b, const std::vector<int>& columns, double scaleAll, double scaleRot,
                const std::vector<double>& duals, double step[6], double& length) {
    const std::size_t nv = columns.size();
    std::vector<double> D(nv);
    for (std::size_t c = 0; c < nv; ++c)
        D[c] = columns[c] < 3 ? scaleAll / scaleRot : scaleAll;
    // The quadratic model of pair `row` at the scaled step x' (over scaleAll).
    const auto curvature = [&](std::size_t row, const DMatrix& x) {
        double H[6][6] = {};
        addDistanceHessian(pairs[row], centre, 1.0, H);
        double q = 0.0;
        for (std::size_t c = 0; c < nv; ++c)
            for (std::size_t l = 0; l < nv; ++l)
                q += x[c] * D[c] * H[columns[c]][columns[l]] * D[l] * x[l];
        return 0.5 * q / scaleAll;
    };
    std::vector<std::size_t> binding;
    std::vector<double> lambda;
    for (std::size_t r = 0; r < duals.size(); ++r)
        if (duals[r] > kBindingWeight) binding.push_back(r), lambda.push_back(duals[r]);
    DMatrix z;
    bool solved = false;
    for (int pass = 0; pass < kActiveSetPasses && !binding.empty(); ++pass) {
        const std::size_t nb = binding.size();
        double H[6][6] = {};
        for (std::size_t q = 0; q < nb; ++q)
            addDistanceHessian(pairs[binding[q]], centre, lambda[q], H);
        const std::size_t dim = nv + 1 + nb;
        DMatrix K(dim, dim), r(dim, 1);
        for (std::size_t c = 0; c < nv; ++c)
            for (std::size_t l = 0; l < nv; ++l)
                K(c, l) = D[c] * H[columns[c]][columns[l]] * D[l] / scaleAll;
        for (std::size_t q = 0; q < nb; ++q) {
            const std::uint64_t row = binding[q];
            for (std::size_t c = 0; c < nv; ++c) {
                K(c, nv + 1 + q) = As(row, c);
                K(nv + 1 + q, c) = As(row, c);
            }
            K(nv, nv + 1 + q) = 1.0;
            K(nv + 1 + q, nv) = -1.0;
            r[nv + 1 + q] = -b[row] / scaleAll;
        }
        r[nv] = 1.0;
        z = svdSolve(K, r, 0.0);
        std::size_t worst = nb;
        double worstValue = 0.0;
        for (std::size_t q = 0; q < nb; ++q)
            if (z[nv + 1 + q] < worstValue) worst = q, worstValue = z[nv + 1 + q];
        if (worst < nb) {  // not binding after all
            binding.erase(binding.begin() + static_cast<std::ptrdiff_t>(worst));
            lambda.erase(lambda.begin() + static_cast<std::ptrdiff_t>(worst));
            solved = false;
            continue;
        }
        const double tau = z[nv];
        std::size_t over = pairs.size();
        double overValue = tau + kBindingWeight;
        for (std::size_t row = 0; row < pairs.size(); ++row) {
            if (b[row] == 0.0 || std::find(binding.begin(), binding.end(), row) != binding.end())
                continue;
            double f = b[row] / scaleAll;
            for (std::size_t c = 0; c < nv; ++c)
                f += As(row, c) * z[c];
            f += curvature(row, z);
            if (f > overValue) over = row, overValue = f;
        }
        if (over < pairs.size()) {  // the step would lift this pair above the others
            binding.push_back(over);
            lambda.push_back(0.0);
            solved = false;
            continue;
        }
        // Once more with the curvature weighted by the Newton multipliers.
        bool same = solved;
        for (std::size_t q = 0; q < nb; ++q) {
            same = same && std::abs(lambda[q] - z[nv + 1 + q]) <= kBindingWeight;
            lambda[q] = z[nv + 1 + q];
        }
        if (solved || same) {
            solved = true;
            break;
        }
        solved = true;
    }
    if (!solved) return false;
    length = 0.0;
    for (std::size_t c = 0; c < nv; ++c) {
        step[columns[c]] = z[c] * D[c];
        length += z[c] * z[c];
    }
    length = std::sqrt(length) * scaleAll;
    return true;
}

// Ends a run early: progress 100, the code returned.
int finish(IcpState& state, int code) {
    state.progress.store(100.0f);
    return code;
}

// The common start of both Gauss variants: the checks, the set-up and the first pairing
// within the start radius. Returns the code of a run that ends here, or -1 to go on.
template <typename P>
int startGauss(IcpState& state, const P* dataBegin, std::size_t n, int samples, double searchRadius,
               std::uint64_t maxIterations, double tolerance, const IcpNearest& nearest,
               RunSetup& s, IcpTransform& current) {
    if (n < 3) return finish(state, kIcpTooFewPoints);
    if ((state.freedom & (kIcpRigid | kIcpScale)) == 0) return finish(state, kIcpConverged);
    if (state.cancel.load()) return finish(state, kIcpIterationLimit);
    s = setupRun(n, samples, searchRadius, maxIterations, tolerance,
                 pointSpread(dataBegin, dataBegin + n));
    current = state.transform();
    pairUp(state, dataBegin, n, s.m, s.r0, current, nearest);
    // A pairing cut short by an abort says nothing about the radius.
    if (state.cancel.load()) return finish(state, kIcpIterationLimit);
    if (s.allPoints) s.m = state.pairs.size();
    if (state.pairs.size() < s.m || state.pairs.size() < 3) return finish(state, kIcpTooFewPoints);
    return -1;
}

}  // namespace

IcpStatistics icpPairStatistics(const std::vector<IcpPair>& pairs) {
    return statisticsOf(pairs);
}

template <typename P>
int registerGauss(IcpState& state, const P* dataBegin, const P* dataEnd, int samples,
                  double searchRadius, std::uint64_t maxIterations, double tolerance,
                  const IcpNearest& nearest) {
    resetState<P>(state);
    const std::size_t n = dataEnd > dataBegin ? static_cast<std::size_t>(dataEnd - dataBegin) : 0;
    RunSetup s;
    IcpTransform current;
    const int early = startGauss(state, dataBegin, n, samples, searchRadius, maxIterations,
                                 tolerance, nearest, s, current);
    if (early >= 0) return early;
    const int threads = threadsOf(state);
    double radius = nextRadius(state.stats, s.allPoints, s.r0);
    int code = kIcpIterationLimit;
    bool converged = false;
    std::uint64_t i = 1;
    std::uint64_t passes = 0;
    std::vector<IcpPair> accepted;
    for (; i < maxIterations && !converged && !state.cancel.load(); ++i) {
        ++passes;
        addProgress(state.progress, s.step);
        const IcpTransform candidate = compose(
            incrementalTransform(state.pairs, state.freedom, threads, s.squareFloor), current);
        const IcpStatistics old = state.stats;
        accepted.swap(state.pairs);
        pairUp(state, dataBegin, n, s.m, radius, candidate, nearest);
        if (state.pairs.size() >= s.m && !state.cancel.load()) {
            const IcpStatistics& now = state.stats;
            if (s.allPoints)
                radius = std::min(now.maxDev, s.r0);
            else if (now.stdDev > s.spreadFloor)
                radius = std::min(now.meanDev + 3.0 * now.stdDev, s.r0);
            if (std::abs(now.meanDev - old.meanDev) < s.tolChange) {
                converged = true, code = kIcpConverged;
            } else if (now.meanDev < s.tol) {
                converged = true, code = kIcpBelowTolerance;
            }
            current = candidate;
            state.setTransform(current);
            state.iterations = i;
        } else {
            // Rejected: the accepted pairs and statistics stay, the radius widens.
            state.pairs.swap(accepted);
            state.stats = old;
            radius = std::min(1.5 * old.maxDev, s.r0);
        }
    }
    state.iterations = passes + 1;
    state.progress.store(100.0f);
    return code;
}

template <typename P>
int registerGaussMesh(IcpState& state, const P* dataBegin, const P* dataEnd, int samples,
                      double searchRadius, std::uint64_t maxIterations, double tolerance,
                      const IcpNearest& nearest) {
    resetState<P>(state);
    const std::size_t n = dataEnd > dataBegin ? static_cast<std::size_t>(dataEnd - dataBegin) : 0;
    RunSetup s;
    IcpTransform current;
    const int early = startGauss(state, dataBegin, n, samples, searchRadius, maxIterations,
                                 tolerance, nearest, s, current);
    if (early >= 0) return early;
    const int threads = threadsOf(state);
    const Vec3d dataCentroid = centroid(dataBegin, dataEnd);
    double radius = nextRadius(state.stats, s.allPoints, s.r0);

    DMatrix A, b, AtA(6, 6), Atb(6, 1);
    Vec3d centre;
    double currentCost = 0.0;  // ½·Σ rhs² of the system
    const auto rebuild = [&] {
        centre = rotationCentre(state, current, dataCentroid);
        linearSystem(state.pairs, centre, state.freedom, threads, s.lengthFloor, A, b);
        AtA.assign(6, 6, 0.0);
        Atb.assign(6, 1, 0.0);
        currentCost = 0.0;
        for (std::uint64_t r = 0; r < A.rows(); ++r) {
            const double* row = A.row(r);
            for (int j = 0; j < 6; ++j) {
                Atb[j] += row[j] * b[r];
                for (int k = 0; k < 6; ++k)
                    AtA(j, k) += row[j] * row[k];
            }
            currentCost += 0.5 * b[r] * b[r];
        }
    };
    rebuild();
    // Aᵀb has length entries (translations) and squared ones (rotations): the fits'
    // gradient threshold, as the singular-value tolerance of the solve.
    const double gradientFloor = approximate::gradientThreshold(s.size);
    const double solveFloor = approximate::solveTolerance(s.size);
    const auto gradientSmall = [&] {
        for (int j = 0; j < 6; ++j)
            if (std::abs(Atb[j]) >= gradientFloor) return false;
        return true;
    };
    // After the stopping rule: up to kPolishSteps undamped Gauss-Newton steps, each
    // taken when it does not raise the sum of squares. The stopping rule leaves the
    // transform about one (damped) step from the optimum, which is a different fraction
    // of the size in each unit; near the optimum these steps converge fast, so the same
    // part ends at the same transform relative to its size in any unit.
    constexpr int kPolishSteps = 3;
    std::vector<IcpPair> kept;
    const auto polish = [&] {
        for (int k = 0; k < kPolishSteps && !state.cancel.load(); ++k) {
            rebuild();
            DMatrix g(6, 1);
            for (int j = 0; j < 6; ++j)
                g[j] = -Atb[j];
            const DMatrix delta = svdSolve(AtA, g, solveFloor);
            double length = 0.0;
            for (int j = 0; j < 6; ++j)
                length += delta[j] * delta[j];
            if (!(std::sqrt(length) > 1e-6 * s.lengthFloor)) return;
            const double si = (state.freedom & kIcpScale) ? spreadRatio(state.pairs) : 1.0;
            const IcpTransform candidate = stepTransform(delta.data(), centre, current, si);
            const IcpStatistics old = state.stats;
            const double oldSquares = old.sumSquares;
            const std::size_t rows = state.pairs.size();
            kept.swap(state.pairs);
            pairUp(state, dataBegin, n, s.m, radius, candidate, nearest);
            if (state.pairs.size() == rows && state.stats.sumSquares <= oldSquares &&
                !state.cancel.load()) {
                current = candidate;
                state.setTransform(current);
            } else {
                state.pairs.swap(kept);
                state.stats = old;
                return;
            }
        }
    };
    int code = kIcpIterationLimit;
    bool converged = gradientSmall();
    if (converged) code = kIcpConverged;
    double damping = 0.0;
    for (int j = 0; j < 6; ++j)
        damping = std::max(damping, AtA(j, j));
    damping *= 1e-3;
    double growth = 2.0;
    double previousLength = kMaxDouble;  // of the last accepted step
    bool lastAccepted = true;            // the start counts as accepted
    std::uint64_t i = 1;
    std::uint64_t passes = 0;
    std::vector<IcpPair> accepted;
    for (; i < maxIterations && !converged && !state.cancel.load(); ++i) {
        ++passes;
        addProgress(state.progress, s.step);
        DMatrix M = AtA;
        for (int j = 0; j < 6; ++j)
            M(j, j) += damping;
        DMatrix g(6, 1);
        for (int j = 0; j < 6; ++j)
            g[j] = -Atb[j];
        const DMatrix delta = svdSolve(M, g, solveFloor);
        double length = 0.0;
        for (int j = 0; j < 6; ++j)
            length += delta[j] * delta[j];
        length = std::sqrt(length);
        // Converged only where the last step was taken: after a rejected one the
        // harder-damped step is tried instead (a code 0 must follow an accepted step).
        if (lastAccepted &&
            (length < s.lengthFloor || std::abs(length - previousLength) < s.lengthFloor)) {
            converged = true, code = kIcpConverged;
            polish();
            break;
        }
        const double si = (state.freedom & kIcpScale) ? spreadRatio(state.pairs) : 1.0;
        const IcpTransform candidate = stepTransform(delta.data(), centre, current, si);
        const IcpStatistics old = state.stats;
        const std::size_t rows = state.pairs.size();
        accepted.swap(state.pairs);
        pairUp(state, dataBegin, n, s.m, radius, candidate, nearest);
        double q = -1.0;
        if (state.pairs.size() >= s.m && !state.pairs.empty()) {
            double newSquares = 0.0;
            for (const IcpPair& p : state.pairs)
                newSquares += p.weight * p.weight * p.distance * p.distance;
            const double newCost = 0.5 * newSquares * static_cast<double>(rows) /
                                   static_cast<double>(state.pairs.size());
            double predicted = 0.0;  // ½·δᵀ(μ·δ − Aᵀb)
            for (int j = 0; j < 6; ++j)
                predicted += 0.5 * delta[j] * (damping * delta[j] - Atb[j]);
            if (predicted > 0.0) q = (currentCost - newCost) / predicted;
        }
        if (q > 0.0 && !state.cancel.load()) {
            const IcpStatistics& now = state.stats;
            current = candidate;
            state.setTransform(current);
            state.iterations = i;
            previousLength = length;
            lastAccepted = true;
            if (std::abs(now.meanDev - old.meanDev) < s.tolChange) {
                converged = true, code = kIcpConverged;
            } else if (now.meanDev < s.tol) {
                converged = true, code = kIcpBelowTolerance;
            }
            if (s.allPoints)
                radius = std::min(now.maxDev, s.r0);
            else if (now.stdDev > s.spreadFloor)
                radius = std::min(now.meanDev + 3.0 * now.stdDev, s.r0);
            if (converged) {
                polish();
                break;
            }
            rebuild();
            const double f = 2.0 * q - 1.0;
            damping *= std::max(1.0 / 3.0, 1.0 - f * f * f);
            growth = 2.0;
        } else {
            // Rejected: keep the accepted state, damp harder, widen the radius.
            state.pairs.swap(accepted);
            state.stats = old;
            lastAccepted = false;
            damping *= growth;
            growth *= 2.0;
            radius = std::min(1.5 * old.maxDev, s.r0);
        }
    }
    state.iterations = passes + 1;
    state.progress.store(100.0f);
    return code;
}

template <typename P>
int registerChebyshev(IcpState& state, const P* dataBegin, const P* dataEnd, double searchRadius,
                      std::uint64_t maxIterations, double tolerance, const IcpNearest& nearest) {
    resetState<P>(state);
    const std::size_t n = dataEnd > dataBegin ? static_cast<std::size_t>(dataEnd - dataBegin) : 0;
    if (n < 3) return finish(state, kIcpTooFewPoints);
    if ((state.freedom & kIcpRigid) == 0) return finish(state, kIcpConverged);
    if (state.cancel.load()) return finish(state, kIcpIterationLimit);
    const RunSetup s =
        setupRun(n, 0, searchRadius, maxIterations, tolerance, pointSpread(dataBegin, dataEnd));
    const int threads = threadsOf(state);
    const Vec3d dataCentroid = centroid(dataBegin, dataEnd);
    IcpTransform current = state.transform();
    double radius = s.r0;
    pairUp(state, dataBegin, n, n, radius, current, nearest);
    if (state.cancel.load()) return finish(state, kIcpIterationLimit);
    const std::size_t wanted = state.pairs.size();
    if (wanted < 3) return finish(state, kIcpTooFewPoints);
    if (state.stats.maxDev < s.lengthFloor) return finish(state, kIcpConverged);
    double factor = 1.0;
    double previousNorm = kMaxDouble;
    int code = kIcpIterationLimit;
    bool converged = false;
    bool rebuild = true;
    DMatrix A, b, h, As;
    std::vector<int> columns;   // the free unknowns, in the order of As
    std::vector<double> duals;  // the binding pairs' multipliers of the last solve
    double optimum = 0.0;
    double scaleRot = 1.0, scaleAll = 1.0;
    Vec3d centre;
    std::vector<IcpPair> kept;
    // The minimax step h of the current pairs about `centre`, and its optimum.
    const auto solveStep = [&] {
        linearSystem(state.pairs, centre, state.freedom, threads, s.lengthFloor, A, b);
        // Scaled to about 1 for the simplex's absolute tolerances: the rhs by the
        // largest deviation, the rotation columns by the extent about the centre.
        // The unknowns then come out in units of the largest deviation (angles
        // times the extent), which the step below undoes.
        scaleAll = state.stats.maxDev > 0.0 ? state.stats.maxDev : 1.0;
        double extent = 0.0;
        for (const IcpPair& p : state.pairs)
            extent = std::max(extent, (p.data - centre).norm());
        scaleRot = extent > 0.0 ? extent : 1.0;
        columns.clear();
        for (int k = 0; k < 6; ++k)
            if (state.freedom & (1u << k)) columns.push_back(k);
        As.assign(A.rows(), columns.size());
        DMatrix bs(A.rows(), 1);
        for (std::uint64_t r = 0; r < A.rows(); ++r) {
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const int k = columns[c];
                As(r, c) = A(r, static_cast<std::uint64_t>(k)) * (k < 3 ? 1.0 / scaleRot : 1.0);
            }
            bs[r] = b[r] / scaleAll;
        }
        DMatrix hs;
        const double t = linearMinimax(As, bs, hs, duals);
        // A failed simplex is an error, not a verdict on the data.
        if (t < 0.0 || hs.empty()) throwAlg3dException(errors::kApproximationFailed);
        optimum = t * scaleAll;
        h.assign(6, 1, 0.0);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const int k = columns[c];
            h[static_cast<std::uint64_t>(k)] = hs[c] * scaleAll * (k < 3 ? 1.0 / scaleRot : 1.0);
        }
    };
    // Pairs again under a closing step's candidate and takes it when every point keeps a
    // partner and the maximum does not rise; otherwise the pairs and statistics stay.
    const auto takeIfNotWorse = [&](const IcpTransform& candidate) {
        const IcpStatistics old = state.stats;
        kept.swap(state.pairs);
        pairUp(state, dataBegin, n, n, radius, candidate, nearest);
        if (state.pairs.size() == wanted && state.stats.maxDev <= old.maxDev &&
            !state.cancel.load()) {
            current = candidate;
            state.setTransform(current);
            radius = std::min(1.01 * state.stats.maxDev, s.r0);
            return true;
        }
        state.pairs.swap(kept);
        state.stats = old;
        return false;
    };
    // After the stopping rule (code 0 or 4): up to three full minimax steps, each taken
    // when it does not raise the maximum (see the mesh variant): the stopping rule
    // leaves the transform a unit-dependent fraction of the size from the optimum.
    const auto polish = [&] {
        for (int k = 0; k < 3 && !state.cancel.load(); ++k) {
            centre = rotationCentre(state, current, dataCentroid);
            solveStep();
            if (!(state.stats.maxDev - optimum >= s.lengthFloor * 1e-6)) return;
            const IcpTransform candidate = stepTransform(h.data(), centre, current, 1.0);
            if (!takeIfNotWorse(candidate)) return;
        }
    };
    // Near the optimum over a point reference fewer than seven pairs bind: the minimax
    // is no vertex of the linearised problem, the distances' curvature holds the
    // transform, and linear steps creep towards it (so where they stop is a
    // unit-dependent fraction of the size away). Newton steps on the optimality
    // conditions of the binding pairs (newtonStep) converge fast there. Each step is
    // taken when it does not raise the maximum; all quantities are scaled like the
    // minimax solve's, so no threshold has a unit.
    const auto newtonPolish = [&] {
        for (int k = 0; k < kNewtonSteps && !state.cancel.load(); ++k) {
            centre = rotationCentre(state, current, dataCentroid);
            solveStep();
            double step[6] = {};
            double length = 0.0;
            if (!newtonStep(state.pairs, centre, As, b, columns, scaleAll, scaleRot, duals, step,
                            length))
                return;
            const IcpTransform candidate = stepTransform(step, centre, current, 1.0);
            if (!takeIfNotWorse(candidate)) return;
            if (length <= kNewtonRest * s.size) return;
        }
    };
    std::vector<IcpPair> accepted;
    std::uint64_t i = 1;
    std::uint64_t passes = 0;
    for (; i < maxIterations && !converged && !state.cancel.load(); ++i) {
        ++passes;
        addProgress(state.progress, s.step);
        centre = rotationCentre(state, current, dataCentroid);
        if (rebuild) {
            solveStep();
            // The optimum is the maximum the step promises. A small optimum is the best
            // step there is (exact data): it is taken. Only a step that promises no
            // gain over the current maximum ends the run.
            if (state.stats.maxDev - optimum < s.lengthFloor) {
                code = kIcpNoImprovement;
                break;
            }
        }
        double step[6];
        double norm = 0.0;
        for (int k = 0; k < 6; ++k) {
            step[k] = factor * h[static_cast<std::uint64_t>(k)];
            norm += step[k] * step[k];
        }
        norm = std::sqrt(norm);
        if (norm < s.lengthFloor || std::abs(norm - previousNorm) < s.lengthFloor) {
            code = kIcpConverged;
            break;
        }
        const IcpTransform candidate = stepTransform(step, centre, current, 1.0);
        const IcpStatistics old = state.stats;
        accepted.swap(state.pairs);
        pairUp(state, dataBegin, n, n, radius, candidate, nearest);
        const double newMax = state.pairs.size() < wanted ? std::numeric_limits<double>::infinity()
                                                          : state.stats.maxDev;
        if (newMax <= old.maxDev && !state.cancel.load()) {
            current = candidate;
            state.setTransform(current);
            state.iterations = i;
            radius = std::min(1.01 * newMax, s.r0);
            previousNorm = norm;
            rebuild = true;
            if (std::abs(newMax - old.maxDev) <= s.tolChange) {
                converged = true, code = kIcpConverged;
            } else if (newMax < s.tol) {
                converged = true, code = kIcpBelowTolerance;
            }
        } else {
            state.pairs.swap(accepted);
            state.stats = old;
            rebuild = false;
        }
        const double rho = (old.maxDev - newMax) / std::abs(old.maxDev - optimum);
        if (!(rho > 0.0))
            factor *= 0.5;
        else if (rho < 0.25)
            factor *= (rho + 1.0) * (rho + 1.0) * (rho + 1.0);
        else if (rho > 0.75)
            factor *= 3.0;
        factor = std::min(factor, 1.0);
    }
    if (code == kIcpConverged || code == kIcpNoImprovement) {
        // The run has its result: a minimax solve failing in the closing steps ends
        // them and keeps the last accepted transform instead of failing the run.
        try {
            polish();
            newtonPolish();
        } catch (const Alg3dException&) {
        }
    }
    state.iterations = passes + 1;
    state.progress.store(100.0f);
    return code;
}

template <typename P>
void alignCenters(IcpState& state, const P* dataBegin, const P* dataEnd,
                  const Vec3d& referenceCentre) {
    IcpTransform t;
    t.translation = referenceCentre - centroid(dataBegin, dataEnd);
    state.setTransform(t);
    state.hasInitialTransform = true;
}

template <typename Q>
IcpNearest icpNearestPoint(const KdTree<Q>& tree) {
    return [&tree](const Vec3d& query, double radius, Vec3d& found) {
        // The tree's bound 0 means unbounded; a radius of 0 still finds coincident points.
        const Q* p = tree.findNearest(query, radius >= kMaxDouble ? 0.0 : std::max(radius, 1e-300));
        if (!p) return false;
        found = coords(*p);
        return true;
    };
}

IcpNearest icpNearestOnMesh(const KdTree<KdTriangleProxy<Vec3d>>& tree) {
    return [&tree](const Vec3d& query, double radius, Vec3d& found) {
        bool front = true;
        return tree.findClosestOnMesh(query, radius >= kMaxDouble ? 0.0 : std::max(radius, 1e-300),
                                      found, front);
    };
}

std::string icpStatisticsText(const IcpState& state, const std::string& duration) {
    char buffer[2048];
    const IcpStatistics& s = state.stats;
    std::snprintf(buffer, sizeof buffer,
                  "iterations: %llu\npairs: %llu\nmeanDev.: %.8f\nminDev.: %.8f\nmaxDev.: %.8f\n"
                  "RMSE: %.8f\nstdDev.: %.8f\nduration: ",
                  static_cast<unsigned long long>(state.iterations),
                  static_cast<unsigned long long>(s.pairs), s.meanDev, s.minDev, s.maxDev, s.rmse,
                  s.stdDev);
    return buffer + duration;
}

std::string icpTransformText(const IcpTransform& t) {
    std::string text = "** R **\n";
    char line[256];
    for (std::size_t r = 0; r < 3; ++r) {
        std::snprintf(line, sizeof line, "%+.6f %+.6f %+.6f \n", t.rotation(r, 0), t.rotation(r, 1),
                      t.rotation(r, 2));
        text += line;
    }
    text += "** T **\n";
    for (std::size_t k = 0; k < 3; ++k) {
        std::snprintf(line, sizeof line, "%+.6f \n", t.translation[k]);
        text += line;
    }
    text += "** S **\n";
    std::snprintf(line, sizeof line, "%+.6f", t.scale);
    return text + line;
}

template <typename P, typename Q>
void icpRegistration(ParamICPalgorithm<P, Q>& param) {
    TimeMeasurement watch("ICP-Registration");
    watch.setReport(param.report);
    if (param.chebyshev) {
        param.samples = 0;
        param.result =
            registerChebyshev(param.state, param.dataBegin, param.dataEnd, param.searchRadius,
                              param.maxIterations, param.tolerance, param.nearest);
    } else if (param.mesh) {
        param.result = registerGaussMesh(param.state, param.dataBegin, param.dataEnd, param.samples,
                                         param.searchRadius, param.maxIterations, param.tolerance,
                                         param.nearest);
    } else {
        param.result =
            registerGauss(param.state, param.dataBegin, param.dataEnd, param.samples,
                          param.searchRadius, param.maxIterations, param.tolerance, param.nearest);
    }
    param.duration = watch.elapsedText();
    param.milliseconds = static_cast<double>(watch.elapsedMilliseconds());
}

#define TESSARO_ICP_FOR(P)                                                                        \
    template int registerGauss(IcpState&, const P*, const P*, int, double, std::uint64_t, double, \
                               const IcpNearest&);                                                \
    template int registerGaussMesh(IcpState&, const P*, const P*, int, double, std::uint64_t,     \
                                   double, const IcpNearest&);                                    \
    template int registerChebyshev(IcpState&, const P*, const P*, double, std::uint64_t, double,  \
                                   const IcpNearest&);                                            \
    template void alignCenters(IcpState&, const P*, const P*, const Vec3d&);                      \
    template IcpNearest icpNearestPoint(const KdTree<P>&);
TESSARO_ICP_FOR(Vec3d)
TESSARO_ICP_FOR(GLPoint)
#undef TESSARO_ICP_FOR

template void icpRegistration(ParamICPalgorithm<Vec3d, Vec3d>&);
template void icpRegistration(ParamICPalgorithm<Vec3d, GLPoint>&);
template void icpRegistration(ParamICPalgorithm<GLPoint, Vec3d>&);
template void icpRegistration(ParamICPalgorithm<GLPoint, GLPoint>&);

}  // namespace algorithm
}  // namespace alg3D
