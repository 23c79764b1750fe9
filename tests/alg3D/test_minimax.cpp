// Simplex and linear minimax solve: known Chebyshev optima, an exhaustive
// vertex search as independent truth, the equioscillation property, and the
// result codes of the simplex.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/LinearMinimax.h"

using namespace alg3D;

namespace {

DMatrix matrixOf(std::uint64_t rows, std::uint64_t cols, std::initializer_list<double> values) {
    DMatrix m(rows, cols);
    std::uint64_t k = 0;
    for (double v : values)
        m[k++] = v;
    return m;
}

double maxResidual(const DMatrix& a, const DMatrix& b, const DMatrix& h) {
    double worst = 0.0;
    for (std::uint64_t i = 0; i < a.rows(); ++i) {
        double r = b[i];
        for (std::uint64_t k = 0; k < a.cols(); ++k)
            r += a(i, k) * h[k];
        worst = std::max(worst, std::fabs(r));
    }
    return worst;
}

// Independent optimum: the minimax problem is the linear program min t subject
// to |A·h + b| <= t; for A of full column rank its optimum is a vertex where
// m + 1 rows are active with signs. Try every subset of m + 1 rows with every
// sign pattern and keep the smallest feasible t.
struct BruteForce {
    double t = std::numeric_limits<double>::infinity();
    Eigen::VectorXd h;
};

BruteForce bruteForce(const DMatrix& a, const DMatrix& b) {
    const int na = int(a.rows()), m = int(a.cols());
    BruteForce best;
    std::vector<int> pick(m + 1);
    for (int i = 0; i <= m; ++i)
        pick[i] = i;
    while (true) {
        for (int signs = 0; signs < (1 << (m + 1)); ++signs) {
            Eigen::MatrixXd lhs(m + 1, m + 1);
            Eigen::VectorXd rhs(m + 1);
            for (int r = 0; r <= m; ++r) {
                for (int k = 0; k < m; ++k)
                    lhs(r, k) = a(pick[r], k);
                lhs(r, m) = (signs >> r & 1) ? 1.0 : -1.0;  // A_i·h + b_i = σ_i·t
                rhs(r) = -b[pick[r]];
            }
            Eigen::FullPivLU<Eigen::MatrixXd> lu(lhs);
            if (lu.rank() < m + 1) continue;
            const Eigen::VectorXd sol = lu.solve(rhs);
            const double t = sol(m);
            if (t < 0.0) continue;
            DMatrix h(m, 1);
            for (int k = 0; k < m; ++k)
                h[k] = sol(k);
            if (maxResidual(a, b, h) > t * (1.0 + 1e-12) + 1e-13) continue;  // infeasible
            if (t < best.t) {
                best.t = t;
                best.h = sol.head(m);
            }
        }
        int i = m;
        while (i >= 0 && pick[i] == na - (m + 1) + i)
            --i;
        if (i < 0) break;
        ++pick[i];
        for (int j = i + 1; j <= m; ++j)
            pick[j] = pick[j - 1] + 1;
    }
    return best;
}

}  // namespace

TEST(LinearMinimax, ChebyshevLineThroughThreePoints) {
    // Residual of a line c0 + c1·x through (x, y): c0 + c1·x - y.
    {
        const DMatrix a = matrixOf(3, 2, {1, 0, 1, 1, 1, 2});
        const DMatrix b = matrixOf(3, 1, {-0.0, -1.0, -0.0});
        DMatrix h;
        const double t = linearMinimax(a, b, h);
        ASSERT_EQ(h.rows(), 2u);
        EXPECT_NEAR(t, 0.5, 1e-14);
        EXPECT_NEAR(h[0], 0.5, 1e-14);
        EXPECT_NEAR(h[1], 0.0, 1e-14);
    }
    {
        // (0, 0), (1, 3), (3, 1): slope of the outer chord 1/3, offset 4/3, t = 4/3.
        const DMatrix a = matrixOf(3, 2, {1, 0, 1, 1, 1, 3});
        const DMatrix b = matrixOf(3, 1, {0.0, -3.0, -1.0});
        DMatrix h;
        const double t = linearMinimax(a, b, h);
        ASSERT_EQ(h.rows(), 2u);
        EXPECT_NEAR(t, 4.0 / 3.0, 1e-14);
        EXPECT_NEAR(h[0], 4.0 / 3.0, 1e-14);
        EXPECT_NEAR(h[1], 1.0 / 3.0, 1e-14);
        EXPECT_NEAR(maxResidual(a, b, h), t, 1e-14);
    }
}

