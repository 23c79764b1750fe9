// The preprocess panel's commands: smoothing, thinning and region detection of the one
// selected point cloud, through the command layer on a worker behind the progress dialog.
// A completed run changes the cloud (smoothed or thinned points, region colours and the
// selection of small regions); an abort or a failure leaves it as it was.
#include <QAction>
#include <QVBoxLayout>
#include <type_traits>
#include <vector>

#include "ComputationRunner.h"
#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/glView/GLView.h"
#include "SceneData.h"
#include "UiHooks.h"
#include "commands/PointCloudCommands.h"
#include "commands/SelectionChecks.h"
#include "panels/WidgetAlgorithms.h"

namespace cmd = tessaro::commands;

namespace {

std::vector<alg3D::Vec3f> normalsOf(const GLBaseObject* object) {
    if (auto* c = dynamic_cast<const GLObjPnts*>(object)) return c->getNormals();
    if (auto* c = dynamic_cast<const GLObjPntsColored*>(object)) return c->getNormals();
    if (auto* c = dynamic_cast<const GLObjPntsUniform*>(object)) return c->getNormals();
    return {};
}

// Puts the points of `data` into the cloud, with `normals` when there is one per point.
void replaceCloudPoints(GLView* view, GLBaseObject* object, cmd::LoadedData& data,
                        std::vector<alg3D::Vec3f>&& normals) {
    view->makeCurrent();
    withCloud(object, [&](auto& cloud) {
        using Point = typename std::decay_t<decltype(cloud.getPoints())>::value_type;
        if constexpr (std::is_same_v<Point, alg3D::Vec3d>)
            cloud.setPoints(std::move(data.points));
        else
            cloud.setPoints(std::move(data.coloredPoints));
        if (!normals.empty()) cloud.setNormals(std::move(normals));
    });
    view->doneCurrent();
}

}  // namespace

void MainWindow::buildPreprocessPanel() {
    preprocessPanel_ = new WidgetAlgorithms(panelColumn_);
    panelColumn_->layout()->addWidget(preprocessPanel_);
    registerAlgorithmPanel("actionPreprocess", preprocessPanel_);
    connect(preprocessPanel_, &WidgetAlgorithms::startComputation, this,
            &MainWindow::onActionCalcSmoothing);
}

GLBaseObject* MainWindow::singleCloudFor(const QString& title, const char* notACloudText) {
    const std::vector<GLBaseObject*> selected = objects_->selectedObjects();
    const bool isCloud =
        selected.size() == 1 && selected.front()->getObjectType() == GLBaseObject::kPointCloud;
    if (const char* warning = cmd::checkSingleCloud(selected.size(), isCloud, notACloudText)) {
        ui::warning(this, title, tr(warning));
        return nullptr;
    }
    if (operandOf(selected.front()) != cmd::DistanceOperand::kPoints) {
        ui::warning(this, title, tr(cmd::kUnsupportedDataTypes));
        return nullptr;
    }
    return selected.front();
}

// The panel's "Compute": the chosen algorithm's command.
void MainWindow::onActionCalcSmoothing() {
    switch (preprocessPanel_->algorithm()) {
        case WidgetAlgorithms::kThinning:
            onActionCalcThin();
            return;
        case WidgetAlgorithms::kRegions:
            onActionCalcRegions();
            return;
        case WidgetAlgorithms::kSmoothing:
            break;
        default:
            ui::warning(this, tr(cmd::kAlgorithmsTitle), tr(cmd::kSelectAlgorithm));
            return;
    }
    const QString title = tr(cmd::kSmoothingTitle);
    GLBaseObject* cloud = singleCloudFor(title, cmd::kObjectCanNotBeSmoothed);
    if (!cloud) return;
    cmd::LoadedData data;
    cmd::SmoothingOptions options = preprocessPanel_->smoothingOptions();
    options.threads = processors_;
    cmd::SmoothingResult result;
    runComputation(
        title, {{cloud, &data}},
        [&](ProgressWait& wait) {
            const cmd::JobStatus status =
                cmd::runSmoothingCommand(data, options, result, wait.callback());
            if (status != cmd::JobStatus::kCompleted) return status;
            return runOnWorker([&](const std::atomic<bool>&) { cmd::applySmoothing(data, result); },
                               wait.callback());
        },
        [&] {
            // The normals stay with their points: smoothing moves points, not their order.
            replaceCloudPoints(view_, cloud, data, normalsOf(cloud));
            preprocessPanel_->setResultText(QString::fromStdString(result.panelText));
            view_->scene().updateBoundingBox();
            objects_->updateObjectInfo();
        });
}

void MainWindow::onActionCalcThin() {
    const QString title = tr(cmd::kThinningTitle);
    GLBaseObject* cloud = singleCloudFor(title, cmd::kDataTypeCanNotBeThinned);
    if (!cloud) return;
    cmd::LoadedData data;
    std::vector<alg3D::Vec3f> normals;
    cmd::ThinningOptions options = preprocessPanel_->thinningOptions();
    options.threads = processors_;
    cmd::ThinningResult result;
    runComputation(
        title, {{cloud, &data}},
        [&](ProgressWait& wait) {
            if (runOnWorker([&](const std::atomic<bool>&) { normals = normalsOf(cloud); },
                            wait.callback()) != cmd::JobStatus::kCompleted)
                return cmd::JobStatus::kAborted;
            return cmd::runThinningCommand(data, normals.empty() ? nullptr : &normals, options,
                                           result, wait.callback());
        },
        [&] {
            replaceCloudPoints(view_, cloud, data, std::move(normals));
            preprocessPanel_->setResultText(QString::fromStdString(result.panelText));
            view_->scene().updateBoundingBox();
            objects_->updateObjectInfo();
        });
}

void MainWindow::onActionCalcRegions() {
    const QString title = tr(cmd::kRegionsTitle);
    GLBaseObject* cloud = singleCloudFor(title, cmd::kObjectCanNotBeProcessed);
    if (!cloud) return;
    cmd::LoadedData data;
    cmd::RegionsOptions options = preprocessPanel_->regionsOptions();
    options.threads = processors_;
    cmd::RegionsResult result;
    runComputation(
        tr(cmd::kRegionsErrorTitle), {{cloud, &data}},
        [&](ProgressWait& wait) {
            return cmd::runRegionsCommand(data, options, result, wait.callback());
        },
        [&] {
            view_->makeCurrent();
            withCloud(cloud, [&](auto& c) {
                c.setCodedColors(std::move(result.colors));
                if (result.selectedCount > 0)
                    c.setSelection(
                        std::vector<unsigned char>(result.selected.begin(), result.selected.end()));
            });
            view_->doneCurrent();
            preprocessPanel_->setResultText(QString::fromStdString(result.panelText));
            objects_->updateObjectInfo();
        });
}
