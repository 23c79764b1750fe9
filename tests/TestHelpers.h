// Shared test helpers: vector comparison with the relative error in the message,
// and seeded random generators so that a failure reproduces.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

#include "alg3D/matrix/Matrix.h"

namespace testing_helpers {

template <typename V>
::testing::AssertionResult vecNear(const char* ea, const char* eb, const char*, const V& a,
                                   const V& b, double tol) {
    double diff = 0.0, scale = 0.0;
    for (std::size_t i = 0; i < V::size; ++i) {
        diff = std::max(diff, std::abs(double(a[i]) - double(b[i])));
        scale = std::max({scale, std::abs(double(a[i])), std::abs(double(b[i]))});
    }
    if (diff <= tol) return ::testing::AssertionSuccess();
    std::ostringstream s;
    s.precision(17);
    s << ea << " and " << eb << " differ by " << diff << " (relative "
      << (scale > 0 ? diff / scale : diff) << ", tolerance " << tol << "):\n  (";
    for (std::size_t i = 0; i < V::size; ++i) s << (i ? ", " : "") << a[i];
    s << ")\n  (";
    for (std::size_t i = 0; i < V::size; ++i) s << (i ? ", " : "") << b[i];
    s << ")";
    return ::testing::AssertionFailure() << s.str();
}

inline std::mt19937_64 seededRng(std::uint64_t seed) { return std::mt19937_64(seed); }

}  // namespace testing_helpers

#define EXPECT_VEC_NEAR(a, b, tol) EXPECT_PRED_FORMAT3(testing_helpers::vecNear, a, b, tol)
#define ASSERT_VEC_NEAR(a, b, tol) ASSERT_PRED_FORMAT3(testing_helpers::vecNear, a, b, tol)
