// Camera mathematics without a window: projection bounds, fitting a scene, the standard
// directions, and the mouse moves that must keep a point under the cursor. Truth comes
// from the geometry of the set-up (a sphere fitted into the field of view, points placed
// at the viewport's edges), not from the camera's own formulas.
#include <gtest/gtest.h>

#include <cmath>

#include "OpenGL/GLCamera.h"
#include "OpenGL/glView/GLView.h"

namespace {

using alg3D::Vec3d;
constexpr double kPi = 3.14159265358979323846;

Vec3d project(const GLCamera& c, const Vec3d& p) {
    Vec3d w;
    EXPECT_TRUE(c.project(p, w));
    return w;
}

TEST(GLCameraTest, NewCameraAndEmptySceneFit) {
    GLCamera c;
    EXPECT_EQ(c.fieldOfView(), 30.0);
    EXPECT_EQ(c.zoom(), 1.0);
    EXPECT_TRUE(c.isOrthographic());
    EXPECT_EQ(c.nearPlane(), 0.001);
    EXPECT_EQ(c.farPlane(), 1.0);
    EXPECT_EQ(c.sceneRadius(), 0.5);

    // An empty scene fits a sphere of radius 0.5 about the origin.
    c.setViewport(0, 0, 400, 400);
    c.fit2view(GLCamera::kFront, Vec3d(), Vec3d(), true);
    const double d = 0.5 / std::sin(15.0 * kPi / 180.0);
    EXPECT_NEAR(c.modelView()(2, 3), -d, 1e-12);
    EXPECT_NEAR(c.farPlane(), d + 1.5, 1e-12);
    EXPECT_NEAR(c.nearPlane(), d - 1.5, 1e-12);
    EXPECT_EQ(c.sceneRadius(), 0.5);
}

TEST(GLCameraTest, FitKnownSceneDistancesAndPerspectiveTangent) {
    GLCamera c;
    c.setViewport(0, 0, 640, 480);
    // Box with diagonal 6: radius 3, centre (1, 2, 2).
    c.fit2view(GLCamera::kFront, Vec3d(0, 0, 0), Vec3d(2, 4, 4), false);
    const double d = 3.0 / std::sin(15.0 * kPi / 180.0);
    EXPECT_NEAR(c.farPlane(), d + 9.0, 1e-12);
    EXPECT_NEAR(c.nearPlane(), d - 9.0, 1e-12);
    EXPECT_NEAR(c.sceneRadius(), 3.0, 1e-15);
    // The centre is in the middle of the window.
    const Vec3d mid = project(c, Vec3d(1, 2, 2));
    EXPECT_NEAR(mid.x, 320.0, 1e-9);
    EXPECT_NEAR(mid.y, 240.0, 1e-9);

    // In perspective the bounding sphere touches the field of view: a point r above the
    // centre lies at cos(15 deg) of the half height (tangent geometry).
    c.setOrthographic(false);
    const Vec3d top = project(c, Vec3d(1, 5, 2));
    EXPECT_NEAR((top.y - 240.0) / 240.0, std::cos(15.0 * kPi / 180.0), 1e-9);
    EXPECT_NEAR(top.x, 320.0, 1e-9);
}

TEST(GLCameraTest, OrthographicBoundsFollowTheAspect) {
    GLCamera c;
    c.setViewport(0, 0, 800, 400);  // wider than high: half height = radius
    c.fit2view(GLCamera::kFront, Vec3d(), Vec3d(), true);
    Vec3d corner = project(c, Vec3d(1.0, 0.5, 0.0));
    EXPECT_NEAR(corner.x, 800.0, 1e-9);
    EXPECT_NEAR(corner.y, 400.0, 1e-9);
    c.setViewport(0, 0, 300, 600);  // higher than wide: half width = radius
    corner = project(c, Vec3d(0.5, 1.0, 0.0));
    EXPECT_NEAR(corner.x, 300.0, 1e-9);
    EXPECT_NEAR(corner.y, 600.0, 1e-9);
    // Zoom 2 halves the visible extent.
    c.setZoom(2.0);
    corner = project(c, Vec3d(0.25, 0.5, 0.0));
    EXPECT_NEAR(corner.x, 300.0, 1e-9);
    EXPECT_NEAR(corner.y, 600.0, 1e-9);
}

TEST(GLCameraTest, PerspectiveZoomStopsAtTheAngleBounds) {
    GLCamera c;
    c.setViewport(0, 0, 100, 100);
    c.setOrthographic(false);
    c.setZoom(1000.0);  // 0.03 degrees
    EXPECT_DOUBLE_EQ(c.zoom(), 120.0);
    c.setZoom(0.01);  // 3000 degrees
    EXPECT_DOUBLE_EQ(c.zoom(), 0.25);
}

TEST(GLCameraTest, StandardDirections) {
    GLCamera c;
    c.setViewport(0, 0, 500, 500);
    const Vec3d lo(-1, -1, -1), hi(1, 1, 1);
    const Vec3d centre = project(c, Vec3d());  // placeholder before the fit
    (void)centre;
    struct Case {
        GLCamera::enViewDir dir;
        Vec3d right, up, towardViewer;
    } cases[] = {
        {GLCamera::kFront, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
        {GLCamera::kBack, {-1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
        {GLCamera::kLeft, {0, 0, 1}, {0, 1, 0}, {-1, 0, 0}},
        {GLCamera::kRight, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
        {GLCamera::kTop, {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
        {GLCamera::kBottom, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
    };
    for (const Case& k : cases) {
        c.fit2view(k.dir, lo, hi, false);
        const Vec3d o = project(c, Vec3d());
        const Vec3d r = project(c, k.right * 0.5);
        const Vec3d u = project(c, k.up * 0.5);
        const Vec3d t = project(c, k.towardViewer * 0.5);
        EXPECT_GT(r.x - o.x, 50.0) << k.dir;
        EXPECT_NEAR(r.y, o.y, 1e-9) << k.dir;
        EXPECT_GT(u.y - o.y, 50.0) << k.dir;
        EXPECT_NEAR(u.x, o.x, 1e-9) << k.dir;
        EXPECT_LT(t.z, o.z) << k.dir;  // nearer: smaller depth
        EXPECT_NEAR(t.x, o.x, 1e-9) << k.dir;
        EXPECT_NEAR(t.y, o.y, 1e-9) << k.dir;
    }
}

TEST(GLCameraTest, UnprojectInvertsProject) {
    GLCamera c;
    c.setViewport(10, 20, 640, 480);
    c.fit2view(GLCamera::kObliqueA, Vec3d(-3, -2, -1), Vec3d(5, 2, 7), false);
    for (bool ortho : {true, false}) {
        c.setOrthographic(ortho);
        const Vec3d p(1.25, -0.5, 3.0);
        Vec3d back;
        ASSERT_TRUE(c.unproject(project(c, p), back));
        EXPECT_NEAR((back - p).norm(), 0.0, 1e-9) << ortho;
    }
}

TEST(GLCameraTest, ZoomTowardsTheCursorKeepsThePointUnderIt) {
    for (bool ortho : {true, false}) {
        GLCamera c;
        c.setViewport(0, 0, 800, 600);
        c.fit2view(GLCamera::kFront, Vec3d(-2, -1, -1), Vec3d(2, 1, 1), false);
        c.setOrthographic(ortho);
        const Vec3d anchor(0.3, 0.2, 0.0);
        const double cx = 100.0, cy = 450.0;
        // The world point under the cursor at the anchor's depth.
        Vec3d underCursor;
        ASSERT_TRUE(c.unproject(Vec3d(cx, cy, project(c, anchor).z), underCursor));
        for (double factor : {1.1, 1.1, 0.9, 1.1}) {
            c.zoomTowards(anchor, cx, cy, factor);
            const Vec3d w = project(c, underCursor);
            EXPECT_NEAR(w.x, cx, 1e-6) << ortho;
            EXPECT_NEAR(w.y, cy, 1e-6) << ortho;
        }
        EXPECT_NEAR(c.zoom(), 1.1 * 1.1 * 0.9 * 1.1, 1e-12);
    }
}

TEST(GLCameraTest, PanMovesTheAnchorWithTheMouse) {
    for (bool ortho : {true, false}) {
        GLCamera c;
        c.setViewport(0, 0, 640, 480);
        c.fit2view(GLCamera::kRight, Vec3d(-1, -1, -1), Vec3d(1, 1, 1), false);
        c.setOrthographic(ortho);
        const Vec3d anchor(0.2, 0.4, -0.3);
        const Vec3d before = project(c, anchor);
        c.pan(anchor, 37.0, -12.0);
        const Vec3d after = project(c, anchor);
        EXPECT_NEAR(after.x - before.x, 37.0, 1e-6);
        EXPECT_NEAR(after.y - before.y, -12.0, 1e-6);
    }
}

TEST(GLCameraTest, TrackballTurnsAboutTheRotationCentre) {
    GLCamera c;
    c.setViewport(0, 0, 600, 600);
    c.fit2view(GLCamera::kFront, Vec3d(-1, -1, -1), Vec3d(1, 1, 1), false);
    c.setRotationCenter(Vec3d(0.5, 0.0, 0.0));
    const Vec3d centreBefore = project(c, Vec3d(0.5, 0.0, 0.0));
    // Dragging to the right at the centre of the ball turns about the vertical axis:
    // a point in front of the centre moves right.
    const Vec3d frontBefore = project(c, Vec3d(0.5, 0.0, 0.5));
    c.rotate(centreBefore.x, centreBefore.y, 30.0, 0.0);
    const Vec3d centreAfter = project(c, Vec3d(0.5, 0.0, 0.0));
    EXPECT_NEAR(centreAfter.x, centreBefore.x, 1e-9);
    EXPECT_NEAR(centreAfter.y, centreBefore.y, 1e-9);
    const Vec3d frontAfter = project(c, Vec3d(0.5, 0.0, 0.5));
    EXPECT_GT(frontAfter.x, frontBefore.x + 5.0);
    EXPECT_NEAR(frontAfter.y, frontBefore.y, 1e-9);
    // The angle: 3 * |motion| / R in radians, R half the viewport diagonal.
    const double radius = std::sqrt((600.0 * 600.0 + 600.0 * 600.0) / 4.0);
    const double angle = 3.0 * 30.0 / radius;
    const alg3D::Matrix4x4d& m = c.modelView();
    EXPECT_NEAR(m(0, 0), std::cos(angle), 1e-12);
    EXPECT_NEAR(m(0, 2), std::sin(angle), 1e-12);
    // Still a rotation: orthonormal rows.
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double dot = 0;
            for (int k = 0; k < 3; ++k)
                dot += m(i, k) * m(j, k);
            EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-12);
        }
    }
}

TEST(GLCameraTest, RulerLabelShowsPointsDifferenceAndDistance) {
    const QString text = GLView::rulerText({Vec3d(0, 0, 0), Vec3d(3, 4, 0)});
    const QStringList lines = text.split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "[0] 0.000000,0.000000,0.000000");
    EXPECT_EQ(lines[1], "[1] 3.000000,4.000000,0.000000");
    EXPECT_EQ(lines[2], QString::fromUtf8("∆ : -3.000000,-4.000000,0.000000"));
    EXPECT_EQ(lines[3], QString::fromUtf8("⊢⊣: 5.000000"));
    EXPECT_EQ(GLView::rulerText({Vec3d(1, 2, 3)}), "[0] 1.000000,2.000000,3.000000");
}

// Lengths a user reads: fixed notation at every magnitude, six decimals below 1e4 (the
// survey coordinates of a site keep their micrometres), more for tiny lengths, and no
// more digits than a double holds.
TEST(GLCameraTest, RulerLengthsInFixedNotationAtEveryMagnitude) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {7123456.789012, "7123456.789012"},
        {5432100.25, "5432100.250000"},
        {9999.5, "9999.500000"},
        {0.0, "0.000000"},
        {-12.3456789, "-12.345679"},
        {0.000123456, "0.0001235"},
        {2.5e-9, "0.000000002500"},
        {1.5e12, "1500000000000.000"},
    };
    for (const auto& c : cases) {
        const QString text = GLView::lengthText(c.value);
        EXPECT_EQ(text, c.text) << c.value;
        EXPECT_FALSE(text.contains('e')) << c.value;
    }
}

}  // namespace
