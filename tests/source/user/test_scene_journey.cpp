// The scene as a user edits it: the object list, point selection with the outline tools,
// Delete, Split, Merge and Transform, driven by clicks, drags and keys.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <cmath>
#include <fstream>

#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "UiHooks.h"
#include "UserJourney.h"
#include "panels/WidgetObjects.h"
#include "panels/WidgetTransform.h"

namespace {

using alg3D::Vec3d;
using namespace journey;

QTreeWidget* tree() {
    return window().objectsPanel()->treeWidget();
}
QTableWidget* infoTable() {
    return window().objectsPanel()->infoTable();
}
QWidget* child(const char* name) {
    return window().findChild<QWidget*>(name);
}
GLBaseObject* object(std::size_t i) {
    return window().view()->scene().objects().at(i).get();
}
QString infoValue(const QString& key) {
    for (int r = 0; r < infoTable()->rowCount(); ++r)
        if (infoTable()->item(r, 0)->text() == key) return infoTable()->item(r, 1)->text();
    return QString();
}
void clickItem(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTreeWidgetItem* item = tree()->topLevelItem(row);
    ASSERT_TRUE(item);
    click(tree()->viewport(), Qt::LeftButton, modifiers, tree()->visualItemRect(item).center());
}
QWidget* editButton(const char* text) {
    return buttonOf(bar("editBar"), actionByText(bar("editBar"), QObject::tr(text)));
}

// A 21 x 21 grid with spacing 1 in the plane z = 0, loaded, selected and seen from the front.
void loadPlateAndSelectIt(const char* name = "plate.xyz") {
    loadThroughMenu(writeGrid(name, Vec3d(0, 0, 0), 20.0, 21));
    clickItem(static_cast<int>(tree()->topLevelItemCount()) - 1);
    window().view()->fit2view(GLCamera::kFront);
    QTest::qWait(50);
}
// Whether grid point (i, j) of the plate is selected.
bool selected(const GLBaseObject* plate, int i, int j) {
    const auto* cloud = dynamic_cast<const GLObjPnts*>(plate);
    return cloud && cloud->getSelectionMask().at(static_cast<std::size_t>(i * 21 + j)) != 0;
}
// The grid points (i, j) for which `inside` holds.
int countWhere(const std::function<bool(int, int)>& inside) {
    int n = 0;
    for (int i = 0; i < 21; ++i)
        for (int j = 0; j < 21; ++j)
            n += inside(i, j);
    return n;
}
#define expectSelection(plate, inside)      \
    do {                                    \
        SCOPED_TRACE("here");               \
        expectSelectionImpl(plate, inside); \
    } while (0)
void expectSelectionImpl(const GLBaseObject* plate, const std::function<bool(int, int)>& inside) {
    int wrong = 0;
    for (int i = 0; i < 21; ++i)
        for (int j = 0; j < 21; ++j)
            wrong += selected(plate, i, j) != inside(i, j);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(plate->getSelectedCount(), static_cast<std::uint64_t>(countWhere(inside)));
}
// The triangle (0.5, 0.5), (15.3, 0.5), (0.5, 15.3) holds the points i, j >= 1, i + j <= 15;
// no grid point lies within 0.14 of its edges.
bool inTriangle(int i, int j) {
    return i >= 1 && j >= 1 && i + j <= 15;
}
const Vec3d kTriangle[3] = {Vec3d(0.5, 0.5, 0), Vec3d(15.3, 0.5, 0), Vec3d(0.5, 15.3, 0)};

}  // namespace

