// Singular value decomposition and the SVD solve, checked against Eigen's
// JacobiSVD and least-squares solvers and against the defining properties:
// A = U·diag(w)·Vᵀ, orthonormal factors, sorted non-negative values.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/SVD.h"

using namespace alg3D;

namespace {

constexpr double kRel = 1e-12;

Eigen::MatrixXd toEigen(const DMatrix& m) {
    Eigen::MatrixXd e(m.rows(), m.cols());
    for (std::uint64_t i = 0; i < m.rows(); ++i)
        for (std::uint64_t j = 0; j < m.cols(); ++j)
            e(i, j) = m(i, j);
    return e;
}

DMatrix fromEigen(const Eigen::MatrixXd& e) {
    DMatrix m(e.rows(), e.cols());
    for (Eigen::Index i = 0; i < e.rows(); ++i)
        for (Eigen::Index j = 0; j < e.cols(); ++j)
            m(i, j) = e(i, j);
    return m;
}

Eigen::MatrixXd randomOrthogonal(std::mt19937_64& rng, int n) {
    std::normal_distribution<double> g;
    Eigen::MatrixXd x(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            x(i, j) = g(rng);
    Eigen::HouseholderQR<Eigen::MatrixXd> qr(x);
    return qr.householderQ() * Eigen::MatrixXd::Identity(n, n);
}

double logUniform(std::mt19937_64& rng, double lo, double hi) {
    return std::pow(10.0, std::uniform_real_distribution<double>(lo, hi)(rng));
}

// Entries of random sign whose magnitudes span 1e-8 .. 1e8.
Eigen::MatrixXd spreadEntries(std::mt19937_64& rng, int m, int n) {
    Eigen::MatrixXd a(m, n);
    std::bernoulli_distribution sign;
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j)
            a(i, j) = (sign(rng) ? 1.0 : -1.0) * logUniform(rng, -8, 8);
    return a;
}

// U·diag(σ)·Vᵀ with σ log-spaced down to 10^-decades, times an overall scale.
Eigen::MatrixXd illConditioned(std::mt19937_64& rng, int m, int n, double decades) {
    const int k = std::min(m, n);
    Eigen::MatrixXd sigma = Eigen::MatrixXd::Zero(m, n);
    for (int i = 0; i < k; ++i)
        sigma(i, i) = std::pow(10.0, -decades * i / std::max(1, k - 1));
    const double scale = logUniform(rng, -8, 8);
    return scale * randomOrthogonal(rng, m) * sigma * randomOrthogonal(rng, n).transpose();
}

// Rank r < min(m, n) (r = 0 gives the zero matrix).
Eigen::MatrixXd rankDeficient(std::mt19937_64& rng, int m, int n, int r) {
    std::normal_distribution<double> g;
    Eigen::MatrixXd x(m, r), y(r, n);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < r; ++j)
            x(i, j) = g(rng);
    for (int i = 0; i < r; ++i)
        for (int j = 0; j < n; ++j)
            y(i, j) = g(rng);
    return logUniform(rng, -8, 8) * x * y;
}

// Rows scaled over 16 decades: a badly graded matrix.
Eigen::MatrixXd graded(std::mt19937_64& rng, int m, int n) {
    std::normal_distribution<double> g;
    Eigen::MatrixXd a(m, n);
    for (int i = 0; i < m; ++i) {
        const double s = logUniform(rng, -8, 8);
        for (int j = 0; j < n; ++j)
            a(i, j) = s * g(rng);
    }
    return a;
}

