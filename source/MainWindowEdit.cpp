// The main window's scene editing: the side panels (objects, transform), the edit bar's
// Split, Merge and Transform, and the point-selection buttons.
#include <QAction>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/glView/GLView.h"
#include "UiHooks.h"
#include "alg3D/matrix/ColorScale.h"
#include "panels/WidgetObjects.h"
#include "panels/WidgetTransform.h"
#include "ui_MainWindow.h"

void MainWindow::buildPanels() {
    auto* column = new QWidget(ui_->centralwidget);
    panelColumn_ = column;
    column->setObjectName("panelColumn");
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(static_cast<int>(4 * scale_));
    objectsPanel_ = new WidgetObjects(column);
    transformPanel_ = new WidgetTransform(column);
    transformPanel_->hide();
    layout->addWidget(objectsPanel_, 1);
    layout->addWidget(transformPanel_);
    ui_->gridLayout->addWidget(column, 1, 1);

    objects_ =
        new ObjectManager(objectsPanel_->treeWidget(), objectsPanel_->infoTable(), view_, this);
    connect(objectsPanel_, &WidgetObjects::requestHide, objects_,
            &ObjectManager::hideSelectedObjects);
    connect(objectsPanel_, &WidgetObjects::requestShow, objects_,
            &ObjectManager::showSelectedObjects);
    connect(objectsPanel_, &WidgetObjects::requestChangeColor, objects_,
            &ObjectManager::selectColor);
    connect(objectsPanel_, &WidgetObjects::requestRemove, objects_,
            [this] { objects_->removeSelectedObjects(false); });
    connect(objects_, &ObjectManager::requestUpdate, view_,
            static_cast<void (QWidget::*)()>(&QWidget::update));
    connect(objects_, &ObjectManager::objectSelected, objectsPanel_,
            &WidgetObjects::setObjectToolsEnabled);

    connect(view_, &GLView::objectTransformChanged, transformPanel_, &WidgetTransform::setMatrix);
    connect(transformPanel_, &WidgetTransform::applyTransformClicked, view_,
            &GLView::applyObjectTransform);
    connect(transformPanel_, &WidgetTransform::discardTransformClicked, view_,
            &GLView::discardObjectTransform);
    connect(transformPanel_, &WidgetTransform::setCustomTransform, view_,
            &GLView::setCustomTransform);
    buildFitPanel();
    buildDistancesPanel();
    buildPreprocessPanel();
    buildFeaturesPanel();
    buildRegistrationPanel();
}

void MainWindow::buildEditTools() {
    actionSplit_ = editBar_->addAction(QIcon(":main/icon_split.png"), tr("Split"));
    actionSplit_->setToolTip(
        tr("Split points<hr>Selected points are split from an object into a new object."));
    connect(actionSplit_, &QAction::triggered, this, &MainWindow::splitSelection);
    actionMerge_ = editBar_->addAction(QIcon(":main/icon_merge.png"), tr("Merge"));
    actionMerge_->setToolTip(
        tr("Merge points<hr>Selected points from different objects are merged into one object."));
    connect(actionMerge_, &QAction::triggered, this, &MainWindow::mergeSelection);
    // Its own icon: with the Merge icon the two buttons could not be told apart.
    actionTransform_ = editBar_->addAction(QIcon(":main/icon_transform.png"), tr("Transform"));
    actionTransform_->setToolTip(
        tr("Transform<hr>Applies an additional transform to the selected objects. Use the left "
           "mouse button to transform the selected objects and the right mouse button to "
           "change the camera orientation."));
    actionTransform_->setCheckable(true);
    connect(actionTransform_, &QAction::toggled, this, &MainWindow::transformToggled);
    editBar_->addSeparator();

    selectionTools_ = new QWidget(editBar_);
    selectionTools_->setObjectName("selectionTools");
    auto* layout = new QHBoxLayout(selectionTools_);
    const int margin = static_cast<int>(2 * scale_);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
    selectionGroup_ = new QButtonGroup(this);
    selectionGroup_->setExclusive(false);
    struct Entry {
        const char* name;
        const char* tip;
        const char* icon;
        bool checkable;
    };
    const Entry entries[] = {
        {"toolButtonPolygon", QT_TR_NOOP("Polygon"), ":selections/icon_polygon.png", true},
        {"toolButtonRectangle", QT_TR_NOOP("Rectangle"), ":selections/icon_polygon2.png", true},
        {"toolButtonLasso", QT_TR_NOOP("Lasso"), ":selections/icon_polygon3.png", true},
        {"toolButtonInvert", QT_TR_NOOP("Invert"), ":selections/icon_inverse.png", false},
        {"toolButtonClear", QT_TR_NOOP("Clear"), ":selections/icon_clear.png", false}};
    QToolButton* buttons[5];
    int index = 0;
    for (const Entry& e : entries) {
        auto* button = new QToolButton(selectionTools_);
        button->setObjectName(e.name);
        button->setToolTip(tr(e.tip));
        button->setIcon(QIcon(e.icon));
        button->setCheckable(e.checkable);
        button->setAutoRaise(true);
        layout->addWidget(button);
        if (e.checkable) selectionGroup_->addButton(button);
        buttons[index++] = button;
    }
    connect(buttons[0], &QToolButton::toggled, this, &MainWindow::startPolygonSelection);
    connect(buttons[1], &QToolButton::toggled, this, &MainWindow::startRectangleSelection);
    connect(buttons[2], &QToolButton::toggled, this, &MainWindow::startLassoSelection);
    connect(buttons[3], &QToolButton::clicked, view_, &GLView::reverseSelection);
    connect(buttons[4], &QToolButton::clicked, view_, &GLView::clearSelection);
    connect(selectionGroup_,
            static_cast<void (QButtonGroup::*)(QAbstractButton*)>(&QButtonGroup::buttonClicked),
            this, &MainWindow::selectionGroupTriggered);
    editBar_->addWidget(selectionTools_);

    // What can be used depends on what is selected.
    auto cloudTools = [this](bool enable) {
        selectionTools_->setEnabled(enable);
        actionSplit_->setEnabled(enable);
        actionMerge_->setEnabled(enable);
    };
    connect(objects_, &ObjectManager::pointcloudSelected, this, cloudTools);
    connect(objects_, &ObjectManager::objectSelected, actionTransform_, &QAction::setEnabled);
    cloudTools(false);
    actionTransform_->setEnabled(false);
    connect(view_, &GLView::objectsChanged, objects_, &ObjectManager::updateObjectInfo);
}

