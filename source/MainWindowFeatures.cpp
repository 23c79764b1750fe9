// The surface-features commands of the window: the panel, onActionCalcEdges, which runs
// what the panel has chosen, onActionCalcNormals, which stores normal vectors with the
// one selected cloud, and the feature run, which colour-codes the cloud with a curvature,
// edge or density value per point and shows its statistics and colour range.
#include <QVBoxLayout>
#include <cmath>
#include <vector>

#include "ComputationRunner.h"
#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/glView/GLView.h"
#include "SceneData.h"
#include "UiHooks.h"
#include "commands/PointCloudCommands.h"
#include "panels/WidgetSurfaceFeatures.h"

namespace cmd = tessaro::commands;

namespace {

// Normals computed in scene coordinates back in the object's coordinates, which the
// renderer places with the object's normal matrix: n_object ~ M^T n_scene (M the linear
// part of the placement), normalised; zero normals stay zero.
void toObjectFrame(std::vector<alg3D::Vec3f>& normals, const alg3D::Matrix4x4d& m) {
    if (m == alg3D::Matrix4x4d::identity()) return;
    const std::int64_t n = static_cast<std::int64_t>(normals.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < n; ++i) {
        const alg3D::Vec3f v = normals[i];
        double w[3];
        for (int a = 0; a < 3; ++a)
            w[a] = m(0, a) * v.x + m(1, a) * v.y + m(2, a) * v.z;
        const double length = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
        if (length > 0.0)
            normals[i] =
                alg3D::Vec3f(static_cast<float>(w[0] / length), static_cast<float>(w[1] / length),
                             static_cast<float>(w[2] / length));
    }
}

}  // namespace

void MainWindow::buildFeaturesPanel() {
    featuresPanel_ = new WidgetSurfaceFeatures(panelColumn_);
    panelColumn_->layout()->addWidget(featuresPanel_);
    registerAlgorithmPanel("actionSurfaceFeatures", featuresPanel_);
    connect(featuresPanel_, &WidgetSurfaceFeatures::startComputation, this,
            &MainWindow::onActionCalcEdges);
}

void MainWindow::onActionCalcEdges() {
    if (featuresPanel_->mode() == 1) {
        onActionCalcNormals();
        return;
    }
    const QString title = tr(cmd::kFeaturesTitle);
    GLBaseObject* cloud = singleCloudFor(title, cmd::kFeaturesPointcloudsOnly);
    if (!cloud) return;
    if (featuresPanel_->mode() != 2) {
        ui::warning(this, title, tr(cmd::kSelectAlgorithm));
        return;
    }
    cmd::LoadedData data;
    cmd::FeaturesOptions options = featuresPanel_->featuresOptions();
    options.threads = processors_;
    featuresPanel_->clearResult();

    cmd::FeaturesResult result;
    runComputation(
        title, {{cloud, &data}},
        [&](ProgressWait& wait) {
            return cmd::runFeaturesCommand(data, options, result, wait.callback());
        },
        [&] {
            std::vector<alg3D::Color>& colors = result.evaluation.colors;
            view_->makeCurrent();
            withCloud(cloud, [&](auto& c) { c.setCodedColors(std::move(colors)); });
            view_->doneCurrent();
            featuresPanel_->showResult(QString::fromStdString(result.panelText));
            featuresPanel_->showColorRange(QString::fromStdString(result.lowText),
                                           QString::fromStdString(result.highText));
            view_->setFocus();
        });
}

void MainWindow::onActionCalcNormals() {
    const QString title = tr(cmd::kNormalsTitle);
    GLBaseObject* cloud = singleCloudFor(title, cmd::kNormalsPointcloudsOnly);
    if (!cloud) return;
    cmd::LoadedData data;
    cmd::NormalsOptions options = featuresPanel_->normalsOptions();
    options.threads = processors_;
    featuresPanel_->clearResult();

    cmd::NormalsResult result;
    runComputation(
        title, {{cloud, &data}},
        [&](ProgressWait& wait) {
            return cmd::runNormalsCommand(data, options, result, wait.callback());
        },
        [&] {
            std::vector<alg3D::Vec3f>& normals = result.normals;
            toObjectFrame(normals, cloud->objectPlacement());
            view_->makeCurrent();
            withCloud(cloud, [&](auto& c) { c.setNormals(std::move(normals)); });
            view_->doneCurrent();
            featuresPanel_->showResult(QString::fromStdString(result.panelText));
            view_->setFocus();
        });
}
