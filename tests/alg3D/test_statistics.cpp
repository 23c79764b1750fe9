// Point statistics against long double reference sums, and the small Vec3d
// helpers at the edges of the double range.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "alg3D/matrix/PointStatistics.h"

using namespace alg3D;

namespace {

std::vector<Vec3d> randomCloud(std::uint64_t seed, std::size_t n, const Vec3d& offset,
                               const Vec3d& spread) {
    auto rng = testing_helpers::seededRng(seed);
    std::normal_distribution<double> g;
    std::vector<Vec3d> pts(n);
    for (Vec3d& p : pts)
        p = Vec3d(offset.x + spread.x * g(rng), offset.y + spread.y * g(rng),
                  offset.z + spread.z * g(rng));
    return pts;
}

std::vector<GLPoint> coloured(const std::vector<Vec3d>& pts) {
    std::vector<GLPoint> out;
    out.reserve(pts.size());
    unsigned char c = 0;
    for (const Vec3d& p : pts)
        out.emplace_back(p.x, p.y, p.z, c++, 2, 3);
    return out;
}

struct Reference {
    long double c[3] = {0, 0, 0};
    long double cov[3][3] = {};
};

Reference reference(const std::vector<Vec3d>& pts) {
    Reference r;
    const long double n = pts.size();
    for (const Vec3d& p : pts)
        for (int k = 0; k < 3; ++k)
            r.c[k] += p[k];
    for (long double& ck : r.c)
        ck /= n;
    for (const Vec3d& p : pts)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r.cov[i][j] += (p[i] - r.c[i]) * (p[j] - r.c[j]);
    for (auto& row : r.cov)
        for (long double& v : row)
            v /= n;
    return r;
}

void checkAgainstReference(const std::vector<Vec3d>& pts, double tol) {
    const Reference ref = reference(pts);
    const Vec3d c = centroid(pts);
    const Vec3d cRange = centroid(pts.data(), pts.data() + pts.size());
    const std::vector<GLPoint> gl = coloured(pts);
    const Vec3d cGl = centroid(gl);
    const double cScale = std::fabs(double(ref.c[0])) + std::fabs(double(ref.c[1])) +
                          std::fabs(double(ref.c[2])) + 1e-300;
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(c[k], double(ref.c[k]), tol * cScale) << "n=" << pts.size();
        EXPECT_EQ(cRange[k], c[k]);
        EXPECT_EQ(cGl[k], c[k]);
    }
    const Vec3d refC(double(ref.c[0]), double(ref.c[1]), double(ref.c[2]));
    const Matrix3x3d cov = covariance(pts, refC);
    const Matrix3x3d covGl = covariance(gl.data(), gl.data() + gl.size(), refC);
    const double covScale = double(ref.cov[0][0] + ref.cov[1][1] + ref.cov[2][2]);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(cov(i, j), double(ref.cov[i][j]), tol * covScale)
                << "n=" << pts.size() << " (" << i << "," << j << ")";
            EXPECT_EQ(cov(i, j), cov(j, i));
            EXPECT_EQ(covGl(i, j), cov(i, j));
        }
    }
}

}  // namespace

TEST(PointStatistics, CentroidAndCovarianceMatchLongDoubleSums) {
    checkAgainstReference(randomCloud(51, 1, Vec3d(1, 2, 3), Vec3d(1, 1, 1)), 1e-15);
    checkAgainstReference(randomCloud(52, 2, Vec3d(-5, 0, 5), Vec3d(1, 2, 3)), 1e-15);
    checkAgainstReference(randomCloud(53, 37, Vec3d(0, 0, 0), Vec3d(1, 1, 1e-6)), 1e-14);
    checkAgainstReference(randomCloud(54, 1000, Vec3d(1e3, -2e3, 5e2), Vec3d(3, 1, 0.1)), 1e-13);
    // Large enough for the parallel reductions.
    checkAgainstReference(randomCloud(55, 150000, Vec3d(10, 20, -30), Vec3d(5, 1, 2)), 1e-11);
}

