// Primitive objects in the view and in the window: the pixels of a drawn sphere and
// cylinder where the camera projects them (and the background elsewhere), a screenshot
// of primitives over the point clouds they were fitted to, and a fit result file
// loaded into the window (a bad one leaves the scene as it was).
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <cmath>
#include <functional>
#include <memory>
#include <random>

#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "OpenGL/GLObjFlatPrimitives.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSolidPrimitives.h"
#include "OpenGL/glView/GLView.h"

namespace {

using alg3D::Vec3d;

constexpr double kPi = 3.141592653589793;
const QColor kBackground(40, 40, 40);

class PrimitiveRenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view = std::make_unique<GLView>();
        view->scene().setShowAxes(false);
    }

    void showView(int w, int h) {
        view->resize(w, h);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        QApplication::processEvents();
    }

    template <class T>
    T* add(std::unique_ptr<T> object) {
        T* raw = object.get();
        view->scene().addObject(std::move(object));
        return raw;
    }

    QColor pixel(const QImage& image, const Vec3d& p) {
        Vec3d w;
        EXPECT_TRUE(view->camera().project(p, w));
        return image.pixelColor(int(w.x), image.height() - 1 - int(w.y));
    }

    std::unique_ptr<GLView> view;
};

TEST_F(PrimitiveRenderTest, SphereAndCylinderDrawWhereTheyProjectAndNothingElse) {
    showView(400, 300);
    view->setBackground(kBackground, kBackground);
    view->makeCurrent();
    auto sphere = std::make_unique<GLObjSphere>();
    sphere->setSphere(Vec3d(-1.2, 0, 0), 1);
    add(std::move(sphere));
    auto cylinder = std::make_unique<GLObjCylinder>();
    cylinder->setCylinder(Vec3d(1.5, 0, 0), Vec3d(0, 1, 0), 0.6, Vec3d(1.5, -1, 0), 2);
    add(std::move(cylinder));
    view->doneCurrent();
    view->fit2view(GLCamera::kFront);
    const QImage image = view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(image.save(guitest::artifactPath("primitives-sphere-cylinder.png")));

    // Yellow sphere, green cylinder, both blended over the dark background.
    for (const Vec3d& p : {Vec3d(-1.2, 0, 0), Vec3d(-1.6, 0.5, 0), Vec3d(-0.6, -0.4, 0)}) {
        const QColor c = pixel(image, p);
        EXPECT_GT(c.red(), c.blue() + 25) << p.x << "," << p.y;
        EXPECT_GT(c.green(), c.blue() + 25) << p.x << "," << p.y;
        EXPECT_LT(std::abs(c.red() - c.green()), 12) << p.x << "," << p.y;
    }
    for (const Vec3d& p : {Vec3d(1.5, 0, 0), Vec3d(1.2, 0.8, 0), Vec3d(1.9, -0.8, 0)}) {
        const QColor c = pixel(image, p);
        EXPECT_GT(c.green(), c.red() + 25) << p.x << "," << p.y;
        EXPECT_GT(c.green(), c.blue() + 25) << p.x << "," << p.y;
    }
    // Between and beside them, and above the cylinder's top rim: the background.
    for (const Vec3d& p : {Vec3d(0.35, 0, 0), Vec3d(-1.2, 1.3, 0), Vec3d(1.5, 1.3, 0),
                           Vec3d(2.4, 0, 0), Vec3d(-1.2, -1.3, 0)}) {
        const QColor c = pixel(image, p);
        EXPECT_EQ(c, kBackground) << p.x << "," << p.y << ": " << c.name().toStdString();
    }
    view->makeCurrent();
    view->scene().clearObjects();
    view->doneCurrent();
}

