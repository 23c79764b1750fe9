// The preprocess panel as a user drives it: a cloud picked in the object list, the panel
// opened from the algorithm bar, an algorithm chosen by its button, Compute. Smoothing,
// thinning and regions are checked against brute-force truths; the warnings, an abort
// and a failing run leave the cloud as it was.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTreeWidget>
#include <cmath>
#include <fstream>
#include <set>

#include "ComputationRunner.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "UiHooks.h"
#include "UserJourney.h"
#include "panels/WidgetAlgorithms.h"
#include "panels/WidgetObjects.h"

namespace {

using alg3D::Vec3d;
using namespace journey;

QTreeWidget* tree() {
    return window().objectsPanel()->treeWidget();
}
GLObjPnts* cloud(std::size_t i) {
    return dynamic_cast<GLObjPnts*>(window().view()->scene().objects().at(i).get());
}
template <typename T = QWidget>
T* panelChild(const char* name) {
    return window().preprocessPanel()->findChild<T*>(name);
}
void selectRows(std::initializer_list<int> rows) {
    bool first = true;
    for (int row : rows) {
        QTreeWidgetItem* item = tree()->topLevelItem(row);
        ASSERT_TRUE(item);
        tree()->scrollToItem(item);
        QTest::qWait(20);
        click(tree()->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
              tree()->visualItemRect(item).center());
        first = false;
    }
}
void openPanel() {
    if (window().preprocessPanel()->isVisible()) return;
    click(buttonOf(bar("toolBarMain"), action("tbActionAlgorithms")));
    click(buttonOf(bar("algorithmBar"), action("actionPreprocess")));
    ASSERT_TRUE(window().preprocessPanel()->isVisible());
}
// Chooses an algorithm by its button (a click on the chosen one clears the choice).
void choose(const char* button, WidgetAlgorithms::Algorithm expected) {
    click(panelChild(button));
    ASSERT_EQ(window().preprocessPanel()->algorithm(), expected);
}
void compute() {
    click(panelChild("pushButtonCompute"));
}
void typeInto(const char* edit, const QString& text) {
    pasteInto(panelChild<QLineEdit>(edit), text);
}
// A click on the title of a checkable group box toggles it.
void toggleGroup(const char* name, bool checked) {
    auto* box = panelChild<QGroupBox>(name);
    ASSERT_TRUE(box && box->isVisible());
    // On the title's check box, where the style draws it.
    struct Options : QGroupBox {
        static QStyleOptionGroupBox of(QGroupBox* b) {
            QStyleOptionGroupBox option;
            (b->*&Options::initStyleOption)(&option);
            return option;
        }
    };
    const QStyleOptionGroupBox option = Options::of(box);
    const QRect mark = box->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                    QStyle::SC_GroupBoxCheckBox, box);
    click(box, Qt::LeftButton, Qt::NoModifier, mark.center());
    ASSERT_EQ(box->isChecked(), checked);
}
QString resultText() {
    TableWidget* table = window().preprocessPanel()->resultTable();
    QString text;
    for (int r = 0; r < table->rowCount(); ++r)
        text += table->item(r, 0)->text().trimmed() + ':' +
                (table->item(r, 1) ? table->item(r, 1)->text().trimmed() : QString()) + '\n';
    return text;
}

QString writePoints(const QString& name, const std::vector<Vec3d>& points) {
    const QString path = scratchFile(name);
    std::ofstream out(path.toStdString());
    out.precision(17);
    for (const Vec3d& p : points)
        out << p.x << ' ' << p.y << ' ' << p.z << '\n';
    return path;
}
// An n x n grid with unit spacing and heights 0.05 * ((3i + 5j) mod 11).
std::vector<Vec3d> bumpyGrid(int n, Vec3d origin = Vec3d(0, 0, 0)) {
    std::vector<Vec3d> points;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            points.push_back(origin + Vec3d(i, j, 0.05 * ((3 * i + 5 * j) % 11)));
    return points;
}

}  // namespace

