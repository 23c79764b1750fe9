// The view bar as a user drives it: Perspective switches the projection and the
// Orthographic setting, the six standard views turn the camera to their directions,
// Fit to Window brings a cloud moved out of sight back, and Screenshot writes the view
// as PNG or BMP where the user says.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cmath>

#include "UserJourney.h"

namespace {

using alg3D::Vec3d;
using namespace journey;

QToolBar* viewBar() {
    return bar("viewBar");
}
void clickView(const char* text) {
    QAction* a = actionByText(viewBar(), text);
    ASSERT_TRUE(a) << text;
    click(buttonOf(viewBar(), a));
}
// The camera's rotation (the upper 3 x 3 of the model view).
alg3D::Matrix4x4d rotationOf(const alg3D::Matrix4x4d& m) {
    alg3D::Matrix4x4d r = alg3D::Matrix4x4d::identity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r(i, j) = m(i, j);
    return r;
}

}  // namespace

TEST(ViewJourney, ProjectionStandardViewsFitAndScreenshots) {
    loadThroughMenu(writeGrid("plate.xyz", Vec3d(10, 20, 5), 40.0, 30));
    if (!action("tbActionView")->isChecked())
        click(buttonOf(bar("toolBarMain"), action("tbActionView")));
    ASSERT_TRUE(viewBar()->isVisible());
    GLCamera& camera = window().view()->camera();

    // Perspective: a checked button is a perspective camera; the setting follows.
    const bool ortho = camera.isOrthographic();
    clickView("Perspective");
    EXPECT_EQ(camera.isOrthographic(), !ortho);
    EXPECT_EQ(window().settings().orthographic, !ortho);
    clickView("Perspective");
    EXPECT_EQ(camera.isOrthographic(), ortho);
    EXPECT_EQ(window().settings().orthographic, ortho);

    // The standard views in their order, each looking at the whole plate.
    const struct {
        const char* text;
        GLCamera::enViewDir dir;
    } views[] = {{"Front", GLCamera::kFront}, {"Back", GLCamera::kBack},
                 {"Left", GLCamera::kLeft},   {"Right", GLCamera::kRight},
                 {"Top", GLCamera::kTop},     {"Bottom", GLCamera::kBottom}};
    for (const auto& v : views) {
        clickView(v.text);
        const alg3D::Matrix4x4d expected = GLCamera::viewRotation(v.dir);
        const alg3D::Matrix4x4d seen = rotationOf(camera.modelView());
        double worst = 0.0;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                worst = std::max(worst, std::abs(seen(i, j) - expected(i, j)));
        EXPECT_LT(worst, 1e-9) << v.text;
    }

    // Panned far away, Fit to Window brings the plate's centre back into the view.
    clickView("Front");
    GLView* view = window().view();
    drag(view, QPoint(5, view->height() / 2), QPoint(view->width() - 5, view->height() / 2),
         Qt::ControlModifier);
    const QPoint centre = viewPosition(Vec3d(30, 40, 5));
    ASSERT_FALSE(view->rect().contains(centre)) << "the pan did not move the plate away";
    clickView("Fit to Window");
    const QPoint back = viewPosition(Vec3d(30, 40, 5));
    EXPECT_LT((back - view->rect().center()).manhattanLength(), 3) << back.x() << "," << back.y();

    // Screenshots: the suffix picks the format; the picture is the view's size.
    for (const char* name : {"shot.png", "shot.bmp"}) {
        const QString path = scratchFile(name);
        whenModal<QFileDialog>([path](QFileDialog* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Save Screenshot");
            typeIntoFileDialog(dialog, path);
        });
        clickView("Screenshot");
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), QByteArray(name).mid(5)) << name;
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), view->size() * view->devicePixelRatioF()) << name;
    }
    EXPECT_EQ(window().settings().saveSnapShot, QFileInfo(scratchFile("shot.png")).absolutePath());
}
