// The surface-features tool as a user drives it: a cloud of a sphere beside a plane picked
// in the object list, the Surface Features panel opened from the algorithm bar, normals
// computed and compared with the analytic ones, then the extrinsic curvature computed:
// 1/R on the sphere, about 0 on the plane, colour-coded with the limits at the colour bar.
// Wrong selections are refused with the commands' texts; an abort or a failed run leaves
// the cloud as it was.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>

#include "ComputationRunner.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "UiHooks.h"
#include "UserJourney.h"
#include "panels/WidgetObjects.h"
#include "panels/WidgetSurfaceFeatures.h"

namespace {

using alg3D::Vec3d;
using namespace journey;

constexpr double kRadius = 5.0;
constexpr int kSpherePoints = 2000;
constexpr int kPlaneSide = 30;  // plane points: kPlaneSide x kPlaneSide
constexpr double kPlaneX = 10.0;

QTreeWidget* tree() {
    return window().objectsPanel()->treeWidget();
}
GLBaseObject* object(std::size_t i) {
    return window().view()->scene().objects().at(i).get();
}
template <typename T = QWidget>
T* panelChild(const char* name) {
    return window().featuresPanel()->findChild<T*>(name);
}
void clickItem(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTreeWidgetItem* item = tree()->topLevelItem(row);
    ASSERT_TRUE(item);
    tree()->scrollToItem(item);
    QTest::qWait(20);
    click(tree()->viewport(), Qt::LeftButton, modifiers, tree()->visualItemRect(item).center());
}
void selectItems(const std::vector<int>& rows) {
    for (std::size_t k = 0; k < rows.size(); ++k)
        clickItem(rows[k], k == 0 ? Qt::NoModifier : Qt::ControlModifier);
}
void openFeaturesPanel() {
    click(buttonOf(bar("toolBarMain"), action("tbActionAlgorithms")));
    click(buttonOf(bar("algorithmBar"), action("actionSurfaceFeatures")));
    ASSERT_TRUE(window().featuresPanel()->isVisible());
}
void compute() {
    click(panelChild("pushButtonCompute"));
}
// The box that the next Compute shows.
Answer computeAndAnswer() {
    Answer answer;
    answerNextBox(answer, "OK");
    compute();
    return answer;
}
std::map<QString, QString> results() {
    std::map<QString, QString> rows;
    TableWidget* table = window().featuresPanel()->resultTable();
    for (int r = 0; r < table->rowCount(); ++r)
        rows[table->item(r, 0)->text()] = table->item(r, 1)->text();
    return rows;
}

// A sphere of radius kRadius about the origin (points spread evenly), then a square of the
// plane z = 0 beside it, from x = kPlaneX on.
QString writeSphereAndPlane(const QString& name) {
    const QString path = scratchFile(name);
    std::ofstream out(path.toStdString());
    out.precision(15);
    const double golden = M_PI * (3.0 - std::sqrt(5.0));
    for (int k = 0; k < kSpherePoints; ++k) {
        const double z = 1.0 - 2.0 * (k + 0.5) / kSpherePoints, s = std::sqrt(1.0 - z * z);
        out << kRadius * s * std::cos(golden * k) << ' ' << kRadius * s * std::sin(golden * k)
            << ' ' << kRadius * z << '\n';
    }
    for (int i = 0; i < kPlaneSide; ++i)
        for (int j = 0; j < kPlaneSide; ++j)
            out << kPlaneX + 0.5 * i << ' ' << -7.25 + 0.5 * j << " 0\n";
    return path;
}

bool onPlane(const Vec3d& p) {
    return p.x > kPlaneX - 1.0;
}

}  // namespace

