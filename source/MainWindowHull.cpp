// The algorithm bar's Convex Hull: the hull of the one selected cloud becomes a mesh.
#include <QAction>
#include <atomic>

#include "ComputationRunner.h"
#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"
#include "OpenGL/glView/GLView.h"
#include "UiHooks.h"
#include "commands/HullCommand.h"

namespace cmd = tessaro::commands;

void MainWindow::buildHullCommand() {
    if (auto* action = findChild<QAction*>("actionConvexHull")) {
        action->setEnabled(true);
        action->setToolTip(
            tr("Convex Hull<hr>The convex hull of the selected point cloud "
               "becomes a new mesh object."));
        connect(action, &QAction::triggered, this, &MainWindow::onActionComputeConvexHull);
    }
}

void MainWindow::onActionComputeConvexHull() {
    const QString title = tr(cmd::kHullTitle);
    GLBaseObject* cloud = singleCloudFor(title, cmd::kHullCloudsOnly);
    if (!cloud) return;
    const std::vector<alg3D::Vec3d>* plain = nullptr;
    const std::vector<alg3D::GLPoint>* colored = nullptr;
    if (auto* c = dynamic_cast<GLObjPnts*>(cloud)) plain = &c->getPoints();
    if (auto* c = dynamic_cast<GLObjPntsColored*>(cloud)) colored = &c->getPoints();
    if (auto* c = dynamic_cast<GLObjPntsUniform*>(cloud)) colored = &c->getPoints();
    if (!plain && !colored) return;  // singleCloudFor let only these kinds through

    // The hull runs on a worker behind the progress dialog, so the window keeps drawing;
    // "Abort" stops the build at its next check and drops the result.
    cmd::HullResult result;
    runComputation(
        title, {},
        [&](ProgressWait& wait) {
            std::atomic<bool> abortAsked{false};
            const cmd::JobHooks hooks{[] { return 50.0f; }, [&abortAsked] { abortAsked = true; }};
            const std::string name = cloud->getName();
            const alg3D::Color color = cloud->getColor();
            const cmd::JobStatus status = cmd::runJob(
                [&] {
                    result = plain ? cmd::runHullCommand(*plain, name, color, &abortAsked)
                                   : cmd::runHullCommand(*colored, name, color, &abortAsked);
                },
                hooks, wait.callback());
            if (abortAsked || wait.wasCanceled() || result.aborted) return cmd::JobStatus::kAborted;
            return status;
        },
        [&] {
            const QString info = QString::fromStdString(result.infoText());
            view_->makeCurrent();
            auto mesh = std::make_unique<GLObjSTL>();
            mesh->setMesh(std::move(result.vertices), std::move(result.indices));
            mesh->setName(result.name);
            mesh->setColor(result.color);
            view_->doneCurrent();
            objects_->addObject(std::move(mesh));
            view_->scene().updateBoundingBox();
            view_->update();
            ui::message(this, QMessageBox::Information, title, info);
        });
}
