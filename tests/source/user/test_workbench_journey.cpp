// The workbench's main use from end to end, through the real widgets: the sample part is
// loaded, the boss's mantle lassoed in a side view, a cylinder fitted to it, the whole
// part measured against the cylinder and colour-coded, the points beyond +-0.05 selected
// by range and split off, the coded cloud saved as .xyzc and loaded again.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTreeWidget>
#include <cmath>

#include "ComputationRunner.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSolidPrimitives.h"
#include "UiHooks.h"
#include "UserJourney.h"
#include "panels/ColorBar.h"
#include "panels/WidgetDistances.h"
#include "panels/WidgetFitGeometry.h"
#include "panels/WidgetObjects.h"

namespace {

using alg3D::Vec3d;
using namespace journey;

QTreeWidget* tree() {
    return window().objectsPanel()->treeWidget();
}
GLBaseObject* object(std::size_t i) {
    return window().view()->scene().objects().at(i).get();
}
template <typename T = QWidget>
T* child(const char* name) {
    return window().findChild<T*>(name);
}
void selectRows(std::initializer_list<int> rows) {
    bool first = true;
    for (int row : rows) {
        QTreeWidgetItem* item = tree()->topLevelItem(row);
        ASSERT_TRUE(item);
        click(tree()->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
              tree()->visualItemRect(item).center());
        first = false;
    }
}
void showBar(const char* toggle) {
    if (!action(toggle)->isChecked()) click(buttonOf(bar("toolBarMain"), action(toggle)));
}
void openPanel(const char* name) {
    showBar("tbActionAlgorithms");
    if (!action(name)->isChecked()) click(buttonOf(bar("algorithmBar"), action(name)));
}
// Signed distance from the surface of the fitted (unbounded) cylinder.
double radial(const GLObjCylinder& c, const Vec3d& p) {
    const Vec3d d = p - c.center();
    return (d - d.dot(c.axis()) * c.axis()).norm() - c.radius();
}

}  // namespace