TEST(FeaturesJourney, NormalsAndCurvatureOfASphereBesideAPlane) {
    loadThroughMenu(writeSphereAndPlane("ball.xyz"));
    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    selectItems({0});
    openFeaturesPanel();
    auto* cloud = dynamic_cast<GLObjPnts*>(object(0));
    ASSERT_TRUE(cloud);
    const std::vector<Vec3d>& points = cloud->getPoints();
    ASSERT_EQ(points.size(), std::size_t(kSpherePoints + kPlaneSide * kPlaneSide));
    ASSERT_TRUE(cloud->objectPlacement() == alg3D::Matrix4x4d::identity());

    // Normals: the panel starts with "Normals" and the automatic kernel.
    EXPECT_TRUE(panelChild<QToolButton>("toolButtonNormals")->isChecked());
    EXPECT_EQ(panelChild<QRadioButton>("radioButtonAuto")->text(), "Approximate");
    EXPECT_FALSE(cloud->hasNormals());
    compute();
    ASSERT_TRUE(cloud->hasNormals());
    const auto& normals = cloud->getNormals();
    ASSERT_EQ(normals.size(), points.size());
    // Without orientation either sign is right. A neighbourhood that is not centred on
    // its point (where the sphere's spiral sampling changes its pattern) tilts the
    // covariance's normal by up to a few degrees.
    int withinOneDegree = 0;
    double worst = 1.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Vec3d truth = onPlane(points[i]) ? Vec3d(0, 0, 1) : points[i].normalized();
        const Vec3d n(normals[i].x, normals[i].y, normals[i].z);
        EXPECT_NEAR(n.norm(), 1.0, 1e-6) << i;
        const double c = std::abs(n.dot(truth));
        withinOneDegree += c > std::cos(M_PI / 180.0);
        worst = std::min(worst, c);
    }
    EXPECT_GE(withinOneDegree, static_cast<int>(0.95 * points.size()));
    EXPECT_GT(worst, std::cos(5.0 * M_PI / 180.0));
    EXPECT_TRUE(results().count("Duration"));

    // Extrinsic curvature: the fitted sphere's 1/R. A flat neighbourhood has no sphere to
    // fit: its fit stays at the circle through its points, whose 1/R exceeds the ball's,
    // so the ball's points carry the smallest value, 1/R, and the lowest colour (blue).
    click(panelChild("toolButtonCurvature"));
    EXPECT_FALSE(panelChild<QToolButton>("toolButtonNormals")->isChecked());
    EXPECT_EQ(panelChild<QRadioButton>("radioButtonAuto")->text(), "Auto");
    click(panelChild("radioButtonExtrinsicCurvature"));
    compute();
    auto rows = results();
    ASSERT_TRUE(rows.count("min.") && rows.count("median"));
    EXPECT_NEAR(rows["min."].toDouble(), 1.0 / kRadius, 1e-5);
    EXPECT_NEAR(rows["median"].toDouble(), 1.0 / kRadius, 1e-5);  // most points are curved
    EXPECT_TRUE(rows.count("duration"));
    EXPECT_EQ(panelChild<QLabel>("labelColorMin")->text(), rows["min."].trimmed());
    const alg3D::Color blue(0, 0, 255);
    int sphereBlue = 0, planeBlue = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
        (onPlane(points[i]) ? planeBlue : sphereBlue) += cloud->getDisplayColors()[i] == blue;
    EXPECT_EQ(sphereBlue, kSpherePoints);
    EXPECT_EQ(planeBlue, 0);

    // Intrinsic curvature: exactly 0 on the plane, the same small value all over the ball.
    click(panelChild("radioButtonIntrinsicCurvature"));
    compute();
    rows = results();
    ASSERT_TRUE(rows.count("min.") && rows.count("median") && rows.count("max."));
    EXPECT_EQ(rows["min."].trimmed(), "0");
    const double curved = rows["median"].toDouble();
    // A cap of radius a on a ball of radius R, points even over the disc it covers:
    // 3 var(h) / (a^2 / 2) with h = rho^2 / (2R) gives a^2 / (8 R^2); the 30 nearest
    // points cover pi a^2 = 30 * 4 pi R^2 / n.
    const double a2 = 30.0 * 4.0 * kRadius * kRadius / kSpherePoints;
    const double analytic = a2 / (8.0 * kRadius * kRadius);
    EXPECT_NEAR(curved, analytic, 0.1 * analytic);
    EXPECT_LT(rows["max."].toDouble(), 1.5 * curved);
    // Colour range: mean - 3 sigma lies below the minimum 0, so the range starts there; it
    // ends at mean + 3 sigma, which the colour bar shows as well.
    bool lowOk = false, highOk = false;
    const double low = panelChild<QLabel>("labelColorMin")->text().toDouble(&lowOk);
    const double high = panelChild<QLabel>("labelColorMax")->text().toDouble(&highOk);
    ASSERT_TRUE(lowOk && highOk) << panelChild<QLabel>("labelColorMax")->text().toStdString();
    EXPECT_EQ(low, 0.0);
    EXPECT_GT(high, rows["max."].toDouble());
    // The plane blue, the ball (about half-way up the range) green.
    const auto& colors = cloud->getDisplayColors();
    ASSERT_EQ(cloud->getCodedColors().size(), points.size());
    int sphereGreen = 0;
    planeBlue = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const alg3D::Color c = colors[i];
        if (onPlane(points[i]))
            planeBlue += c == blue;
        else
            sphereGreen += c.g > 200 && c.r < 100;
    }
    EXPECT_EQ(planeBlue, kPlaneSide * kPlaneSide);
    EXPECT_EQ(sphereGreen, kSpherePoints);

    window().view()->setPointSize(6);
    window().view()->fit2view(GLCamera::kFront);
    QTest::qWait(100);
    saveArtifact(screen(), "panel-features.png");
    saveArtifact(window().featuresPanel()->grab().toImage(), "panel-features-controls.png");
}

