// The geometry fit as a user runs it: a cylinder-shaped cloud loaded through the menu,
// the Geometry Fit panel opened from the algorithm bar, the command's warnings, an
// aborted run that leaves the scene as it was, and a fit whose cylinder matches the
// generating one, with its texts in the panel's table and the point selection cleared.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <cmath>
#include <fstream>

#include "ComputationRunner.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSolidPrimitives.h"
#include "UiHooks.h"
#include "UserJourney.h"
#include "panels/WidgetFitGeometry.h"
#include "panels/WidgetObjects.h"

namespace {

using alg3D::Vec3d;
using namespace journey;

// The generating cylinder: axis through kPoint along kAxis, radius 18, 0..60 along it.
const Vec3d kPoint(5.0, -20.0, 3.0);
const Vec3d kAxis = Vec3d(0.1, 1.0, 0.2).normalized();
constexpr double kRadius = 18.0;
constexpr int kAround = 360, kAlong = 200;

QString writeCylinder(const QString& name) {
    const QString path = scratchFile(name);
    std::ofstream out(path.toStdString());
    out.precision(15);
    const Vec3d helper(1, 0, 0);
    const Vec3d u = (helper - helper.dot(kAxis) * kAxis).normalized();
    const Vec3d v = kAxis.cross(u);
    for (int j = 0; j < kAlong; ++j) {
        for (int i = 0; i < kAround; ++i) {
            const double phi = 2.0 * 3.141592653589793 * i / kAround;
            const Vec3d p = kPoint + (60.0 * j / (kAlong - 1)) * kAxis +
                            kRadius * (std::cos(phi) * u + std::sin(phi) * v);
            out << p.x << ' ' << p.y << ' ' << p.z << '\n';
        }
    }
    return path;
}

QTreeWidget* tree() {
    return window().objectsPanel()->treeWidget();
}
template <typename T = QWidget>
T* child(const char* name) {
    return window().findChild<T*>(name);
}
std::size_t objectCount() {
    return window().view()->scene().objects().size();
}
GLBaseObject* object(std::size_t i) {
    return window().view()->scene().objects().at(i).get();
}
// A click on a radio button's indicator (its middle can be beyond its text).
void choose(const char* radio) {
    QWidget* w = child(radio);
    ASSERT_TRUE(w) << radio;
    click(w, Qt::LeftButton, Qt::NoModifier, QPoint(8, w->height() / 2));
    EXPECT_TRUE(child<QRadioButton>(radio)->isChecked()) << radio;
}
void clickItem(int row) {
    QTreeWidgetItem* item = tree()->topLevelItem(row);
    ASSERT_TRUE(item);
    click(tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
          tree()->visualItemRect(item).center());
}
// The message boxes the command shows, as (title, text).
struct Messages {
    QStringList seen;
    Messages() {
        ui::hooks().message = [this](QMessageBox::Icon, const QString& title, const QString& text) {
            seen << title + "|" + text;
        };
    }
    ~Messages() { ui::hooks().message = nullptr; }
    QString take() {
        const QString last = seen.isEmpty() ? QString() : seen.takeLast();
        seen.clear();
        return last;
    }
};
// A lasso around every point of the cloud as the camera shows it.
void lassoAll(const GLBaseObject* cloud) {
    const auto* pts = dynamic_cast<const GLObjPnts*>(cloud);
    ASSERT_TRUE(pts);
    QRect box;
    for (const Vec3d& p : pts->getPoints())
        box |= QRect(viewPosition(p), QSize(1, 1));
    box.adjust(-12, -12, 12, 12);
    GLView* view = window().view();
    ASSERT_TRUE(view->rect().contains(box)) << "the cloud is not wholly in view";
    click(child("toolButtonLasso"));
    drag(view, box.topLeft(), {box.topRight(), box.bottomRight()}, box.bottomLeft(), Qt::NoModifier,
         12);
}

TEST(FitJourney, ACylinderIsFittedFromTheLassoedPointsAndAnAbortChangesNothing) {
    const std::size_t before = objectCount();
    loadThroughMenu(writeCylinder("cylinder.xyz"));
    ASSERT_EQ(objectCount(), before + 1);
    GLBaseObject* cloud = object(before);
    const int cloudRow = tree()->topLevelItemCount() - 1;
    const std::uint64_t n = static_cast<std::uint64_t>(kAround) * kAlong;

    // The whole cloud lassoed (the selection tools are on the edit bar).
    QToolBar* mainBar = bar("toolBarMain");
    if (!action("tbActionObject")->isChecked()) click(buttonOf(mainBar, action("tbActionObject")));
    clickItem(cloudRow);
    window().view()->fit2view(GLCamera::kFront);
    QTest::qWait(50);
    lassoAll(cloud);
    ASSERT_EQ(cloud->getSelectedCount(), n);

    // The panel from the algorithm bar.
    if (!action("tbActionAlgorithms")->isChecked())
        click(buttonOf(mainBar, action("tbActionAlgorithms")));
    ASSERT_TRUE(bar("algorithmBar")->isVisible());
    click(buttonOf(bar("algorithmBar"), action("actionGeometryFit")));
    auto* panel = child<WidgetFitGeometry>("WgtFitGeometry");
    ASSERT_TRUE(panel && panel->isVisible());
    EXPECT_EQ(panel->title(), "Geometry Fit");
    EXPECT_FALSE(child("groupBoxInit")->isVisible());  // no function yet
    QWidget* compute = child("btnCompute");
    TableWidget* table = panel->resultTable();

    Messages messages;
    // Nothing selected.
    click(tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
          QPoint(5, tree()->viewport()->height() - 5));
    ASSERT_TRUE(window().objectManager()->selectedObjects().empty());
    click(compute);
    EXPECT_EQ(messages.take(), "Geometry approximation|Please select a pointcloud!");
    // A cloud but no function.
    clickItem(cloudRow);
    ASSERT_TRUE(cloud->isSelected());
    click(compute);
    EXPECT_EQ(messages.take(), "Geometry approximation|Please select a function!");
    EXPECT_EQ(objectCount(), before + 1);
    EXPECT_EQ(cloud->getSelectedCount(), n);

    // The cylinder's rows: point, direction, radius; nothing else.
    click(child("btnCylinder"));
    EXPECT_EQ(panel->function(), 2);
    EXPECT_TRUE(child("lineEditRadius1")->isVisible());
    EXPECT_TRUE(child("lineEditPointX")->isVisible());
    EXPECT_TRUE(child("lineEditDirZ")->isVisible());
    EXPECT_FALSE(child("lineEditRadius2")->isVisible());
    EXPECT_FALSE(child("lineEditShape")->isVisible());
    EXPECT_FALSE(child("lineEditAngle")->isVisible());

    // Abort (a Chebyshev run, pressed as soon as the dialog exists): nothing changes.
    choose("radioButtonCheb");
    bool offered = false;
    ui::hooks().progressCreated = [&offered](QProgressDialog* dialog) {
        offered = dialog->labelText() == "Computing...";
        dialog->cancel();
    };
    click(compute);
    ui::hooks().progressCreated = nullptr;
    EXPECT_TRUE(offered);
    EXPECT_TRUE(messages.take().isEmpty());
    EXPECT_EQ(objectCount(), before + 1);
    EXPECT_EQ(cloud->getSelectedCount(), n);
    EXPECT_EQ(table->rowCount(), 0);

    // The fit.
    choose("radioButtonGauss");
    // Keeping the last selection: the fitted points go to lastSelection.xyz first.
    const QString cwd = QDir::currentPath();
    const QString scratch = QFileInfo(scratchFile("lastSelection.xyz")).absolutePath();
    QDir::setCurrent(scratch);
    window().settings().saveLastSel = true;
    click(compute);
    window().settings().saveLastSel = false;
    QDir::setCurrent(cwd);
    EXPECT_EQ(lineCount(QDir(scratch).filePath("lastSelection.xyz")), static_cast<int>(n));
    EXPECT_TRUE(messages.take().isEmpty());
    ASSERT_EQ(objectCount(), before + 2);
    auto* cylinder = dynamic_cast<GLObjCylinder*>(object(before + 1));
    ASSERT_TRUE(cylinder);
    EXPECT_NEAR(cylinder->radius(), kRadius, 1e-6);
    EXPECT_NEAR(std::abs(cylinder->axis().dot(kAxis)), 1.0, 1e-12);
    const Vec3d off = cylinder->center() - kPoint;
    EXPECT_NEAR((off - off.dot(kAxis) * kAxis).norm(), 0.0, 1e-6);
    EXPECT_NEAR(cylinder->height(), 60.0, 1e-6);
    EXPECT_EQ(cloud->getSelectedCount(), 0u);
    window().view()->fit2view(GLCamera::kFront);

    // The table: the cylinder's info text, the statistics, then the duration.
    QStringList firstColumn;
    for (int r = 0; r < table->rowCount(); ++r)
        firstColumn << table->item(r, 0)->text();
    EXPECT_EQ(firstColumn, QStringList({"r", "center", "dir", "bottom", "h", "sigma", "mindev",
                                        "maxdev", "iterations", "duration"}));
    ASSERT_GE(table->rowCount(), 10);
    EXPECT_TRUE(table->item(0, 1)->text().startsWith(" 18.000000 (36.000000)"))
        << table->item(0, 1)->text().toStdString();
    const QStringList info =
        QString::fromStdString(cylinder->getInfo()).split(QRegularExpression("(\\:|\\t|\\n)"));
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(table->item(r, 1)->text(), info.value(2 * r + 1)) << r;
    EXPECT_TRUE(QRegularExpression("^ \\S.* \\(.+\\)$").match(table->item(9, 1)->text()).hasMatch())
        << table->item(9, 1)->text().toStdString();
    QTest::qWait(100);
    saveArtifact(screen(), "fit-journey-cylinder.png");

    // A primitive first: refused.
    clickItem(tree()->topLevelItemCount() - 1);
    ASSERT_EQ(window().objectManager()->selectedObjects().front(), cylinder);
    click(compute);
    EXPECT_EQ(messages.take(), "Geometry approximation|Please select a pointcloud!");
    EXPECT_EQ(objectCount(), before + 2);
}

}  // namespace