TEST(LinearMinimax, ConstantAndLineApproximationsOfAParabola) {
    // Best constant for values b: the midrange, t = half the range.
    {
        const DMatrix a = matrixOf(4, 1, {1, 1, 1, 1});
        const DMatrix b = matrixOf(4, 1, {-2.0, -7.0, -3.0, -4.0});
        DMatrix h;
        const double t = linearMinimax(a, b, h);
        EXPECT_NEAR(t, 2.5, 1e-14);
        EXPECT_NEAR(h[0], 4.5, 1e-14);
    }
    // x² on -1 .. 1 by a line: y = 1/2 with error 1/2 at -1, 0, 1.
    DMatrix a(9, 2), b(9, 1);
    for (int i = 0; i < 9; ++i) {
        const double x = -1.0 + 0.25 * i;
        a(i, 0) = 1.0;
        a(i, 1) = x;
        b[i] = -x * x;
    }
    DMatrix h;
    const double t = linearMinimax(a, b, h);
    EXPECT_NEAR(t, 0.5, 1e-14);
    EXPECT_NEAR(h[0], 0.5, 1e-14);
    EXPECT_NEAR(h[1], 0.0, 1e-14);
}

TEST(LinearMinimax, RandomProblemsMatchTheVertexSearch) {
    auto rng = testing_helpers::seededRng(41);
    std::normal_distribution<double> g;
    for (int trial = 0; trial < 60; ++trial) {
        const int m = 1 + trial % 3;
        const int na = m + 1 + trial % (10 - m);
        // The simplex tolerances are absolute (1e-6 on the objective, 1e-4 on
        // pivots), so the data are of order one and up, as the fits pass them.
        const double scale = std::pow(10.0, trial % 4);
        DMatrix a(na, m), b(na, 1);
        for (std::uint64_t k = 0; k < a.size(); ++k)
            a[k] = g(rng) * scale;
        for (std::uint64_t k = 0; k < b.size(); ++k)
            b[k] = g(rng) * scale;

        DMatrix h;
        const double t = linearMinimax(a, b, h);
        ASSERT_GE(t, 0.0) << trial;
        ASSERT_EQ(h.rows(), std::uint64_t(m));
        ASSERT_EQ(h.cols(), 1u);
        const double achieved = maxResidual(a, b, h);
        EXPECT_NEAR(achieved, t, 1e-11 * scale) << trial;

        const BruteForce ref = bruteForce(a, b);
        EXPECT_NEAR(t, ref.t, 1e-11 * scale) << trial;
        for (int k = 0; k < m; ++k)
            EXPECT_NEAR(h[k], ref.h(k), 1e-9 * (1.0 + std::fabs(ref.h(k)))) << trial << " h" << k;

        // Convexity makes local optimality global: no small move does better.
        std::uniform_real_distribution<double> dir(-1.0, 1.0);
        for (int probe = 0; probe < 20; ++probe) {
            DMatrix moved = h;
            for (int k = 0; k < m; ++k)
                moved[k] += 1e-6 * dir(rng);
            EXPECT_GE(maxResidual(a, b, moved), achieved - 1e-12 * scale) << trial;
        }
    }
}