void MainWindow::selectionGroupTriggered(QAbstractButton* button) {
    // At most one outline tool at a time.
    for (QAbstractButton* other : selectionGroup_->buttons()) {
        if (other != button && other->isChecked()) {
            const QSignalBlocker block(other);
            other->setChecked(false);
        }
    }
}

void MainWindow::startPolygonSelection(bool checked) {
    checked ? view_->startSelection(0) : view_->endSelection();
}

void MainWindow::startRectangleSelection(bool checked) {
    checked ? view_->startSelection(1) : view_->endSelection();
}

void MainWindow::startLassoSelection(bool checked) {
    checked ? view_->startSelection(2) : view_->endSelection();
}

void MainWindow::onSelectionFinished() {
    std::printf("onSelectionFinished\n");
    std::fflush(stdout);
    if (!view_->isSelectionActive()) {
        for (QAbstractButton* button : selectionGroup_->buttons()) {
            if (!button->isChecked()) continue;
            const QSignalBlocker block(button);
            button->setChecked(false);
            // A synthetic release, so that the button does not stay drawn as pressed.
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(), Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QCoreApplication::sendEvent(button, &release);
        }
    }
    objects_->updateObjectInfo();
    view_->update();
}

alg3D::Color MainWindow::splitColor(std::uint64_t n) {
    double v = static_cast<double>(n % 8) * 0.125;
    if (n % 2 == 1) v = 1.0 - v;
    return alg3D::colorScale(v, 240.0);
}