// Checks every promised property of the decomposition of a.
void checkDecomposition(const Eigen::MatrixXd& a, const std::string& what) {
    SCOPED_TRACE(what);
    const int m = int(a.rows()), n = int(a.cols()), k = std::min(m, n);
    DMatrix u, v;
    std::vector<double> w;
    EXPECT_TRUE(svd(fromEigen(a), u, w, v));
    ASSERT_EQ(u.rows(), std::uint64_t(m));
    ASSERT_EQ(u.cols(), std::uint64_t(n));
    ASSERT_EQ(v.rows(), std::uint64_t(n));
    ASSERT_EQ(v.cols(), std::uint64_t(n));
    ASSERT_EQ(w.size(), std::size_t(n));

    for (int i = 0; i < n; ++i) {
        EXPECT_GE(w[i], 0.0) << i;
        if (i > 0) {
            EXPECT_GE(w[i - 1], w[i]) << i;
        }
    }
    for (int i = k; i < n; ++i)
        EXPECT_EQ(w[i], 0.0) << "padding value " << i;

    const Eigen::MatrixXd eu = toEigen(u), ev = toEigen(v);
    Eigen::VectorXd ew(n);
    for (int i = 0; i < n; ++i)
        ew(i) = w[i];

    // Every size below is relative to the largest singular value (the 2-norm of A).
    const Eigen::JacobiSVD<Eigen::MatrixXd> ref(a);
    const double norm = ref.singularValues().size() ? ref.singularValues()(0) : 0.0;
    const double scale = norm > 0.0 ? norm : 1.0;

    const Eigen::MatrixXd rebuilt = eu * ew.asDiagonal() * ev.transpose();
    EXPECT_LE((rebuilt - a).cwiseAbs().maxCoeff() / scale, kRel) << "A != U diag(w) V^T";

    const Eigen::MatrixXd vtv = ev.transpose() * ev;
    EXPECT_LE((vtv - Eigen::MatrixXd::Identity(n, n)).cwiseAbs().maxCoeff(), kRel) << "V";
    const Eigen::MatrixXd uk = eu.leftCols(k);
    EXPECT_LE((uk.transpose() * uk - Eigen::MatrixXd::Identity(k, k)).cwiseAbs().maxCoeff(), kRel)
        << "U";
    if (n > k) {
        EXPECT_EQ(eu.rightCols(n - k).cwiseAbs().maxCoeff(), 0.0) << "U padding";
    }

    for (int i = 0; i < k; ++i)
        EXPECT_LE(std::fabs(w[i] - ref.singularValues()(i)) / scale, kRel) << "w" << i;
}

}  // namespace

TEST(SVD, RandomMatricesOfEveryShapeUpTo12) {
    auto rng = testing_helpers::seededRng(21);
    for (int m = 1; m <= 12; ++m) {
        for (int n = 1; n <= 12; ++n) {
            const std::string shape = std::to_string(m) + "x" + std::to_string(n);
            for (int trial = 0; trial < 2; ++trial) {
                checkDecomposition(spreadEntries(rng, m, n), "spread " + shape);
                checkDecomposition(graded(rng, m, n), "graded " + shape);
                checkDecomposition(graded(rng, n, m).transpose(), "column graded " + shape);
            }
        }
    }
}

TEST(SVD, IllConditionedMatrices) {
    auto rng = testing_helpers::seededRng(22);
    for (int m = 1; m <= 12; ++m) {
        for (int n = 1; n <= 12; ++n) {
            for (double decades : {6.0, 12.0, 16.0, 20.0}) {
                checkDecomposition(illConditioned(rng, m, n, decades),
                                   "cond 1e" + std::to_string(int(decades)) + " " +
                                       std::to_string(m) + "x" + std::to_string(n));
            }
        }
    }
}

TEST(SVD, RankDeficientMatrices) {
    auto rng = testing_helpers::seededRng(23);
    for (int m = 1; m <= 12; ++m) {
        for (int n = 1; n <= 12; ++n) {
            for (int r = 0; r < std::min(m, n); ++r) {
                const std::string what =
                    "rank " + std::to_string(r) + " " + std::to_string(m) + "x" + std::to_string(n);
                const Eigen::MatrixXd a = rankDeficient(rng, m, n, r);
                checkDecomposition(a, what);
                DMatrix u, v;
                std::vector<double> w;
                svd(fromEigen(a), u, w, v);
                const double scale = std::max(w[0], std::numeric_limits<double>::min());
                for (int i = r; i < n; ++i)
                    EXPECT_LE(w[i] / scale, 1e-13) << what << " w" << i;
            }
        }
    }
}

TEST(SVD, StructuredMatricesWithZerosAndTies) {
    // Sparse and small-integer matrices and bidiagonal ones with zeros on the
    // diagonal reach every deflation branch (zero at the bottom, zero inside).
    auto rng = testing_helpers::seededRng(28);
    std::uniform_int_distribution<int> size(1, 12), small(-3, 3);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> g;
    for (int trial = 0; trial < 1500; ++trial) {
        const int m = size(rng), n = size(rng), kind = trial % 4;
        const double zeros = u(rng);
        Eigen::MatrixXd a(m, n);
        for (int i = 0; i < m; ++i) {
            for (int j = 0; j < n; ++j) {
                const bool zero = u(rng) < zeros;
                switch (kind) {
                    case 0:
                        a(i, j) = zero ? 0.0 : g(rng);
                        break;
                    case 1:
                        a(i, j) = small(rng);
                        break;
                    case 2:
                        a(i, j) = zero ? 0.0 : small(rng);
                        break;
                    default:
                        a(i, j) = (j == i || j == i + 1) && !zero ? g(rng) : 0.0;
                        break;
                }
            }
        }
        checkDecomposition(
            a, "structured kind " + std::to_string(kind) + " trial " + std::to_string(trial));
    }
}