TEST(PointStatistics, CovarianceAboutAGivenCentre) {
    // Σ(p - c)(p - c)ᵀ/n about a centre that is not the centroid: the second
    // moment, which the fits also use.
    const std::vector<Vec3d> pts{Vec3d(1, 0, 0), Vec3d(-1, 0, 0), Vec3d(0, 2, 0), Vec3d(0, -2, 0)};
    const Matrix3x3d about0 = covariance(pts, Vec3d(0, 0, 0));
    EXPECT_EQ(about0(0, 0), 0.5);
    EXPECT_EQ(about0(1, 1), 2.0);
    EXPECT_EQ(about0(2, 2), 0.0);
    EXPECT_EQ(about0(0, 1), 0.0);
    const Matrix3x3d shifted = covariance(pts, Vec3d(0, 0, 1));
    EXPECT_EQ(shifted(2, 2), 1.0);
    EXPECT_EQ(shifted(0, 2), 0.0);
}

TEST(PointStatistics, EmptyRangesGiveZeros) {
    const std::vector<Vec3d> none;
    EXPECT_EQ(centroid(none), Vec3d(0, 0, 0));
    const Matrix3x3d cov = covariance(none, Vec3d(1, 2, 3));
    for (std::size_t k = 0; k < 9; ++k)
        EXPECT_EQ(cov[k], 0.0);
    const GLPoint* null = nullptr;
    EXPECT_EQ(centroid(null, null), Vec3d(0, 0, 0));
    const std::vector<Vec3d> one{Vec3d(1, 2, 3)};
    // A reversed range is empty, not a huge count.
    EXPECT_EQ(centroid(one.data() + 1, one.data()), Vec3d(0, 0, 0));
}

TEST(MeanAndStdDev, MatchesKahanTwoPassReference) {
    auto rng = testing_helpers::seededRng(56);
    std::normal_distribution<double> g;
    // A large offset defeats the one-pass formula E[x²] - E[x]².
    for (std::size_t n : {2u, 3u, 10u, 1000u, 100000u}) {
        for (double offset : {0.0, 1e8}) {
            std::vector<double> v(n);
            for (double& x : v)
                x = offset + 0.5 * g(rng);
            long double sum = 0.0L;
            for (double x : v)
                sum += x;
            const long double mean = sum / n;
            long double sq = 0.0L;
            for (double x : v)
                sq += (x - mean) * (x - mean);
            const double sigma = std::sqrt(double(sq / n));
            const MeanAndDeviation r = meanAndStdDev(v);
            EXPECT_NEAR(r.mean, double(mean), 1e-15 * double(n) * (offset + 1.0)) << n;
            EXPECT_NEAR(r.sigma, sigma, 1e-9 * sigma) << n << " offset " << offset;
        }
    }
}

TEST(MeanAndStdDev, ParallelPathAboveAMillionValues) {
    auto rng = testing_helpers::seededRng(57);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> v(1000001);
    for (double& x : v)
        x = 1e6 + u(rng);
    // Kahan-compensated two-pass reference.
    auto kahan = [&](auto term) {
        double s = 0.0, c = 0.0;
        for (double x : v) {
            const double y = term(x) - c;
            const double t = s + y;
            c = (t - s) - y;
            s = t;
        }
        return s;
    };
    const double mean = kahan([](double x) { return x; }) / double(v.size());
    const double sigma =
        std::sqrt(kahan([&](double x) { return (x - mean) * (x - mean); }) / double(v.size()));
    const MeanAndDeviation r = meanAndStdDev(v.data(), v.data() + v.size());
    EXPECT_NEAR(r.mean, mean, 1e-12 * mean);
    EXPECT_NEAR(r.sigma, sigma, 1e-9 * sigma);
    EXPECT_NEAR(r.sigma, 1.0 / std::sqrt(12.0), 1e-3);  // uniform on [0, 1)
}