// The dual weights certify the optimum on their own: Σw_i·A_i = 0 and Σ|w_i| = 1 make
// Σw_i·b_i a lower bound of every max |A·h + b| (weak duality), which equals t; each
// weight sits on a residual of value +t (w > 0) or -t (w < 0).
TEST(LinearMinimax, DualWeightsCertifyTheOptimum) {
    auto rng = testing_helpers::seededRng(43);
    std::normal_distribution<double> g;
    for (int trial = 0; trial < 40; ++trial) {
        const int m = 1 + trial % 4;
        const int na = m + 2 + trial % 9;
        DMatrix a(na, m), b(na, 1);
        for (std::uint64_t k = 0; k < a.size(); ++k)
            a[k] = g(rng);
        for (std::uint64_t k = 0; k < b.size(); ++k)
            b[k] = g(rng);
        DMatrix h;
        std::vector<double> w;
        const double t = linearMinimax(a, b, h, w);
        ASSERT_GT(t, 0.0) << trial;
        ASSERT_EQ(w.size(), std::size_t(na)) << trial;
        double sumAbs = 0.0, bound = 0.0;
        std::vector<double> balance(m, 0.0);
        for (int i = 0; i < na; ++i) {
            sumAbs += std::fabs(w[i]);
            bound += w[i] * b[i];
            double r = b[i];
            for (int k = 0; k < m; ++k) {
                balance[k] += w[i] * a(i, k);
                r += a(i, k) * h[k];
            }
            if (std::fabs(w[i]) > 1e-12) {
                EXPECT_NEAR(r, w[i] > 0.0 ? t : -t, 1e-12) << trial << " row " << i;
            }
        }
        EXPECT_NEAR(sumAbs, 1.0, 1e-12) << trial;
        EXPECT_NEAR(bound, t, 1e-12) << trial;
        for (int k = 0; k < m; ++k)
            EXPECT_NEAR(balance[k], 0.0, 1e-12) << trial << " column " << k;
    }
    // A failed solve leaves no weights.
    DMatrix a = matrixOf(3, 1, {1, 1, 1}), b = matrixOf(3, 1, {0.0, 1.0, 2.0}), h;
    std::vector<double> w(5, 1.0);
    b[1] = std::numeric_limits<double>::infinity();
    EXPECT_LT(linearMinimax(a, b, h, w), 0.0);
    EXPECT_TRUE(w.empty());
}

TEST(LinearMinimax, PolynomialFitsEquioscillate) {
    // Haar systems: the optimal residual of a degree m-1 polynomial attains ±t at
    // m + 1 abscissae with alternating signs.
    auto rng = testing_helpers::seededRng(42);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int trial = 0; trial < 20; ++trial) {
        const int m = 1 + trial % 4;
        const int na = 15 + trial;
        std::vector<double> x(na);
        for (double& xi : x)
            xi = u(rng);
        std::sort(x.begin(), x.end());
        DMatrix a(na, m), b(na, 1);
        for (int i = 0; i < na; ++i) {
            double p = 1.0;
            for (int k = 0; k < m; ++k, p *= x[i])
                a(i, k) = p;
            b[i] = -std::sin(3.0 * x[i]) - 0.3 * std::exp(x[i]);
        }
        DMatrix h;
        const double t = linearMinimax(a, b, h);
        ASSERT_GT(t, 0.0);
        int alternations = 0, lastSign = 0;
        for (int i = 0; i < na; ++i) {
            double r = b[i];
            for (int k = 0; k < m; ++k)
                r += a(i, k) * h[k];
            EXPECT_LE(std::fabs(r), t * (1 + 1e-12)) << trial;
            if (std::fabs(r) >= t * (1 - 1e-9)) {
                const int sign = r > 0 ? 1 : -1;
                if (sign != lastSign) ++alternations;
                lastSign = sign;
            }
        }
        EXPECT_GE(alternations, m + 1) << trial;
    }
}

TEST(LinearMinimax, ConsistentSystemHasZeroValue) {
    // b in the range of A: the residual can vanish.
    const DMatrix a = matrixOf(4, 2, {1, 0, 0, 1, 1, 1, 2, -1});
    const DMatrix b = matrixOf(4, 1, {-1.0, -2.0, -3.0, 0.0});  // h = (1, 2)
    DMatrix h;
    const double t = linearMinimax(a, b, h);
    EXPECT_GE(t, 0.0);
    EXPECT_NEAR(t, 0.0, 1e-14);
    ASSERT_EQ(h.rows(), 2u);
    EXPECT_NEAR(h[0], 1.0, 1e-14);
    EXPECT_NEAR(h[1], 2.0, 1e-14);
}

