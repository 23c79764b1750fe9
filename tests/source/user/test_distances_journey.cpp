// The distance tool as a user drives it: two clouds picked in the object list, the
// Distances panel opened from the algorithm bar, Compute; the statistics, the colours of
// the test cloud and the selection by range are checked against a brute-force truth.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>

#include "ComputationRunner.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "UiHooks.h"
#include "UserJourney.h"
#include "panels/ColorBar.h"
#include "panels/WidgetDistances.h"
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
T* panelChild(const char* name) {
    return window().distancesPanel()->findChild<T*>(name);
}
void clickItem(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTreeWidgetItem* item = tree()->topLevelItem(row);
    ASSERT_TRUE(item);
    tree()->scrollToItem(item);  // as a user scrolls the list
    QTest::qWait(20);
    click(tree()->viewport(), Qt::LeftButton, modifiers, tree()->visualItemRect(item).center());
}
void selectItems(std::initializer_list<int> rows) {
    bool first = true;
    for (int row : rows) {
        clickItem(row, first ? Qt::NoModifier : Qt::ControlModifier);
        first = false;
    }
}
void openDistancesPanel() {
    click(buttonOf(bar("toolBarMain"), action("tbActionAlgorithms")));
    click(buttonOf(bar("algorithmBar"), action("actionDistances")));
    ASSERT_TRUE(window().distancesPanel()->isVisible());
}
void compute() {
    click(panelChild("pushButtonCompute"));
}
void typeInto(const char* edit, const QString& text) {
    auto* field = panelChild<QLineEdit>(edit);
    click(field);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}
// The statistics table as key -> value text.
std::map<QString, QString> statistics() {
    std::map<QString, QString> rows;
    TableWidget* table = window().distancesPanel()->resultTable();
    for (int r = 0; r < table->rowCount(); ++r)
        rows[table->item(r, 0)->text()] = table->item(r, 1)->text();
    return rows;
}

// An n x n grid with spacing `step` whose heights are 0.05 * ((3i + 5j) mod 11), 0 to 0.5.
QString writeBumpyGrid(const QString& name, int n, double step) {
    const QString path = scratchFile(name);
    std::ofstream out(path.toStdString());
    out.precision(12);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            out << step * i << ' ' << step * j << ' ' << 0.05 * ((3 * i + 5 * j) % 11) << '\n';
    return path;
}

// n points spread evenly over a sphere of radius r about the origin.
QString writeSphere(const QString& name, int n, double r) {
    const QString path = scratchFile(name);
    std::ofstream out(path.toStdString());
    out.precision(12);
    const double golden = M_PI * (3.0 - std::sqrt(5.0));
    for (int k = 0; k < n; ++k) {
        const double z = 1.0 - 2.0 * (k + 0.5) / n, s = std::sqrt(1.0 - z * z);
        out << r * s * std::cos(golden * k) << ' ' << r * s * std::sin(golden * k) << ' ' << r * z
            << '\n';
    }
    return path;
}

// Nearest-neighbour distances by brute force.
std::vector<double> bruteForce(const std::vector<Vec3d>& reference,
                               const std::vector<Vec3d>& test) {
    std::vector<double> d;
    for (const Vec3d& t : test) {
        double best = std::numeric_limits<double>::max();
        for (const Vec3d& r : reference)
            best = std::min(best, (t - r).norm());
        d.push_back(best);
    }
    return d;
}

}  // namespace