TEST(MeanAndStdDev, FewValues) {
    const std::vector<double> one{42.5};
    const MeanAndDeviation r1 = meanAndStdDev(one);
    EXPECT_EQ(r1.mean, 42.5);
    EXPECT_EQ(r1.sigma, 0.0);
    const MeanAndDeviation r0 = meanAndStdDev(std::vector<double>());
    EXPECT_EQ(r0.mean, 0.0);
    EXPECT_EQ(r0.sigma, 0.0);
    const MeanAndDeviation r2 = meanAndStdDev(std::vector<double>{1.0, 3.0});
    EXPECT_EQ(r2.mean, 2.0);
    EXPECT_EQ(r2.sigma, 1.0);  // population, not sample, deviation
    const MeanAndDeviation r4 = meanAndStdDev(std::vector<double>{2, 4, 4, 4, 5, 5, 7, 9});
    EXPECT_EQ(r4.mean, 5.0);
    EXPECT_EQ(r4.sigma, 2.0);
}

TEST(RobustLength, ScalesAwayOverflowAndUnderflow) {
    EXPECT_EQ(robustLength(Vec3d(3, 4, 0)), 5.0);
    EXPECT_EQ(robustLength(Vec3d(0, -3, -4)), 5.0);
    EXPECT_EQ(robustLength(Vec3d(2, 3, 6)), 7.0);
    EXPECT_EQ(robustLength(Vec3d(0, 0, 0)), 0.0);
    EXPECT_EQ(robustLength(Vec3d(-0.0, 0, 0)), 0.0);
    // Plain sums of squares would give 0 and infinity here.
    EXPECT_NEAR(robustLength(Vec3d(3e-200, 4e-200, 0)), 5e-200, 1e-215);
    EXPECT_NEAR(robustLength(Vec3d(3e200, 0, -4e200)), 5e200, 1e185);
    EXPECT_NEAR(robustLength(Vec3d(1e-320, 0, 0)), 1e-320, 1e-323);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(robustLength(Vec3d(inf, 1, 0)), inf);
}

TEST(Normalize, UnitLengthAndZeroForZero) {
    EXPECT_EQ(normalize(Vec3d(0, 0, 0)), Vec3d(0, 0, 0));
    EXPECT_EQ(normalize(Vec3d(0, 0, -5)), Vec3d(0, 0, -1));
    EXPECT_VEC_NEAR(normalize(Vec3d(3, 4, 0)), Vec3d(0.6, 0.8, 0), 1e-16);
    EXPECT_VEC_NEAR(normalize(Vec3d(3e-310, 4e-310, 0)), Vec3d(0.6, 0.8, 0), 1e-12);
    EXPECT_VEC_NEAR(normalize(Vec3d(3e300, -4e300, 0)), Vec3d(0.6, -0.8, 0), 1e-16);
    auto rng = testing_helpers::seededRng(58);
    std::normal_distribution<double> g;
    for (int i = 0; i < 100; ++i) {
        const Vec3d v(g(rng), g(rng), g(rng));
        const Vec3d n = normalize(v);
        EXPECT_NEAR(n.norm(), 1.0, 1e-15);
        EXPECT_NEAR(n.cross(v).norm(), 0.0, 1e-15 * v.norm());
        EXPECT_GT(n.dot(v), 0.0);
    }
}

TEST(NearlyEqual, AbsoluteNearZeroRelativeElsewhere) {
    const double eps = 2.220446049250313e-16;
    EXPECT_TRUE(nearlyEqual(1.0, 1.0));
    EXPECT_TRUE(nearlyEqual(1.0, 1.0 + eps));
    EXPECT_FALSE(nearlyEqual(1.0, 1.0 + 2 * eps));
    EXPECT_TRUE(nearlyEqual(1e10, 1e10 * (1.0 + eps)));
    EXPECT_FALSE(nearlyEqual(1e10, 1e10 * (1.0 + 4 * eps)));
    EXPECT_TRUE(nearlyEqual(0.0, 1e-17));  // absolute below 1
    EXPECT_TRUE(nearlyEqual(1e-300, -1e-300));
    EXPECT_FALSE(nearlyEqual(0.0, 1e-15));
    EXPECT_FALSE(nearlyEqual(-1.0, 1.0));
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(nearlyEqual(inf, inf));
    EXPECT_FALSE(nearlyEqual(inf, -inf));
    EXPECT_FALSE(nearlyEqual(1.0, inf));
    EXPECT_FALSE(nearlyEqual(-1e308, -inf));
    EXPECT_FALSE(nearlyEqual(nan, nan));
    EXPECT_FALSE(nearlyEqual(nan, 1.0));
}