TEST(SVD, KnownSingularValuesAreRecovered) {
    auto rng = testing_helpers::seededRng(24);
    for (int trial = 0; trial < 30; ++trial) {
        const int m = 1 + trial % 12, n = 1 + (trial * 7) % 12, k = std::min(m, n);
        std::vector<double> sigma(k);
        for (double& s : sigma)
            s = logUniform(rng, -8, 8);
        std::sort(sigma.rbegin(), sigma.rend());
        Eigen::MatrixXd d = Eigen::MatrixXd::Zero(m, n);
        for (int i = 0; i < k; ++i)
            d(i, i) = sigma[i];
        const Eigen::MatrixXd a = randomOrthogonal(rng, m) * d * randomOrthogonal(rng, n);
        DMatrix u, v;
        std::vector<double> w;
        svd(fromEigen(a), u, w, v);
        for (int i = 0; i < k; ++i)
            EXPECT_NEAR(w[i], sigma[i], kRel * sigma[0]) << trial;
    }
}

TEST(SVD, LargerMatrices) {
    auto rng = testing_helpers::seededRng(25);
    checkDecomposition(spreadEntries(rng, 40, 25), "40x25");
    checkDecomposition(spreadEntries(rng, 25, 40), "25x40");
    checkDecomposition(illConditioned(rng, 50, 50, 14), "50x50");
    checkDecomposition(rankDeficient(rng, 30, 45, 10), "30x45 rank 10");
    checkDecomposition(spreadEntries(rng, 500, 3), "500x3");
    checkDecomposition(spreadEntries(rng, 3, 200), "3x200");
}

TEST(SVD, ClassicAndDegenerateMatrices) {
    for (int m = 1; m <= 5; ++m)
        for (int n = 1; n <= 5; ++n)
            checkDecomposition(Eigen::MatrixXd::Zero(m, n),
                               "zero " + std::to_string(m) + "x" + std::to_string(n));
    checkDecomposition(Eigen::MatrixXd::Identity(6, 6), "identity");
    checkDecomposition(-Eigen::MatrixXd::Identity(4, 4), "minus identity");

    Eigen::MatrixXd d = Eigen::MatrixXd::Zero(5, 5);
    d.diagonal() << -3.0, 7.0, 0.0, -7.0, 1e-9;
    checkDecomposition(d, "signed diagonal with ties");

    // A zero inside the bidiagonal form: the split at a negligible diagonal entry.
    Eigen::MatrixXd split(3, 3);
    split << 1, 1, 0, 0, 0, 1, 0, 0, 1;
    checkDecomposition(split, "zero diagonal inside");
    {
        DMatrix u, v;
        std::vector<double> w;
        svd(fromEigen(split), u, w, v);
        EXPECT_NEAR(w[0], std::sqrt(2.0), 1e-15);
        EXPECT_NEAR(w[1], std::sqrt(2.0), 1e-15);
        EXPECT_NEAR(w[2], 0.0, 1e-15);
    }
    Eigen::MatrixXd bidiagonal = Eigen::MatrixXd::Zero(6, 6);
    for (int i = 0; i < 6; ++i)
        bidiagonal(i, i) = (i == 2 || i == 4) ? 0.0 : 1.0 + i;
    for (int i = 0; i < 5; ++i)
        bidiagonal(i, i + 1) = 0.5 * (i + 1);
    checkDecomposition(bidiagonal, "bidiagonal with zeros");

    Eigen::MatrixXd hilbert(12, 12);
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 12; ++j)
            hilbert(i, j) = 1.0 / (i + j + 1);
    checkDecomposition(hilbert, "Hilbert 12");

    // Kahan's matrix: upper triangular, famously ill-conditioned.
    Eigen::MatrixXd kahan = Eigen::MatrixXd::Zero(10, 10);
    const double c = std::cos(1.2), s = std::sin(1.2);
    for (int i = 0; i < 10; ++i) {
        kahan(i, i) = std::pow(s, i);
        for (int j = i + 1; j < 10; ++j)
            kahan(i, j) = -c * std::pow(s, i);
    }
    checkDecomposition(kahan, "Kahan 10");

    Eigen::MatrixXd single = Eigen::MatrixXd::Zero(4, 3);
    single(2, 1) = -5.0;
    checkDecomposition(single, "single entry");

    Eigen::MatrixXd one(1, 1);
    one << -2.5;
    DMatrix u, v;
    std::vector<double> w;
    svd(fromEigen(one), u, w, v);
    EXPECT_EQ(w[0], 2.5);
    EXPECT_EQ(u(0, 0) * v(0, 0), -1.0);
}