TEST(PreprocessJourney, SmoothingThinningAndRegionsChangeTheCloudAsTheyShould) {
    const std::vector<Vec3d> bumpy = bumpyGrid(15);
    loadThroughMenu(writePoints("bumpy.xyz", bumpy));
    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    openPanel();
    selectRows({0});
    EXPECT_EQ(window().preprocessPanel()->algorithm(), WidgetAlgorithms::kSmoothing);
    EXPECT_TRUE(panelChild<QRadioButton>("radioButtonGauss")->isChecked());

    // Gauss smoothing, radius 1,5 typed with a decimal comma: every point against the
    // weighted mean of its neighbours within the radius, weights exp(-d^2 / r).
    typeInto("lineEditRadius", "1,5");
    compute();
    const double r = 1.5;
    const auto& smoothed = cloud(0)->getPoints();
    ASSERT_EQ(smoothed.size(), bumpy.size());
    double worst = 0.0;
    for (std::size_t i = 0; i < bumpy.size(); ++i) {
        Vec3d sum(0, 0, 0);
        double weights = 0.0;
        for (const Vec3d& q : bumpy) {
            const double d2 = (q - bumpy[i]).squaredNorm();
            if (std::sqrt(d2) > r + 1e-6) continue;
            const double w = std::exp(-d2 / r);
            sum = sum + q * w;
            weights += w;
        }
        worst = std::max(worst, (smoothed[i] - sum / weights).norm());
    }
    EXPECT_LT(worst, 1e-12);
    EXPECT_TRUE(resultText().startsWith("Duration:")) << resultText().toStdString();

    // Thinning to 50 points.
    choose("toolButtonThinning", WidgetAlgorithms::kThinning);
    EXPECT_FALSE(panelChild<QGroupBox>("groupBoxSelectRegions")->isVisible());
    toggleGroup("groupBoxPointNumber", true);
    typeInto("lineEditPointNumber", "50");
    compute();
    EXPECT_EQ(cloud(0)->getPoints().size(), 50u);
    EXPECT_TRUE(resultText().contains("Input points:225")) << resultText().toStdString();
    EXPECT_TRUE(resultText().contains("Output points:50")) << resultText().toStdString();

    // Thinning to a spacing of 2.5 on a fresh grid: no two kept points closer, and every
    // removed point near a kept one.
    const std::vector<Vec3d> flat = bumpyGrid(12, Vec3d(40, 0, 0));
    loadThroughMenu(writePoints("flat.xyz", flat));
    selectRows({1});
    toggleGroup("groupBoxPointNumber", false);
    typeInto("lineEditRadius", "2.5");
    compute();
    const auto& kept = cloud(1)->getPoints();
    ASSERT_LT(kept.size(), flat.size());
    ASSERT_GT(kept.size(), 4u);
    int close = 0, orphans = 0;
    for (std::size_t i = 0; i < kept.size(); ++i)
        for (std::size_t j = i + 1; j < kept.size(); ++j)
            close += (kept[i] - kept[j]).norm() <= 2.5;
    for (const Vec3d& p : flat) {
        bool covered = false;
        for (const Vec3d& k : kept)
            covered = covered || (p - k).norm() <= 2.5 + 1e-6;
        orphans += !covered;
    }
    EXPECT_EQ(close, 0);
    EXPECT_EQ(orphans, 0);

    // Regions: two grids 10 apart and three lone points; regions of fewer than 3 points
    // are selected, and every region has one colour.
    std::vector<Vec3d> scene = bumpyGrid(8, Vec3d(0, 0, 0));
    for (const Vec3d& p : bumpyGrid(6, Vec3d(20, 0, 0)))
        scene.push_back(p);
    for (const Vec3d& p : {Vec3d(-10, 0, 0), Vec3d(0, -10, 0), Vec3d(30, 30, 30)})
        scene.push_back(p);
    loadThroughMenu(writePoints("parts.xyz", scene));
    selectRows({2});
    choose("toolButtonSegmentation", WidgetAlgorithms::kRegions);
    typeInto("lineEditRadius", "1.2");
    toggleGroup("groupBoxSelectRegions", true);
    typeInto("lineEditMaxPts", "3");
    compute();
    EXPECT_TRUE(resultText().contains("Regions:5")) << resultText().toStdString();
    GLObjPnts* parts = cloud(2);
    EXPECT_EQ(parts->getSelectedCount(), 3u);
    const auto& mask = parts->getSelectionMask();
    for (std::size_t i = 0; i < scene.size(); ++i)
        EXPECT_EQ(mask[i] != 0, i >= 100) << i;
    const auto& coded = parts->getCodedColors();
    ASSERT_EQ(coded.size(), scene.size());
    std::set<std::uint32_t> firstGrid, secondGrid;
    auto key = [](const alg3D::Color& c) { return (c.r << 16) | (c.g << 8) | c.b; };
    for (std::size_t i = 0; i < 64; ++i)
        firstGrid.insert(key(coded[i]));
    for (std::size_t i = 64; i < 100; ++i)
        secondGrid.insert(key(coded[i]));
    EXPECT_EQ(firstGrid.size(), 1u);
    EXPECT_EQ(secondGrid.size(), 1u);
    EXPECT_NE(*firstGrid.begin(), *secondGrid.begin());

    window().view()->setPointSize(8);
    window().view()->fit2view(GLCamera::kFront);
    QTest::qWait(100);
    saveArtifact(screen(), "panel-preprocess.png");
}

