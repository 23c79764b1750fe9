// The registration as a user drives it: two clouds picked in the object list (reference
// first), the Registration panel opened from the algorithm bar, Compute; the data cloud
// must land on the reference's points (the known inverse of the motion it was given),
// also far from the origin; "translation only" leaves the rotation out; a mesh moves onto
// a cloud; wrong selections are refused; the data move on screen while the run goes on,
// and an abort leaves them exactly as they were.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QProgressDialog>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTreeWidget>
#include <cmath>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <vector>

#include "ComputationRunner.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"
#include "UiHooks.h"
#include "UserJourney.h"
#include "panels/WidgetObjects.h"
#include "panels/WidgetRegistration.h"

namespace {

using alg3D::Vec3d;
using namespace journey;

QTreeWidget* tree() {
    return window().objectsPanel()->treeWidget();
}
GLBaseObject* object(std::size_t i) {
    return window().view()->scene().objects().at(i).get();
}
// A control of the panel, scrolled into view as a user scrolls to it.
template <typename T = QWidget>
T* panelChild(const char* name) {
    T* child = window().registrationPanel()->findChild<T*>(name);
    if (auto* scroll = window().registrationPanel()->findChild<QScrollArea*>();
        scroll && child && scroll->isAncestorOf(child)) {
        scroll->ensureWidgetVisible(child);
        QTest::qWait(20);
    }
    return child;
}
void clickItem(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTreeWidgetItem* item = tree()->topLevelItem(row);
    ASSERT_TRUE(item);
    tree()->scrollToItem(item);
    QTest::qWait(20);
    click(tree()->viewport(), Qt::LeftButton, modifiers, tree()->visualItemRect(item).center());
}
void selectItems(const std::vector<int>& rows) {
    bool first = true;
    for (int row : rows) {
        clickItem(row, first ? Qt::NoModifier : Qt::ControlModifier);
        first = false;
    }
}
void openRegistrationPanel() {
    click(buttonOf(bar("toolBarMain"), action("tbActionAlgorithms")));
    click(buttonOf(bar("algorithmBar"), action("actionRegistration")));
    ASSERT_TRUE(window().registrationPanel()->isVisible());
}
void compute() {
    click(panelChild("pushButtonCompute"));
}
void typeIntoSpinBox(const char* name, int value) {
    auto* box = panelChild<QSpinBox>(name);
    click(box);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, QString::number(value));
    QTest::keyClick(box, Qt::Key_Tab);
    ASSERT_EQ(box->value(), value);
}
// The result table as key -> value text (the first row of a key).
std::map<QString, QString> resultRows() {
    std::map<QString, QString> rows;
    TableWidget* table = window().registrationPanel()->resultTable();
    for (int r = table->rowCount() - 1; r >= 0; --r)
        rows[table->item(r, 0)->text()] = table->item(r, 1)->text();
    return rows;
}

// A surface with two hills of different sizes and a slope (no symmetry leaves a motion
// free), on an n x n grid of spacing `step`, placed at `origin`.
std::vector<Vec3d> hills(const Vec3d& origin, int n, double step) {
    std::vector<Vec3d> p;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double x = step * i, y = step * j;
            const double z = 1.5 * std::exp(-((x - 6) * (x - 6) + (y - 8) * (y - 8)) / 12.0) +
                             0.8 * std::exp(-((x - 14) * (x - 14) + (y - 5) * (y - 5)) / 8.0) +
                             0.02 * x;
            p.push_back(origin + Vec3d(x, y, z));
        }
    return p;
}

QString writePoints(const QString& name, const std::vector<Vec3d>& points) {
    const QString path = scratchFile(name);
    std::ofstream out(path.toStdString());
    out << std::setprecision(17);
    for (const Vec3d& p : points)
        out << p.x << ' ' << p.y << ' ' << p.z << '\n';
    return path;
}

// Rotation by `degrees` about the unit axis `a` (Rodrigues), about the point `c`, then `t`.
std::function<Vec3d(const Vec3d&)> motion(Vec3d a, double degrees, const Vec3d& c, const Vec3d& t) {
    a = a.normalized();
    const double th = degrees * M_PI / 180.0, co = std::cos(th), si = std::sin(th);
    return [=](const Vec3d& x) {
        const Vec3d v = x - c;
        return c + v * co + a.cross(v) * si + a * (a.dot(v) * (1 - co)) + t;
    };
}

std::vector<Vec3d> moved(const std::vector<Vec3d>& points,
                         const std::function<Vec3d(const Vec3d&)>& f) {
    std::vector<Vec3d> out;
    for (const Vec3d& p : points)
        out.push_back(f(p));
    return out;
}