TEST(SVD, ExtremeMagnitudesDoNotOverflow) {
    auto rng = testing_helpers::seededRng(26);
    for (double scale : {1e-290, 1e-160, 1e160, 1e290}) {
        // Entries stay normal numbers; squares of them over- or underflow.
        const Eigen::MatrixXd a = scale * spreadEntries(rng, 5, 4) / 1e8;
        checkDecomposition(a, "scale " + std::to_string(std::log10(scale)));
    }
}

TEST(SVD, OutputMayAliasTheInput) {
    auto rng = testing_helpers::seededRng(29);
    const Eigen::MatrixXd a = spreadEntries(rng, 5, 4);
    DMatrix expectedU, expectedV;
    std::vector<double> expectedW;
    svd(fromEigen(a), expectedU, expectedW, expectedV);
    DMatrix inOut = fromEigen(a), v;
    std::vector<double> w;
    svd(inOut, inOut, w, v);
    EXPECT_EQ(inOut.values(), expectedU.values());
    EXPECT_EQ(w, expectedW);

    Matrix3x3d m(2, 1, 0, 1, 3, 1, 0, 1, 4), u3, v3;
    Vec3d w3, w3b;
    svd(m, u3, w3, v3);
    Matrix3x3d same = m;
    svd(same, same, w3b, v3);
    EXPECT_EQ(same, u3);
    EXPECT_EQ(w3b, w3);
}

TEST(SVD, EmptyMatrices) {
    DMatrix u, v;
    std::vector<double> w;
    EXPECT_TRUE(svd(DMatrix(0, 3), u, w, v));
    EXPECT_EQ(w, std::vector<double>(3, 0.0));
    EXPECT_EQ(u.rows(), 0u);
    EXPECT_EQ(v.rows(), 3u);
    EXPECT_EQ(toEigen(v), Eigen::MatrixXd::Identity(3, 3));
    EXPECT_TRUE(svd(DMatrix(4, 0), u, w, v));
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(u.rows(), 4u);
    EXPECT_EQ(u.cols(), 0u);
}

TEST(SVD, NonFiniteInputTerminates) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {nan, inf}) {
        for (int pos = 0; pos < 9; ++pos) {
            DMatrix a(3, 3);
            for (int k = 0; k < 9; ++k)
                a[k] = k + 1.0 + (k == 4 ? 0.5 : 0.0);
            a[pos] = bad;
            DMatrix u, v;
            std::vector<double> w;
            svd(a, u, w, v);  // must return, whatever it reports
            Matrix3x3d a3, u3, v3;
            Vec3d w3;
            for (int k = 0; k < 9; ++k)
                a3[k] = a[k];
            svd(a3, u3, w3, v3);
        }
    }
    SUCCEED();
}