// The object list: loads appear in it, a click in the list or in the view selects in both,
// the info table shows the selected object, and show, hide, colour, rename and remove work
// as a user expects (remove asks, hide deselects, alpha alone keeps the colour).
TEST(SceneJourney, TheObjectListFollowsTheViewAndEditsTheObjects) {
    loadThroughMenu(writeGrid("left.xyz", Vec3d(0, 0, 0), 10.0, 41));
    loadThroughMenu(writeGrid("right.xyz", Vec3d(20, 0, 0), 10.0, 41));
    ASSERT_EQ(tree()->topLevelItemCount(), 2);
    EXPECT_EQ(tree()->topLevelItem(0)->text(0), "left.xyz");
    EXPECT_FALSE(child("toolButtonHide")->isEnabled());

    clickItem(1);
    EXPECT_TRUE(object(1)->isSelected());
    EXPECT_FALSE(object(0)->isSelected());
    EXPECT_EQ(infoValue("points"), "1681");
    EXPECT_EQ(infoValue("ctr"), "25.000000,5.000000,0.000000");
    EXPECT_TRUE(child("toolButtonHide")->isEnabled());
    // A click on the other cloud in the view moves the selection in the list too.
    click(window().view(), Qt::LeftButton, Qt::NoModifier, viewPosition(Vec3d(5, 5, 0)));
    EXPECT_TRUE(tree()->topLevelItem(0)->isSelected());
    EXPECT_FALSE(tree()->topLevelItem(1)->isSelected());
    EXPECT_EQ(infoValue("ctr"), "5.000000,5.000000,0.000000");

    // Rename in place with a name in several scripts: kept as typed (UTF-8).
    const QString name = QString::fromUtf8("Zylinder Ø 18 – Prüfling");
    QTreeWidgetItem* item = tree()->topLevelItem(0);
    clickItem(0);
    QTest::keyClick(tree(), Qt::Key_F2);
    auto* editor = tree()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    // Pasted: QTest types ASCII only.
    pasteInto(editor, name);
    EXPECT_EQ(editor->text(), name);
    QTest::keyClick(editor, Qt::Key_Return);  // committed from the event loop
    EXPECT_TRUE(QTest::qWaitFor([&] { return object(0)->getName() == name.toStdString(); }));
    EXPECT_EQ(item->toolTip(0), name);

    // Alpha alone: the colour stays, only the opacity changes.
    const alg3D::Color before = object(0)->getColor();
    ui::hooks().color = [](const QString& title, const QColor& initial) {
        EXPECT_EQ(title, "Select color");
        QColor c = initial;
        c.setAlpha(100);
        return c;
    };
    click(child("toolButtonChangeColor"));
    ui::hooks().color = nullptr;
    EXPECT_EQ(object(0)->getColor(), before);
    EXPECT_EQ(object(0)->getAlpha(), 100);
    EXPECT_TRUE(object(0)->isBlended());
    saveArtifact(screen(), "scene-objects-panel.png");

    // Hide: neither visible nor selected, and the list no longer selects it.
    click(child("toolButtonHide"));
    EXPECT_FALSE(object(0)->isVisible());
    EXPECT_FALSE(object(0)->isSelected());
    EXPECT_FALSE(item->isSelected());
    EXPECT_EQ(infoTable()->rowCount(), 0);
    clickItem(0);
    click(child("toolButtonShow"));
    EXPECT_TRUE(object(0)->isVisible());
    EXPECT_TRUE(object(0)->isSelected());

    // Remove asks; Cancel keeps the object, OK removes it.
    Answer cancel, ok;
    answerNextBox(cancel, "Cancel");
    click(child("toolButtonRemove"));
    EXPECT_EQ(cancel.title, "Remove");
    EXPECT_EQ(cancel.text, "Remove objects?");
    EXPECT_EQ(tree()->topLevelItemCount(), 2);
    answerNextBox(ok, "OK");
    click(child("toolButtonRemove"));
    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    ASSERT_EQ(window().view()->scene().objects().size(), 1u);
    EXPECT_EQ(object(0)->getName(), "right.xyz");
    // With nothing selected the remove button is off, and removing asks nothing.
    EXPECT_FALSE(child("toolButtonRemove")->isEnabled());
    window().objectManager()->removeSelectedObjects(false);
    EXPECT_EQ(tree()->topLevelItemCount(), 1);
}

