// The main window's geometry fit: the panel in the side column and the fit command, which
// fits the chosen function to the selected points (or to all points of the first
// selected object) on a worker thread and adds the fitted primitive to the scene.
#include <QAction>
#include <QLayout>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "ComputationRunner.h"
#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"
#include "OpenGL/GLPrimitiveFactory.h"
#include "OpenGL/glView/GLView.h"
#include "SceneData.h"
#include "UiHooks.h"
#include "alg3D/matrix/TimeMeasurement.h"
#include "commands/FitCommand.h"
#include "commands/FitRequest.h"
#include "io/FileIOInfo.h"
#include "io/TextPointWriters.h"
#include "panels/WidgetFitGeometry.h"

namespace cmd = tessaro::commands;

namespace {

// Every point of an object as plain coordinates; nothing for a primitive. Stops early
// (a million points at a time) once `abort` is set.
template <typename Cloud>
bool appendCloud(const GLBaseObject* object, std::vector<alg3D::Vec3d>& out,
                 const std::atomic<bool>& abort) {
    const auto* cloud = dynamic_cast<const Cloud*>(object);
    if (!cloud) return false;
    const auto& points = cloud->getPoints();
    out.reserve(out.size() + points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i % (1 << 20) == 0 && abort) break;
        out.push_back(alg3D::Vec3d(points[i].x, points[i].y, points[i].z));
    }
    return true;
}

void allPointsOf(const GLBaseObject* object, std::vector<alg3D::Vec3d>& out,
                 const std::atomic<bool>& abort) {
    if (appendCloud<GLObjPnts>(object, out, abort) ||
        appendCloud<GLObjPntsColored>(object, out, abort) ||
        appendCloud<GLObjPntsUniform>(object, out, abort))
        return;
    if (const auto* mesh = dynamic_cast<const GLObjSTL*>(object)) {
        out.insert(out.end(), mesh->getPoints().begin(), mesh->getPoints().end());
    }
}

}  // namespace

void MainWindow::buildFitPanel() {
    fitPanel_ = new WidgetFitGeometry(panelColumn_);
    panelColumn_->layout()->addWidget(fitPanel_);
    registerAlgorithmPanel("actionGeometryFit", fitPanel_);
    connect(fitPanel_, &WidgetFitGeometry::startComputation, this, &MainWindow::onActionCalcFit);
}

void MainWindow::onActionCalcFit() {
    alg3D::TimeMeasurement time("onActionCalcFit");
    const QString title = tr(cmd::kFitCommandTitle);
    const std::vector<GLBaseObject*> selected = objects_->selectedObjects();
    const bool primitiveFirst =
        !selected.empty() && selected.front()->getObjectType() == GLBaseObject::kPrimitive;
    if (const char* warning =
            cmd::checkFitRequest(selected.size(), primitiveFirst, fitPanel_->function())) {
        ui::warning(this, title, tr(warning));
        return;
    }
    const cmd::FitShape shape = *cmd::fitShapeFromCode(fitPanel_->function());

    // The selected points of every visible object, else the whole first selected object
    // (gathered on the worker below).
    std::vector<const GLBaseObject*> sources;
    for (const auto& object : view_->scene().objects())
        if (object->isVisible() && object->getSelectedCount() > 0) sources.push_back(object.get());
    const GLBaseObject* whole = selected.front();
    std::vector<alg3D::Vec3d> points;
    const auto gather = [&](const std::atomic<bool>& abort) {
        std::vector<alg3D::Vec3d> part;
        for (const GLBaseObject* object : sources) {
            if (abort) return;
            object->getSelection(part);
            points.insert(points.end(), part.begin(), part.end());
        }
        if (points.empty()) allPointsOf(whole, points, abort);
        if (abort) return;
        if (settings_.saveLastSel) {
            tessaro::io::FileIOInfo info;
            info.fileName = cmd::kLastSelectionFile;
            tessaro::io::writeXyz(info, points);
        }
    };

    cmd::FitOptions options = fitPanel_->options();
    options.threads = processors_;
    fitPanel_->resultTable()->setResultText(QString());
    fitPanel_->resultTable()->setRowCount(0);
    std::printf("%s", cmd::fitConsoleHeader(selected.front()->getName(), shape).c_str());

    cmd::FitResult result;
    runComputation(
        title, {},
        [&](ProgressWait& wait) {
            if (runOnWorker(gather, wait.callback()) != cmd::JobStatus::kCompleted)
                return cmd::JobStatus::kAborted;
            try {
                const cmd::JobStatus status =
                    cmd::runFitCommand(shape, points, options, result, wait.callback());
                // An "Abort" pressed while a short run ended between two polls still
                // counts: the user asked for no result.
                return wait.wasCanceled() ? cmd::JobStatus::kAborted : status;
            } catch (const cmd::NotEnoughPointsError& e) {
                ui::warning(this, tr(cmd::fitTitle(shape)), tr(e.what()));
                return cmd::JobStatus::kAborted;
            }
        },
        [&] {
            std::printf("%s", result.console.c_str());
            std::fflush(stdout);
            const bool added = runGuarded(this, title, [&] {
                view_->makeCurrent();
                std::unique_ptr<GLBaseObject> primitive;
                try {
                    primitive =
                        makePrimitiveObject(result, points.data(), points.data() + points.size());
                } catch (...) {
                    view_->doneCurrent();
                    throw;
                }
                view_->doneCurrent();
                objects_->addObject(std::move(primitive));
            });
            if (!added) return;
            const QString duration = QString("%2 (%1)")
                                         .arg(QString::fromStdString(time.elapsedText()))
                                         .arg(QString::fromStdString(result.run.duration));
            fitPanel_->resultTable()->setResultText(QString::fromStdString(result.infoText()) +
                                                    "\nduration: " + duration);
            // The point selection of every selected object goes (the view keeps its count).
            view_->clearSelection();
            objects_->updateObjectInfo();
            view_->setFocus();
        });
}