TEST(DistancesJourney, TwoCloudsAreMeasuredColouredAndSelectedByRange) {
    openDistancesPanel();
    EXPECT_EQ(panelChild<QLabel>("labelNameReference")->text(), "n.a.");
    EXPECT_EQ(panelChild<QLabel>("labelNameTest")->text(), "n.a.");
    loadThroughMenu(writeGrid("reference.xyz", Vec3d(0, 0, 0), 20.0, 21));
    loadThroughMenu(writeBumpyGrid("bumpy.xyz", 21, 1.0));
    ASSERT_EQ(tree()->topLevelItemCount(), 2);
    selectItems({0, 1});
    EXPECT_EQ(panelChild<QLabel>("labelNameReference")->text(), "reference.xyz");
    EXPECT_EQ(panelChild<QLabel>("labelNameTest")->text(), "bumpy.xyz");

    auto* test = dynamic_cast<GLObjPnts*>(object(1));
    ASSERT_TRUE(test);
    const std::vector<double> d =
        bruteForce(dynamic_cast<GLObjPnts*>(object(0))->getPoints(), test->getPoints());
    compute();

    // Statistics of all 441 values.
    std::vector<double> sorted = d;
    std::sort(sorted.begin(), sorted.end());
    double mean = 0, var = 0;
    for (double v : d)
        mean += v / d.size();
    for (double v : d)
        var += (v - mean) * (v - mean) / d.size();
    auto rows = statistics();
    const struct {
        const char* key;
        double expected;
    } expected[] = {{"minDev.", sorted.front()},
                    {"maxDev.", sorted.back()},
                    {"meanDev.", mean},
                    {"median", sorted[sorted.size() / 2]},
                    {"stdDev.", std::sqrt(var)}};
    for (const auto& e : expected) {
        ASSERT_TRUE(rows.count(e.key)) << e.key;
        EXPECT_NEAR(rows[e.key].toDouble(), e.expected, 5.1e-9) << e.key;
        EXPECT_EQ(rows[e.key].split('.').last().size(), 8) << e.key;  // 8 decimals
    }
    EXPECT_EQ(rows["pairs"].trimmed(), "441");
    EXPECT_EQ(rows["selected"].trimmed(), "0");
    EXPECT_TRUE(rows.count("duration"));
    EXPECT_DOUBLE_EQ(sorted.front(), 0.0);
    EXPECT_DOUBLE_EQ(sorted.back(), 0.5);

    // Colours: the nearest points blue, the farthest red (mean ± 3 sigma covers them all).
    const auto& colors = test->getDisplayColors();
    ASSERT_EQ(colors.size(), d.size());
    int blue = 0, red = 0;
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (d[i] == 0.0) blue += colors[i] == alg3D::Color(0, 0, 255);
        if (d[i] == 0.5) red += colors[i] == alg3D::Color(255, 0, 0);
    }
    EXPECT_EQ(blue, std::count(d.begin(), d.end(), 0.0));
    EXPECT_EQ(red, std::count(d.begin(), d.end(), 0.5));
    EXPECT_GT(blue, 0);
    EXPECT_GT(red, 0);
    EXPECT_EQ(panelChild<QLineEdit>("lineEditColorMin")->text(), "0");
    EXPECT_EQ(panelChild<QLineEdit>("lineEditColorMax")->text(), "0.5");
    EXPECT_EQ(panelChild<QLabel>("labelColorMin")->text(), "0");
    EXPECT_EQ(panelChild<QLabel>("labelColorMax")->text(), "0.5");

    EXPECT_TRUE(panelChild<QCheckBox>("checkBoxColorAuto")->isChecked());
    window().view()->setPointSize(7);
    window().view()->fit2view(GLCamera::kFront);
    QTest::qWait(100);
    saveArtifact(screen(), "distances-journey.png");
    // The colour bar with its limits stays wholly in view in the default layout.
    QWidget* bar = window().distancesPanel()->colorBar();
    EXPECT_EQ(bar->visibleRegion().boundingRect(), bar->rect());
    EXPECT_EQ(panelChild<QLabel>("labelColorMax")->visibleRegion().boundingRect(),
              panelChild<QLabel>("labelColorMax")->rect());

    // Outside [0.1, 0.4]: exactly the points nearer than 0.1 or farther than 0.4 (these
    // have no partner within the search bound of 0.4, and are selected all the same).
    typeInto("lineEditMinD", "0.1");
    typeInto("lineEditMaxD", "0,4");
    click(panelChild("checkBoxSelectInside"));
    click(panelChild("checkBoxSelectOutside"));
    EXPECT_FALSE(panelChild<QCheckBox>("checkBoxSelectInside")->isChecked());
    compute();
    const auto& mask = test->getSelectionMask();
    int wrong = 0, outside = 0;
    for (std::size_t i = 0; i < d.size(); ++i) {
        const bool beyond = d[i] < 0.1 || d[i] > 0.4;
        outside += beyond;
        wrong += (mask[i] != 0) != beyond;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(test->getSelectedCount(), static_cast<std::uint64_t>(outside));
    rows = statistics();
    EXPECT_EQ(rows["selected"].trimmed(), QString::number(outside));
    EXPECT_EQ(rows["pairs"].trimmed(), QString::number(441 - outside));
}

