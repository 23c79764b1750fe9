// Core value types: layout, transforms, colour scale, exception texts, stopwatch text.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestHelpers.h"
#include "alg3D/matrix/Alg3dException.h"
#include "alg3D/matrix/ColorScale.h"
#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "alg3D/matrix/TimeMeasurement.h"

using namespace alg3D;

TEST(Matrix, LayoutIsPackedRowMajor) {
    std::vector<Vec3d> pts{Vec3d(1, 2, 3), Vec3d(4, 5, 6)};
    const double* raw = pts[0].data();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(raw[i], i + 1);

    Matrix4x4d m;
    for (std::size_t i = 0; i < 16; ++i) m[i] = double(i);
    EXPECT_EQ(m(1, 2), 6.0);  // element r*C + c
    EXPECT_EQ(m(3, 0), 12.0);

    std::vector<GLPoint> gp{GLPoint(1, 2, 3, 10, 20, 30)};
    Vec3d asVec;
    std::memcpy(asVec.data(), &gp[0], sizeof(Vec3d));  // a GLPoint reads as a Vec3d
    EXPECT_EQ(asVec, Vec3d(1, 2, 3));
}

TEST(Matrix, DefaultsAreIdentityForSquareAndZeroForVectors) {
    Matrix4x4d m;
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(m(r, c), r == c ? 1.0 : 0.0);
    Vec3d v;
    EXPECT_EQ(v, Vec3d(0, 0, 0));
    GLPoint p;
    EXPECT_EQ(p, GLPoint(0, 0, 0, 0, 0, 0));
    Color c;
    EXPECT_EQ(c, Color(0, 0, 0));
}

TEST(Matrix, TransformOfColumnPoint) {
    Matrix4x4d m;
    m(0, 3) = 10;
    m(1, 3) = 20;
    m(2, 3) = 30;
    EXPECT_EQ(m[3], 10.0);
    EXPECT_EQ(m[7], 20.0);
    EXPECT_EQ(m[11], 30.0);
    EXPECT_EQ(matrix::transformPoint(m, Vec3d(1, 2, 3)), Vec3d(11, 22, 33));
    EXPECT_EQ(matrix::transformDirection(m, Vec3d(1, 2, 3)), Vec3d(1, 2, 3));
}

TEST(Matrix, CompositionAppliesRightOperandFirst) {
    Matrix4x4d rotZ(0, -1, 0, 0,  //
                    1, 0, 0, 0,   //
                    0, 0, 1, 0,   //
                    0, 0, 0, 1);
    Matrix4x4d shift;
    shift(0, 3) = 5;
    const Vec3d p(1, 0, 0);
    // rotate first, then shift: (0, 1, 0) + (5, 0, 0)
    EXPECT_EQ(matrix::transformPoint(shift * rotZ, p), Vec3d(5, 1, 0));
    // shift first, then rotate: (6, 0, 0) -> (0, 6, 0)
    EXPECT_EQ(matrix::transformPoint(rotZ * shift, p), Vec3d(0, 6, 0));

    const Matrix4x4d both = shift * rotZ;
    const Matrix4x4d inv = matrix::affineInverse(both);
    const Matrix4x4d id = inv * both;
    for (std::size_t i = 0; i < 16; ++i) EXPECT_NEAR(id[i], Matrix4x4d()[i], 1e-15);
}

TEST(Matrix, VectorArithmetic) {
    const Vec3d a(1, 2, 3), b(4, 5, 6);
    EXPECT_EQ(a + b, Vec3d(5, 7, 9));
    EXPECT_EQ(b - a, Vec3d(3, 3, 3));
    EXPECT_EQ(2.0 * a, Vec3d(2, 4, 6));
    EXPECT_EQ(a.dot(b), 32.0);
    EXPECT_EQ(a.cross(b), Vec3d(-3, 6, -3));
    EXPECT_EQ(Vec3d(0, 0, 0).normalized(), Vec3d(0, 0, 0));
    EXPECT_VEC_NEAR(Vec3d(3, 0, 4).normalized(), Vec3d(0.6, 0, 0.8), 1e-16);
    EXPECT_EQ(a[0], 1.0);
    EXPECT_EQ(a[2], 3.0);
    const matrix::Matrix<double, 2, 3> m(1, 2, 3, 4, 5, 6);
    const auto t = m.transposed();
    EXPECT_EQ(t(2, 1), 6.0);
    const auto prod = m * t;  // 2x2
    EXPECT_EQ(prod(0, 0), 14.0);
    EXPECT_EQ(prod(0, 1), 32.0);
    EXPECT_EQ(prod(1, 1), 77.0);
}

TEST(ColorScale, HueRange240) {
    EXPECT_EQ(colorScale(0.0, 240), Color(0, 0, 255));
    EXPECT_EQ(colorScale(0.5, 240), Color(0, 255, 0));
    EXPECT_EQ(colorScale(1.0, 240), Color(255, 0, 0));
    EXPECT_EQ(colorScale(-3.0, 240), Color(0, 0, 255));  // clamped
    EXPECT_EQ(colorScale(7.0, 240), Color(255, 0, 0));
    // hue 30 (v = 0.875): sector 0, fraction 0.5
    EXPECT_EQ(colorScale(0.875, 240), Color(255, 127, 0));
    // hue 90 (v = 0.625): sector 1, fraction 0.5
    EXPECT_EQ(colorScale(0.625, 240), Color(127, 255, 0));
}

TEST(ColorScale, EverySectorAndWrap) {
    // v = 0 gives the pure colour of hue R.
    EXPECT_EQ(colorScale(0.0, 150), Color(0, 255, 127));
    EXPECT_EQ(colorScale(0.0, 210), Color(0, 127, 255));
    EXPECT_EQ(colorScale(0.0, 270), Color(127, 0, 255));
    EXPECT_EQ(colorScale(0.0, 330), Color(255, 0, 127));
    EXPECT_EQ(colorScale(0.0, 360), Color(255, 0, 0));
    EXPECT_EQ(colorScale(0.0, 390), Color(255, 127, 0));  // sector 6 like sector 0
}

TEST(Alg3dException, PrefixAndTexts) {
    try {
        throwAlg3dException(errors::kFileIsEmpty);
        FAIL();
    } catch (const Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::file is empty.\n");
    }
    try {
        throwAlg3dException(std::string("SVD: ") + errors::kWrongDimensions);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "ALG3D::SVD: matrices have wrong dimensions.\n");
    }
}

TEST(TimeMeasurement, ElapsedText) {
    EXPECT_EQ(TimeMeasurement::formatMilliseconds(59999), "59s 999ms");
    EXPECT_EQ(TimeMeasurement::formatMilliseconds(60000), "1m 0ms");
    EXPECT_EQ(TimeMeasurement::formatMilliseconds(5), "5ms");
    EXPECT_EQ(TimeMeasurement::formatMilliseconds(0), "0ms");
    EXPECT_EQ(TimeMeasurement::formatMilliseconds(3012), "3s 12ms");
    EXPECT_EQ(TimeMeasurement::formatMilliseconds(123456), "2m 3s 456ms");
}

TEST(TimeMeasurement, ReportLine) {
    testing::internal::CaptureStdout();
    {
        TimeMeasurement t("calcDistancesMesh");
        EXPECT_LT(t.elapsedMilliseconds(), 60000u);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("calcDistancesMesh finished in ", 0), 0u) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_NE(out.find("ms\n"), std::string::npos);

    testing::internal::CaptureStdout();
    {
        TimeMeasurement t("quiet");
        t.setReport(false);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