double largestGap(const std::vector<Vec3d>& a, const std::vector<Vec3d>& b) {
    double worst = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, (a[i] - b[i]).norm());
    return worst;
}

const Vec3d kFar(1.0e5, -2.0e5, 300.0);
const Vec3d kCentre = kFar + Vec3d(10, 10, 0);

}  // namespace

TEST(RegistrationJourney, TheDataCloudLandsOnTheReferenceFarFromTheOrigin) {
    const std::vector<Vec3d> reference = hills(kFar, 41, 0.5);
    const std::vector<Vec3d> data =
        moved(reference, motion(Vec3d(0.3, -0.5, 0.8), 1.5, kCentre, Vec3d(0.12, -0.08, 0.05)));
    loadThroughMenu(writePoints("hills.xyz", reference));
    loadThroughMenu(writePoints("hills-moved.xyz", data));
    ASSERT_EQ(tree()->topLevelItemCount(), 2);
    openRegistrationPanel();
    EXPECT_EQ(panelChild<QLabel>("labelNameReference")->text(), "n.a.");
    selectItems({0, 1});
    EXPECT_EQ(panelChild<QLabel>("labelNameReference")->text(), "hills.xyz");
    EXPECT_EQ(panelChild<QLabel>("labelNameTest")->text(), "hills-moved.xyz");
    auto* cloud = dynamic_cast<GLObjPnts*>(object(1));
    ASSERT_TRUE(cloud);
    ASSERT_EQ(largestGap(cloud->getPoints(), data), 0.0);
    ASSERT_GT(largestGap(cloud->getPoints(), reference), 0.1);

    compute();
    EXPECT_LT(largestGap(cloud->getPoints(), reference), 1e-6);
    EXPECT_EQ(cloud->getPendingTransform(), alg3D::Matrix4x4d::identity());
    EXPECT_EQ(largestGap(dynamic_cast<GLObjPnts*>(object(0))->getPoints(), reference), 0.0);
    // The box follows the points.
    EXPECT_NEAR(cloud->getBBoxMin().x, kFar.x, 1e-6);
    auto rows = resultRows();
    for (const char* key : {"iterations", "pairs", "meanDev.", "minDev.", "maxDev.", "RMSE",
                            "stdDev.", "duration", "R", "T", "S"})
        EXPECT_TRUE(rows.count(key)) << key;
    EXPECT_EQ(rows["pairs"].trimmed(), "1681");
    EXPECT_LT(rows["maxDev."].toDouble(), 1e-6);
    EXPECT_EQ(rows["S"], "+1.000000");

    window().view()->setPointSize(4);
    window().view()->fit2view(GLCamera::kObliqueA);
    QTest::qWait(100);
    saveArtifact(screen(), "panel-registration.png");
}

TEST(RegistrationJourney, TranslationOnlyLeavesTheRotationOut) {
    const std::vector<Vec3d> reference = hills(Vec3d(0, 0, 0), 41, 0.5);
    const std::vector<Vec3d> data =
        moved(reference, motion(Vec3d(0, 0, 1), 1.0, Vec3d(10, 10, 0), Vec3d(0.2, 0.1, -0.1)));
    loadThroughMenu(writePoints("hills.xyz", reference));
    loadThroughMenu(writePoints("hills-turned.xyz", data));
    openRegistrationPanel();
    for (const char* axis : {"checkBoxRXaxis", "checkBoxRYaxis", "checkBoxRZaxis"}) {
        click(panelChild(axis));
        EXPECT_FALSE(panelChild<QCheckBox>(axis)->isChecked()) << axis;
    }
    selectItems({0, 1});
    compute();
    // Every point moved by one and the same vector.
    auto* cloud = dynamic_cast<GLObjPnts*>(object(1));
    ASSERT_TRUE(cloud);
    const std::vector<Vec3d>& after = cloud->getPoints();
    const Vec3d shift = after[0] - data[0];
    EXPECT_GT(shift.norm(), 0.05);
    for (std::size_t i = 0; i < data.size(); i += 7)
        EXPECT_LT((after[i] - data[i] - shift).norm(), 1e-12) << i;
    TableWidget* table = window().registrationPanel()->resultTable();
    int r = 0;
    while (r < table->rowCount() && table->item(r, 0)->text() != "R")
        ++r;
    ASSERT_LT(r + 2, table->rowCount());
    EXPECT_EQ(table->item(r, 1)->text(), "+1.000000 +0.000000 +0.000000");
    EXPECT_EQ(table->item(r + 1, 1)->text(), "+0.000000 +1.000000 +0.000000");
    EXPECT_EQ(table->item(r + 2, 1)->text(), "+0.000000 +0.000000 +1.000000");
}