// Fits on two points: the cylinder's count check warns, the plane's estimate fails in the
// run (the critical box with the command's title and the library's text); no object.
TEST(FitJourney, FitsOnTooFewPointsShowTheirReasonAndAddNothing) {
    const QString path = scratchFile("two.xyz");
    std::ofstream(path.toStdString()) << "0 0 0\n1 0 0\n";
    loadThroughMenu(path);
    const std::size_t before = objectCount();
    clickItem(tree()->topLevelItemCount() - 1);
    QToolBar* mainBar = bar("toolBarMain");
    if (!action("tbActionAlgorithms")->isChecked())
        click(buttonOf(mainBar, action("tbActionAlgorithms")));
    if (!action("actionGeometryFit")->isChecked())
        click(buttonOf(bar("algorithmBar"), action("actionGeometryFit")));
    const struct {
        const char* button;
        QMessageBox::Icon icon;
        QString message;
    } cases[] = {
        {"btnCylinder", QMessageBox::Warning, "Cylinder approximation|Not enough points selected"},
        {"btnPlane", QMessageBox::Critical,
         "Geometry approximation|ALG3D::not enough data for geometry approximation.\n"}};
    for (const auto& c : cases) {
        click(child(c.button));
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString seen;
        ui::hooks().message = [&](QMessageBox::Icon i, const QString& title, const QString& text) {
            icon = i;
            seen = title + "|" + text;
        };
        click(child("btnCompute"));
        ui::hooks().message = nullptr;
        EXPECT_EQ(seen, c.message) << c.button;
        EXPECT_EQ(icon, c.icon) << c.button;
        EXPECT_EQ(objectCount(), before) << c.button;
    }
}