TEST_F(PrimitiveRenderTest, ClickOnAPrimitiveSelectsIt) {
    // Opaque, so that they write the depth the pick reads; away from the origin, so that
    // a closest point placed twice would land far off.
    showView(400, 300);
    view->makeCurrent();
    auto sphere = std::make_unique<GLObjSphere>();
    sphere->setSphere(Vec3d(10, 0, 0), 1);
    sphere->setAlpha(255);
    GLObjSphere* s = add(std::move(sphere));
    auto cylinder = std::make_unique<GLObjCylinder>();
    cylinder->setCylinder(Vec3d(13, 0, 0), Vec3d(0, 1, 0), 1, Vec3d(13, -1, 0), 2);
    cylinder->setAlpha(255);
    GLObjCylinder* c = add(std::move(cylinder));
    view->doneCurrent();
    view->fit2view(GLCamera::kFront);
    const auto click = [&](const Vec3d& p, Qt::KeyboardModifiers modifiers) {
        view->grabFramebuffer();  // a frame whose depth the pick reads
        Vec3d w;
        ASSERT_TRUE(view->camera().project(p, w));
        const double ratio = view->devicePixelRatioF();
        QTest::mouseClick(view.get(), Qt::LeftButton, modifiers,
                          QPoint(int(w.x / ratio), view->height() - int(w.y / ratio)));
    };
    click(Vec3d(13, 0.2, 0), Qt::NoModifier);
    EXPECT_TRUE(c->isSelected());
    EXPECT_FALSE(s->isSelected());
    click(Vec3d(10, 0.3, 0), Qt::ControlModifier);
    EXPECT_TRUE(c->isSelected());
    EXPECT_TRUE(s->isSelected());
    click(Vec3d(10, -0.3, 0), Qt::NoModifier);
    EXPECT_FALSE(c->isSelected());
    EXPECT_TRUE(s->isSelected());
    view->makeCurrent();
    view->scene().clearObjects();
    view->doneCurrent();
}

// Points on a surface given by a function of two uniform numbers in [0, 1).
std::vector<Vec3d> cloudOn(int n, std::uint64_t seed,
                           const std::function<Vec3d(double, double)>& surface) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    std::normal_distribution<double> noise(0, 0.01);
    std::vector<Vec3d> pts;
    for (int i = 0; i < n; ++i)
        pts.push_back(surface(u(rng), u(rng)) + Vec3d(noise(rng), noise(rng), noise(rng)));
    return pts;
}

TEST_F(PrimitiveRenderTest, ScreenshotOfPrimitivesOverTheirClouds) {
    showView(800, 600);
    view->makeCurrent();
    const auto cloud = [&](std::vector<Vec3d> pts, const alg3D::Color& color) {
        auto c = std::make_unique<GLObjPnts>();
        c->setPoints(std::move(pts));
        c->setColor(color);
        add(std::move(c));
    };
    // Cylinder: radius 1 about the z axis through (0, 0, 0), from z = 0 to 3.
    cloud(cloudOn(1200, 1,
                  [](double u, double v) {
                      return Vec3d(std::cos(2 * kPi * u), std::sin(2 * kPi * u), 3 * v);
                  }),
          alg3D::Color(255, 255, 255));
    auto cylinder = std::make_unique<GLObjCylinder>();
    cylinder->setCylinder(Vec3d(0, 0, 1.5), Vec3d(0, 0, 1), 1, Vec3d(0, 0, 0), 3);
    add(std::move(cylinder));
    // Sphere of radius 1 at (3.5, 0, 1).
    const Vec3d sc(3.5, 0, 1);
    cloud(cloudOn(1200, 2,
                  [&](double u, double v) {
                      const double z = 2 * u - 1, r = std::sqrt(1 - z * z);
                      return sc + Vec3d(r * std::cos(2 * kPi * v), r * std::sin(2 * kPi * v), z);
                  }),
          alg3D::Color(255, 80, 80));
    auto sphere = std::make_unique<GLObjSphere>();
    sphere->setSphere(sc, 1);
    add(std::move(sphere));
    // Plane z = -0.5 under both.
    cloud(cloudOn(1200, 3, [](double u, double v) { return Vec3d(-2 + 8 * u, -3 + 6 * v, -0.5); }),
          alg3D::Color(80, 80, 255));
    auto plane = std::make_unique<GLObjPlane>();
    plane->setPlane(Vec3d(2, 0, -0.5), Vec3d(0, 0, 1), 8);
    add(std::move(plane));
    // Cone along -y from (1.5, 3.5, 0): radius 1.2 narrowing to 0.4 over 2.
    const double psi = std::atan(-0.4);
    cloud(cloudOn(1200, 4,
                  [&](double u, double v) {
                      const double s = 2 * v, r = 1.2 + s * std::tan(psi);
                      return Vec3d(1.5 + r * std::cos(2 * kPi * u), 3.5 - s,
                                   1 + r * std::sin(2 * kPi * u));
                  }),
          alg3D::Color(255, 200, 80));
    auto cone = std::make_unique<GLObjCone>();
    cone->setCone(psi, 1.2, Vec3d(1.5, 3.5, 1), Vec3d(0, -1, 0), Vec3d(1.5, 3.5, 1), 2);
    add(std::move(cone));
    view->doneCurrent();
    view->setPointSize(2);
    view->fit2view(GLCamera::kObliqueA);
    const QImage image = view->grabFramebuffer();
    EXPECT_TRUE(image.save(guitest::artifactPath("scene-primitives.png")));

    // Every primitive is drawn over the background (the gradient at the left edge).
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (const Vec3d& p : {Vec3d(0, 0, 1.5), sc, Vec3d(5, 2, -0.5), Vec3d(1.5, 2.5, 1)}) {
        Vec3d w;
        ASSERT_TRUE(view->camera().project(p, w));
        const int row = rgb.height() - 1 - int(w.y);
        EXPECT_NE(rgb.pixelColor(int(w.x), row), rgb.pixelColor(1, row))
            << p.x << "," << p.y << "," << p.z;
    }
    view->makeCurrent();
    view->scene().clearObjects();
    view->doneCurrent();
}