TEST(RegistrationJourney, AMeshMovesOntoACloud) {
    // The hills as triangles (two per grid cell), moved; the cloud is the reference.
    const int n = 21;
    const std::vector<Vec3d> reference = hills(Vec3d(0, 0, 0), n, 1.0);
    const auto f = motion(Vec3d(1, 1, 0), 1.0, Vec3d(10, 10, 0), Vec3d(-0.1, 0.15, 0.05));
    const QString stl = scratchFile("hills.stl");
    {
        std::ofstream out(stl.toStdString());
        out << std::setprecision(17) << "solid hills\n";
        auto corner = [&](int i, int j) {
            return f(reference[static_cast<std::size_t>(i * n + j)]);
        };
        auto facet = [&](const Vec3d& a, const Vec3d& b, const Vec3d& c) {
            out << "facet normal 0 0 1\nouter loop\n";
            for (const Vec3d& v : {a, b, c})
                out << "vertex " << v.x << ' ' << v.y << ' ' << v.z << '\n';
            out << "endloop\nendfacet\n";
        };
        for (int i = 0; i + 1 < n; ++i)
            for (int j = 0; j + 1 < n; ++j) {
                facet(corner(i, j), corner(i + 1, j), corner(i + 1, j + 1));
                facet(corner(i, j), corner(i + 1, j + 1), corner(i, j + 1));
            }
        out << "endsolid hills\n";
    }
    loadThroughMenu(writePoints("hills.xyz", reference));
    loadThroughMenu(stl);
    openRegistrationPanel();
    selectItems({0, 1});
    compute();
    auto* mesh = dynamic_cast<GLObjSTL*>(object(1));
    ASSERT_TRUE(mesh);
    // Every corner is back on its grid point (the STL file holds floats).
    double worst = 0.0;
    for (const Vec3d& c : mesh->corners()) {
        double best = 1e9;
        for (const Vec3d& p : reference)
            best = std::min(best, (c - p).norm());
        worst = std::max(worst, best);
    }
    EXPECT_LT(worst, 1e-4);
    EXPECT_TRUE(resultRows().count("RMSE"));
}

TEST(RegistrationJourney, WrongSelectionsAreRefused) {
    loadThroughMenu(writeGrid("one.xyz", Vec3d(0, 0, 0), 1.0, 5));
    loadThroughMenu(writeGrid("two.xyz", Vec3d(0, 0, 0.1), 1.0, 5));
    std::ofstream(scratchFile("ball.json").toStdString()) << R"({"shape": "sphere",
        "method": "gauss", "parameters": {"center": [5, 5, 0], "radius": 1.5}})";
    loadThroughMenu(scratchFile("ball.json"));
    for (const char* name : {"a.stl", "b.stl"}) {
        std::ofstream(scratchFile(name).toStdString())
            << "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 "
               "0\nendloop\nendfacet\nendsolid t\n";
        loadThroughMenu(scratchFile(name));
    }
    ASSERT_EQ(tree()->topLevelItemCount(), 5);
    openRegistrationPanel();

    const struct {
        std::vector<int> rows;
        const char* text;
    } refused[] = {{{}, "Please select two objects!"},
                   {{0}, "Please select two objects!"},
                   {{0, 1, 3}, "Please select two objects!"},
                   {{0, 2}, "Registration with primitives is not supported!"},
                   {{2, 1}, "Registration with primitives is not supported!"},
                   {{3, 4}, "STL meshes can not be registered to eachother!"}};
    for (const auto& r : refused) {
        if (r.rows.empty()) {
            clickItem(0);
            clickItem(0, Qt::ControlModifier);  // nothing selected
        } else {
            selectItems(r.rows);
        }
        Answer answer;
        answerNextBox(answer, "OK");
        compute();
        EXPECT_TRUE(answer.seen) << r.text;
        EXPECT_EQ(answer.title, "Registration");
        EXPECT_EQ(answer.text, r.text);
    }
}