TEST(FeaturesJourney, WrongSelectionsAreRefusedAndAbortsChangeNothing) {
    openFeaturesPanel();
    // Nothing loaded, nothing selected; the panel starts with "Normals".
    const Answer first = computeAndAnswer();
    EXPECT_TRUE(first.seen);
    EXPECT_EQ(first.title, "Normal vectors");
    EXPECT_EQ(first.text, "Please select a pointcloud!");

    loadThroughMenu(writeGrid("a.xyz", Vec3d(0, 0, 0), 1.0, 10));
    loadThroughMenu(writeGrid("b.xyz", Vec3d(2, 0, 0), 1.0, 10));
    const QString stl = scratchFile("facet.stl");
    std::ofstream(stl.toStdString())
        << "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 "
           "0\nendloop\nendfacet\nendsolid t\n";
    loadThroughMenu(stl);
    std::ofstream(scratchFile("s.json").toStdString()) << R"({"shape": "sphere",
        "method": "gauss", "parameters": {"center": [5, 5, 0], "radius": 1.5}})";
    loadThroughMenu(scratchFile("s.json"));
    // Big enough that a run lasts past the first poll of its progress.
    loadThroughMenu(writeGrid("big.xyz", Vec3d(0, 0, 3), 40.0, 400));
    ASSERT_EQ(tree()->topLevelItemCount(), 5);

    const struct {
        const char* button;  // the check button clicked first (nullptr: none)
        std::vector<int> rows;
        const char* title;
        const char* text;
    } refused[] = {
        {nullptr, {0, 1}, "Normal vectors", "Please select one pointcloud only!"},
        {nullptr, {2}, "Normal vectors", "Normal vectors can be computed for pointclouds only!"},
        {nullptr, {3}, "Normal vectors", "Normal vectors can be computed for pointclouds only!"},
        {"toolButtonCurvature", {0, 4}, "Surface features", "Please select one pointcloud only!"},
        {nullptr,
         {2},
         "Surface features",
         "Surface features can be computed for pointclouds only!"},
        {nullptr,
         {3},
         "Surface features",
         "Surface features can be computed for pointclouds only!"},
        // A second click unchecks "Curvature": no algorithm is chosen.
        {"toolButtonCurvature", {0}, "Surface features", "Please select an algorithm!"},
    };
    for (const auto& r : refused) {
        if (r.button) click(panelChild(r.button));
        selectItems(r.rows);
        const Answer answer = computeAndAnswer();
        EXPECT_TRUE(answer.seen) << r.text;
        EXPECT_EQ(answer.title, r.title) << r.text;
        EXPECT_EQ(answer.text, r.text);
    }
    EXPECT_EQ(window().featuresPanel()->mode(), 0);
    for (int i : {0, 1, 4})  // the clouds (meshes and primitives have normals of their own)
        EXPECT_FALSE(object(i)->hasNormals()) << i;

    // The big cloud: normals and the local point density, then the same runs aborted at
    // their first poll leave normals and colours as these made them.
    auto* big = dynamic_cast<GLObjPnts*>(object(4));
    ASSERT_TRUE(big);
    selectItems({4});
    click(panelChild("toolButtonNormals"));
    compute();
    const std::vector<alg3D::Vec3f> normals = big->getNormals();
    ASSERT_EQ(normals.size(), big->getPoints().size());
    click(panelChild("toolButtonCurvature"));
    click(panelChild("radioButtonDensity"));
    compute();
    const std::vector<alg3D::Color> colors = big->getDisplayColors();
    ASSERT_EQ(big->getCodedColors().size(), big->getPoints().size());

    click(panelChild("radioButtonExtrinsicCurvature"));
    ui::hooks().progressPolled = [](QProgressDialog* dialog) { dialog->cancel(); };
    compute();
    EXPECT_EQ(big->getDisplayColors(), colors);
    EXPECT_EQ(window().featuresPanel()->resultTable()->rowCount(), 0);
    click(panelChild("toolButtonNormals"));
    // Aborted normals keep the earlier ones, point for point.
    compute();
    ui::hooks().progressPolled = nullptr;
    ASSERT_EQ(big->getNormals().size(), normals.size());
    EXPECT_TRUE(std::equal(normals.begin(), normals.end(), big->getNormals().begin(),
                           [](const alg3D::Vec3f& a, const alg3D::Vec3f& b) {
                               return a.x == b.x && a.y == b.y && a.z == b.z;
                           }));

    // A failed run (no point number for the "Point number" kernel) shows the command's
    // critical box and changes nothing either.
    click(panelChild("toolButtonCurvature"));
    click(panelChild("radioButtonPoints"));
    auto* points = panelChild<QLineEdit>("lineEditPoints");
    click(points);
    QTest::keyClick(points, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(points, Qt::Key_Delete);
    const Answer failed = computeAndAnswer();
    EXPECT_TRUE(failed.seen);
    EXPECT_EQ(failed.title, "Surface features");
    EXPECT_EQ(failed.text, "The point number must be at least 1.");
    EXPECT_EQ(big->getDisplayColors(), colors);
}
