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

// Puts the points of `data` into the cloud (a kind of GLObjPntsXYZ), with `normals` when
// there is one per point; false when the cloud is of another kind.
template <typename Cloud>
bool replacePoints(GLBaseObject* object, cmd::LoadedData& data,
                   std::vector<alg3D::Vec3f>&& normals) {
    auto* cloud = dynamic_cast<Cloud*>(object);
    if (!cloud) return false;
    if constexpr (std::is_same_v<typename std::decay_t<decltype(cloud->getPoints())>::value_type,
                                 alg3D::Vec3d>)
        cloud->setPoints(std::move(data.points));
    else
        cloud->setPoints(std::move(data.coloredPoints));
    if (!normals.empty()) cloud->setNormals(std::move(normals));
    return true;
}

std::vector<alg3D::Vec3f> normalsOf(const GLBaseObject* object) {
    if (auto* c = dynamic_cast<const GLObjPnts*>(object)) return c->getNormals();
    if (auto* c = dynamic_cast<const GLObjPntsColored*>(object)) return c->getNormals();
    if (auto* c = dynamic_cast<const GLObjPntsUniform*>(object)) return c->getNormals();
    return {};
}

template <typename Cloud>
bool applyRegions(GLBaseObject* object, cmd::RegionsResult& r) {
    auto* cloud = dynamic_cast<Cloud*>(object);
    if (!cloud) return false;
    cloud->setCodedColors(std::move(r.colors));
    if (r.selectedCount > 0)
        cloud->setSelection(std::vector<unsigned char>(r.selected.begin(), r.selected.end()));
    return true;
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
    cmd::JobStatus status = cmd::JobStatus::kAborted;
    const bool ran = runGuarded(this, title, [&] {
        ProgressWait wait(this, tr("Computing..."), ProgressWait::Kind::kComputation, scale_);
        if (sceneDataOf({{cloud, &data}}, wait.callback()) != cmd::JobStatus::kCompleted) return;
        status = cmd::runSmoothingCommand(data, options, result, wait.callback());
        if (status == cmd::JobStatus::kCompleted)
            status =
                runOnWorker([&](const std::atomic<bool>&) { cmd::applySmoothing(data, result); },
                            wait.callback());
    });
    if (ran && status == cmd::JobStatus::kCompleted) {
        // The normals stay with their points: smoothing moves points, not their order.
        std::vector<alg3D::Vec3f> normals = normalsOf(cloud);
        view_->makeCurrent();
        (void)(replacePoints<GLObjPnts>(cloud, data, std::move(normals)) ||
               replacePoints<GLObjPntsColored>(cloud, data, std::move(normals)) ||
               replacePoints<GLObjPntsUniform>(cloud, data, std::move(normals)));
        view_->doneCurrent();
        preprocessPanel_->setResultText(QString::fromStdString(result.panelText));
        view_->scene().updateBoundingBox();
        objects_->updateObjectInfo();
    }
    view_->update();
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
    cmd::JobStatus status = cmd::JobStatus::kAborted;
    const bool ran = runGuarded(this, title, [&] {
        ProgressWait wait(this, tr("Computing..."), ProgressWait::Kind::kComputation, scale_);
        if (sceneDataOf({{cloud, &data}}, wait.callback()) != cmd::JobStatus::kCompleted) return;
        if (runOnWorker([&](const std::atomic<bool>&) { normals = normalsOf(cloud); },
                        wait.callback()) != cmd::JobStatus::kCompleted)
            return;
        status = cmd::runThinningCommand(data, normals.empty() ? nullptr : &normals, options,
                                         result, wait.callback());
    });
    if (ran && status == cmd::JobStatus::kCompleted) {
        view_->makeCurrent();
        (void)(replacePoints<GLObjPnts>(cloud, data, std::move(normals)) ||
               replacePoints<GLObjPntsColored>(cloud, data, std::move(normals)) ||
               replacePoints<GLObjPntsUniform>(cloud, data, std::move(normals)));
        view_->doneCurrent();
        preprocessPanel_->setResultText(QString::fromStdString(result.panelText));
        view_->scene().updateBoundingBox();
        objects_->updateObjectInfo();
    }
    view_->update();
}

void MainWindow::onActionCalcRegions() {
    const QString title = tr(cmd::kRegionsTitle);
    GLBaseObject* cloud = singleCloudFor(title, cmd::kObjectCanNotBeProcessed);
    if (!cloud) return;
    cmd::LoadedData data;
    cmd::RegionsOptions options = preprocessPanel_->regionsOptions();
    options.threads = processors_;
    cmd::RegionsResult result;
    cmd::JobStatus status = cmd::JobStatus::kAborted;
    const bool ran = runGuarded(this, tr(cmd::kRegionsErrorTitle), [&] {
        ProgressWait wait(this, tr("Computing..."), ProgressWait::Kind::kComputation, scale_);
        if (sceneDataOf({{cloud, &data}}, wait.callback()) != cmd::JobStatus::kCompleted) return;
        status = cmd::runRegionsCommand(data, options, result, wait.callback());
    });
    if (ran && status == cmd::JobStatus::kCompleted) {
        view_->makeCurrent();
        (void)(applyRegions<GLObjPnts>(cloud, result) ||
               applyRegions<GLObjPntsColored>(cloud, result) ||
               applyRegions<GLObjPntsUniform>(cloud, result));
        view_->doneCurrent();
        preprocessPanel_->setResultText(QString::fromStdString(result.panelText));
        objects_->updateObjectInfo();
    }
    view_->update();
}