TEST(WorkbenchJourney, LassoFitCompareSelectSplitSaveAndReload) {
    // No step may end in a message box.
    ui::hooks().message = [](QMessageBox::Icon, const QString& title, const QString& text) {
        ADD_FAILURE() << title.toStdString() << ": " << text.toStdString();
    };
    // The bundled sample: a plate with a boss of radius 18 about (-25, 5), z 12 to 42.
    const QString sample = scratchFile("sample_part.xyz");
    ASSERT_EQ(QProcess::execute("python3", {QString(TESSARO_SOURCE_DIR) + "/scripts/make-sample.py",
                                            sample, "100000"}),
              0);
    loadThroughMenu(sample);
    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    auto* part = dynamic_cast<GLObjPnts*>(object(0));
    ASSERT_TRUE(part);
    const std::vector<Vec3d> points = part->getPoints();

    // The mantle below the bore's visible depth (z 14.5 to 20.5), lassoed from the side.
    showBar("tbActionObject");
    selectRows({0});
    window().view()->fit2view(GLCamera::kTop);
    QTest::qWait(50);
    const QPoint a = viewPosition(Vec3d(-44, 5, 14.5)), b = viewPosition(Vec3d(-6, 5, 14.5));
    const QPoint c = viewPosition(Vec3d(-6, 5, 20.5)), d = viewPosition(Vec3d(-44, 5, 20.5));
    click(child("toolButtonLasso"));
    drag(window().view(), a, {b, c}, d, Qt::NoModifier, 12);
    const std::uint64_t lassoed = part->getSelectedCount();
    ASSERT_GT(lassoed, 2000u);
    const auto& mask = part->getSelectionMask();
    int offMantle = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double r = std::hypot(points[i].x + 25.0, points[i].y - 5.0);
        offMantle += mask[i] && std::abs(r - 18.0) > 0.1;
    }
    EXPECT_EQ(offMantle, 0);

    // The cylinder through the lassoed points.
    openPanel("actionGeometryFit");
    click(child("btnCylinder"));
    click(child("btnCompute"));
    ASSERT_EQ(tree()->topLevelItemCount(), 2);
    auto* cylinder = dynamic_cast<GLObjCylinder*>(object(1));
    ASSERT_TRUE(cylinder);
    EXPECT_NEAR(cylinder->radius(), 18.0, 0.01);
    EXPECT_NEAR(std::abs(cylinder->axis().z), 1.0, 1e-4);
    EXPECT_EQ(part->getSelectedCount(), 0u);
    window().view()->fit2view(GLCamera::kObliqueA);
    QTest::qWait(100);
    saveArtifact(screen(), "panel-fit-cylinder.png");

    // Distances of the whole part from the cylinder (the reference is picked first).
    openPanel("actionDistances");
    selectRows({1, 0});
    click(child("pushButtonCompute"));
    WidgetDistances* distances = window().distancesPanel();
    ASSERT_GT(distances->resultTable()->rowCount(), 0);
    EXPECT_TRUE(distances->colorBar()->isVisible());
    EXPECT_EQ(part->getCodedColors().size(), points.size());
    EXPECT_EQ(distances->colorBar()->minLabel()->toolTip(),
              child<QLineEdit>("lineEditColorMin")->text());
    QTest::qWait(100);
    saveArtifact(screen(), "panel-distances.png");

    // Beyond +-0.05: every point of the plate, the dome and the bore, none of the mantle.
    pasteInto(child<QLineEdit>("lineEditMinD"), "-0.05");
    pasteInto(child<QLineEdit>("lineEditMaxD"), "0.05");
    click(child("checkBoxSelectOutside"));
    ASSERT_TRUE(child<QCheckBox>("checkBoxSelectOutside")->isChecked());
    click(child("pushButtonCompute"));
    std::size_t beyond = 0;
    int wrong = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const bool out = std::abs(radial(*cylinder, points[i])) > 0.05;
        beyond += out;
        wrong += (part->getSelectionMask()[i] != 0) != out;
    }
    EXPECT_EQ(wrong, 0);
    ASSERT_EQ(part->getSelectedCount(), beyond);

    // Split: the selected points become "<name> Part"; both keep their colour coding.
    const std::vector<alg3D::Color> coded = part->getCodedColors();
    std::vector<alg3D::Color> keptColors;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (!part->getSelectionMask()[i]) keptColors.push_back(coded[i]);
    showBar("tbActionObject");
    click(buttonOf(bar("editBar"), actionByText(bar("editBar"), "Split")));
    ASSERT_EQ(tree()->topLevelItemCount(), 3);
    EXPECT_EQ(object(2)->getName(), "sample_part.xyz Part");
    EXPECT_EQ(part->getPoints().size(), points.size() - beyond);
    EXPECT_EQ(part->getCodedColors(), keptColors);

    // The mantle, coded, saved as .xyzc and loaded again with its colours.
    selectRows({0});
    const QString saved = scratchFile("mantle.xyzc");
    whenModal<QFileDialog>([saved](QFileDialog* dialog) { typeIntoFileDialog(dialog, saved); });
    chooseFromMenu("Save File");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return lineCount(saved) == static_cast<int>(points.size() - beyond); }, 10000));
    loadThroughMenu(saved);
    ASSERT_EQ(tree()->topLevelItemCount(), 4);
    auto* reloaded = dynamic_cast<GLObjPntsColored*>(object(3));
    ASSERT_TRUE(reloaded);
    ASSERT_EQ(reloaded->getPoints().size(), keptColors.size());
    int colourMismatch = 0;
    for (std::size_t i = 0; i < keptColors.size(); ++i)
        colourMismatch += reloaded->getPoints()[i].color() != keptColors[i];
    EXPECT_EQ(colourMismatch, 0);
    QTest::qWait(100);
    saveArtifact(screen(), "workbench-reloaded.png");

    // The whole window (the default dark scheme) with the comparison on screen.
    selectRows({1, 0});
    openPanel("actionDistances");
    window().view()->fit2view(GLCamera::kObliqueA);
    QTest::qWait(150);
    saveArtifact(screen(), "window-dark.png");
    ui::hooks().message = nullptr;
}