// Rectangle both ways, Ctrl to deselect, the lasso, the polygon (double click and right
// click), Escape, Invert, Clear and Delete, on a grid whose selected points are known.
TEST(SceneJourney, TheOutlineToolsSelectExactlyThePointsInside) {
    loadPlateAndSelectIt();
    GLBaseObject* plate = object(0);
    GLView* view = window().view();
    QWidget* rectangle = child("toolButtonRectangle");
    QWidget* lasso = child("toolButtonLasso");
    QWidget* polygon = child("toolButtonPolygon");
    ASSERT_TRUE(rectangle && rectangle->isEnabled());
    const auto inRectangle = [](int i, int j) { return i >= 3 && i <= 7 && j >= 4 && j <= 9; };

    // Bottom right to top left, then top left to bottom right: the same points.
    for (int way = 0; way < 2; ++way) {
        click(child("toolButtonClear"));
        EXPECT_EQ(plate->getSelectedCount(), 0u);
        click(rectangle);
        EXPECT_TRUE(view->isSelectionActive());
        const QPoint a = viewPosition(Vec3d(7.5, 3.5, 0)), b = viewPosition(Vec3d(2.5, 9.5, 0));
        way == 0 ? drag(view, a, b) : drag(view, b, a);
        EXPECT_FALSE(view->isSelectionActive());
        EXPECT_FALSE(static_cast<QAbstractButton*>(rectangle)->isChecked());
        expectSelection(plate, inRectangle);
    }
    // Ctrl held: the rectangle 5..6 x 5..6 leaves the selection.
    click(rectangle);
    drag(view, viewPosition(Vec3d(4.5, 4.5, 0)), viewPosition(Vec3d(6.5, 6.5, 0)),
         Qt::ControlModifier);
    expectSelection(plate, [&](int i, int j) {
        return inRectangle(i, j) && !(i >= 5 && i <= 6 && j >= 5 && j <= 6);
    });

    // Escape during a lasso leaves everything as it was.
    const std::vector<unsigned char> mask = dynamic_cast<GLObjPnts*>(plate)->getSelectionMask();
    click(lasso);
    drag(view, viewPosition(kTriangle[0]), {viewPosition(kTriangle[1])}, viewPosition(kTriangle[2]),
         Qt::NoModifier, 12, [view] { QTest::keyClick(view, Qt::Key_Escape); });
    EXPECT_FALSE(view->isSelectionActive());
    EXPECT_EQ(dynamic_cast<GLObjPnts*>(plate)->getSelectionMask(), mask);

    // The lasso, with a look at it in progress.
    click(child("toolButtonClear"));
    click(lasso);
    drag(view, viewPosition(kTriangle[0]), {viewPosition(kTriangle[1])}, viewPosition(kTriangle[2]),
         Qt::NoModifier, 12, [] { saveArtifact(screen(), "scene-selection.png"); });
    expectSelection(plate, inTriangle);

    // Invert, then Clear.
    click(child("toolButtonInvert"));
    expectSelection(plate, [](int i, int j) { return !inTriangle(i, j); });
    click(child("toolButtonClear"));
    EXPECT_EQ(plate->getSelectedCount(), 0u);

    // The polygon closed by a double click, then one closed by a right click; a polygon
    // of two vertices selects nothing.
    click(polygon);
    click(view, Qt::LeftButton, Qt::NoModifier, viewPosition(kTriangle[0]));
    click(view, Qt::LeftButton, Qt::NoModifier, viewPosition(kTriangle[1]));
    QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, viewPosition(kTriangle[2]));
    EXPECT_FALSE(view->isSelectionActive());
    expectSelection(plate, inTriangle);
    click(child("toolButtonClear"));
    click(polygon);
    click(view, Qt::LeftButton, Qt::NoModifier, viewPosition(kTriangle[0]));
    click(view, Qt::LeftButton, Qt::NoModifier, viewPosition(kTriangle[1]));
    click(view, Qt::RightButton, Qt::NoModifier, viewPosition(kTriangle[2]));
    expectSelection(plate, inTriangle);
    click(child("toolButtonClear"));
    click(polygon);
    click(view, Qt::LeftButton, Qt::NoModifier, viewPosition(kTriangle[0]));
    QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, viewPosition(kTriangle[1]));
    EXPECT_EQ(plate->getSelectedCount(), 0u);

    // One tool at a time: starting the lasso unchecks the polygon.
    click(polygon);
    click(lasso);
    EXPECT_FALSE(static_cast<QAbstractButton*>(polygon)->isChecked());
    EXPECT_TRUE(static_cast<QAbstractButton*>(lasso)->isChecked());
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_FALSE(view->isSelectionActive());

    // Delete after a finished selection removes exactly those points.
    click(rectangle);
    drag(view, viewPosition(Vec3d(7.5, 3.5, 0)), viewPosition(Vec3d(2.5, 9.5, 0)));
    ASSERT_TRUE(view->isDeleteArmed());
    // A turn of the view in between does not disarm it.
    drag(view, view->rect().center(), view->rect().center() + QPoint(30, 10));
    QTest::keyClick(view, Qt::Key_Delete);
    const auto& points = dynamic_cast<GLObjPnts*>(plate)->getPoints();
    EXPECT_EQ(points.size(), 441u - 30u);
    for (const Vec3d& p : points)
        EXPECT_FALSE(
            inRectangle(static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y))));
    EXPECT_EQ(infoValue("points"), "411");
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(points.size(), 411u);
}