namespace {

// Takes the selected points (and their normals and colour coding, when every point has
// one) of a cloud into a new cloud of the same kind; the source keeps the others. Null
// when the object is not a cloud of this kind or nothing of it is selected.
template <typename Cloud>
std::unique_ptr<GLBaseObject> splitCloud(GLBaseObject* object) {
    auto* source = dynamic_cast<Cloud*>(object);
    if (!source || source->isEmpty() || source->getSelectedCount() == 0) return nullptr;
    const auto& points = source->getPoints();
    const auto& mask = source->getSelectionMask();
    const auto& normals = source->getNormals();
    const bool withNormals = normals.size() == points.size();
    const auto& coded = source->getCodedColors();
    const bool withCoding = coded.size() == points.size();
    std::vector<typename std::decay_t<decltype(points)>::value_type> taken;
    std::vector<alg3D::Vec3f> takenNormals;
    std::vector<alg3D::Color> takenCoding;
    taken.reserve(source->getSelectedCount());
    for (std::size_t i = 0; i < points.size() && i < mask.size(); ++i) {
        if (!mask[i]) continue;
        taken.push_back(points[i]);
        if (withNormals) takenNormals.push_back(normals[i]);
        if (withCoding) takenCoding.push_back(coded[i]);
    }
    source->deleteSelection();
    auto part = std::make_unique<Cloud>();
    part->setPoints(std::move(taken));
    if (withNormals) part->setNormals(std::move(takenNormals));
    if (withCoding) part->setCodedColors(std::move(takenCoding));
    return part;
}

template <typename Cloud, typename P>
bool appendPoints(GLBaseObject* object, std::vector<P>& out) {
    auto* cloud = dynamic_cast<Cloud*>(object);
    if (!cloud) return false;
    for (const auto& p : cloud->getPoints()) {
        if constexpr (std::is_same_v<P, alg3D::Vec3d>) {
            out.push_back(alg3D::Vec3d(p[0], p[1], p[2]));
        } else if constexpr (std::is_same_v<std::decay_t<decltype(p)>, alg3D::GLPoint>) {
            out.push_back(p);
        } else {
            alg3D::GLPoint g;
            g.x = p.x;
            g.y = p.y;
            g.z = p.z;
            out.push_back(g);
        }
    }
    return true;
}

}  // namespace

void MainWindow::splitSelection() {
    std::vector<std::unique_ptr<GLBaseObject>> parts;
    view_->makeCurrent();
    for (GLBaseObject* object : objects_->selectedObjects()) {
        if (!object || object->getObjectType() != GLBaseObject::kPointCloud) continue;
        std::unique_ptr<GLBaseObject> part = splitCloud<GLObjPntsColored>(object);
        if (!part) part = splitCloud<GLObjPntsUniform>(object);
        if (!part) part = splitCloud<GLObjPnts>(object);
        if (!part) continue;
        part->setName(object->getName() + tr(" Part").toStdString());
        part->setColor(splitColor(objectCounter_));
        ++objectCounter_;
        parts.push_back(std::move(part));
    }
    view_->doneCurrent();
    for (auto& part : parts)
        objects_->addObject(std::move(part));
    view_->scene().updateBoundingBox();
    objects_->updateObjectInfo();
    view_->update();
}

void MainWindow::mergeSelection() {
    const std::vector<GLBaseObject*> selected = objects_->selectedObjects();
    std::vector<GLBaseObject*> clouds;
    bool colored = false;
    for (GLBaseObject* object : selected) {
        if (!object) continue;
        if (object->getObjectType() != GLBaseObject::kPointCloud) {
            ui::critical(this, tr("Merge data"), tr("Object types can not be merged!"));
            return;
        }
        clouds.push_back(object);
        if (dynamic_cast<GLObjPntsColored*>(object)) colored = true;
    }
    if (clouds.size() < 2) return;
    std::unique_ptr<GLBaseObject> merged;
    view_->makeCurrent();
    if (colored) {
        std::vector<alg3D::GLPoint> points;
        for (GLBaseObject* c : clouds) {
            appendPoints<GLObjPntsColored>(c, points) ||
                appendPoints<GLObjPntsUniform>(c, points) || appendPoints<GLObjPnts>(c, points);
        }
        auto cloud = std::make_unique<GLObjPntsColored>();
        cloud->setPoints(std::move(points));
        merged = std::move(cloud);
    } else {
        // Plain clouds keep their double-precision coordinates.
        std::vector<alg3D::Vec3d> points;
        for (GLBaseObject* c : clouds) {
            appendPoints<GLObjPntsUniform>(c, points) || appendPoints<GLObjPnts>(c, points);
        }
        auto cloud = std::make_unique<GLObjPnts>();
        cloud->setPoints(std::move(points));
        merged = std::move(cloud);
    }
    merged->setColor(clouds.front()->getColor());
    merged->setName(clouds.front()->getName() + tr(" new").toStdString());
    view_->doneCurrent();
    objects_->removeSelectedObjects(true);
    objects_->addObject(std::move(merged));
    view_->scene().updateBoundingBox();
    view_->update();
}

void MainWindow::transformToggled(bool checked) {
    if (!checked && view_->objectTransform() != alg3D::Matrix4x4d::identity()) {
        // Leaving the transform mode never keeps objects drawn where their coordinates
        // are not: the moved objects are either kept there or put back.
        if (ui::question(this, tr("Transform"), tr("Accept the current transform?"), true))
            view_->applyObjectTransform(false);
        else
            view_->discardObjectTransform(false);
    }
    transformPanel_->setVisible(checked);
    view_->enableObjectTransform(checked);
}
