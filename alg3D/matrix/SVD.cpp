#include "alg3D/matrix/SVD.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>

#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {

namespace {

using Index = std::ptrdiff_t;

constexpr double kEps = 2.220446049250313e-16;     // 2^-52
constexpr double kTiny = 2.2250738585072014e-308;  // 2^-1022
constexpr int kMaxSweeps = 100;

// Plane rotation (c, s) with c·f + s·g = r = sqrt(f² + g²) and -s·f + c·g = 0.
// r is the hypot of f and g scaled by the larger operand, so neither overflows
// nor underflows; c and s come from the same ratio without a further division
// by r.
inline void rotation(double f, double g, double& c, double& s, double& r) {
    const double af = std::fabs(f);
    const double ag = std::fabs(g);
    if (af > ag) {
        const double t = g / f;
        const double u = std::sqrt(1.0 + t * t);
        r = af * u;
        c = std::copysign(1.0 / u, f);
        s = t * c;
    } else if (ag > 0.0) {
        const double t = f / g;
        const double u = std::sqrt(1.0 + t * t);
        r = ag * u;
        s = std::copysign(1.0 / u, g);
        c = t * s;
    } else {
        r = af + ag;  // 0, or NaN passed through
        c = 1.0;
        s = 0.0;
    }
}

// Euclidean norm of count values spaced by stride. The plain sum of squares is
// exact enough and fast; only when it overflows or sinks towards the subnormal
// range is the vector rescaled by its largest magnitude.
inline double stridedNorm(const double* x, Index count, Index stride) {
    double sum = 0.0;
    for (Index i = 0; i < count; ++i)
        sum += x[i * stride] * x[i * stride];
    if (sum > 1e-250 && sum < 1e250) return std::sqrt(sum);
    if (std::isnan(sum)) return sum;
    double scale = 0.0;
    for (Index i = 0; i < count; ++i)
        scale = std::max(scale, std::fabs(x[i * stride]));
    if (scale == 0.0 || std::isinf(scale)) return scale;
    sum = 0.0;
    for (Index i = 0; i < count; ++i) {
        const double t = x[i * stride] / scale;
        sum += t * t;
    }
    return scale * std::sqrt(sum);
}

// Applies the rotation to columns j and k of a row-major matrix:
// col j <- c·col j + s·col k, col k <- c·col k - s·col j.
inline void rotateColumns(double* m, Index rows, Index ld, Index j, Index k, double c, double s) {
    for (Index i = 0; i < rows; ++i) {
        double* r = m + i * ld;
        const double t = c * r[j] + s * r[k];
        r[k] = c * r[k] - s * r[j];
        r[j] = t;
    }
}

inline void swapColumns(double* m, Index rows, Index ld, Index j, Index k) {
    for (Index i = 0; i < rows; ++i)
        std::swap(m[i * ld + j], m[i * ld + k]);
}

inline void negateColumn(double* m, Index rows, Index ld, Index j) {
    for (Index i = 0; i < rows; ++i)
        m[i * ld + j] = -m[i * ld + j];
}

// The decomposition proper. FixedM and FixedN are the sizes when known at compile
// time (0: take mRun and nRun), so that the 3x3 instance gets constant loop bounds.
//   a     m x n row-major, overwritten
//   u     m x ldu row-major (ldu >= min(m, n)); receives the left vectors in its
//         first min(m, n) columns
//   v     n x n row-major; receives the right vectors
//   s     n entries; receives the singular values (entries past min(n, m + 1) are 0)
//   e     n entries of scratch (the superdiagonal)
//   work  m entries of scratch
// Requires m >= 1 and n >= 1. Returns false when the sweep limit stopped it.
template <Index FixedM, Index FixedN>
bool decompose(Index mRun, Index nRun, double* a, double* u, Index ldu, double* v, double* s,
               double* e, double* work) {
    const Index m = FixedM ? FixedM : mRun;
    const Index n = FixedN ? FixedN : nRun;
    auto A = [&](Index i, Index j) -> double& { return a[i * n + j]; };
    auto U = [&](Index i, Index j) -> double& { return u[i * ldu + j]; };
    auto V = [&](Index i, Index j) -> double& { return v[i * n + j]; };

    const Index nct = std::min(m - 1, n);                      // column reflections
    const Index nrt = std::max<Index>(0, std::min(n - 2, m));  // row reflections
    const Index ncu = std::min(m, n);                          // columns of U
    const Index steps = std::max(nct, nrt);

    // Householder bidiagonalisation: diagonal into s, superdiagonal into e. The
    // reflection vectors are kept in the columns of U (left) and V (right).
    for (Index l = 0; l < steps; ++l) {
        if (l < nct) {
            s[l] = stridedNorm(&A(l, l), m - l, n);
            if (s[l] != 0.0) {
                if (A(l, l) < 0.0) s[l] = -s[l];
                for (Index i = l; i < m; ++i)
                    A(i, l) /= s[l];
                A(l, l) += 1.0;
            }
            s[l] = -s[l];
        }
        for (Index j = l + 1; j < n; ++j) {
            if (l < nct && s[l] != 0.0) {
                double t = 0.0;
                for (Index i = l; i < m; ++i)
                    t += A(i, l) * A(i, j);
                t = -t / A(l, l);
                for (Index i = l; i < m; ++i)
                    A(i, j) += t * A(i, l);
            }
            e[j] = A(l, j);  // row l, to be reduced by the row reflection
        }
        if (l < nct)
            for (Index i = l; i < m; ++i)
                U(i, l) = A(i, l);
        if (l < nrt) {
            e[l] = stridedNorm(&e[l + 1], n - l - 1, 1);
            if (e[l] != 0.0) {
                if (e[l + 1] < 0.0) e[l] = -e[l];
                for (Index j = l + 1; j < n; ++j)
                    e[j] /= e[l];
                e[l + 1] += 1.0;
            }
            e[l] = -e[l];
            if (l + 1 < m && e[l] != 0.0) {
                for (Index i = l + 1; i < m; ++i)
                    work[i] = 0.0;
                for (Index i = l + 1; i < m; ++i) {
                    double t = 0.0;
                    for (Index j = l + 1; j < n; ++j)
                        t += e[j] * A(i, j);
                    work[i] = t;
                }
                for (Index i = l + 1; i < m; ++i) {
                    const double t = work[i] / e[l + 1];
                    for (Index j = l + 1; j < n; ++j)
                        A(i, j) -= t * e[j];
                }
            }
            for (Index i = l + 1; i < n; ++i)
                V(i, l) = e[i];
        }
    }

    // The bidiagonal matrix of order p; for m < n it is padded with a zero value
    // whose right vector ends in the null space.
    const Index p = std::min(n, m + 1);
    if (nct < n) s[nct] = A(nct, nct);
    if (m < p) s[p - 1] = 0.0;
    if (nrt + 1 < p) e[nrt] = A(nrt, p - 1);
    e[p - 1] = 0.0;
    for (Index i = p; i < n; ++i)
        s[i] = e[i] = 0.0;

    // Accumulate U = H_0 ··· H_(nct-1) from the back.
    for (Index j = nct; j < ncu; ++j) {
        for (Index i = 0; i < m; ++i)
            U(i, j) = 0.0;
        U(j, j) = 1.0;
    }
    for (Index l = nct - 1; l >= 0; --l) {
        if (s[l] != 0.0) {
            for (Index j = l + 1; j < ncu; ++j) {
                double t = 0.0;
                for (Index i = l; i < m; ++i)
                    t += U(i, l) * U(i, j);
                t = -t / U(l, l);
                for (Index i = l; i < m; ++i)
                    U(i, j) += t * U(i, l);
            }
            for (Index i = l; i < m; ++i)
                U(i, l) = -U(i, l);
            U(l, l) += 1.0;
            for (Index i = 0; i < l; ++i)
                U(i, l) = 0.0;
        } else {
            for (Index i = 0; i < m; ++i)
                U(i, l) = 0.0;
            U(l, l) = 1.0;
        }
    }

    // Accumulate V = G_0 ··· G_(nrt-1) from the back.
    for (Index l = n - 1; l >= 0; --l) {
        if (l < nrt && e[l] != 0.0) {
            for (Index j = l + 1; j < n; ++j) {
                double t = 0.0;
                for (Index i = l + 1; i < n; ++i)
                    t += V(i, l) * V(i, j);
                t = -t / V(l + 1, l);
                for (Index i = l + 1; i < n; ++i)
                    V(i, j) += t * V(i, l);
            }
        }
        for (Index i = 0; i < n; ++i)
            V(i, l) = 0.0;
        V(l, l) = 1.0;
    }

    // Implicit-shift QR on the bidiagonal (s, e) until every e is negligible.
    // Left rotations go to U, right rotations to V. Rotations that would touch a
    // column of U past ncu cannot occur: the padding value of the m < n case is
    // deflated by right rotations only and is the smallest.
    const Index last = p - 1;
    Index k = p - 1;  // bottom of the active part
    int sweeps = 0;
    bool converged = true;
    while (k >= 0) {
        if (sweeps > kMaxSweeps) {
            converged = false;
            break;
        }
        // Negligible superdiagonal entry e[l] closest above the bottom.
        Index l = k - 1;
        for (; l >= 0; --l) {
            // An entry zeroed by a deflation stays negligible even when a NaN in s
            // would make the comparison fail; otherwise NaN input could cycle.
            if (e[l] == 0.0 ||
                std::fabs(e[l]) <= kTiny + kEps * (std::fabs(s[l]) + std::fabs(s[l + 1]))) {
                e[l] = 0.0;
                break;
            }
        }
        int kase;
        if (l == k - 1) {
            kase = 4;  // s[k] has converged
        } else {
            Index ls = k;
            for (; ls > l; --ls) {
                const double t =
                    (ls != k ? std::fabs(e[ls]) : 0.0) + (ls != l + 1 ? std::fabs(e[ls - 1]) : 0.0);
                if (s[ls] == 0.0 || std::fabs(s[ls]) <= kTiny + kEps * t) {
                    s[ls] = 0.0;
                    break;
                }
            }
            if (ls == l) {
                kase = 3;  // unreduced block l+1..k: one QR sweep
            } else if (ls == k) {
                kase = 1;  // s[k] is zero: chase e[k-1] out to the left
            } else {
                kase = 2;  // s[ls] is zero: chase e[ls] out to the right
                l = ls;
            }
        }
        ++l;  // first index of the active block

        switch (kase) {
            case 1: {
                double f = e[k - 1];
                e[k - 1] = 0.0;
                for (Index j = k - 1; j >= l; --j) {
                    double c, sn, r;
                    rotation(s[j], f, c, sn, r);
                    s[j] = r;
                    if (j != l) {
                        f = -sn * e[j - 1];
                        e[j - 1] = c * e[j - 1];
                    }
                    rotateColumns(v, n, n, j, k, c, sn);
                }
                break;
            }
            case 2: {
                double f = e[l - 1];
                e[l - 1] = 0.0;
                for (Index j = l; j <= k; ++j) {
                    double c, sn, r;
                    rotation(s[j], f, c, sn, r);
                    s[j] = r;
                    f = -sn * e[j];
                    e[j] = c * e[j];
                    if (j < ncu && l - 1 < ncu) rotateColumns(u, m, ldu, j, l - 1, c, sn);
                }
                break;
            }
            case 3: {
                // Shift from the trailing 2x2 of BᵀB; the operands are scaled first
                // so that squaring them cannot overflow.
                const double scale =
                    std::max({std::fabs(s[k]), std::fabs(s[k - 1]), std::fabs(e[k - 1]),
                              std::fabs(s[l]), std::fabs(e[l])});
                const double sk = s[k] / scale;
                const double sk1 = s[k - 1] / scale;
                const double ek1 = e[k - 1] / scale;
                const double sl = s[l] / scale;
                const double el = e[l] / scale;
                const double b = ((sk1 + sk) * (sk1 - sk) + ek1 * ek1) / 2.0;
                const double cc = (sk * ek1) * (sk * ek1);
                double shift = 0.0;
                if (b != 0.0 || cc != 0.0) {
                    shift = std::sqrt(b * b + cc);
                    if (b < 0.0) shift = -shift;
                    shift = cc / (b + shift);
                }
                double f = (sl + sk) * (sl - sk) + shift;
                double g = sl * el;
                for (Index j = l; j < k; ++j) {
                    double c, sn, r;
                    rotation(f, g, c, sn, r);
                    if (j != l) e[j - 1] = r;
                    f = c * s[j] + sn * e[j];
                    e[j] = c * e[j] - sn * s[j];
                    g = sn * s[j + 1];
                    s[j + 1] = c * s[j + 1];
                    rotateColumns(v, n, n, j, j + 1, c, sn);
                    rotation(f, g, c, sn, r);
                    s[j] = r;
                    f = c * e[j] + sn * s[j + 1];
                    s[j + 1] = -sn * e[j] + c * s[j + 1];
                    g = sn * e[j + 1];
                    e[j + 1] = c * e[j + 1];
                    if (j + 1 < ncu) rotateColumns(u, m, ldu, j, j + 1, c, sn);
                }
                e[k - 1] = f;
                ++sweeps;
                break;
            }
            default: {
                // Converged: make the value non-negative and move it down into the
                // already sorted tail.
                if (s[l] < 0.0) negateColumn(v, n, n, l);
                s[l] = std::fabs(s[l]);
                while (l < last && s[l] < s[l + 1]) {
                    std::swap(s[l], s[l + 1]);
                    if (l + 1 < n) swapColumns(v, n, n, l, l + 1);
                    if (l + 1 < ncu) swapColumns(u, m, ldu, l, l + 1);
                    ++l;
                }
                sweeps = 0;
                --k;
                break;
            }
        }
    }

    if (!converged) {
        // Hand back what there is in the promised form: non-negative, descending.
        for (Index i = 0; i < p; ++i) {
            if (s[i] < 0.0) negateColumn(v, n, n, i);
            s[i] = std::fabs(s[i]);
        }
        for (Index i = 0; i < p; ++i) {
            Index best = i;
            for (Index j = i + 1; j < p; ++j)
                if (s[j] > s[best]) best = j;
            if (best != i) {
                std::swap(s[i], s[best]);
                swapColumns(v, n, n, i, best);
                if (best < ncu) swapColumns(u, m, ldu, i, best);
            }
        }
    }
    return converged;
}

}  // namespace

