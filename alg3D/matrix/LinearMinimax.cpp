#include "alg3D/matrix/LinearMinimax.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {

namespace {

constexpr double kOptimalityTolerance = 1e-6;  // objective coefficients
constexpr double kPivotTolerance = 1e-4;       // usable pivot coefficients
constexpr double kTieTolerance = 1e-14;        // relative, ratio test ties

inline bool tied(double x, double y) {
    return std::fabs(x - y) <= kTieTolerance * std::max(std::fabs(x), std::fabs(y));
}

// Entering column: the largest objective coefficient, the first of equals;
// 0 when none exceeds the optimality tolerance.
std::uint64_t enteringColumn(const DMatrix& t) {
    std::uint64_t best = 0;
    double bestValue = kOptimalityTolerance;
    const double* objective = t.row(0);
    for (std::uint64_t c = 1; c < t.cols(); ++c) {
        if (objective[c] > bestValue) {
            bestValue = objective[c];
            best = c;
        }
    }
    return best;
}

// Leaving row for entering column kp: the largest ratio rhs / coefficient among
// coefficients below -kPivotTolerance (the tightest bound on the step). Ties are
// broken on the following columns divided by the pivot coefficient, the larger
// winning, which keeps degenerate pivots (the minimax tableau is highly
// degenerate) from going round in circles. 0 when no row bounds the step.
std::uint64_t leavingRow(const DMatrix& t, std::uint64_t kp) {
    const std::uint64_t constraintEnd = t.rows() - 1;  // the last row is spare
    std::uint64_t best = 0;
    double bestRatio = 0.0;
    for (std::uint64_t r = 1; r < constraintEnd; ++r) {
        const double coef = t(r, kp);
        if (!(coef < -kPivotTolerance)) continue;
        const double ratio = t(r, 0) / coef;
        if (best == 0) {
            best = r;
            bestRatio = ratio;
            continue;
        }
        if (tied(ratio, bestRatio)) {
            const double bestCoef = t(best, kp);
            for (std::uint64_t c = 1; c < t.cols(); ++c) {
                const double mine = t(r, c) / coef;
                const double theirs = t(best, c) / bestCoef;
                if (tied(mine, theirs)) continue;
                if (mine > theirs) {
                    best = r;
                    bestRatio = ratio;
                }
                break;
            }
        } else if (ratio > bestRatio) {
            best = r;
            bestRatio = ratio;
        }
    }
    return best;
}

// Gauss-Jordan exchange of the basic variable of row ip with the non-basic
// variable of column kp. Every other row only reads the pivot row, which is
// rewritten last, so the rows are independent.
void pivot(DMatrix& t, std::uint64_t ip, std::uint64_t kp) {
    const std::uint64_t cols = t.cols();
    const long long rows = static_cast<long long>(t.rows());
    const double inv = 1.0 / t(ip, kp);
    const double* pivotRow = t.row(ip);
    const auto eliminate = [&](std::uint64_t r) {
        if (r == ip) return;
        double* row = t.row(r);
        if (row[kp] == 0.0) return;
        const double factor = row[kp] * inv;
        for (std::uint64_t c = 0; c < cols; ++c)
            row[c] -= pivotRow[c] * factor;
        row[kp] = factor;
    };
    if (t.size() >= (1u << 15)) {
#pragma omp parallel for schedule(static)
        for (long long r = 0; r < rows; ++r)
            eliminate(static_cast<std::uint64_t>(r));
    } else {
        for (long long r = 0; r < rows; ++r)
            eliminate(static_cast<std::uint64_t>(r));
    }
    double* row = t.row(ip);
    for (std::uint64_t c = 0; c < cols; ++c)
        row[c] *= -inv;
    row[kp] = inv;
}

}  // namespace

SimplexTableau::SimplexTableau(DMatrix tableau) : a(std::move(tableau)) {
    const std::uint64_t cols = a.cols();
    const std::uint64_t constraints = a.rows() >= 2 ? a.rows() - 2 : 0;
    columnVariables.resize(cols > 0 ? cols - 1 : 0);
    for (std::uint64_t c = 0; c < columnVariables.size(); ++c)
        columnVariables[c] = c;
    rowVariables.resize(constraints);
    for (std::uint64_t r = 0; r < constraints; ++r)
        rowVariables[r] = (cols > 0 ? cols - 1 : 0) + r;
}

int simplex(SimplexTableau& tableau) {
    const std::uint64_t rows = tableau.a.rows();
    const std::uint64_t constraints = rows >= 2 ? rows - 2 : 0;
    return simplex(tableau, 100 * constraints + 1);
}

