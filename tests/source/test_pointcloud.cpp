// Point cloud object without a window: the decimation of the upload, the display colour
// rules, the info text, the selection by an outline (even-odd rule) and its inversion,
// and the nearest point.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "OpenGL/GLObjPntsXYZ.h"

namespace {

using alg3D::Color;
using alg3D::GLPoint;
using alg3D::Vec3d;

TEST(PointCloudObjectTest, TenMillionPointsUploadFourMillionWithTheEvenStride) {
    const std::uint64_t n = 10000000;
    const std::int64_t count = drawCountFor(n);
    ASSERT_EQ(count, 4000000);
    const double step = double(n) / double(count);
    EXPECT_EQ(step, 2.5);
    const std::uint64_t expected[] = {0, 2, 5, 7, 10, 12, 15};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(drawSourceIndex(i, step), expected[i]);
    // Strictly rising and inside the cloud up to the last entry.
    std::uint64_t last = drawSourceIndex(0, step);
    for (std::int64_t i = 1; i < count; ++i) {
        const std::uint64_t k = drawSourceIndex(i, step);
        ASSERT_GT(k, last);
        last = k;
    }
    EXPECT_EQ(last, n - 3);  // floor(3999999 * 2.5)
    EXPECT_EQ(drawCountFor(1234), 1234);
    EXPECT_EQ(drawCountFor(0), 0);
}

TEST(PointCloudObjectTest, InfoTextAndEmptyCloud) {
    GLObjPnts cloud;
    EXPECT_EQ(cloud.getName(), "XYZObject");
    std::vector<Vec3d> pts = {Vec3d(1, 2, 3), Vec3d(3, 2, 5), Vec3d(2, 8, 4)};
    cloud.setPoints(std::move(pts));
    EXPECT_TRUE(pts.empty());
    EXPECT_EQ(cloud.getInfo(),
              "points: 3\ndx: 2.000000\ndy: 6.000000\ndz: 2.000000\nctr: 2.000000,4.000000,"
              "4.000000\nvolume: 24.000000\nselected: 0");

    GLObjPnts empty;
    testing::internal::CaptureStdout();
    empty.computeObjParam();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "WARNING: EMPTY CglPntObject::computeObjParam()\n");
    EXPECT_EQ(empty.getInfo().substr(0, empty.getInfo().find('\n')), "points: 0");
}

TEST(PointCloudObjectTest, CentroidOfAFarAwayCloudKeepsItsDigits) {
    // Survey coordinates: the exact centroid is 1234567.125, 7654321.25, 512.5.
    std::vector<Vec3d> pts;
    for (int i = 0; i < 100000; ++i) {
        const double d = (i % 2 == 0) ? 0.375 : -0.375;
        pts.push_back(Vec3d(1234567.125 + d, 7654321.25 - d, 512.5 + d));
    }
    GLObjPnts cloud;
    cloud.setPoints(std::move(pts));
    EXPECT_NE(cloud.getInfo().find("ctr: 1234567.125000,7654321.250000,512.500000\n"),
              std::string::npos)
        << cloud.getInfo();
    EXPECT_EQ(cloud.getUploadOffset(), Vec3d(1234567.125, 7654321.25, 512.5));
}

TEST(PointCloudObjectTest, DisplayColourRules) {
    // Coloured variant: all black shows the object colour.
    GLObjPntsColored colored;
    colored.setPoints({GLPoint(0, 0, 0), GLPoint(1, 0, 0), GLPoint(2, 0, 0)});
    colored.setColor(Color(10, 20, 30));
    for (const Color& c : colored.getDisplayColors())
        EXPECT_EQ(c, Color(10, 20, 30));
    // One coloured point: every point shows its own colour.
    colored.setPoints(
        {GLPoint(0, 0, 0, 255, 0, 0), GLPoint(1, 0, 0, 255, 255, 255), GLPoint(2, 0, 0)});
    colored.updateColors();
    EXPECT_EQ(colored.getDisplayColors()[2], Color(0, 0, 0));
    // Selected: the mean with the selection colour (255, 0, 0), rounded down.
    colored.setSelection({1, 1, 0});
    EXPECT_EQ(colored.getDisplayColors()[0], Color(255, 0, 0));
    EXPECT_EQ(colored.getDisplayColors()[1], Color(255, 127, 127));
    EXPECT_EQ(colored.getDisplayColors()[2], Color(0, 0, 0));
    EXPECT_EQ(colored.getSelectedCount(), 2u);

    // Plain variants: the selection colour or the object colour.
    GLObjPntsUniform uniform;
    uniform.setPoints({GLPoint(0, 0, 0, 9, 9, 9), GLPoint(1, 0, 0, 9, 9, 9)});
    uniform.setColor(Color(0, 200, 0));
    uniform.setSelection({0, 7});
    EXPECT_EQ(uniform.getDisplayColors()[0], Color(0, 200, 0));
    EXPECT_EQ(uniform.getDisplayColors()[1], Color(255, 0, 0));
    EXPECT_EQ(uniform.getSelectionMask()[1], 1);
}

// Points on a grid in the plane z = 0; with identity matrices and a 200 x 200 viewport a
// point (x, y) lands on the window position ((x + 1) * 100, (y + 1) * 100).
std::vector<Vec3d> grid(int n) {
    std::vector<Vec3d> pts;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            pts.push_back(Vec3d(-1.0 + (i + 0.5) * 2.0 / n, -1.0 + (j + 0.5) * 2.0 / n, 0.0));
    return pts;
}

SelectionRegion region(std::vector<SelectionRegion::Point> polygon) {
    SelectionRegion r;
    r.polygon = std::move(polygon);
    r.updateBounds();
    return r;
}