// Split takes the selected points into "<name> Part"; Merge joins clouds into
// "<name> new" and refuses a mesh among them.
TEST(SceneJourney, SplitAndMergeMovePointsBetweenObjects) {
    loadPlateAndSelectIt();
    GLView* view = window().view();
    click(child("toolButtonRectangle"));
    drag(view, viewPosition(Vec3d(7.5, 3.5, 0)), viewPosition(Vec3d(2.5, 9.5, 0)));
    const std::uint64_t counter = window().objectCounter();
    click(editButton("Split"));
    ASSERT_EQ(tree()->topLevelItemCount(), 2);
    EXPECT_EQ(object(0)->getName(), "plate.xyz");
    EXPECT_EQ(object(1)->getName(), "plate.xyz Part");
    EXPECT_EQ(dynamic_cast<GLObjPnts*>(object(0))->getPoints().size(), 411u);
    EXPECT_EQ(dynamic_cast<GLObjPnts*>(object(1))->getPoints().size(), 30u);
    EXPECT_EQ(object(1)->getColor(), MainWindow::splitColor(counter));
    EXPECT_EQ(window().objectCounter(), counter + 1);

    // Both clouds selected in the list: one cloud of all points.
    clickItem(0);
    clickItem(1, Qt::ControlModifier);
    const alg3D::Color firstColor = object(0)->getColor();
    click(editButton("Merge"));
    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    EXPECT_EQ(object(0)->getName(), "plate.xyz new");
    EXPECT_EQ(dynamic_cast<GLObjPnts*>(object(0))->getPoints().size(), 441u);
    EXPECT_EQ(object(0)->getColor(), firstColor);

    // A mesh among the selection stops the merge.
    const QString stl = scratchFile("facet.stl");
    std::ofstream(stl.toStdString())
        << "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 "
           "0\nendloop\nendfacet\nendsolid t\n";
    loadThroughMenu(stl);
    clickItem(0);
    clickItem(1, Qt::ControlModifier);
    Answer refused;
    answerNextBox(refused, "OK");
    click(editButton("Merge"));
    EXPECT_EQ(refused.title, "Merge data");
    EXPECT_EQ(refused.text, "Object types can not be merged!");
    EXPECT_EQ(tree()->topLevelItemCount(), 2);
}