bool svd(const DMatrix& a, DMatrix& u, std::vector<double>& w, DMatrix& v) {
    const Index m = static_cast<Index>(a.rows());
    const Index n = static_cast<Index>(a.cols());
    DMatrix work = a;  // first, in case a is also passed as u or v
    u.assign(work.rows(), work.cols());
    v = DMatrix::identity(work.cols());
    w.assign(static_cast<std::size_t>(n), 0.0);
    if (m == 0 || n == 0) return true;

    std::vector<double> e(static_cast<std::size_t>(n), 0.0);
    std::vector<double> scratch(static_cast<std::size_t>(m), 0.0);
    return decompose<0, 0>(m, n, work.data(), u.data(), n, v.data(), w.data(), e.data(),
                           scratch.data());
}

bool svd(const Matrix3x3d& a, Matrix3x3d& u, Vec3d& w, Matrix3x3d& v) {
    double work[9];
    for (int i = 0; i < 9; ++i)
        work[i] = a[i];
    double uu[9] = {}, vv[9] = {}, s[3] = {}, e[3] = {}, scratch[3] = {};
    const bool converged = decompose<3, 3>(3, 3, work, uu, 3, vv, s, e, scratch);
    for (int i = 0; i < 9; ++i) {
        u[i] = uu[i];
        v[i] = vv[i];
    }
    w = Vec3d(s[0], s[1], s[2]);
    return converged;
}

