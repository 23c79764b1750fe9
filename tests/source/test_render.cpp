// What the view really draws: the frame buffer is grabbed and its pixels compared with
// where the camera says points must be. Also the upload of a 10-million-point cloud, a
// cloud in survey coordinates (no single-precision jitter), and screenshots of the sample
// scene under build/test-artifacts/ for a person to look at.
#include <gtest/gtest.h>

#include <QImage>
#include <QOpenGLFunctions_3_3_Core>
#include <QProcess>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/glView/GLView.h"

namespace {

using alg3D::Color;
using alg3D::Vec3d;

const QColor kTop(20, 40, 160), kBottom(180, 140, 30);
const Color kCloud(255, 0, 255);

class RenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view = std::make_unique<GLView>();
        view->resize(400, 300);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->setBackground(kTop, kBottom);
        view->scene().setShowAxes(false);
        QApplication::processEvents();
    }

    GLObjPnts* addCloud(std::vector<Vec3d> points, const Color& color) {
        view->makeCurrent();
        auto cloud = std::make_unique<GLObjPnts>();
        cloud->setPoints(std::move(points));
        cloud->setColor(color);
        GLObjPnts* raw = cloud.get();
        view->scene().addObject(std::move(cloud));
        view->doneCurrent();
        return raw;
    }

    QImage frame() { return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32); }

    // Pixel of a window position with rows counted from the bottom.
    static QColor at(const QImage& image, double x, double y) {
        return image.pixelColor(int(std::floor(x)), image.height() - 1 - int(std::floor(y)));
    }

    static bool near(const QColor& a, const QColor& b, int tol) {
        return std::abs(a.red() - b.red()) <= tol && std::abs(a.green() - b.green()) <= tol &&
               std::abs(a.blue() - b.blue()) <= tol;
    }

    // Background expected at a row: the gradient from bottom to top.
    static QColor background(double row, int height) {
        const double t = (std::floor(row) + 0.5) / height;
        return QColor(int(std::lround(kBottom.red() + t * (kTop.red() - kBottom.red()))),
                      int(std::lround(kBottom.green() + t * (kTop.green() - kBottom.green()))),
                      int(std::lround(kBottom.blue() + t * (kTop.blue() - kBottom.blue()))));
    }

    // Every grid point is drawn in the cloud colour where the camera projects it, and the
    // pixels half-way between neighbours show the background.
    void checkGrid(const std::vector<Vec3d>& points, double spacingX, double spacingY) {
        const QImage image = frame();
        ASSERT_EQ(image.width(), 400);
        const GLCamera& cam = view->camera();
        int drawn = 0;
        for (const Vec3d& p : points) {
            Vec3d w;
            ASSERT_TRUE(cam.project(p, w));
            if (w.x < 2 || w.y < 2 || w.x > 398 || w.y > 298) continue;
            EXPECT_EQ(at(image, w.x, w.y), QColor(kCloud.r, kCloud.g, kCloud.b))
                << "point " << p.x << "," << p.y << "," << p.z << " at " << w.x << "," << w.y;
            ++drawn;
            const double gx = w.x + spacingX / 2, gy = w.y + spacingY / 2;
            if (gx < 398 && gy < 298) {
                EXPECT_TRUE(near(at(image, gx, gy), background(gy, 300), 2))
                    << "gap at " << gx << "," << gy;
            }
        }
        EXPECT_GT(drawn, 20);
    }

    std::unique_ptr<GLView> view;
};

std::vector<Vec3d> grid(const Vec3d& origin, double spacing, int n) {
    std::vector<Vec3d> pts;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            pts.push_back(origin + Vec3d(i * spacing, j * spacing, 0));
    return pts;
}

TEST_F(RenderTest, BackgroundGradientTopAndBottom) {
    view->fit2view();
    const QImage image = frame();
    EXPECT_TRUE(near(image.pixelColor(200, 0), kTop, 2))
        << image.pixelColor(200, 0).name().toStdString();
    EXPECT_TRUE(near(image.pixelColor(200, 299), kBottom, 2));
    EXPECT_TRUE(near(image.pixelColor(10, 150), background(149.5, 300), 2));
}

TEST_F(RenderTest, PointsAppearWhereTheyProjectOrthographicAndPerspective) {
    const std::vector<Vec3d> pts = grid(Vec3d(-1, -1, 0), 0.25, 9);
    addCloud(pts, kCloud);
    view->setPointSize(3);
    view->fit2view();
    for (bool ortho : {true, false}) {
        view->camera().setOrthographic(ortho);
        SCOPED_TRACE(ortho ? "orthographic" : "perspective");
        Vec3d a, b;
        view->camera().project(pts[0], a);
        view->camera().project(pts[10], b);
        checkGrid(pts, b.x - a.x, b.y - a.y);
    }
}