// The transform panel: a manual rotation and movement, Discard puts the cloud back,
// Accept bakes it into the double-precision points (a cloud at 1e6 keeps its digits); a
// drag in transform mode moves the selected cloud on screen.
TEST(SceneJourney, TransformsAreDiscardedOrAcceptedInFullPrecision) {
    loadThroughMenu(writeGrid("survey.xyz", Vec3d(1e6 + 0.123456, 2e6 + 0.654321, 100), 4.0, 5));
    clickItem(0);
    auto* cloud = dynamic_cast<GLObjPnts*>(object(0));
    ASSERT_TRUE(cloud);
    const std::vector<Vec3d> original = cloud->getPoints();
    click(editButton("Transform"));
    WidgetTransform* panel = window().transformPanel();
    ASSERT_TRUE(panel->isVisible());
    auto setField = [panel](const char* name, const QString& text) {
        auto* edit = panel->findChild<QLineEdit*>(name);
        ASSERT_TRUE(edit);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, text);
    };
    // 90 degrees about z through the origin, then 10 along x.
    setField("lineEditAngle", "90");
    setField("lineEditTX", "10");
    click(panel->findChild<QPushButton*>("btnAddTransform"));
    EXPECT_NEAR(panel->matrix()(0, 1), -1.0, 1e-15);
    EXPECT_NEAR(panel->matrix()(0, 3), 10.0, 0.0);
    EXPECT_EQ(cloud->getPendingTransform(), panel->matrix());
    click(panel->findChild<QPushButton*>("btnDiscard"));
    EXPECT_EQ(cloud->getPoints(), original);
    EXPECT_EQ(cloud->getPendingTransform(), alg3D::Matrix4x4d::identity());

    click(panel->findChild<QPushButton*>("btnAddTransform"));
    click(panel->findChild<QPushButton*>("btnApply"));
    EXPECT_EQ(cloud->getPendingTransform(), alg3D::Matrix4x4d::identity());
    ASSERT_EQ(cloud->getPoints().size(), original.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        // (x, y) -> (-y + 10, x): exact to the last digits a double holds at 2e6.
        EXPECT_NEAR(cloud->getPoints()[i].x, -original[i].y + 10.0, 1e-9);
        EXPECT_NEAR(cloud->getPoints()[i].y, original[i].x, 1e-9);
        EXPECT_EQ(cloud->getPoints()[i].z, original[i].z);
    }

    // A drag with the left button turns the selected cloud (on screen only).
    window().view()->fit2view(GLCamera::kFront);
    const std::vector<Vec3d> accepted = cloud->getPoints();
    drag(window().view(), window().view()->rect().center(),
         window().view()->rect().center() + QPoint(60, 0));
    EXPECT_NE(cloud->getPendingTransform(), alg3D::Matrix4x4d::identity());
    EXPECT_EQ(cloud->getPoints(), accepted);
    EXPECT_EQ(panel->matrix(), cloud->getPendingTransform());
    // Leaving the transform mode asks whether to keep it; Cancel puts the cloud back.
    Answer keep;
    answerNextBox(keep, "Cancel");
    click(editButton("Transform"));
    EXPECT_EQ(keep.text, "Accept the current transform?");
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(cloud->getPendingTransform(), alg3D::Matrix4x4d::identity());
    EXPECT_EQ(cloud->getPoints(), accepted);
}

// A mesh and a fit result loaded through the menu: both are listed with their kinds' info,
// the mesh is picked by a click, shown with its edges from the view bar and moved by the
// transform panel; the sphere answers with its radius and diameter.
TEST(SceneJourney, AMeshAndAFitResultAreListedPickedAndMoved) {
    const QString stl = scratchFile("plate.stl");
    std::ofstream(stl.toStdString())
        << "solid p\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 10 0 0\nvertex 10 10 "
           "0\nendloop\nendfacet\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 10 10 "
           "0\nvertex 0 10 0\nendloop\nendfacet\nendsolid p\n";
    loadThroughMenu(stl);
    const QString json = scratchFile("ball.json");
    std::ofstream(json.toStdString()) << R"({"shape": "sphere", "method": "gauss",
        "parameters": {"center": [5, 5, 0], "radius": 1.5}})";
    loadThroughMenu(json);
    ASSERT_EQ(tree()->topLevelItemCount(), 2);
    GLBaseObject* mesh = object(0);
    EXPECT_EQ(mesh->getObjectType(), GLBaseObject::kMesh);
    EXPECT_EQ(object(1)->getObjectType(), GLBaseObject::kPrimitive);

    // The mesh, picked in the view where only it lies: 4 shared vertices of 6 corners.
    window().view()->fit2view(GLCamera::kFront);
    click(window().view(), Qt::LeftButton, Qt::NoModifier, viewPosition(Vec3d(8, 2, 0)));
    ASSERT_TRUE(mesh->isSelected());
    EXPECT_TRUE(tree()->topLevelItem(0)->isSelected());
    EXPECT_EQ(infoValue("points"), "4");
    EXPECT_EQ(infoValue("triangles"), "2");
    // Outline tools are for clouds only.
    EXPECT_FALSE(child("toolButtonLasso")->isEnabled());

    // Edge overlay from the view bar changes what is drawn on the mesh.
    const QImage plain = window().view()->grabFramebuffer();
    click(buttonOf(bar("toolBarMain"), action("tbActionView")));
    QAction* overlay = window().findChild<QAction*>("actionEdgeOverlay");
    click(buttonOf(bar("viewBar"), overlay));
    EXPECT_TRUE(overlay->isChecked());
    EXPECT_NE(window().view()->grabFramebuffer(), plain);
    click(buttonOf(bar("toolBarMain"), action("tbActionObject")));

    // Moved up by 5 with the transform panel and accepted.
    click(editButton("Transform"));
    WidgetTransform* panel = window().transformPanel();
    auto* tz = panel->findChild<QLineEdit*>("lineEditTZ");
    tz->setFocus();
    QTest::keyClick(tz, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(tz, "5");
    click(panel->findChild<QPushButton*>("btnAddTransform"));
    click(panel->findChild<QPushButton*>("btnApply"));
    EXPECT_EQ(infoValue("ctr"), "5.000000,5.000000,5.000000");
    click(editButton("Transform"));

    clickItem(1);
    EXPECT_EQ(infoValue("r"), "1.500000 (3.000000)");
    EXPECT_EQ(infoValue("center"), "5.000000,5.000000,0.000000");
}

