// The surface-features panel: its modes (normals, curvature, none) with the rows each
// shows, and its controls as the normals and features commands' options.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QValidator>

#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/glView/GLView.h"
#include "alg3D/algorithm/Normals.h"
#include "alg3D/algorithm/SurfaceFeatures.h"
#include "panels/ColorBar.h"
#include "panels/WidgetSurfaceFeatures.h"

namespace {

namespace alg = alg3D::algorithm;

template <typename T>
T* child(const WidgetSurfaceFeatures& panel, const char* name) {
    T* w = panel.findChild<T*>(name);
    EXPECT_TRUE(w) << name;
    return w;
}

TEST(FeaturesPanelTest, ModesShowTheRowsOfTheirRun) {
    WidgetSurfaceFeatures panel;
    panel.show();
    EXPECT_EQ(panel.objectName(), "WgtSurfaceFeatures");
    EXPECT_EQ(panel.title(), "Surface Features");
    auto* normals = child<QToolButton>(panel, "toolButtonNormals");
    auto* curvature = child<QToolButton>(panel, "toolButtonCurvature");
    auto* autoChoice = child<QRadioButton>(panel, "radioButtonAuto");
    auto* points = child<QLineEdit>(panel, "lineEditPoints");
    auto* function = panel.findChild<QRadioButton*>("radioButtonEdges")->parentWidget();
    EXPECT_EQ(normals->toolTip(), "Computes surface normal vectors");
    EXPECT_EQ(curvature->toolTip(), "Computes surface curvature measures");
    // The panel starts with "Normals" checked.
    EXPECT_TRUE(normals->isChecked());
    EXPECT_EQ(panel.mode(), 1);

    const struct {
        bool normalsButton, checked;
        int mode;
        bool normalsChecked, curvatureChecked;
        const char* autoText;
        bool rowsShown;
    } steps[] = {{false, true, 2, false, true, "Auto", true},
                 {true, true, 1, true, false, "Approximate", false},
                 {true, false, 0, false, false, "Approximate", false},
                 {false, true, 2, false, true, "Auto", true},
                 {false, false, 0, false, false, "Auto", true}};
    for (const auto& s : steps) {
        if (s.normalsButton)
            panel.btnNormals_clicked(s.checked);
        else
            panel.btnCurvature_clicked(s.checked);
        EXPECT_EQ(panel.mode(), s.mode);
        EXPECT_EQ(normals->isChecked(), s.normalsChecked);
        EXPECT_EQ(curvature->isChecked(), s.curvatureChecked);
        EXPECT_EQ(autoChoice->text(), s.autoText);
        EXPECT_EQ(points->isVisible(), s.rowsShown);
        EXPECT_EQ(function->isVisible(), s.rowsShown);
    }

    // A kernel that normals do not offer falls back to the automatic one.
    child<QRadioButton>(panel, "radioButtonRadius")->setChecked(true);
    panel.btnNormals_clicked(true);
    EXPECT_TRUE(autoChoice->isChecked());
    EXPECT_EQ(panel.normalsOptions().mode, alg::kNormalsAuto);

    panel.showColorRange("0.25", "1e+06");
    EXPECT_EQ(child<QLabel>(panel, "labelColorMin")->text(), "0.25");
    EXPECT_EQ(child<QLabel>(panel, "labelColorMax")->text(), "1e+06");
    panel.colorBar()->resetLimits();
    EXPECT_EQ(child<QLabel>(panel, "labelColorMin")->text(), "min.");
    EXPECT_EQ(child<QLabel>(panel, "labelColorMax")->text(), "max.");
}

TEST(FeaturesPanelTest, ControlsBecomeTheCommandsOptions) {
    WidgetSurfaceFeatures panel;
    panel.btnCurvature_clicked(true);
    child<QLineEdit>(panel, "lineEditPoints")->setText("12");
    child<QLineEdit>(panel, "lineEditRadius")->setText(" 2,5");

    const struct {
        const char* kernel;
        int normalsMode, featuresKernel;
    } kernels[] = {{"radioButtonAuto", alg::kNormalsAuto, alg::kKernelAuto},
                   {"radioButtonPoints", alg::kNormalsPointNumber, alg::kKernelPointNumber},
                   {"radioButtonRadius", alg::kNormalsRadius, alg::kKernelRadius}};
    for (const auto& k : kernels) {
        child<QRadioButton>(panel, k.kernel)->setChecked(true);
        const auto n = panel.normalsOptions();
        const auto f = panel.featuresOptions();
        EXPECT_EQ(n.mode, k.normalsMode) << k.kernel;
        EXPECT_EQ(f.kernel, k.featuresKernel) << k.kernel;
        EXPECT_EQ(n.radius, 2.5);
        EXPECT_EQ(f.radius, 2.5);
        EXPECT_EQ(n.k, 12u);
        EXPECT_EQ(f.k, 12u);
    }

    const struct {
        const char* function;
        int feature;
    } functions[] = {{"radioButtonIntrinsicCurvature", alg::kFeatureIntrinsicCurvature},
                     {"radioButtonExtrinsicCurvature", alg::kFeatureExtrinsicCurvature},
                     {"radioButtonEdges", alg::kFeatureLocalEdges},
                     {"radioButtonDensity", alg::kFeatureDensity}};
    for (const auto& f : functions) {
        child<QRadioButton>(panel, f.function)->setChecked(true);
        EXPECT_EQ(panel.featuresOptions().feature, f.feature) << f.function;
    }

    // Point numbers from 1 on; an empty field reads 0, which the command refuses.
    auto* points = child<QLineEdit>(panel, "lineEditPoints");
    int pos = 0;
    QString zero = "0";
    EXPECT_NE(points->validator()->validate(zero, pos), QValidator::Acceptable);
    points->setText("");
    EXPECT_EQ(panel.featuresOptions().k, 0u);
}

// In the window's side column, as a user opens it: each mode shows its rows at their own
// height, no group box stands empty (normals offer only the approximate kernel).
TEST(FeaturesPanelTest, EachModeFillsItsGroupsInTheWindow) {
    guitest::TempDir dir;
    MainWindow window(nullptr, dir.qfile("settings.ini"));
    window.resize(1280, 960);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.findChild<QAction*>("tbActionAlgorithms")->trigger();
    window.findChild<QAction*>("actionSurfaceFeatures")->trigger();
    WidgetSurfaceFeatures& panel = *window.featuresPanel();
    QTRY_VERIFY(panel.isVisible());
    QTRY_COMPARE(window.findChild<QToolBar*>("algorithmBar")->height(),
                 int(48 * window.displayScale()));
    auto* kernel = panel.findChild<QRadioButton*>("radioButtonAuto")->parentWidget();
    auto* function = panel.findChild<QRadioButton*>("radioButtonEdges")->parentWidget();
    for (const char* button : {"toolButtonNormals", "toolButtonCurvature"}) {
        auto* modeButton = child<QToolButton>(panel, button);
        if (!modeButton->isChecked()) QTest::mouseClick(modeButton, Qt::LeftButton);
        ASSERT_TRUE(modeButton->isChecked());
        QApplication::processEvents();
        for (QWidget* group : {kernel, function}) {
            if (!group->isVisible()) continue;
            // At most one spacing row more than the group's content needs.
            EXPECT_LE(group->height(), group->sizeHint().height() + 8) << button;
        }
        window.grab().save(
            guitest::artifactPath(QString("features-panel-%1.png").arg(modeButton->text())));
    }
}

// A placed cloud: the normals are computed in scene coordinates and stored in the
// cloud's own, which the renderer places with the object.
TEST(FeaturesPanelTest, NormalsOfAPlacedCloudAreStoredInItsOwnCoordinates) {
    guitest::TempDir dir;
    guitest::DialogRecorder recorder;
    MainWindow window(nullptr, dir.qfile("settings.ini"));
    std::vector<alg3D::Vec3d> grid;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j)
            grid.emplace_back(0.5 * i, 0.25 * j, 0.0);  // the plane z = 0
    auto cloud = std::make_unique<GLObjPnts>();
    cloud->setPoints(std::move(grid));
    // A quarter turn about x (z becomes -y) and a shift.
    alg3D::Matrix4x4d m = alg3D::Matrix4x4d::identity();
    m(1, 1) = 0.0;
    m(1, 2) = -1.0;
    m(2, 1) = 1.0;
    m(2, 2) = 0.0;
    m(0, 3) = 7.0;
    cloud->setModelMatrix(m);
    GLBaseObject* added = window.objectManager()->addObject(std::move(cloud));
    added->setSelected(true);
    window.objectManager()->updateSelection();
    window.featuresPanel()->btnNormals_clicked(true);
    window.onActionCalcNormals();
    EXPECT_TRUE(recorder.messages.empty());
    const auto& normals = dynamic_cast<GLObjPnts*>(added)->getNormals();
    ASSERT_EQ(normals.size(), 400u);
    for (const alg3D::Vec3f& n : normals) {
        EXPECT_NEAR(std::abs(n.z), 1.0f, 1e-6f);
        EXPECT_NEAR(n.x, 0.0f, 1e-6f);
        EXPECT_NEAR(n.y, 0.0f, 1e-6f);
    }
}

}  // namespace