TEST(DistancesJourney, WrongSelectionsAreRefusedAndAnAbortChangesNothing) {
    // A run long enough to be polled, with few points to draw: every reference point on
    // a sphere is almost as near to the test points at its centre as the nearest one,
    // so each search visits nearly all of them.
    loadThroughMenu(writeSphere("shell.xyz", 15000, 5.0));
    loadThroughMenu(writeGrid("core.xyz", Vec3d(0, 0, 0), 0.001, 150));
    for (const char* name : {"a.json", "b.json"}) {
        std::ofstream(scratchFile(name).toStdString()) << R"({"shape": "sphere",
            "method": "gauss", "parameters": {"center": [5, 5, 0], "radius": 1.5}})";
        loadThroughMenu(scratchFile(name));
    }
    const QString stl = scratchFile("facet.stl");
    std::ofstream(stl.toStdString())
        << "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 "
           "0\nendloop\nendfacet\nendsolid t\n";
    loadThroughMenu(stl);
    ASSERT_EQ(tree()->topLevelItemCount(), 5);
    openDistancesPanel();

    const struct {
        std::vector<int> rows;
        const char* text;
    } refused[] = {{{0}, "Please select two objects!"},
                   {{0, 1, 2}, "Please select two objects!"},
                   {{2, 3}, "Distance between two primitives is not supported."},
                   {{0, 4}, "Operation is not supported."},
                   {{1, 2}, "Operation is not supported."}};
    for (const auto& r : refused) {
        clickItem(r.rows[0]);
        for (std::size_t k = 1; k < r.rows.size(); ++k)
            clickItem(r.rows[k], Qt::ControlModifier);
        Answer answer;
        answerNextBox(answer, "OK");
        compute();
        EXPECT_TRUE(answer.seen) << r.text;
        EXPECT_EQ(answer.title, "Distances");
        EXPECT_EQ(answer.text, r.text);
    }

    // "Abort" at the first poll: the test cloud keeps its colours, the table stays empty.
    selectItems({0, 1});
    auto* test = dynamic_cast<GLObjPnts*>(object(1));
    ASSERT_TRUE(test);
    const std::vector<alg3D::Color> before = test->getDisplayColors();
    ui::hooks().progressPolled = [](QProgressDialog* dialog) { dialog->cancel(); };
    compute();
    ui::hooks().progressPolled = nullptr;
    EXPECT_EQ(test->getDisplayColors(), before);
    EXPECT_TRUE(test->getCodedColors().empty());
    EXPECT_EQ(window().distancesPanel()->resultTable()->rowCount(), 0);
    // Without "Abort" the same run colours the cloud.
    compute();
    EXPECT_EQ(test->getCodedColors().size(), before.size());
    EXPECT_NE(test->getDisplayColors(), before);
    EXPECT_GT(window().distancesPanel()->resultTable()->rowCount(), 0);

    // A primitive as the reference: signed distances from the sphere's surface.
    loadThroughMenu(writeGrid("near.xyz", Vec3d(4, 4, 0.5), 2.0, 5));
    ASSERT_EQ(tree()->topLevelItemCount(), 6);
    selectItems({2, 5});
    compute();
    double lo = std::numeric_limits<double>::max(), hi = -lo;
    for (const Vec3d& p : dynamic_cast<GLObjPnts*>(object(5))->getPoints()) {
        const double d = (p - Vec3d(5, 5, 0)).norm() - 1.5;
        lo = std::min(lo, d);
        hi = std::max(hi, d);
    }
    auto rows = statistics();
    EXPECT_NEAR(rows["minDev."].toDouble(), lo, 5.1e-9);
    EXPECT_NEAR(rows["maxDev."].toDouble(), hi, 5.1e-9);
    EXPECT_EQ(rows["pairs"].trimmed(), "25");
    EXPECT_LT(lo, 0.0);  // points inside the sphere count negative
}
