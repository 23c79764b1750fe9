// DMatrix: storage, the transposed product against long double sums, the
// element-wise operations, norms, and size checks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/DMatrix.h"

using namespace alg3D;

namespace {

DMatrix randomMatrix(std::mt19937_64& rng, std::uint64_t rows, std::uint64_t cols) {
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_real_distribution<double> exponent(-8.0, 8.0);
    DMatrix m(rows, cols);
    for (std::uint64_t k = 0; k < m.size(); ++k)
        m[k] = mantissa(rng) * std::pow(10.0, exponent(rng));
    return m;
}

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Alg3dException& e) {
        return e.what();
    }
    return "no exception";
}

}  // namespace

TEST(DMatrix, StorageIsRowMajorAndCopiesAreDeep) {
    DMatrix m(2, 3);
    EXPECT_EQ(m.rows(), 2u);
    EXPECT_EQ(m.cols(), 3u);
    EXPECT_EQ(m.size(), 6u);
    for (std::uint64_t k = 0; k < 6; ++k)
        EXPECT_EQ(m[k], 0.0);
    for (std::uint64_t i = 0; i < 2; ++i)
        for (std::uint64_t j = 0; j < 3; ++j)
            m(i, j) = double(10 * i + j);
    EXPECT_EQ(m[4], 11.0);  // element (1, 1) at 1*3 + 1
    EXPECT_EQ(m.row(1)[2], 12.0);

    DMatrix copy = m;
    copy(0, 0) = -1.0;
    EXPECT_EQ(m(0, 0), 0.0);

    const DMatrix t = m.transposed();
    ASSERT_EQ(t.rows(), 3u);
    ASSERT_EQ(t.cols(), 2u);
    for (std::uint64_t i = 0; i < 2; ++i)
        for (std::uint64_t j = 0; j < 3; ++j)
            EXPECT_EQ(t(j, i), m(i, j));

    const DMatrix id = DMatrix::identity(3);
    for (std::uint64_t i = 0; i < 3; ++i)
        for (std::uint64_t j = 0; j < 3; ++j)
            EXPECT_EQ(id(i, j), i == j ? 1.0 : 0.0);

    DMatrix filled(4, 1, 2.5);
    for (std::uint64_t k = 0; k < 4; ++k)
        EXPECT_EQ(filled[k], 2.5);
    filled.assign(2, 2, -1.0);
    EXPECT_EQ(filled.size(), 4u);
    EXPECT_EQ(filled(1, 1), -1.0);
    filled.clear();
    EXPECT_TRUE(filled.empty());
    EXPECT_EQ(filled.rows(), 0u);
    EXPECT_EQ(filled.cols(), 0u);
}

TEST(DMatrix, CorruptSizeThrowsInsteadOfWrapping) {
    const std::uint64_t big = std::uint64_t(1) << 33;
    EXPECT_EQ(messageOf([&] { DMatrix m(big, big); }), "ALG3D::error allocating memory.\n");
    EXPECT_EQ(messageOf([&] { DMatrix m(std::numeric_limits<std::uint64_t>::max(), 2); }),
              "ALG3D::error allocating memory.\n");
    EXPECT_EQ(messageOf([&] { DMatrix m(std::uint64_t(1) << 62, 1); }),
              "ALG3D::error allocating memory.\n");
    // Zero-sized dimensions are legal.
    DMatrix none(big, 0);
    EXPECT_EQ(none.size(), 0u);
}

TEST(DMatrix, TransposedProductMatchesLongDoubleSums) {
    auto rng = testing_helpers::seededRng(11);
    // Row counts around multiples of four exercise the unrolled loop and its tail.
    for (std::uint64_t n : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 13u, 64u, 1001u}) {
        for (std::uint64_t p : {1u, 2u, 3u, 7u}) {
            for (std::uint64_t q : {1u, 4u, 7u}) {
                const DMatrix a = randomMatrix(rng, n, p);
                const DMatrix b = randomMatrix(rng, n, q);
                const DMatrix c = transposedProduct(a, b);
                ASSERT_EQ(c.rows(), p);
                ASSERT_EQ(c.cols(), q);
                for (std::uint64_t i = 0; i < p; ++i) {
                    for (std::uint64_t j = 0; j < q; ++j) {
                        long double ref = 0.0L, absSum = 0.0L;
                        for (std::uint64_t k = 0; k < n; ++k) {
                            ref += static_cast<long double>(a(k, i)) * b(k, j);
                            absSum += std::fabs(static_cast<long double>(a(k, i)) * b(k, j));
                        }
                        // Rounding of a dot product is bounded by n·eps·Σ|terms|.
                        const double bound = 1e-15 * double(n + 4) * double(absSum);
                        EXPECT_NEAR(c(i, j), double(ref), bound)
                            << "n=" << n << " p=" << p << " q=" << q << " (" << i << "," << j
                            << ")";
                    }
                }
            }
        }
    }
}

