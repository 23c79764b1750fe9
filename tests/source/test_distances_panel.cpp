// The distances panel's controls as the command's options, the colour coding of the three
// cloud kinds, and primitives read back into the geometry they were made from.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <limits>
#include <type_traits>

#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLPrimitiveFactory.h"
#include "panels/WidgetDistances.h"

namespace {

using alg3D::Color;
using alg3D::Vec3d;
using tessaro::commands::FitGeometry;
using tessaro::commands::FitShape;

TEST(DistancesPanelTest, ControlsBecomeTheCommandsOptions) {
    constexpr double kBig = std::numeric_limits<double>::max();
    WidgetDistances panel;
    EXPECT_EQ(panel.objectName(), "WgtDistances");
    EXPECT_EQ(panel.title(), "Distances");
    EXPECT_EQ(panel.findChild<QLabel*>("labelNameReference")->text(), "n.a.");
    panel.setNames("ref", QString());
    EXPECT_EQ(panel.findChild<QLabel*>("labelNameReference")->text(), "ref");
    EXPECT_EQ(panel.findChild<QLabel*>("labelNameTest")->text(), "n.a.");

    auto* minD = panel.findChild<QLineEdit*>("lineEditMinD");
    auto* maxD = panel.findChild<QLineEdit*>("lineEditMaxD");
    auto* inside = panel.findChild<QCheckBox*>("checkBoxSelectInside");
    auto* outside = panel.findChild<QCheckBox*>("checkBoxSelectOutside");
    const struct {
        QString minText, maxText;
        double minD, maxD, search;
    } cases[] = {{"", "", -kBig, kBig, 0.0},
                 {"-0,5", "1.25", -0.5, 1.25, 1.25},
                 {"2e-3", "", 2e-3, kBig, 0.0},
                 {"", "-1", -kBig, -1.0, -1.0}};
    for (const auto& c : cases) {
        minD->setText(c.minText);
        maxD->setText(c.maxText);
        const auto o = panel.options();
        EXPECT_EQ(o.evaluation.minD, c.minD) << c.minText.toStdString();
        EXPECT_EQ(o.evaluation.maxD, c.maxD) << c.maxText.toStdString();
        EXPECT_EQ(o.maxDistance, c.search) << c.maxText.toStdString();
    }
    EXPECT_TRUE(panel.options().evaluation.colorAuto);

    // At most one of the two select boxes.
    inside->setChecked(true);
    outside->setChecked(true);
    EXPECT_FALSE(inside->isChecked());
    inside->setChecked(true);
    EXPECT_FALSE(outside->isChecked());
    EXPECT_TRUE(panel.options().evaluation.selectInside);
    EXPECT_FALSE(panel.options().evaluation.selectOutside);

    panel.showResult("minDev.: 1\nduration: 2ms", 0.123456789, 12345678.9);
    EXPECT_EQ(panel.findChild<QLineEdit*>("lineEditColorMin")->text(), "0.123457");
    EXPECT_EQ(panel.findChild<QLineEdit*>("lineEditColorMax")->text(), "1.23457e+07");
}

template <typename Cloud, typename P>
void expectCoding(std::vector<P> points, bool ownColours) {
    Cloud cloud;
    cloud.setPoints(std::move(points));
    cloud.setColor(Color(9, 9, 9));
    const std::vector<Color> coded = {Color(0, 0, 255), Color(0, 255, 0), Color(255, 0, 0)};
    cloud.setCodedColors(std::vector<Color>(coded));
    EXPECT_EQ(cloud.getDisplayColors(), coded);
    if constexpr (std::is_same_v<P, alg3D::GLPoint>) {
        for (std::size_t i = 0; i < coded.size(); ++i) {
            EXPECT_EQ(cloud.getPoints()[i].color(), coded[i]);
        }
    }
    // A selected point shows the selection, the others keep the coding.
    cloud.setSelection({0, 1, 0});
    EXPECT_EQ(cloud.getDisplayColors()[0], coded[0]);
    EXPECT_NE(cloud.getDisplayColors()[1], coded[1]);
    EXPECT_EQ(cloud.getDisplayColors()[2], coded[2]);
    // Deleting the selected point keeps the coding of the others.
    cloud.deleteSelection();
    EXPECT_EQ(cloud.getDisplayColors(), std::vector<Color>({coded[0], coded[2]}));
    // A wrong length ends the coding of a cloud without colours of its own.
    cloud.setCodedColors({Color(1, 2, 3)});
    EXPECT_EQ(cloud.getDisplayColors()[0], ownColours ? coded[0] : Color(9, 9, 9));
}

TEST(DistancesPanelTest, ColourCodingOfEveryCloudKind) {
    const std::vector<Vec3d> plain = {Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(2, 0, 0)};
    std::vector<alg3D::GLPoint> colored;
    for (const Vec3d& p : plain)
        colored.emplace_back(p, Color(7, 7, 7));
    expectCoding<GLObjPnts>(plain, false);
    expectCoding<GLObjPntsUniform>(colored, false);
    expectCoding<GLObjPntsColored>(colored, true);
}

TEST(DistancesPanelTest, PrimitivesGiveBackTheirGeometry) {
    const Vec3d p(1, -2, 3), d = Vec3d(1, 2, 2).normalized();
    auto g = [&](double r, double r2, double angle, double factor) {
        FitGeometry geometry;
        geometry.point = p;
        geometry.direction = d;
        geometry.radius = r;
        geometry.radius2 = r2;
        geometry.angle = angle;
        geometry.factor = factor;
        return geometry;
    };
    const struct {
        FitShape shape;
        FitGeometry geometry;
    } cases[] = {{FitShape::kLine, g(0, 0, 0, 0)},
                 {FitShape::kPlane, g(0, 0, 0, 0)},
                 {FitShape::kCircle, g(2, 0, 0, 0)},
                 {FitShape::kEllipse, g(3, 1, 0.5, 0)},
                 {FitShape::kSuperEllipse, g(3, 1, 0.5, 2.5)},
                 {FitShape::kSphere, g(4, 0, 0, 0)},
                 {FitShape::kCylinder, g(1.5, 0, 0, 0)},
                 {FitShape::kCone, g(2, 0, 0.3, 0)},
                 {FitShape::kTorus, g(5, 1, 0, 0)}};
    for (const auto& c : cases) {
        const auto object = makePrimitiveObject(c.shape, c.geometry, PrimitiveExtent());
        FitShape shape{};
        FitGeometry back;
        ASSERT_TRUE(primitiveGeometryOf(*object, shape, back)) << fitShapeName(c.shape);
        EXPECT_EQ(shape, c.shape);
        // A line gives some point of itself (the start of its drawn piece).
        const Vec3d off = back.point - p;
        const double miss = c.shape == FitShape::kLine ? off.cross(d).norm() : off.norm();
        EXPECT_LT(miss, 1e-12) << fitShapeName(c.shape);
        if (c.shape != FitShape::kSphere) {
            EXPECT_LT((back.direction - d).norm(), 1e-12) << fitShapeName(c.shape);
        }
        EXPECT_NEAR(back.radius, c.geometry.radius, 1e-12) << fitShapeName(c.shape);
        EXPECT_NEAR(back.radius2, c.geometry.radius2, 1e-12) << fitShapeName(c.shape);
        EXPECT_NEAR(back.angle, c.geometry.angle, 1e-12) << fitShapeName(c.shape);
        EXPECT_NEAR(back.factor, c.geometry.factor, 1e-12) << fitShapeName(c.shape);
    }
    GLObjPnts cloud;
    FitShape shape{};
    FitGeometry back;
    EXPECT_FALSE(primitiveGeometryOf(cloud, shape, back));
}

}  // namespace