TEST(SVD3x3, AgreesWithTheGeneralDecompositionAndEigen) {
    auto rng = testing_helpers::seededRng(27);
    std::normal_distribution<double> g;
    for (int trial = 0; trial < 400; ++trial) {
        Eigen::MatrixXd a;
        switch (trial % 5) {
            case 0:
                a = spreadEntries(rng, 3, 3);
                break;
            case 1:
                a = illConditioned(rng, 3, 3, 4.0 * (trial % 7));
                break;
            case 2:
                a = rankDeficient(rng, 3, 3, trial % 3);
                break;
            case 3: {  // covariance of nearly planar points, as the fits see it
                Eigen::MatrixXd p(50, 3);
                for (int i = 0; i < 50; ++i)
                    p.row(i) << g(rng), g(rng), 1e-6 * g(rng);
                p = p * randomOrthogonal(rng, 3);
                const Eigen::RowVector3d c = p.colwise().mean();
                const Eigen::MatrixXd q = p.rowwise() - c;
                a = q.transpose() * q / 50.0;
                break;
            }
            default:
                a = randomOrthogonal(rng, 3);
                break;  // w = (1, 1, 1)
        }
        Matrix3x3d m, u, v;
        Vec3d w;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m(i, j) = a(i, j);
        EXPECT_TRUE(svd(m, u, w, v));

        Eigen::Matrix3d eu, ev;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                eu(i, j) = u(i, j);
                ev(i, j) = v(i, j);
            }
        const Eigen::Vector3d ew(w.x, w.y, w.z);
        const Eigen::JacobiSVD<Eigen::MatrixXd> ref(a);
        const double scale = ref.singularValues()(0) > 0 ? ref.singularValues()(0) : 1.0;
        EXPECT_GE(w.x, w.y);
        EXPECT_GE(w.y, w.z);
        EXPECT_GE(w.z, 0.0);
        EXPECT_LE((eu * ew.asDiagonal() * ev.transpose() - a).cwiseAbs().maxCoeff() / scale, kRel)
            << trial;
        EXPECT_LE((eu.transpose() * eu - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(), kRel);
        EXPECT_LE((ev.transpose() * ev - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(), kRel);
        for (int i = 0; i < 3; ++i)
            EXPECT_LE(std::fabs(ew(i) - ref.singularValues()(i)) / scale, kRel) << trial;

        // The fixed-size path is the same algorithm: identical results.
        DMatrix du, dv;
        std::vector<double> dw;
        svd(fromEigen(a), du, dw, dv);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(dw[i], w[i]);
            for (int j = 0; j < 3; ++j) {
                EXPECT_EQ(du(i, j), u(i, j));
                EXPECT_EQ(dv(i, j), v(i, j));
            }
        }
    }
}

TEST(SVDSolve, SingularDiagonalSystemGivesMinimumNormSolution) {
    DMatrix a(2, 2), b(2, 1);
    a(0, 0) = 1.0;
    b[0] = 1.0;
    b[1] = 1.0;
    const DMatrix x = svdSolve(a, b, 0.0);
    ASSERT_EQ(x.rows(), 2u);
    ASSERT_EQ(x.cols(), 1u);
    EXPECT_EQ(x[0], 1.0);
    EXPECT_EQ(x[1], 0.0);
    const DMatrix y = svdSolve(a, b, 1e-6);
    EXPECT_EQ(y[0], 1.0);
    EXPECT_EQ(y[1], 0.0);
}

TEST(SVDSolve, WrongRowCountThrowsWithTheSvdPrefix) {
    const DMatrix a(3, 3), b(2, 1);
    try {
        svdSolve(a, b, 1e-6);
        FAIL() << "no exception";
    } catch (const Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::SVD: matrices have wrong dimensions.\n");
    }
}

TEST(SVDSolve, WellConditionedSystemsMatchEigen) {
    auto rng = testing_helpers::seededRng(31);
    std::normal_distribution<double> g;
    for (int n = 1; n <= 12; ++n) {
        for (int trial = 0; trial < 5; ++trial) {
            const Eigen::MatrixXd a = illConditioned(rng, n, n, 3.0);
            Eigen::VectorXd b(n);
            for (int i = 0; i < n; ++i)
                b(i) = g(rng);
            const Eigen::VectorXd ref = a.fullPivLu().solve(b);
            const DMatrix x = svdSolve(fromEigen(a), fromEigen(b), 0.0);
            ASSERT_EQ(x.rows(), std::uint64_t(n));
            const Eigen::VectorXd ex = toEigen(x);
            EXPECT_LE((ex - ref).norm() / ref.norm(), 1e-10) << n;
        }
    }
}

TEST(SVDSolve, OverdeterminedLeastSquaresMatchesEigen) {
    auto rng = testing_helpers::seededRng(32);
    std::normal_distribution<double> g;
    for (int trial = 0; trial < 30; ++trial) {
        const int n = 1 + trial % 7, m = n + 1 + trial % 9;
        const Eigen::MatrixXd a = illConditioned(rng, m, n, 2.0);
        Eigen::VectorXd b(m);
        for (int i = 0; i < m; ++i)
            b(i) = g(rng);
        const Eigen::VectorXd ref = a.colPivHouseholderQr().solve(b);
        const Eigen::VectorXd x = toEigen(svdSolve(fromEigen(a), fromEigen(b), 0.0));
        EXPECT_LE((x - ref).norm() / ref.norm(), 1e-10) << trial;
        // At a least-squares optimum the residual is orthogonal to the columns.
        const Eigen::VectorXd r = b - a * x;
        EXPECT_LE((a.transpose() * r).norm(), 1e-10 * a.norm() * b.norm()) << trial;
    }
}

