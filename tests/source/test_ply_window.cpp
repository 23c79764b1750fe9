// PLY files through the window's load and save: a coloured cloud with normals becomes a
// coloured cloud object, a file with faces a mesh object with the file's own vertices.
#include <gtest/gtest.h>

#include <QTest>
#include <cmath>
#include <memory>
#include <vector>

#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"
#include "OpenGL/glView/GLView.h"
#include "io/PlyReader.h"
#include "io/PlyWriter.h"

namespace {

using alg3D::Vec3d;

// A closed sphere of radius 1 as an indexed mesh: rings of quads between two poles.
tessaro::io::PlyData sphereMesh(int rings, int segments) {
    tessaro::io::PlyData mesh;
    const double pi = std::acos(-1.0);
    mesh.vertices.emplace_back(0, 0, 1);
    for (int r = 1; r < rings; ++r) {
        const double theta = pi * r / rings;
        for (int s = 0; s < segments; ++s) {
            const double phi = 2 * pi * s / segments;
            mesh.vertices.emplace_back(std::sin(theta) * std::cos(phi),
                                       std::sin(theta) * std::sin(phi), std::cos(theta));
        }
    }
    mesh.vertices.emplace_back(0, 0, -1);
    const std::uint64_t south = mesh.vertices.size() - 1;
    auto at = [&](int r, int s) { return std::uint64_t(1 + (r - 1) * segments + (s % segments)); };
    auto triangle = [&](std::uint64_t a, std::uint64_t b, std::uint64_t c) {
        mesh.triangles.insert(mesh.triangles.end(), {a, b, c});
    };
    for (int s = 0; s < segments; ++s) {
        triangle(0, at(1, s), at(1, s + 1));
        for (int r = 1; r + 1 < rings; ++r) {
            triangle(at(r, s), at(r + 1, s), at(r + 1, s + 1));
            triangle(at(r, s), at(r + 1, s + 1), at(r, s + 1));
        }
        triangle(at(rings - 1, s), south, at(rings - 1, s + 1));
    }
    mesh.hasFaces = true;
    return mesh;
}

class PlyWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>(nullptr, dir.qfile("settings.ini"));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        recorder.answer = true;
        window.reset();
    }
    const std::vector<std::unique_ptr<GLBaseObject>>& objects() {
        return window->view()->scene().objects();
    }

    guitest::TempDir dir;
    guitest::DialogRecorder recorder;
    std::unique_ptr<MainWindow> window;
};

TEST_F(PlyWindowTest, LoadsAColouredCloudAndAMeshAndSavesTheMeshAgain) {
    tessaro::io::PlyData cloud;
    for (int i = 0; i < 50; ++i) {
        cloud.vertices.emplace_back(1.3 + 0.02 * i, 0.0004 * i * i - 0.5, 0.3);
        cloud.colors.emplace_back(static_cast<unsigned char>(5 * i), 200, 17);
        cloud.normals.emplace_back(0.0f, 0.0f, 1.0f);
    }
    cloud.scalars.push_back(
        {"intensity", tessaro::io::PlyType::kUint16, std::vector<double>(50, 900.0)});
    const tessaro::io::PlyData sphere = sphereMesh(16, 32);
    tessaro::io::FileIOInfo info;
    info.fileName = dir.file("cloud.ply");
    tessaro::io::writePly(info, tessaro::io::plySourceOf(cloud));
    info.fileName = dir.file("sphere.PLY");
    tessaro::io::writePly(info, tessaro::io::plySourceOf(sphere));

    window->setPendingFiles({dir.qfile("cloud.ply"), dir.qfile("sphere.PLY")});
    window->on_actionLoadFile_triggered();
    EXPECT_TRUE(recorder.messages.empty()) << recorder.messages.front().text.toStdString();
    ASSERT_EQ(objects().size(), 2u);

    auto* colored = dynamic_cast<GLObjPntsColored*>(objects()[0].get());
    ASSERT_NE(colored, nullptr);
    EXPECT_EQ(colored->getName(), "cloud.ply");
    ASSERT_EQ(colored->getPoints().size(), 50u);
    EXPECT_EQ(colored->getPoints()[7].vec(), cloud.vertices[7]);
    EXPECT_EQ(colored->getPoints()[7].color(), cloud.colors[7]);
    EXPECT_TRUE(colored->hasNormals());

    auto* mesh = dynamic_cast<GLObjSTL*>(objects()[1].get());
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->getName(), "sphere.PLY");
    EXPECT_EQ(mesh->triangleCount(), sphere.triangles.size() / 3);
    const std::vector<Vec3d> corners = mesh->corners();
    ASSERT_EQ(corners.size(), sphere.triangles.size());
    for (std::size_t i = 0; i < corners.size(); ++i)
        ASSERT_EQ(corners[i], sphere.vertices[sphere.triangles[i]]) << i;

    // Large points, so that the 50 points of the cloud show their colours next to the sphere.
    window->view()->setPointSize(8);
    window->view()->fit2view(GLCamera::kObliqueA);
    const QImage image = window->view()->grabFramebuffer();
    EXPECT_TRUE(image.save(guitest::artifactPath("ply-sphere-mesh-and-coloured-cloud.png")));
    const QRgb background = image.pixel(5, 5);
    int covered = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            covered += image.pixel(x, y) != background;
    EXPECT_GT(covered, image.width() * image.height() / 16 / 20)
        << "the sphere fills part of the view";
    int green = 0;  // the cloud's own colours (green to olive), which the sphere lacks
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            green += c.green() > 100 && c.green() > c.red() + 40 && c.green() > c.blue() + 60;
        }
    EXPECT_GT(green, 200) << "the coloured cloud shows in its colours";

    // Saved as PLY, the mesh comes back with the same vertices (each once) and triangles.
    mesh->setSelected(true);
    recorder.saveName = dir.qfile("again.ply");
    window->on_actionSaveFile_triggered();
    EXPECT_TRUE(recorder.messages.empty());
    const tessaro::io::PlyData back = tessaro::io::readPlyFile(dir.file("again.ply"));
    EXPECT_EQ(back.vertices.size(), sphere.vertices.size());
    ASSERT_EQ(back.triangles.size(), sphere.triangles.size());
    for (std::size_t i = 0; i < back.triangles.size(); ++i)
        ASSERT_EQ(back.vertices[back.triangles[i]], sphere.vertices[sphere.triangles[i]]);
}

TEST_F(PlyWindowTest, ABrokenPlyFileSaysWhyAndAddsNothing) {
    guitest::writeText(dir.file("broken.ply"),
                       "ply\nformat binary_little_endian 1.0\nelement vertex 1000000\n"
                       "property float x\nproperty float y\nproperty float z\nend_header\n");
    window->setPendingFiles({dir.qfile("broken.ply")});
    window->on_actionLoadFile_triggered();
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Load data");
    EXPECT_EQ(recorder.messages[0].text, "ALG3D::unknown file format.\n");
    EXPECT_TRUE(objects().empty());
}

}  // namespace