TEST(PrimitiveLoadTest, FitResultFileBecomesAPrimitiveAndABadOneChangesNothing) {
    guitest::TempDir dir;
    guitest::DialogRecorder recorder;
    MainWindow window(nullptr, dir.qfile("settings.ini"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    guitest::writeText(dir.file("bore.json"), R"({
  "shape": "cylinder", "method": "gauss", "points": 100, "iterations": 3,
  "max_iterations_reached": false,
  "parameters": {"point": [1, 2, 3], "direction": [0, 0, 1], "radius": 2},
  "bottom": [1, 2, -1], "height": 6, "sigma": 0.01, "mindev": -0.02, "maxdev": 0.02,
  "duration_ms": 1.5})");
    guitest::writeText(dir.file("broken.json"), "{\"shape\": \"cylinder\", ");
    guitest::writeText(dir.file("cube.json"), R"({"shape": "cube", "parameters": {}})");
    const auto& objects = window.view()->scene().objects();

    window.setPendingFiles({dir.qfile("bore.json")});
    window.on_actionLoadFile_triggered();
    EXPECT_TRUE(recorder.messages.empty());
    ASSERT_EQ(objects.size(), 1u);
    const auto* cylinder = dynamic_cast<const GLObjCylinder*>(objects[0].get());
    ASSERT_NE(cylinder, nullptr);
    EXPECT_EQ(cylinder->getName(), "bore.json");
    EXPECT_EQ(cylinder->bottom(), Vec3d(1, 2, -1));
    EXPECT_EQ(cylinder->height(), 6);
    EXPECT_EQ(cylinder->getInfo(),
              "r: 2.000000 (4.000000)\ncenter: 1.000000,2.000000,3.000000\n"
              "dir: 0.000000,0.000000,1.000000\nbottom: 1.000000,2.000000,-1.000000\n"
              "h: 6.000000\n");

    const std::pair<const char*, QString> bad[] = {
        {"broken.json", "not a fit result (invalid JSON)"},
        {"cube.json", "unknown shape \"cube\""},
    };
    for (const auto& [file, text] : bad) {
        recorder.messages.clear();
        window.setPendingFiles({dir.qfile(file)});
        window.on_actionLoadFile_triggered();
        ASSERT_EQ(recorder.messages.size(), 1u) << file;
        EXPECT_EQ(recorder.messages[0].icon, QMessageBox::Critical);
        EXPECT_EQ(recorder.messages[0].title, "Load data");
        EXPECT_EQ(recorder.messages[0].text, text);
        EXPECT_EQ(objects.size(), 1u) << file;
    }
    window.view()->makeCurrent();
    window.view()->scene().clearObjects();  // no question on close
}

}  // namespace