TEST(SVDSolve, RankDeficientSystemsGiveTheMinimumNormSolution) {
    auto rng = testing_helpers::seededRng(33);
    std::normal_distribution<double> g;
    for (int trial = 0; trial < 40; ++trial) {
        const int n = 2 + trial % 7, r = 1 + trial % (n - 1);
        const Eigen::MatrixXd a = rankDeficient(rng, n, n, r);
        Eigen::VectorXd b(n);
        for (int i = 0; i < n; ++i)
            b(i) = g(rng) * a.norm();
        const Eigen::VectorXd x = toEigen(svdSolve(fromEigen(a), fromEigen(b), 0.0));
        const Eigen::VectorXd ref = a.completeOrthogonalDecomposition().solve(b);
        EXPECT_LE((x - ref).norm() / ref.norm(), 1e-8) << trial;
        // Independent of the reference: the residual is orthogonal to range(A) and
        // x has no component in the null space of A.
        const Eigen::VectorXd res = b - a * x;
        EXPECT_LE((a.transpose() * res).norm(), 1e-10 * a.norm() * b.norm()) << trial;
        const Eigen::JacobiSVD<Eigen::MatrixXd> ref2(a, Eigen::ComputeFullV);
        const Eigen::MatrixXd nullSpace = ref2.matrixV().rightCols(n - r);
        EXPECT_LE((nullSpace.transpose() * x).norm(), 1e-10 * x.norm()) << trial;
    }
}

TEST(SVDSolve, ZeroingRules) {
    DMatrix a(2, 2), b(2, 1);
    b[0] = 2.0;
    b[1] = 3.0;
    a(0, 0) = 1.0;

    a(1, 1) = 1e-7;  // below the caller's tolerance only
    EXPECT_EQ(svdSolve(a, b, 1e-6)[1], 0.0);
    EXPECT_NEAR(svdSolve(a, b, 0.0)[1], 3e7, 1e-8);
    EXPECT_NEAR(svdSolve(a, b, 1e-8)[1], 3e7, 1e-8);

    // Relative rule: 0.5·√(2 + 2 + 1)·w_max·eps = 2.48e-16 for w_max = 1.
    a(1, 1) = 2.0e-16;
    EXPECT_EQ(svdSolve(a, b, 0.0)[1], 0.0);
    a(1, 1) = 3.0e-16;
    EXPECT_NEAR(svdSolve(a, b, 0.0)[1], 1e16, 1e1);

    // The rule scales with w_max.
    a(0, 0) = 1e10;
    a(1, 1) = 2.0e-6;
    EXPECT_EQ(svdSolve(a, b, 0.0)[1], 0.0);
    a(1, 1) = 3.0e-6;
    EXPECT_NEAR(svdSolve(a, b, 0.0)[1], 1e6, 1e-6);

    // All values zero: the zero step.
    const DMatrix zero = svdSolve(DMatrix(3, 3), DMatrix(3, 1, 1.0), 0.0);
    for (std::uint64_t i = 0; i < 3; ++i)
        EXPECT_EQ(zero[i], 0.0);
}

TEST(SVDSolve, SeveralRightHandSidesAndTheParallelPath) {
    auto rng = testing_helpers::seededRng(34);
    std::normal_distribution<double> g;
    // 40 x 40 with 41 columns is large enough for the parallel loop.
    for (int cols : {1, 3, 41}) {
        const Eigen::MatrixXd a = illConditioned(rng, 40, 40, 3.0);
        Eigen::MatrixXd b(40, cols);
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < cols; ++j)
                b(i, j) = g(rng);
        const Eigen::MatrixXd ref = a.fullPivLu().solve(b);
        const DMatrix x = svdSolve(fromEigen(a), fromEigen(b), 1e-6);
        ASSERT_EQ(x.rows(), 40u);
        ASSERT_EQ(x.cols(), std::uint64_t(cols));
        EXPECT_LE((toEigen(x) - ref).norm() / ref.norm(), 1e-10) << cols;
    }
}