// Convex Hull from the algorithm bar: the selection checks, then the hull of a cube's
// corners with points inside becomes "<name>_hull" with 8 vertices and 12 triangles.
TEST(SceneJourney, ConvexHullOfTheSelectedCloudBecomesAMesh) {
    const QString path = scratchFile("cube.xyz");
    {
        std::ofstream out(path.toStdString());
        for (int c = 0; c < 8; ++c)
            out << 10 * (c & 1) << ' ' << 10 * ((c >> 1) & 1) << ' ' << 10 * ((c >> 2) & 1) << '\n';
        for (int i = 1; i < 9; ++i)
            out << i << ' ' << 9 - i << ' ' << (i * 7) % 9 + 0.5 << '\n';
    }
    loadThroughMenu(path);
    loadThroughMenu(writeGrid("other.xyz", Vec3d(20, 0, 0), 5.0, 3));
    click(buttonOf(bar("toolBarMain"), action("tbActionAlgorithms")));
    QWidget* hull = buttonOf(bar("algorithmBar"), window().findChild<QAction*>("actionConvexHull"));
    ASSERT_TRUE(hull && hull->isEnabled());

    Answer none, two;
    answerNextBox(none, "OK");
    click(hull);
    EXPECT_EQ(none.title, "Convex Hull");
    EXPECT_EQ(none.text, "Please select a pointcloud!");
    clickItem(0);
    clickItem(1, Qt::ControlModifier);
    answerNextBox(two, "OK");
    click(hull);
    EXPECT_EQ(two.text, "Please select one pointcloud only!");

    clickItem(0);
    Answer info;
    answerNextBox(info, "OK");
    click(hull);
    EXPECT_EQ(info.title, "Convex Hull");
    EXPECT_TRUE(info.text.startsWith("triangles:\t12      \nvertices:\t8\nduration:\t"))
        << info.text.toStdString();
    ASSERT_EQ(tree()->topLevelItemCount(), 3);
    EXPECT_EQ(object(2)->getName(), "cube.xyz_hull");
    EXPECT_EQ(object(2)->getObjectType(), GLBaseObject::kMesh);
    clickItem(2);
    EXPECT_EQ(infoValue("points"), "8");
    EXPECT_EQ(infoValue("triangles"), "12");

    // A mesh is no cloud.
    Answer mesh;
    answerNextBox(mesh, "OK");
    click(hull);
    EXPECT_EQ(mesh.text, "Convex hull can be computed for pointclouds only!");

    // "Abort" at the first poll of a hull that takes a while (points on a sphere, every one
    // a hull vertex): the build stops and no mesh is added.
    const QString ball = scratchFile("ball.xyz");
    {
        std::ofstream out(ball.toStdString());
        out.precision(12);
        const int n = 400000;
        for (int i = 0; i < n; ++i) {  // a Fibonacci sphere
            const double z = 1.0 - (2.0 * i + 1.0) / n, r = std::sqrt(1.0 - z * z);
            const double phi = 2.399963229728653 * i;
            out << r * std::cos(phi) << ' ' << r * std::sin(phi) << ' ' << z << '\n';
        }
    }
    loadThroughMenu(ball);
    ASSERT_EQ(tree()->topLevelItemCount(), 4);
    clickItem(3);
    int polls = 0;
    ui::hooks().progressPolled = [&polls](QProgressDialog* dialog) {
        ++polls;
        dialog->cancel();
    };
    click(hull);
    ui::hooks().progressPolled = nullptr;
    EXPECT_GT(polls, 0);
    EXPECT_EQ(tree()->topLevelItemCount(), 4);
}