TEST(PreprocessJourney, WarningsAnAbortAndAFailureLeaveTheCloudAsItWas) {
    loadThroughMenu(writePoints("one.xyz", bumpyGrid(10)));
    loadThroughMenu(writePoints("two.xyz", bumpyGrid(10, Vec3d(20, 0, 0))));
    std::ofstream(scratchFile("ball.json").toStdString()) << R"({"shape": "sphere",
        "method": "gauss", "parameters": {"center": [5, 5, 0], "radius": 1.5}})";
    loadThroughMenu(scratchFile("ball.json"));
    ASSERT_EQ(tree()->topLevelItemCount(), 3);
    openPanel();

    struct Case {
        const char* button;
        WidgetAlgorithms::Algorithm algorithm;
        const char* title;
        const char* notACloud;
    };
    const Case cases[] = {{"toolButtonSmoothing", WidgetAlgorithms::kSmoothing, "Smoothing",
                           "Object can not be smoothed!"},
                          {"toolButtonThinning", WidgetAlgorithms::kThinning, "Thinning",
                           "Data type can not be thinned!"},
                          {"toolButtonSegmentation", WidgetAlgorithms::kRegions, "Region detection",
                           "Object can not be processed!"}};
    auto expectBox = [](const QString& title, const QString& text) {
        Answer answer;
        answerNextBox(answer, "OK");
        compute();
        EXPECT_TRUE(answer.seen) << text.toStdString();
        EXPECT_EQ(answer.title, title);
        EXPECT_EQ(answer.text, text);
    };
    for (const Case& c : cases) {
        if (window().preprocessPanel()->algorithm() != c.algorithm) choose(c.button, c.algorithm);
        click(tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
              QPoint(5, tree()->viewport()->height() - 5));
        expectBox(c.title, "Please select a pointcloud!");
        selectRows({0, 1});
        expectBox(c.title, "Please select one pointcloud only!");
        selectRows({2});
        expectBox(c.title, c.notACloud);
    }
    // A second click on the chosen button leaves no algorithm.
    choose("toolButtonSegmentation", WidgetAlgorithms::kNone);
    expectBox("Algorithms", "Please select an algorithm!");

    // "Abort" at the first poll of a smoothing that runs long enough to be polled (about
    // 450 neighbours for each of 62,500 points): the points stay.
    loadThroughMenu(writeGrid("big.xyz", Vec3d(0, 0, 0), 249.0, 250));
    selectRows({3});
    choose("toolButtonSmoothing", WidgetAlgorithms::kSmoothing);
    typeInto("lineEditRadius", "12");
    const std::vector<Vec3d> big = cloud(3)->getPoints();
    ui::hooks().progressPolled = [](QProgressDialog* dialog) { dialog->cancel(); };
    compute();
    ui::hooks().progressPolled = nullptr;
    EXPECT_EQ(cloud(3)->getPoints(), big);
    EXPECT_EQ(window().preprocessPanel()->resultTable()->rowCount(), 0);

    // While the run goes on, before its dialog appears, the window takes no input: a click
    // on "remove", Delete in the view, a second Compute and closing the window are held
    // back, and the run ends with its result on the cloud it started with.
    int polls = 0, dialogs = 0;
    ui::hooks().progressCreated = [&dialogs](QProgressDialog*) { ++dialogs; };
    ui::hooks().progressPolled = [&polls](QProgressDialog*) {
        if (polls++ > 0) return;
        click(window().objectsPanel()->findChild<QWidget*>("toolButtonRemove"));
        QTest::keyClick(window().view(), Qt::Key_Delete);
        click(panelChild("pushButtonCompute"));
        window().close();
    };
    compute();
    ui::hooks().progressPolled = nullptr;
    ui::hooks().progressCreated = nullptr;
    ASSERT_GT(polls, 0);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(window().isVisible());
    ASSERT_EQ(tree()->topLevelItemCount(), 4);
    ASSERT_EQ(cloud(3)->getPoints().size(), big.size());
    EXPECT_NE(cloud(3)->getPoints(), big);
    EXPECT_GT(window().preprocessPanel()->resultTable()->rowCount(), 0);

    // An empty radius fails in the run: the box has the command's title and the reason.
    selectRows({0});
    choose("toolButtonThinning", WidgetAlgorithms::kThinning);
    const std::vector<Vec3d> before = cloud(0)->getPoints();
    typeInto("lineEditRadius", "");
    expectBox("Thinning", "The radius must be a finite number of at least 0.");
    EXPECT_EQ(cloud(0)->getPoints(), before);
}