TEST(LinearMinimax, NoUnknownsGivesTheLargestAbsoluteValue) {
    const DMatrix a(4, 0);
    const DMatrix b = matrixOf(4, 1, {1.5, -4.25, 3.0, 0.0});
    DMatrix h(3, 1, 1.0);
    EXPECT_EQ(linearMinimax(a, b, h), 4.25);
    EXPECT_EQ(h.rows(), 0u);
    // No residuals at all: nothing to minimise.
    DMatrix none;
    EXPECT_EQ(linearMinimax(DMatrix(0, 2), DMatrix(0, 1), none), 0.0);
    ASSERT_EQ(none.rows(), 2u);
    EXPECT_EQ(none[0], 0.0);
}

TEST(LinearMinimax, ObjectiveWithoutPositiveCoefficientIsOptimalAtOnce) {
    const DMatrix a = matrixOf(3, 2, {1, 0, 1, 1, 1, 2});
    for (double level : {0.0, 5e-7}) {
        DMatrix b(3, 1);
        b[0] = level;
        b[1] = -level;
        DMatrix h;
        const double t = linearMinimax(a, b, h);
        EXPECT_EQ(t, 0.0);
        ASSERT_EQ(h.rows(), 2u);
        EXPECT_EQ(h[0], 0.0);
        EXPECT_EQ(h[1], 0.0);
    }
    // The tableau itself is left untouched.
    DMatrix tab = matrixOf(4, 3, {0, 1e-6, -5, 0, -1, -1, 2, -1, 3, 0, 0, 0});
    SimplexTableau st(tab);
    EXPECT_EQ(simplex(st), kSimplexOptimal);
    EXPECT_EQ(st.a.values(), tab.values());
    EXPECT_EQ(st.columnVariables, (std::vector<std::uint64_t>{0, 1}));
    EXPECT_EQ(st.rowVariables, (std::vector<std::uint64_t>{2, 3}));
}

TEST(Simplex, UnboundedColumnReturnsMinusOneWithoutPivoting) {
    // Column 2 can grow without bound: no coefficient below -1e-4 in it.
    DMatrix tab = matrixOf(4, 3, {0, -1, 2, 1, -1, 5e-5, 2, 3, 0, 0, 0, 0});
    SimplexTableau st(tab);
    EXPECT_EQ(simplex(st), kSimplexUnbounded);
    EXPECT_EQ(st.a.values(), tab.values());
    EXPECT_EQ(st.columnVariables, (std::vector<std::uint64_t>{0, 1}));
}

TEST(Simplex, SolvesASmallLinearProgram) {
    // max 3x + 2y subject to x + y <= 4, x + 3y <= 6, x <= 3: optimum 11 at (3, 1).
    DMatrix tab = matrixOf(5, 3, {0, 3, 2, 4, -1, -1, 6, -1, -3, 3, -1, 0, 0, 0, 0});
    SimplexTableau st(tab);
    ASSERT_EQ(simplex(st), kSimplexOptimal);
    EXPECT_NEAR(st.a(0, 0), 11.0, 1e-14);
    std::vector<double> value(5, 0.0);  // x, y, then the three slacks
    for (std::uint64_t r = 1; r <= 3; ++r)
        value[st.rowVariables[r - 1]] = st.a(r, 0);
    EXPECT_NEAR(value[0], 3.0, 1e-14);
    EXPECT_NEAR(value[1], 1.0, 1e-14);
    for (std::uint64_t c = 1; c <= 2; ++c)
        EXPECT_LE(st.a(0, c), 1e-6);
}

