// The window's fit command on objects put into the scene directly: which points a run
// takes (the selected points of the visible objects, else the whole first selected
// object), whose point selection it clears, and the warning for too few points.
#include <gtest/gtest.h>

#include <QTest>
#include <cmath>
#include <memory>

#include "ComputationRunner.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjFlatPrimitives.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSolidPrimitives.h"
#include "OpenGL/glView/GLView.h"
#include "panels/WidgetFitGeometry.h"

namespace {

using alg3D::Vec3d;

// Points on a sphere (a spiral from pole to pole).
std::vector<Vec3d> spherePoints(const Vec3d& c, double r, int n) {
    std::vector<Vec3d> out;
    for (int i = 0; i < n; ++i) {
        const double z = -1.0 + 2.0 * (i + 0.5) / n, phi = 2.399963229728653 * i;
        const double s = std::sqrt(1.0 - z * z);
        out.push_back(c + r * Vec3d(s * std::cos(phi), s * std::sin(phi), z));
    }
    return out;
}

class FitCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>(nullptr, dir.qfile("settings.ini"));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override { window.reset(); }

    GLObjPnts* add(std::vector<Vec3d> points, bool selectAllPoints) {
        auto cloud = std::make_unique<GLObjPnts>();
        const std::size_t n = points.size();
        cloud->setPoints(std::move(points));
        if (selectAllPoints) cloud->setSelection(std::vector<unsigned char>(n, 1));
        return static_cast<GLObjPnts*>(window->objectManager()->addObject(std::move(cloud)));
    }
    void selectOnly(GLBaseObject* object) {
        for (const auto& o : window->view()->scene().objects())
            o->setSelected(o.get() == object);
        window->objectManager()->updateSelection();
    }
    std::size_t count() const { return window->view()->scene().objects().size(); }
    GLBaseObject* last() const { return window->view()->scene().objects().back().get(); }

    guitest::TempDir dir;
    guitest::DialogRecorder recorder;
    std::unique_ptr<MainWindow> window;
};

TEST_F(FitCommandTest, SelectedPointsOfVisibleObjectsComeFirstElseTheFirstSelectedObject) {
    std::vector<Vec3d> grid;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            grid.push_back(Vec3d(i, j, 4.0));
    GLObjPnts* plate = add(grid, false);
    GLObjPnts* ball = add(spherePoints(Vec3d(1, 2, 3), 5.0, 200), true);
    GLObjPnts* hidden = add(spherePoints(Vec3d(-9, 0, 0), 2.0, 50), true);
    hidden->setVisible(false);
    selectOnly(plate);
    WidgetFitGeometry* panel = window->fitPanel();

    // The ball's selected points (the hidden cloud's are not taken).
    panel->setFunction(3);
    emit panel->startComputation();
    ASSERT_TRUE(recorder.messages.empty());
    ASSERT_EQ(count(), 4u);
    auto* sphere = dynamic_cast<GLObjSphere*>(last());
    ASSERT_TRUE(sphere);
    EXPECT_NEAR(sphere->radius(), 5.0, 1e-9);
    EXPECT_NEAR((sphere->center() - Vec3d(1, 2, 3)).norm(), 0.0, 1e-9);
    // Only selected objects lose their point selection.
    EXPECT_EQ(ball->getSelectedCount(), 200u);

    // No point selected anywhere visible: the whole plate.
    window->view()->makeCurrent();
    ball->clearSelection();
    window->view()->doneCurrent();
    panel->setFunction(1);
    emit panel->startComputation();
    ASSERT_TRUE(recorder.messages.empty());
    ASSERT_EQ(count(), 5u);
    auto* plane = dynamic_cast<GLObjPlane*>(last());
    ASSERT_TRUE(plane);
    EXPECT_NEAR(std::abs(plane->normal().z), 1.0, 1e-12);
    EXPECT_NEAR(plane->center().z, 4.0, 1e-12);
}

TEST_F(FitCommandTest, TooFewPointsWarnWithTheShapesTitleAndAddNothing) {
    GLObjPnts* few = add({Vec3d(0, 0, 0), Vec3d(1, 0, 0), Vec3d(0, 1, 0), Vec3d(0, 0, 1),
                          Vec3d(1, 1, 1), Vec3d(2, 0, 1)},
                         true);
    selectOnly(few);
    window->fitPanel()->setFunction(2);
    emit window->fitPanel()->startComputation();
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Cylinder approximation");
    EXPECT_EQ(recorder.messages[0].text, "Not enough points selected");
    EXPECT_EQ(count(), 1u);
    EXPECT_EQ(few->getSelectedCount(), 6u);
    EXPECT_EQ(window->fitPanel()->resultTable()->rowCount(), 0);
}

}  // namespace
