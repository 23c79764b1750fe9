// The registration panel's controls as the command's options, and the result table.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include "ComputationRunner.h"
#include "panels/WidgetRegistration.h"

namespace {

namespace alg = alg3D::algorithm;

TEST(RegistrationPanelTest, StartValuesAreTheDefaultRun) {
    WidgetRegistration panel;
    EXPECT_EQ(panel.objectName(), "WgtRegistration");
    EXPECT_EQ(panel.title(), "Registration");
    EXPECT_EQ(panel.findChild<QLabel*>("labelNameReference")->text(), "n.a.");
    EXPECT_EQ(panel.findChild<QLabel*>("labelNameTest")->text(), "n.a.");
    panel.setNames("ref", QString());
    EXPECT_EQ(panel.findChild<QLabel*>("labelNameReference")->text(), "ref");
    EXPECT_EQ(panel.findChild<QLabel*>("labelNameTest")->text(), "n.a.");

    auto* iterations = panel.findChild<QSpinBox*>("spinBoxIterations");
    auto* samples = panel.findChild<QSpinBox*>("spinBoxSamples");
    EXPECT_EQ(iterations->minimum(), 1);
    EXPECT_EQ(iterations->maximum(), 10000);
    EXPECT_EQ(samples->minimum(), 0);
    EXPECT_EQ(samples->maximum(), 10000000);
    EXPECT_EQ(samples->toolTip(), "0=all");
    EXPECT_EQ(panel.findChild<QRadioButton*>("radioButtonCheb")->toolTip(),
              "Minimizes the absolute maximum deviation (Minimax).\nGauss should be applied "
              "initially.");

    const auto o = panel.options();
    EXPECT_EQ(panel.method(), WidgetRegistration::kGauss);
    EXPECT_FALSE(o.chebyshev);
    EXPECT_EQ(o.freedom, unsigned(alg::kIcpRigid));
    EXPECT_FALSE(o.alignCenters);
    EXPECT_FALSE(o.rotateAboutOrigin);
    EXPECT_EQ(o.maxIterations, 100u);
    EXPECT_EQ(o.samples, 2000);
    EXPECT_EQ(o.searchRadius, 0.0);
}

TEST(RegistrationPanelTest, ControlsBecomeTheCommandsOptions) {
    WidgetRegistration panel;
    auto box = [&](const char* name) { return panel.findChild<QCheckBox*>(name); };
    const struct {
        const char* name;
        unsigned bit;
    } bits[] = {{"checkBoxRXaxis", alg::kIcpRx}, {"checkBoxRYaxis", alg::kIcpRy},
                {"checkBoxRZaxis", alg::kIcpRz}, {"checkBoxTXaxis", alg::kIcpTx},
                {"checkBoxTYaxis", alg::kIcpTy}, {"checkBoxTZaxis", alg::kIcpTz}};
    // Each axis box clears exactly its own bit; scaling adds bit 6.
    for (const auto& b : bits) {
        box(b.name)->setChecked(false);
        EXPECT_EQ(panel.options().freedom, alg::kIcpRigid & ~b.bit) << b.name;
        box(b.name)->setChecked(true);
    }
    box("checkBoxScaling")->setChecked(true);
    EXPECT_EQ(panel.options().freedom, alg::kIcpRigid | alg::kIcpScale);
    box("checkBoxScaling")->setChecked(false);
    for (const char* name : {"checkBoxRXaxis", "checkBoxRYaxis", "checkBoxRZaxis"})
        box(name)->setChecked(false);
    EXPECT_EQ(panel.options().freedom, unsigned(alg::kIcpTranslations));

    box("checkBoxCOG")->setChecked(true);
    box("checkBoxFixRotationCenter")->setChecked(true);
    panel.findChild<QSpinBox*>("spinBoxIterations")->setValue(250);
    panel.findChild<QSpinBox*>("spinBoxSamples")->setValue(0);
    auto* samples = panel.findChild<QSpinBox*>("spinBoxSamples");
    panel.findChild<QRadioButton*>("radioButtonCheb")->setChecked(true);
    EXPECT_FALSE(samples->isEnabled());  // Chebyshev pairs every point

    const struct {
        QString text;
        double value;
    } numbers[] = {{"1,5", 1.5}, {" 2e-3 ", 2e-3}, {"", 0.0}, {"0", 0.0}};
    auto* radius = panel.findChild<QLineEdit*>("lineEditRadius");
    auto* tolerance = panel.findChild<QLineEdit*>("lineEditTolerance");
    for (const auto& n : numbers) {
        radius->setText(n.text);
        tolerance->setText(n.text);
        const auto o = panel.options();
        EXPECT_EQ(o.searchRadius, n.value) << n.text.toStdString();
        EXPECT_EQ(o.tolerance, n.value) << n.text.toStdString();
    }
    const auto o = panel.options();
    EXPECT_EQ(panel.method(), WidgetRegistration::kChebyshev);
    EXPECT_TRUE(o.chebyshev);
    EXPECT_TRUE(o.alignCenters);
    EXPECT_TRUE(o.rotateAboutOrigin);
    EXPECT_EQ(o.maxIterations, 250u);
    EXPECT_EQ(o.samples, 0);
    // The radius field has a lower bound of 0: a minus sign is dropped.
    QString typed = "-2";
    radius->validator()->fixup(typed);
    EXPECT_EQ(typed, "2");
}

TEST(RegistrationPanelTest, PointToPlaneAndItsOptions) {
    WidgetRegistration panel;
    auto* plane = panel.findChild<QRadioButton*>("radioButtonPointToPlane");
    auto* robust = panel.findChild<QComboBox*>("comboBoxRobust");
    auto* normals = panel.findChild<QSpinBox*>("spinBoxNormalPoints");
    ASSERT_TRUE(plane && robust && normals);
    EXPECT_EQ(plane->text(), "Point to plane");
    EXPECT_FALSE(robust->isEnabled());
    EXPECT_FALSE(normals->isEnabled());
    EXPECT_EQ(normals->value(), 30);
    EXPECT_EQ(normals->minimum(), 3);
    plane->setChecked(true);
    EXPECT_TRUE(robust->isEnabled());
    EXPECT_TRUE(normals->isEnabled());
    EXPECT_TRUE(panel.findChild<QSpinBox*>("spinBoxSamples")->isEnabled());
    const int codes[] = {alg::kIcpRobustNone, alg::kIcpRobustHuber, alg::kIcpRobustTukey};
    for (int i = 0; i < 3; ++i) {
        robust->setCurrentIndex(i);
        normals->setValue(12 + i);
        const auto o = panel.options();
        EXPECT_EQ(panel.method(), WidgetRegistration::kPointToPlane);
        EXPECT_TRUE(o.pointToPlane);
        EXPECT_FALSE(o.chebyshev);
        EXPECT_EQ(o.robust, codes[i]);
        EXPECT_EQ(o.normalsK, 12u + i);
    }
    // Back to Gauss: the point-to-plane controls are off and not passed on.
    panel.findChild<QRadioButton*>("radioButtonGauss")->setChecked(true);
    EXPECT_FALSE(robust->isEnabled());
    const auto o = panel.options();
    EXPECT_FALSE(o.pointToPlane);
    EXPECT_EQ(o.robust, alg::kIcpRobustNone);
}

TEST(RegistrationPanelTest, ResultTableShowsStatisticsThenTransform) {
    WidgetRegistration panel;
    panel.showResult("iterations: 3\npairs: 10\nduration: 5 ms",
                     "** R **\n+1.000000 +0.000000 +0.000000 \n+0.000000 +1.000000 +0.000000 \n"
                     "+0.000000 +0.000000 +1.000000 \n** T **\n+0.500000 \n-0.250000 \n"
                     "+0.000000 \n** S **\n+1.000000");
    TableWidget* table = panel.resultTable();
    const char* expected[][2] = {{"iterations", " 3"},
                                 {"pairs", " 10"},
                                 {"duration", " 5 ms"},
                                 {"R", "+1.000000 +0.000000 +0.000000"},
                                 {"", "+0.000000 +1.000000 +0.000000"},
                                 {"", "+0.000000 +0.000000 +1.000000"},
                                 {"T", "+0.500000"},
                                 {"", "-0.250000"},
                                 {"", "+0.000000"},
                                 {"S", "+1.000000"}};
    ASSERT_EQ(table->rowCount(), 10);
    for (int r = 0; r < 10; ++r) {
        EXPECT_EQ(table->item(r, 0)->text(), expected[r][0]) << r;
        EXPECT_EQ(table->item(r, 1)->text(), expected[r][1]) << r;
    }
    panel.clearResult();
    EXPECT_EQ(table->rowCount(), 0);
}

}  // namespace