TEST(Simplex, RatioTestTakesTheSmallestStepAndBreaksTiesOnLaterColumns) {
    // Entering column 1 (the larger coefficient; ties would take the first).
    // Rows 1 and 2 tie on the ratio 0 and on column 1; column 2 divided by the
    // pivot coefficient is 1 in row 1 and 2 in row 2, so row 2 leaves.
    // Row 3 would allow a step of 4 only; row 4's coefficient is above -1e-4.
    DMatrix tab = matrixOf(6, 3, {0, 1, 1, 0, -1, -1, 0, -1, -2, 4, -1, 0, 0, -5e-5, 0, 0, 0, 0});
    SimplexTableau st(tab);
    ASSERT_EQ(simplex(st, 1), kSimplexPivotLimit);  // stop after one pivot
    EXPECT_EQ(st.rowVariables, (std::vector<std::uint64_t>{2, 0, 4, 5}));
    EXPECT_EQ(st.columnVariables, (std::vector<std::uint64_t>{3, 1}));
    // Gauss-Jordan exchange on (2, 1): pivot row -a/p with 1/p at the pivot.
    EXPECT_EQ(st.a(2, 1), -1.0);
    EXPECT_EQ(st.a(2, 2), -2.0);
    EXPECT_EQ(st.a(0, 1), -1.0);
    EXPECT_EQ(st.a(0, 2), -1.0);
    EXPECT_EQ(st.a(1, 2), 1.0);
}

TEST(Simplex, PivotLimitIsReported) {
    // The small program above needs two pivots.
    DMatrix tab = matrixOf(5, 3, {0, 3, 2, 4, -1, -1, 6, -1, -3, 3, -1, 0, 0, 0, 0});
    SimplexTableau once(tab);
    EXPECT_EQ(simplex(once, 1), kSimplexPivotLimit);
    SimplexTableau twice(tab);
    EXPECT_EQ(simplex(twice, 2), kSimplexPivotLimit);  // optimality is checked next round
    SimplexTableau enough(tab);
    EXPECT_EQ(simplex(enough, 3), kSimplexOptimal);
}

TEST(Simplex, MismatchedIndexVectorsThrow) {
    SimplexTableau st;
    st.a = DMatrix(4, 3);
    st.a(0, 1) = 1.0;
    EXPECT_THROW(simplex(st), Alg3dException);
}

TEST(LinearMinimax, FailureClearsTheStep) {
    const DMatrix a = matrixOf(3, 2, {1, 0, 1, 1, 1, 2});
    DMatrix b = matrixOf(3, 1, {0.0, -1.0, 0.0});
    b[1] = std::numeric_limits<double>::quiet_NaN();
    DMatrix h(2, 1, 7.0);
    EXPECT_EQ(linearMinimax(a, b, h), double(kSimplexUnbounded));
    EXPECT_TRUE(h.empty());
    EXPECT_EQ(h.rows(), 0u);
}

TEST(LinearMinimax, WrongSizedRightHandSideThrows) {
    const DMatrix a(3, 2);
    DMatrix h;
    try {
        linearMinimax(a, DMatrix(2, 1), h);
        FAIL() << "no exception";
    } catch (const Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::matrices have wrong dimensions.\n");
    }
}

TEST(LinearMinimax, LargerTableauUsesTheParallelPivot) {
    // 2000 residuals of a plane z = c0 + c1·x + c2·y with bounded noise: the
    // tableau has 9 x 4002 entries.
    auto rng = testing_helpers::seededRng(43);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const int na = 2000;
    DMatrix a(na, 3), b(na, 1);
    for (int i = 0; i < na; ++i) {
        const double x = u(rng), y = u(rng);
        a(i, 0) = 1.0;
        a(i, 1) = x;
        a(i, 2) = y;
        b[i] = -(0.5 + 2.0 * x - 3.0 * y + 0.01 * u(rng));
    }
    DMatrix h;
    const double t = linearMinimax(a, b, h);
    ASSERT_EQ(h.rows(), 3u);
    EXPECT_NEAR(maxResidual(a, b, h), t, 1e-12);
    EXPECT_LE(t, 0.01);
    EXPECT_NEAR(h[0], 0.5, 0.01);
    EXPECT_NEAR(h[1], 2.0, 0.01);
    EXPECT_NEAR(h[2], -3.0, 0.01);
    for (int probe = 0; probe < 50; ++probe) {
        DMatrix moved = h;
        for (int k = 0; k < 3; ++k)
            moved[k] += 1e-7 * u(rng);
        EXPECT_GE(maxResidual(a, b, moved), t - 1e-13);
    }
}