TEST(RegistrationJourney, TheDataMoveWhileTheRunGoesOnAndAnAbortChangesNothing) {
    // A run that is polled between its iterations: every pairing of all points of two
    // big clouds takes longer than the poll interval.
    const std::vector<Vec3d> reference = hills(kFar, 600, 0.05);
    const Vec3d centre = kFar + Vec3d(15, 15, 0);
    loadThroughMenu(writePoints("big.xyz", reference));
    loadThroughMenu(writePoints(
        "big-moved.xyz",
        moved(reference, motion(Vec3d(0.3, -0.5, 0.8), 1.5, centre, Vec3d(0.12, -0.08, 0.05)))));
    ASSERT_EQ(tree()->topLevelItemCount(), 2);
    openRegistrationPanel();
    window().view()->fit2view(GLCamera::kObliqueA);
    // While the run goes on the data are drawn where the last accepted step put them;
    // "Abort" once they moved: the data keep every digit, nothing is left pending.
    selectItems({0, 1});
    typeIntoSpinBox("spinBoxSamples", 0);
    auto* data = dynamic_cast<GLObjPnts*>(object(1));
    ASSERT_TRUE(data);
    const std::vector<Vec3d> before = data->getPoints();
    int polls = 0;
    bool moving = false;
    ui::hooks().progressPolled = [&](QProgressDialog* dialog) {
        moving = data->getPendingTransform() != alg3D::Matrix4x4d::identity();
        if (moving) {
            window().view()->repaint();
            saveArtifact(screen(), "panel-registration-running.png");
        }
        if (moving || ++polls > 600) dialog->cancel();
    };
    compute();
    ui::hooks().progressPolled = nullptr;
    EXPECT_TRUE(moving);
    EXPECT_EQ(largestGap(data->getPoints(), before), 0.0);
    EXPECT_EQ(data->getPendingTransform(), alg3D::Matrix4x4d::identity());
    EXPECT_EQ(window().registrationPanel()->resultTable()->rowCount(), 0);
}

TEST(RegistrationJourney, PointToPlaneBringsAnIndependentScanOntoTheReference) {
    // The data are another scan of the hills: a grid shifted by a fraction of the spacing
    // over a smaller area, then moved; no data point has a partner at the same place.
    const std::vector<Vec3d> reference = hills(kFar, 81, 0.25);
    std::vector<Vec3d> surface;
    for (const Vec3d& p : hills(kFar + Vec3d(2.2, 1.35, 0), 65, 0.25)) {
        const double x = p.x - kFar.x, y = p.y - kFar.y;
        const double z = 1.5 * std::exp(-((x - 6) * (x - 6) + (y - 8) * (y - 8)) / 12.0) +
                         0.8 * std::exp(-((x - 14) * (x - 14) + (y - 5) * (y - 5)) / 8.0) +
                         0.02 * x;
        surface.push_back(Vec3d(p.x, p.y, kFar.z + z));  // on the reference's surface
    }
    const std::vector<Vec3d> data =
        moved(surface, motion(Vec3d(0.3, -0.5, 0.8), 1.5, kCentre, Vec3d(0.12, -0.08, 0.05)));
    loadThroughMenu(writePoints("scan-a.xyz", reference));
    loadThroughMenu(writePoints("scan-b.xyz", data));
    openRegistrationPanel();
    // On its round button, as a user clicks it (the button spans the whole row).
    QWidget* pointToPlane = panelChild("radioButtonPointToPlane");
    click(pointToPlane, Qt::LeftButton, Qt::NoModifier, QPoint(8, pointToPlane->height() / 2));
    ASSERT_TRUE(panelChild<QRadioButton>("radioButtonPointToPlane")->isChecked());
    EXPECT_TRUE(panelChild("comboBoxRobust")->isEnabled());
    EXPECT_TRUE(panelChild("spinBoxNormalPoints")->isEnabled());
    selectItems({0, 1});
    compute();
    auto* cloud = dynamic_cast<GLObjPnts*>(object(1));
    ASSERT_TRUE(cloud);
    // Every point is back where the scan saw it, up to what tangent planes of a grid of
    // spacing 0.25 allow on hills of curvature up to 0.25 (½·κ·(h/2)² ≈ 0.002).
    EXPECT_LT(largestGap(cloud->getPoints(), surface), 0.01);
    auto rows = resultRows();
    for (const char* key : {"iterations", "pairs", "RMSE", "planeRMSE", "duration", "R", "T"})
        EXPECT_TRUE(rows.count(key)) << key;
    EXPECT_LT(rows["planeRMSE"].toDouble(), 0.002);
    EXPECT_LT(rows["iterations"].toInt(), 100);  // converged, not stopped by the limit
    EXPECT_FALSE(rows.count("unobservable"));

    window().view()->setPointSize(4);
    window().view()->fit2view(GLCamera::kObliqueA);
    QTest::qWait(100);
    saveArtifact(screen(), "panel-registration-point-to-plane.png");
}
