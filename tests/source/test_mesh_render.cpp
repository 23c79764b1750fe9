// What the view draws for meshes and lit clouds, in real pixels: the edge overlay darkens
// the edges against the face interiors, edges only leaves the interiors to the
// background (and clouds untouched), a mesh with alpha 100 lets the background through by
// exactly its opacity, and a sphere cloud with normals is bright where its normals face
// the lights and dark where they are perpendicular to them. A binary STL mesh loaded in
// the window is merged, drawn and shown with its edges (build/test-artifacts/).
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <memory>

#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "MeshTestSupport.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"
#include "OpenGL/glView/GLView.h"

namespace {

using alg3D::Color;
using alg3D::Vec3d;

const QColor kBackground(40, 60, 90);

// The square [-1, 1]² at z = 0 in n x n cells, two counter-clockwise triangles each.
std::vector<Vec3d> gridSoup(int n) {
    std::vector<Vec3d> soup;
    auto at = [n](int i, int j) { return Vec3d(-1 + 2.0 * i / n, -1 + 2.0 * j / n, 0); };
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            soup.insert(soup.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            soup.insert(soup.end(), {at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
    return soup;
}

int brightness(const QColor& c) {
    return c.red() + c.green() + c.blue();
}

class MeshRenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view = std::make_unique<GLView>();
        view->resize(400, 400);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->setBackground(kBackground, kBackground);
        view->scene().setShowAxes(false);
        QApplication::processEvents();
    }

    GLObjSTL* addMesh(std::vector<Vec3d> soup, const Color& color) {
        view->makeCurrent();
        auto mesh = std::make_unique<GLObjSTL>();
        mesh->setTriangles(std::move(soup));
        mesh->setColor(color);
        mesh->setSelected(false);  // no bounding box over the pixels
        GLObjSTL* raw = mesh.get();
        view->scene().addObject(std::move(mesh));
        view->doneCurrent();
        return raw;
    }

    QImage frame() { return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }

    // Pixel of a scene point.
    QColor pixelOf(const QImage& image, const Vec3d& p) {
        Vec3d w;
        EXPECT_TRUE(view->camera().project(p, w));
        return image.pixelColor(int(std::floor(w.x)), image.height() - 1 - int(std::floor(w.y)));
    }

    static bool near(const QColor& a, const QColor& b, int tol) {
        return std::abs(a.red() - b.red()) <= tol && std::abs(a.green() - b.green()) <= tol &&
               std::abs(a.blue() - b.blue()) <= tol;
    }

    // Points on grid lines (between vertices) and in the middle of triangles.
    static std::vector<Vec3d> edgePoints() {
        return {Vec3d(-0.5, 0.25, 0), Vec3d(0, -0.75, 0), Vec3d(0.25, 0.5, 0),
                Vec3d(0.75, -0.25, 0), Vec3d(0.25, 0.25, 0)};  // the last on a diagonal
    }
    static std::vector<Vec3d> interiorPoints() {
        return {Vec3d(-0.5 + 0.5 * 2 / 3, -0.5 + 0.5 / 3, 0), Vec3d(0.5 / 3, 0.5 * 2 / 3, 0),
                Vec3d(0.5 + 0.5 / 3, -1 + 0.5 * 2 / 3, 0)};
    }

    std::unique_ptr<GLView> view;
};

TEST_F(MeshRenderTest, EdgeOverlayDarkensEdgesAndEdgesOnlyDropsTheFaces) {
    addMesh(gridSoup(4), Color(255, 160, 40));
    view->fit2view(GLCamera::kFront);

    view->scene().setEdgeDrawMode(0);
    const QImage plain = frame();
    view->scene().setEdgeDrawMode(2);
    const QImage overlay = frame();
    EXPECT_TRUE(overlay.save(guitest::artifactPath("scene-mesh-grid-overlay.png")));
    view->scene().setEdgeDrawMode(1);
    const QImage edgesOnly = frame();
    EXPECT_TRUE(edgesOnly.save(guitest::artifactPath("scene-mesh-grid-edges-only.png")));

    for (const Vec3d& inside : interiorPoints()) {
        const QColor face = pixelOf(plain, inside);
        EXPECT_FALSE(near(face, kBackground, 10)) << "the mesh is drawn";
        // Overlay: the interior mixes a third of the object colour into the lit colour.
        EXPECT_GT(brightness(pixelOf(overlay, inside)), brightness(face));
        EXPECT_TRUE(near(pixelOf(edgesOnly, inside), kBackground, 1))
            << pixelOf(edgesOnly, inside).name().toStdString();
    }
    const QColor interior = pixelOf(overlay, interiorPoints()[0]);
    for (const Vec3d& edge : edgePoints()) {
        const QColor e = pixelOf(overlay, edge);
        EXPECT_LT(brightness(e), brightness(interior) * 2 / 3)
            << e.name().toStdString() << " against " << interior.name().toStdString();
        EXPECT_FALSE(near(pixelOf(edgesOnly, edge), kBackground, 10)) << "edge kept";
    }
}

TEST_F(MeshRenderTest, EdgeModesLeaveCloudsAlone) {
    addMesh(gridSoup(2), Color(255, 160, 40));
    view->makeCurrent();
    auto cloud = std::make_unique<GLObjPnts>();
    cloud->setPoints({Vec3d(0.5, 0.5, 0.5), Vec3d(-0.5, -0.5, 0.5)});
    cloud->setColor(Color(0, 255, 0));
    cloud->setSelected(false);
    view->scene().addObject(std::move(cloud));
    view->doneCurrent();
    view->setPointSize(5);
    view->fit2view(GLCamera::kFront);
    for (int mode : {1, 2}) {
        view->scene().setEdgeDrawMode(mode);
        const QImage image = frame();
        EXPECT_EQ(pixelOf(image, Vec3d(0.5, 0.5, 0.5)), QColor(0, 255, 0)) << mode;
        EXPECT_EQ(pixelOf(image, Vec3d(-0.5, -0.5, 0.5)), QColor(0, 255, 0)) << mode;
    }
}

TEST_F(MeshRenderTest, TranslucentMeshBlendsWithTheBackgroundByItsOpacity) {
    GLObjSTL* mesh = addMesh(gridSoup(2), Color(255, 255, 255));
    view->fit2view(GLCamera::kFront);
    const QImage opaque = frame();
    mesh->setAlpha(100);
    const QImage blended = frame();
    for (const Vec3d& p : interiorPoints()) {
        const QColor o = pixelOf(opaque, p), b = pixelOf(blended, p);
        const double a = 100.0 / 255.0;
        const QColor expected(int(std::lround(a * o.red() + (1 - a) * kBackground.red())),
                              int(std::lround(a * o.green() + (1 - a) * kBackground.green())),
                              int(std::lround(a * o.blue() + (1 - a) * kBackground.blue())));
        EXPECT_TRUE(near(b, expected, 2))
            << b.name().toStdString() << " expected " << expected.name().toStdString();
        EXPECT_FALSE(near(b, o, 10));
    }
}

TEST_F(MeshRenderTest, CloudWithNormalsIsLitBrightTowardsTheLights) {
    // A dense sphere of points with radial normals, seen from the front: the eye looks
    // along -z, the lights shine along y and z.
    const int n = 200000;
    std::vector<Vec3d> pts;
    std::vector<alg3D::Vec3f> normals;
    for (int i = 0; i < n; ++i) {
        const double z = 1 - 2 * (i + 0.5) / n, r = std::sqrt(1 - z * z);
        const double phi = i * M_PI * (3 - std::sqrt(5.0));
        const Vec3d p(r * std::cos(phi), r * std::sin(phi), z);
        pts.push_back(p);
        normals.push_back(alg3D::Vec3f(float(p.x), float(p.y), float(p.z)));
    }
    view->makeCurrent();
    auto cloud = std::make_unique<GLObjPnts>();
    cloud->setPoints(std::move(pts));
    cloud->setNormals(std::move(normals));
    cloud->setColor(Color(200, 200, 200));
    cloud->setSelected(false);
    GLObjPnts* raw = cloud.get();
    view->scene().addObject(std::move(cloud));
    view->doneCurrent();
    ASSERT_TRUE(raw->hasNormals());
    view->setPointSize(3);
    view->fit2view(GLCamera::kFront);
    const QImage image = frame();
    EXPECT_TRUE(image.save(guitest::artifactPath("scene-cloud-lit-sphere.png")));

    const int facing = brightness(pixelOf(image, Vec3d(0, 0, 1)));       // normal along z
    const int top = brightness(pixelOf(image, Vec3d(0, 0.97, 0.24)));    // mostly along y
    const int side = brightness(pixelOf(image, Vec3d(-0.97, 0, 0.24)));  // mostly along x
    EXPECT_GT(facing, 2 * side) << facing << " " << side;
    EXPECT_GT(top, 2 * side) << top << " " << side;
    // Without normals the same cloud is flat: one colour everywhere.
    view->makeCurrent();
    raw->setNormals({});
    view->doneCurrent();
    const QImage flat = frame();
    EXPECT_EQ(pixelOf(flat, Vec3d(0, 0, 1)), QColor(200, 200, 200));
    EXPECT_EQ(pixelOf(flat, Vec3d(-0.97, 0, 0.24)), QColor(200, 200, 200));
}

TEST(MeshWindowTest, LoadedStlIsMergedDrawnAndShownWithItsEdges) {
    guitest::TempDir dir;
    const int rings = 60, sectors = 120;  // 14,160 triangles, 7,082 vertices
    meshtest::writeBinaryStl(dir.file("sphere.stl"),
                             meshtest::sphereSoup(Vec3d(0, 0, 0), 1.0, rings, sectors));
    guitest::DialogRecorder recorder;
    MainWindow window(nullptr, dir.qfile("settings.ini"));
    window.resize(1130, 890);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.setPendingFiles({dir.qfile("sphere.stl")});
    window.on_actionLoadFile_triggered();
    EXPECT_TRUE(recorder.messages.empty());
    const auto& objects = window.view()->scene().objects();
    ASSERT_EQ(objects.size(), 1u);
    auto* mesh = dynamic_cast<GLObjSTL*>(objects[0].get());
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->triangleCount(), std::size_t(2 * sectors * (rings - 1)));
    EXPECT_EQ(mesh->getPoints().size(), std::size_t((rings - 1) * sectors + 2));
    EXPECT_EQ(mesh->getInfo().rfind("points: 7082\ntriangles: 14160\ndx: 2.000000\n", 0), 0u)
        << mesh->getInfo();

    // The view bar's two edge actions: at most one checked, none is the plain surface.
    QAction *overlay = nullptr, *only = nullptr;
    for (QAction* a : window.findChildren<QAction*>()) {
        if (a->text() == "Edge overlay") overlay = a;
        if (a->text() == "Edge only") only = a;
    }
    ASSERT_NE(overlay, nullptr);
    ASSERT_NE(only, nullptr);
    EXPECT_EQ(overlay->toolTip(), "Show polygon edges as overlay");
    EXPECT_EQ(only->toolTip(), "Show polygon edges only");
    GLScene& scene = window.view()->scene();
    EXPECT_EQ(scene.edgeDrawMode(), 0);
    only->trigger();
    EXPECT_EQ(scene.edgeDrawMode(), 1);
    overlay->trigger();
    EXPECT_EQ(scene.edgeDrawMode(), 2);
    EXPECT_FALSE(only->isChecked());
    overlay->trigger();
    EXPECT_EQ(scene.edgeDrawMode(), 0);
    overlay->trigger();

    window.view()->fit2view(GLCamera::kObliqueA);
    const QImage image = window.view()->grabFramebuffer();
    EXPECT_TRUE(image.save(guitest::artifactPath("scene-mesh-overlay.png")));
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    const QColor corner = image.pixelColor(5, image.height() / 2);
    EXPECT_NE(centre, corner) << "the sphere covers the middle of the view";

    // A click's question to the mesh: the closest point of its surface.
    const Vec3d onSurface = mesh->nearestPoint(Vec3d(0, 0, 3));
    EXPECT_NEAR(onSurface.z, 1.0, 1e-12);
    window.view()->makeCurrent();
    scene.clearObjects();  // no question on close
}

}  // namespace
