// The geometry fit panel on its own: the start-value rows each function shows, the
// method rows of the line, the controls' start values and how they become the command's
// options (method and element, fixed and given start values, angles in degrees).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

#include "ComputationRunner.h"
#include "GuiTestSupport.h"
#include "panels/WidgetFitGeometry.h"

namespace {

namespace cmd = tessaro::commands;

bool shown(const WidgetFitGeometry& panel, const char* name) {
    const QWidget* w = panel.findChild<QWidget*>(name);
    EXPECT_TRUE(w) << name;
    return w && w->isVisibleTo(&panel);
}
void setText(WidgetFitGeometry& panel, const char* name, const QString& text) {
    panel.findChild<QLineEdit*>(name)->setText(text);
}
void check(WidgetFitGeometry& panel, const char* name, bool on = true) {
    panel.findChild<QAbstractButton*>(name)->setChecked(on);
}

TEST(WidgetFitGeometryTest, EachFunctionShowsTheRowsItUses) {
    WidgetFitGeometry panel;
    EXPECT_EQ(panel.objectName(), "WgtFitGeometry");
    EXPECT_EQ(panel.function(), 0);
    const auto* it = panel.findChild<QSpinBox*>("spinBoxIt");
    EXPECT_EQ(it->minimum(), 0);
    EXPECT_EQ(it->maximum(), 10000);
    EXPECT_EQ(it->value(), 100);
    // Rows: factor, angle, radius, radius2, point, direction.
    const struct {
        int code;
        const char* button;
        const char* text;
        bool rows[6];
    } table[] = {
        {1, "btnPlane", "Plane", {false, false, false, false, true, true}},
        {2, "btnCylinder", "Cylinder", {false, false, true, false, true, true}},
        {3, "btnSphere", "Sphere", {false, false, true, false, true, false}},
        {4, "btnCone", "Cone", {false, true, true, false, true, true}},
        {5, "btnTorus", "Torus", {false, false, true, true, true, true}},
        {6, "btnCircle", "Circle", {false, false, true, false, true, true}},
        {7, "btnLine", "Line", {false, false, false, false, true, true}},
        {8, "btnEllipse", "Ellipse", {false, true, true, true, true, true}},
        {9, "btnSuperEllipse", "Superellipse", {true, true, true, true, true, true}},
    };
    const char* rows[6] = {"lineEditShape",   "lineEditAngle",  "lineEditRadius1",
                           "lineEditRadius2", "lineEditPointY", "lineEditDirX"};
    const char* fixes[6] = {"fixS", "fixA", "fixR1", "fixR2", "fixP", "fixD"};
    auto* results = panel.resultTable();
    for (const auto& row : table) {
        results->setResultText("sigma: 1");
        auto* button = panel.findChild<QToolButton*>(row.button);
        ASSERT_TRUE(button) << row.button;
        EXPECT_EQ(button->text(), row.text);
        EXPECT_FALSE(button->icon().isNull()) << row.button;
        button->click();
        EXPECT_EQ(panel.function(), row.code);
        EXPECT_EQ(results->rowCount(), 0) << "choosing a function clears the results";
        for (int r = 0; r < 6; ++r) {
            EXPECT_EQ(shown(panel, rows[r]), row.rows[r]) << row.button << " " << rows[r];
            EXPECT_EQ(shown(panel, fixes[r]), row.rows[r]) << row.button << " " << fixes[r];
        }
        const bool solid = row.code == 2 || row.code == 3;
        EXPECT_EQ(shown(panel, "radioButtonMC"), solid) << row.button;
        EXPECT_EQ(shown(panel, "radioButtonMI"), solid) << row.button;
    }
    // The superellipse shows every row: a look at the whole panel.
    panel.resize(320, 900);
    panel.show();
    QApplication::processEvents();
    panel.grab().save(guitest::artifactPath("panel-fit-controls.png"));
}

TEST(WidgetFitGeometryTest, TheLineFallsBackToGaussAndShowsTheChebyshevGroup) {
    WidgetFitGeometry panel;
    panel.setFunction(2);
    check(panel, "radioButtonMC");
    EXPECT_EQ(panel.options().element, cmd::FitElement::kEnclosing);
    panel.setFunction(7);
    EXPECT_TRUE(panel.findChild<QRadioButton*>("radioButtonGauss")->isChecked());
    EXPECT_TRUE(shown(panel, "groupBoxChebGeom"));
    EXPECT_EQ(panel.options().method, alg3D::approximate::kLevenbergMarquardt);
    EXPECT_EQ(panel.options().element, cmd::FitElement::kCentral);
}

TEST(WidgetFitGeometryTest, ControlsBecomeTheCommandsOptions) {
    WidgetFitGeometry panel;
    panel.setFunction(4);  // cone: point, direction, radius, angle
    const cmd::FitOptions plain = panel.options();
    EXPECT_EQ(plain.method, alg3D::approximate::kLevenbergMarquardt);
    EXPECT_EQ(plain.maxIterations, 100u);
    EXPECT_FALSE(plain.weighting);
    EXPECT_EQ(plain.radius.state, alg3D::approximate::Estimate);
    EXPECT_EQ(plain.point.state, alg3D::approximate::Estimate);

    check(panel, "radioButtonCheb");
    check(panel, "checkBoxWeighting");
    panel.findChild<QSpinBox*>("spinBoxIt")->setValue(7);
    setText(panel, "lineEditRadius1", "2,5");
    check(panel, "fixR1");
    setText(panel, "lineEditAngle", "30");
    setText(panel, "lineEditPointX", "1");
    setText(panel, "lineEditPointY", "-2");
    setText(panel, "lineEditPointZ", "3e1");
    setText(panel, "lineEditDirX", "0");
    setText(panel, "lineEditDirY", "");  // incomplete: left to the estimate
    setText(panel, "lineEditDirZ", "1");
    setText(panel, "lineEditShape", "4");  // hidden row: ignored
    const cmd::FitOptions o = panel.options();
    EXPECT_EQ(o.method, alg3D::approximate::kChebyshev);
    EXPECT_EQ(o.element, cmd::FitElement::kCentral);
    EXPECT_TRUE(o.weighting);
    EXPECT_EQ(o.maxIterations, 7u);
    EXPECT_EQ(o.radius.state, alg3D::approximate::Fixed);
    EXPECT_DOUBLE_EQ(o.radius.value, 2.5);
    EXPECT_EQ(o.angle.state, alg3D::approximate::Given);
    EXPECT_NEAR(o.angle.value, 3.141592653589793 / 6.0, 1e-15);
    EXPECT_EQ(o.point.state, alg3D::approximate::Given);
    EXPECT_EQ(o.point.value, alg3D::Vec3d(1, -2, 30));
    EXPECT_EQ(o.direction.state, alg3D::approximate::Estimate);
    EXPECT_EQ(o.factor.state, alg3D::approximate::Estimate);

    panel.setFunction(1);  // plane: outer element
    check(panel, "radioButtonCheb");
    check(panel, "checkBoxChebGeomOuter");
    EXPECT_FALSE(panel.findChild<QCheckBox*>("checkBoxChebGeomCentral")->isChecked());
    EXPECT_EQ(panel.options().element, cmd::FitElement::kOuter);
    // Inscribing for the sphere; the plane has none and falls back to Gauss.
    panel.setFunction(3);
    check(panel, "radioButtonMI");
    EXPECT_EQ(panel.options().element, cmd::FitElement::kInscribing);
    panel.setFunction(1);
    EXPECT_EQ(panel.options().method, alg3D::approximate::kLevenbergMarquardt);
}

}  // namespace