int simplex(SimplexTableau& tableau, std::uint64_t maxRounds) {
    DMatrix& t = tableau.a;
    if (t.rows() == 0 || t.cols() < 2) return kSimplexOptimal;  // nothing can enter
    // Index vectors that do not fit the tableau would be indexed out of range.
    if (tableau.columnVariables.size() != t.cols() - 1 ||
        tableau.rowVariables.size() != (t.rows() >= 2 ? t.rows() - 2 : 0))
        throwAlg3dException(errors::kWrongDimensions);
    for (std::uint64_t round = 0; round < maxRounds; ++round) {
        const std::uint64_t kp = enteringColumn(t);
        if (kp == 0) return kSimplexOptimal;
        const std::uint64_t ip = leavingRow(t, kp);
        if (ip == 0) return kSimplexUnbounded;
        pivot(t, ip, kp);
        std::swap(tableau.columnVariables[kp - 1], tableau.rowVariables[ip - 1]);
    }
    return kSimplexPivotLimit;
}

double linearMinimax(const DMatrix& a, const DMatrix& b, DMatrix& h) {
    std::vector<double> weights;
    return linearMinimax(a, b, h, weights);
}

double linearMinimax(const DMatrix& a, const DMatrix& b, DMatrix& h, std::vector<double>& weights) {
    weights.clear();
    if (b.rows() != a.rows() || b.cols() != 1) throwAlg3dException(errors::kWrongDimensions);
    const std::uint64_t na = a.rows();  // constraints of the primal (residuals)
    const std::uint64_t m = a.cols();   // unknowns
    // NaN or infinite data has no minimax step; without this check the tableau
    // would end "optimal" with a NaN value.
    const auto finite = [](const DMatrix& x) {
        for (std::uint64_t k = 0; k < x.size(); ++k)
            if (!std::isfinite(x[k])) return false;
        return true;
    };
    if (!finite(a) || !finite(b)) {
        h.clear();
        return kSimplexUnbounded;
    }

    // Dual of  min t  subject to  -t <= (A·h + b)_i <= t:
    //   max bᵀ(u - v)  subject to  Aᵀ(u - v) = 0,  Σ(u + v) <= 1,  u, v >= 0.
    // Columns 1..a hold u, a+1..2a hold v, the last column the slack of the sum.
    DMatrix t(2 * m + 3, 2 * na + 2);
    for (std::uint64_t i = 0; i < na; ++i) {
        t(0, 1 + i) = b[i];
        t(0, 1 + na + i) = -b[i];
    }
    t(1, 0) = 1.0;
    for (std::uint64_t c = 1; c < t.cols(); ++c)
        t(1, c) = -1.0;
    for (std::uint64_t k = 0; k < m; ++k) {
        double* plus = t.row(2 * k + 2);
        double* minus = t.row(2 * k + 3);
        for (std::uint64_t i = 0; i < na; ++i) {
            const double aik = a(i, k);
            plus[1 + i] = -aik;
            minus[1 + i] = aik;
            plus[1 + na + i] = aik;
            minus[1 + na + i] = -aik;
        }
    }

    SimplexTableau tableau(std::move(t));
    const int code = simplex(tableau);
    if (code != kSimplexOptimal) {
        h.clear();
        return code;
    }

    // The primal values are the shadow prices of the dual's slack variables:
    // slack 0 belongs to the sum constraint (t), slacks 2k+1 and 2k+2 to the two
    // halves of the equality for unknown k (the parts h+ and h-).
    const DMatrix& done = tableau.a;
    const std::uint64_t firstSlack = done.cols() - 1;
    std::vector<double> s(2 * m + 1, 0.0);
    for (std::uint64_t c = 1; c < done.cols(); ++c) {
        const std::uint64_t var = tableau.columnVariables[c - 1];
        if (var >= firstSlack) s[var - firstSlack] = -done(0, c);
    }
    h.assign(m, 1);
    for (std::uint64_t k = 0; k < m; ++k)
        h[k] = -(s[2 * k + 1] - s[2 * k + 2]);
    // The dual solution: basic u_i and v_i carry their values in column 0, the
    // non-basic ones are 0.
    weights.assign(static_cast<std::size_t>(na), 0.0);
    for (std::uint64_t r = 1; r + 1 < done.rows(); ++r) {
        const std::uint64_t var = tableau.rowVariables[r - 1];
        if (var < na)
            weights[static_cast<std::size_t>(var)] += done(r, 0);
        else if (var < 2 * na)
            weights[static_cast<std::size_t>(var - na)] -= done(r, 0);
    }
    // A maximum of absolute values is never negative; rounding in the objective
    // row may leave -1e-17 where the residual vanishes, which must not read as a
    // failure code.
    return std::max(s[0], 0.0);
}

}  // namespace alg3D