TEST_F(RenderTest, StandardViewsPlaceAKnownPointWhereTheCameraSays) {
    // A small cube of points; a marked point in another colour.
    std::vector<Vec3d> cube;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            for (int k = 0; k < 2; ++k)
                cube.push_back(Vec3d(i, j, k));
    addCloud(cube, kCloud);
    addCloud({Vec3d(0.5, 0.5, 0.5)}, Color(0, 255, 0));
    view->setPointSize(5);
    for (auto dir : {GLCamera::kFront, GLCamera::kTop, GLCamera::kLeft, GLCamera::kBack}) {
        view->fit2view(dir);
        const QImage image = frame();
        Vec3d w;
        ASSERT_TRUE(view->camera().project(Vec3d(0.5, 0.5, 0.5), w));
        EXPECT_NEAR(w.x, 200, 1e-6);
        EXPECT_NEAR(w.y, 150, 1e-6);
        // Looking along an axis, no corner of the cube covers its centre.
        EXPECT_EQ(at(image, w.x, w.y), QColor(0, 255, 0)) << dir;
        ASSERT_TRUE(view->camera().project(Vec3d(1, 0, 1), w));
        EXPECT_EQ(at(image, w.x, w.y), QColor(kCloud.r, kCloud.g, kCloud.b)) << dir;
    }
}

TEST_F(RenderTest, SurveyCoordinatesDrawWithoutJitter) {
    // Spacing 0.01 around 1e6: single precision there resolves only 0.0625, so without
    // the double-precision offset the grid would collapse onto a few pixels.
    const std::vector<Vec3d> pts = grid(Vec3d(1234567.0, 7654321.0, 345.0), 0.01, 9);
    addCloud(pts, kCloud);
    view->setPointSize(3);
    view->fit2view();
    Vec3d a, b;
    view->camera().project(pts[0], a);
    view->camera().project(pts[10], b);
    EXPECT_GT(b.x - a.x, 10.0);
    checkGrid(pts, b.x - a.x, b.y - a.y);

    // Picking is exact too: the depth pick at a point's pixel returns that point.
    Vec3d w, picked;
    view->camera().project(pts[40], w);
    ASSERT_TRUE(view->pickPoint(int(w.x) - 1, int(w.y) - 1, picked));
    EXPECT_LT((picked - pts[40]).norm(), 0.01 / 4);
}

TEST_F(RenderTest, UploadOfTenMillionPointsTakesEveryTwoAndAHalfth) {
    std::vector<Vec3d> pts(10000000);
    for (std::size_t i = 0; i < pts.size(); ++i)
        pts[i] = Vec3d(double(i), 0, 0);
    GLObjPnts* cloud = addCloud(std::move(pts), kCloud);
    EXPECT_EQ(cloud->getDrawCount(), 4000000);
    view->makeCurrent();
    QOpenGLFunctions_3_3_Core* gl = cloud->glFunctions();
    ASSERT_NE(gl, nullptr);
    gl->glBindBuffer(GL_ARRAY_BUFFER, cloud->positionBuffer());
    GLint size = 0;
    gl->glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 4000000 * 12);
    std::vector<float> head(3 * 5);
    gl->glGetBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(head.size() * sizeof(float)),
                           head.data());
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    view->doneCurrent();
    const double offset = cloud->getUploadOffset().x;
    const double expected[] = {0, 2, 5, 7, 10};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(head[3 * i] + offset, expected[i]) << i;
}

TEST(SampleScreenshotTest, FrontAndTopViewsOfTheSample) {
    // The bundled sample, made by the same script as for `make run`, smaller here.
    guitest::TempDir dir;
    const QString script = QString(TESSARO_SOURCE_DIR) + "/scripts/make-sample.py";
    const QString sample = dir.qfile("sample_part.xyz");
    ASSERT_EQ(QProcess::execute("python3", {script, sample, "120000"}), 0);
    guitest::DialogRecorder recorder;
    MainWindow window(nullptr, dir.qfile("settings.ini"));
    window.resize(1130, 890);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.setPendingFiles({sample});
    window.on_actionLoadFile_triggered();
    ASSERT_EQ(window.view()->scene().objects().size(), 1u);
    window.view()->setPointSize(2);
    int n = 0;
    for (auto dir : {GLCamera::kFront, GLCamera::kTop, GLCamera::kObliqueA}) {
        window.view()->fit2view(dir);
        const QImage image = window.view()->grabFramebuffer();
        const char* names[] = {"sample-front.png", "sample-top.png", "sample-oblique.png"};
        EXPECT_TRUE(image.save(guitest::artifactPath(names[n++])));
        // Something other than the background is drawn in the middle of the picture.
        const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
        const Color c = window.view()->scene().objects()[0]->getColor();
        int hits = 0;
        for (int y = image.height() / 4; y < 3 * image.height() / 4; y += 4)
            for (int x = image.width() / 4; x < 3 * image.width() / 4; x += 4)
                hits += image.pixelColor(x, y) == QColor(c.r, c.g, c.b);
        EXPECT_GT(hits, 100) << centre.name().toStdString();
    }
    window.view()->makeCurrent();
    window.view()->scene().clearObjects();  // no question on close
}

}  // namespace
