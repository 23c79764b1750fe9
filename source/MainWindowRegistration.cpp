// The registration command of the window: the registration panel, and onActionCalcICP,
// which moves the second selected object (a cloud, or a mesh onto a cloud) onto the first
// (a cloud or a mesh) through the command layer. While the run goes on the data object
// is drawn with the last accepted transform; a completed run bakes the result into its
// coordinates, an abort or a failure leaves it as it was.
#include <QLayout>
#include <QProgressDialog>
#include <cstdio>
#include <vector>

#include "ComputationRunner.h"
#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLBaseObject.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLScene.h"
#include "OpenGL/glView/GLView.h"
#include "SceneData.h"
#include "UiHooks.h"
#include "commands/RegisterCommand.h"
#include "panels/WidgetRegistration.h"

namespace {

QString nameOf(const GLBaseObject* object) {
    return object ? QString::fromStdString(object->getName()) : QString();
}

// Events are processed while the run goes on (before the progress dialog shows, nothing
// blocks the window): the object may have been removed meanwhile.
bool inScene(GLView* view, const GLBaseObject* object) {
    for (const auto& o : view->scene().objects())
        if (o.get() == object) return true;
    return false;
}

// The normals a cloud carries (one per point, in its own coordinates), null otherwise.
const std::vector<alg3D::Vec3f>* normalsOf(const GLBaseObject* object) {
    const std::vector<alg3D::Vec3f>* n = nullptr;
    if (const auto* c = dynamic_cast<const GLObjPnts*>(object)) n = &c->getNormals();
    if (const auto* c = dynamic_cast<const GLObjPntsColored*>(object)) n = &c->getNormals();
    if (const auto* c = dynamic_cast<const GLObjPntsUniform*>(object)) n = &c->getNormals();
    return n && !n->empty() ? n : nullptr;
}

}  // namespace

void MainWindow::buildRegistrationPanel() {
    registrationPanel_ = new WidgetRegistration(panelColumn_);
    panelColumn_->layout()->addWidget(registrationPanel_);
    registerAlgorithmPanel("actionRegistration", registrationPanel_);
    connect(registrationPanel_, &WidgetRegistration::startComputation, this,
            &MainWindow::onActionCalcICP);
    // The names follow the selection in the object list: the first is the reference.
    connect(objects_, &ObjectManager::objectSelected, registrationPanel_, [this] {
        const std::vector<GLBaseObject*> selected = objects_->selectedObjects();
        registrationPanel_->setNames(nameOf(selected.size() > 0 ? selected[0] : nullptr),
                                     nameOf(selected.size() > 1 ? selected[1] : nullptr));
    });
}

void MainWindow::onActionCalcICP() {
    namespace cmd = tessaro::commands;
    const QString title = tr(cmd::kRegistrationTitle);
    const std::vector<GLBaseObject*> selected = objects_->selectedObjects();
    std::vector<cmd::DistanceOperand> operands;
    for (const GLBaseObject* object : selected)
        operands.push_back(operandOf(object));
    if (const char* problem = cmd::registrationSelectionProblem(operands)) {
        ui::warning(this, title, tr(problem));
        return;
    }
    GLBaseObject* referenceObject = selected[0];
    GLBaseObject* dataObject = selected[1];
    registrationPanel_->setNames(nameOf(referenceObject), nameOf(dataObject));

    cmd::LoadedData reference;
    cmd::LoadedData data;
    cmd::RegisterOptions options = registrationPanel_->options();
    options.threads = processors_;
    options.moveData = false;  // the data object is moved below, by the result's transform
    // Point to plane takes the reference's own normals where they fit its placed points.
    if (options.pointToPlane && referenceObject->objectPlacement() == alg3D::Matrix4x4d::identity())
        options.referenceNormals = normalsOf(referenceObject);
    registrationPanel_->clearResult();

    // The data are read without the pending transform, so the run's transform replaces it.
    const alg3D::Matrix4x4d before = dataObject->getPendingTransform();
    const auto showMoving = [this, dataObject](const alg3D::algorithm::IcpTransform& t) {
        if (!inScene(view_, dataObject)) return;
        dataObject->setPendingTransform(t.matrix());
        view_->update();
    };
    cmd::RegisterResult result;
    const bool completed = runComputation(
        title, {{referenceObject, &reference}, {dataObject, &data}},
        [&](ProgressWait& wait) {
            return cmd::runRegisterCommand(data, reference, options, result, wait.callback(),
                                           cmd::kDefaultPollInterval, showMoving);
        },
        {}, Qt::ApplicationModal);
    if (!inScene(view_, dataObject)) return;
    if (!completed) {
        dataObject->setPendingTransform(before);
        view_->update();
        return;
    }
    std::printf("%s", result.console.c_str());
    std::fflush(stdout);
    // Baked in double precision: far from the origin the points keep their digits.
    dataObject->setPendingTransform(result.transform.matrix());
    view_->makeCurrent();
    dataObject->applyTransform();
    view_->doneCurrent();
    dataObject->setPendingTransform(alg3D::Matrix4x4d::identity());
    view_->scene().updateBoundingBox();
    objects_->updateObjectInfo();
    registrationPanel_->showResult(QString::fromStdString(result.statistics),
                                   QString::fromStdString(result.transformText));
    view_->setFocus();
    view_->update();
}