TEST(DMatrix, NormalMatrixIsExactlySymmetric) {
    auto rng = testing_helpers::seededRng(12);
    for (std::uint64_t n : {5u, 6u, 999u}) {
        const DMatrix j = randomMatrix(rng, n, 7);
        const DMatrix jtj = transposedProduct(j, j);
        for (std::uint64_t r = 0; r < 7; ++r) {
            EXPECT_GE(jtj(r, r), 0.0);
            for (std::uint64_t c = 0; c < 7; ++c)
                EXPECT_EQ(jtj(r, c), jtj(c, r));
        }
    }
}

TEST(DMatrix, ElementwiseOperations) {
    auto rng = testing_helpers::seededRng(13);
    const DMatrix a = randomMatrix(rng, 3, 4);
    const DMatrix b = randomMatrix(rng, 3, 4);
    const DMatrix scaled = 2.5 * a;
    const DMatrix negated = -a;
    const DMatrix diff = a - b;
    ASSERT_EQ(scaled.rows(), 3u);
    ASSERT_EQ(diff.cols(), 4u);
    for (std::uint64_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(scaled[k], 2.5 * a[k]);
        EXPECT_EQ(negated[k], -a[k]);
        EXPECT_EQ(diff[k], a[k] - b[k]);
    }
    const DMatrix empty;
    EXPECT_TRUE((-empty).empty());
    EXPECT_TRUE((empty - empty).empty());
}

TEST(DMatrix, OperandsOfWrongSizeThrow) {
    const DMatrix a(3, 2), b(4, 2), c(3, 3);
    EXPECT_EQ(messageOf([&] { transposedProduct(a, b); }),
              "ALG3D::matrices have wrong dimensions.\n");
    EXPECT_EQ(messageOf([&] { (void)(a - b); }), "ALG3D::matrices have wrong dimensions.\n");
    EXPECT_EQ(messageOf([&] { (void)(a - c); }), "ALG3D::matrices have wrong dimensions.\n");
    EXPECT_NO_THROW(transposedProduct(a, c));
}

TEST(DMatrix, InfinityNorm) {
    DMatrix m(2, 3);
    m(0, 0) = 1.0;
    m(0, 1) = -2.0;
    m(0, 2) = 3.0;  // row sum 6
    m(1, 0) = -4.0;
    m(1, 1) = 0.5;
    m(1, 2) = 0.25;  // row sum 4.75
    EXPECT_EQ(infinityNorm(m), 6.0);

    DMatrix v(4, 1);
    v[0] = 1.0;
    v[1] = -7.5;
    v[2] = 3.0;
    v[3] = 7.0;
    EXPECT_EQ(infinityNorm(v), 7.5);  // largest absolute entry of a column vector
    EXPECT_EQ(infinityNorm(DMatrix()), 0.0);
    EXPECT_EQ(infinityNorm(DMatrix(0, 5)), 0.0);
    EXPECT_EQ(infinityNorm(DMatrix(5, 0)), 0.0);

    v[2] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(infinityNorm(v)));
}

TEST(DMatrix, SumOfSquares) {
    auto rng = testing_helpers::seededRng(14);
    for (std::uint64_t n : {0u, 1u, 3u, 4u, 5u, 17u, 1000u}) {
        const DMatrix v = randomMatrix(rng, n, 1);
        long double ref = 0.0L;
        for (std::uint64_t k = 0; k < n; ++k)
            ref += static_cast<long double>(v[k]) * v[k];
        EXPECT_NEAR(sumOfSquares(v), double(ref), 1e-15 * double(n + 1) * double(ref)) << n;
    }
    DMatrix m(2, 2);
    m(0, 0) = 3.0;
    m(1, 1) = 4.0;
    EXPECT_EQ(sumOfSquares(m), 25.0);
    EXPECT_EQ(std::sqrt(sumOfSquares(m)), 5.0);
}