// Independent even-odd test in double precision: count crossings of a ray to +x.
bool insideEvenOdd(const std::vector<SelectionRegion::Point>& poly, double x, double y) {
    int crossings = 0;
    for (std::size_t a = 0; a < poly.size(); ++a) {
        const auto& p = poly[a];
        const auto& q = poly[(a + 1) % poly.size()];
        if ((p.y > y) == (q.y > y)) continue;
        const double t = (y - p.y) / (q.y - p.y);
        if (p.x + t * (q.x - p.x) > x) ++crossings;
    }
    return crossings % 2 == 1;
}

TEST(PointCloudObjectTest, PolygonSelectionUsesTheEvenOddRule) {
    const alg3D::Matrix4x4d identity = alg3D::Matrix4x4d::identity();
    const double viewport[4] = {0, 0, 200, 200};
    GLObjPnts cloud;
    std::vector<Vec3d> pts = grid(40);
    const std::vector<Vec3d> copy = pts;
    cloud.setPoints(std::move(pts));

    // A pentagram: its inner pentagon is crossed twice, so it stays unselected.
    std::vector<SelectionRegion::Point> star;
    for (int k = 0; k < 5; ++k) {
        const double a = M_PI / 2 + k * 4.0 * M_PI / 5.0;
        star.push_back({float(100 + 90 * std::cos(a)), float(100 + 90 * std::sin(a))});
    }
    cloud.select(region(star), identity, identity, viewport, 1);
    std::uint64_t expected = 0;
    for (std::size_t i = 0; i < copy.size(); ++i) {
        const double x = (copy[i].x + 1) * 100, y = (copy[i].y + 1) * 100;
        const bool in = insideEvenOdd(star, x, y);
        expected += in;
        EXPECT_EQ(cloud.getSelectionMask()[i], in ? 1 : 0) << x << "," << y;
    }
    EXPECT_EQ(cloud.getSelectedCount(), expected);
    // The centre of the star is outside by the even-odd rule, a tip is inside.
    const std::size_t centre = 20 * 40 + 20;  // (0.025, 0.025)
    EXPECT_EQ(cloud.getSelectionMask()[centre], 0);
    EXPECT_GT(expected, 50u);

    // Deselecting with a rectangle over the upper half clears only those points.
    cloud.select(region({{0, 100}, {200, 100}, {200, 200}, {0, 200}}), identity, identity, viewport,
                 0);
    for (std::size_t i = 0; i < copy.size(); ++i) {
        if (copy[i].y > 0) {
            EXPECT_EQ(cloud.getSelectionMask()[i], 0);
        }
    }
    // Two vertices select nothing.
    const std::uint64_t before = cloud.getSelectedCount();
    cloud.select(region({{0, 0}, {200, 200}}), identity, identity, viewport, 1);
    EXPECT_EQ(cloud.getSelectedCount(), before);
}

TEST(PointCloudObjectTest, ReverseClearAndDeleteSelection) {
    GLObjPnts cloud;
    cloud.setPoints(grid(10));
    cloud.reverseSelection();
    EXPECT_EQ(cloud.getSelectedCount(), 100u);
    cloud.reverseSelection();
    EXPECT_EQ(cloud.getSelectedCount(), 0u);
    std::vector<unsigned char> mask(100, 0);
    for (int i = 0; i < 100; i += 3)
        mask[i] = 1;
    cloud.setSelection(mask);
    EXPECT_EQ(cloud.getSelectedCount(), 34u);
    std::vector<Vec3d> selected;
    cloud.getSelection(selected);
    ASSERT_EQ(selected.size(), 34u);
    EXPECT_EQ(selected[1], grid(10)[3]);
    cloud.deleteSelection();
    EXPECT_EQ(cloud.getPoints().size(), 66u);
    EXPECT_EQ(cloud.getPoints()[0], grid(10)[1]);
    EXPECT_EQ(cloud.getSelectedCount(), 0u);
    EXPECT_NE(cloud.getInfo().find("points: 66\n"), std::string::npos);
}

TEST(PointCloudObjectTest, NearestPointAndTransform) {
    GLObjPnts cloud;
    cloud.setPoints({Vec3d(0, 0, 0), Vec3d(2, 0, 0), Vec3d(1, 0, 0), Vec3d(1, 0, 0)});
    EXPECT_EQ(cloud.nearestPoint(Vec3d(1.2, 0.1, 0)), Vec3d(1, 0, 0));
    EXPECT_EQ(cloud.nearestPoint(Vec3d(-5, 0, 0)), Vec3d(0, 0, 0));
    GLObjPnts empty;
    EXPECT_EQ(empty.nearestPoint(Vec3d(1, 1, 1)), Vec3d());

    alg3D::Matrix4x4d t = alg3D::Matrix4x4d::identity();
    t(0, 3) = 10;  // move by 10 in x
    cloud.setPendingTransform(t);
    cloud.applyTransform();
    EXPECT_EQ(cloud.getPoints()[1], Vec3d(12, 0, 0));
    EXPECT_EQ(cloud.getPendingTransform(), alg3D::Matrix4x4d::identity());
    EXPECT_EQ(cloud.getBBoxMin(), Vec3d(10, 0, 0));
}

TEST(PointCloudObjectTest, VisibilityAndSelectionFlags) {
    GLObjPnts cloud;
    EXPECT_TRUE(cloud.isVisible());
    cloud.setSelected(true);
    cloud.setVisible(false);
    EXPECT_FALSE(cloud.isVisible());
    EXPECT_FALSE(cloud.isSelected());
    cloud.setSelected(true);  // hidden objects cannot be selected
    EXPECT_FALSE(cloud.isSelected());
    cloud.setVisible(true);
    EXPECT_TRUE(cloud.isVisible());
    EXPECT_TRUE(cloud.isSelected());
}

}  // namespace