DMatrix svdSolve(const DMatrix& a, const DMatrix& b, double tol) {
    if (a.rows() != b.rows()) throwAlg3dException(std::string("SVD: ") + errors::kWrongDimensions);
    const std::uint64_t m = a.rows();
    const std::uint64_t n = a.cols();
    const std::uint64_t nrhs = b.cols();

    DMatrix u, v;
    std::vector<double> w;
    svd(a, u, w, v);

    // Values below either bound count as zero: the caller's absolute tolerance,
    // and the rounding level of the decomposition itself.
    const double wMax = w.empty() ? 0.0 : w[0];
    const double floor = 0.5 * std::sqrt(static_cast<double>(m + n + 1)) * wMax * kEps;
    std::vector<char> keep(static_cast<std::size_t>(n), 0);
    for (std::uint64_t j = 0; j < n; ++j) {
        const double wj = w[j];
        keep[j] = wj > 0.0 && !(tol > 0.0 && wj < tol) && !(wj < floor);
    }

    // y = diag(1/w)·Uᵀ·b, one unknown per iteration. The team is only worth
    // starting for large systems; the fits solve 7 x 7.
    DMatrix y(n, nrhs);
    const auto project = [&](std::uint64_t j) {
        if (!keep[j]) return;
        for (std::uint64_t c = 0; c < nrhs; ++c) {
            double t = 0.0;
            for (std::uint64_t i = 0; i < m; ++i)
                t += u(i, j) * b(i, c);
            y(j, c) = t / w[j];
        }
    };
    // The team is only worth starting for large systems; the fits solve 7 x 7,
    // and even a disabled parallel region costs about a microsecond.
    if (m * n * (nrhs ? nrhs : 1) >= (1u << 16)) {
        const long long unknowns = static_cast<long long>(n);
#pragma omp parallel for schedule(static)
        for (long long j = 0; j < unknowns; ++j)
            project(static_cast<std::uint64_t>(j));
    } else {
        for (std::uint64_t j = 0; j < n; ++j)
            project(j);
    }

    DMatrix x(n, nrhs);
    for (std::uint64_t i = 0; i < n; ++i)
        for (std::uint64_t j = 0; j < n; ++j) {
            if (!keep[j]) continue;
            const double vij = v(i, j);
            for (std::uint64_t c = 0; c < nrhs; ++c)
                x(i, c) += vij * y(j, c);
        }
    return x;
}

}  // namespace alg3D
