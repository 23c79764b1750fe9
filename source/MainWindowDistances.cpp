// The distance command of the window: the distances panel, and onActionCalcDist, which
// measures the second selected object (a point cloud) against the first (a cloud, a mesh
// or a primitive) through the command layer, colour-codes the test cloud, selects points
// by range and shows the statistics in the panel.
#include <QVBoxLayout>
#include <cstdio>
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
#include "commands/DistancesCommand.h"
#include "panels/WidgetDistances.h"

namespace {

using tessaro::commands::DistanceOperand;
using tessaro::commands::LoadedData;

QString nameOf(const GLBaseObject* object) {
    return object ? QString::fromStdString(object->getName()) : QString();
}

}  // namespace

void MainWindow::buildDistancesPanel() {
    distancesPanel_ = new WidgetDistances(panelColumn_);
    panelColumn_->layout()->addWidget(distancesPanel_);
    registerAlgorithmPanel("actionDistances", distancesPanel_);
    connect(distancesPanel_, &WidgetDistances::startComputation, this,
            &MainWindow::onActionCalcDist);
    // The names follow the selection in the object list: the first is the reference.
    connect(objects_, &ObjectManager::objectSelected, distancesPanel_, [this] {
        const std::vector<GLBaseObject*> selected = objects_->selectedObjects();
        distancesPanel_->setNames(nameOf(selected.size() > 0 ? selected[0] : nullptr),
                                  nameOf(selected.size() > 1 ? selected[1] : nullptr));
    });
}

void MainWindow::onActionCalcDist() {
    namespace cmd = tessaro::commands;
    const QString title = tr(cmd::kDistancesTitle);
    const std::vector<GLBaseObject*> selected = objects_->selectedObjects();
    std::vector<DistanceOperand> operands;
    for (const GLBaseObject* object : selected)
        operands.push_back(operandOf(object));
    if (const char* problem = cmd::distancesSelectionProblem(operands)) {
        ui::warning(this, title, tr(problem));
        return;
    }
    GLBaseObject* referenceObject = selected[0];
    GLBaseObject* testObject = selected[1];
    distancesPanel_->setNames(nameOf(referenceObject), nameOf(testObject));

    cmd::DistanceReference reference;
    LoadedData referenceData;
    if (operands[0] == DistanceOperand::kPrimitive) {
        cmd::FitShape shape{};
        if (!primitiveGeometryOf(*referenceObject, shape, reference.geometry)) {
            ui::critical(this, title, QString::fromLatin1(cmd::kUnknownObject));
            return;
        }
        reference.primitive = cmd::fitShapeName(shape);
    } else {
        reference.data = &referenceData;
    }
    LoadedData test;
    cmd::DistancesOptions options = distancesPanel_->options();
    options.threads = processors_;
    distancesPanel_->clearResult();

    cmd::DistancesResult result;
    SceneCopies copies{{testObject, &test}};
    if (reference.data) copies.emplace_back(referenceObject, &referenceData);
    runComputation(
        title, copies,
        [&](ProgressWait& wait) {
            return cmd::runDistancesCommand(reference, test, options, result, wait.callback());
        },
        [&] {
            std::printf("%s", result.console.c_str());
            std::fflush(stdout);
            auto& e = result.evaluation;
            const bool select = options.evaluation.selectInside || options.evaluation.selectOutside;
            // Colours and, when asked for, the selection of the test cloud.
            withCloud(testObject, [&](auto& cloud) {
                cloud.setCodedColors(std::move(e.colors));
                if (select && e.selectedCount > 0)
                    cloud.setSelection(
                        std::vector<unsigned char>(e.selected.begin(), e.selected.end()));
            });
            if (select && e.selectedCount > 0) objects_->updateObjectInfo();
            distancesPanel_->showResult(QString::fromStdString(result.text), e.colorMin,
                                        e.colorMax);
            view_->setFocus();
        });
}
