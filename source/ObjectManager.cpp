#include "ObjectManager.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTreeWidget>

#include "OpenGL/glView/GLView.h"
#include "UiHooks.h"

ObjectManager::ObjectManager(QTreeWidget* tree, QTableWidget* table, GLView* view, QObject* parent)
    : QObject(parent), tree_(tree), table_(table), view_(view) {
    typeIcons_[0] = QIcon(":types/icon_type_primitives.png");
    typeIcons_[1] = QIcon(":types/icon_type_points.png");
    typeIcons_[2] = QIcon(":types/icon_type_mesh.png");
    connect(view_, &GLView::selectedObjectsChanged, this, &ObjectManager::updateSelection);
    connect(view_, &GLView::objectsChanged, this, &ObjectManager::updateObjectInfo);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &ObjectManager::drawSelectedObjects);
    connect(tree_, &QTreeWidget::itemChanged, this, &ObjectManager::changeName);
}

GLBaseObject* ObjectManager::objectOf(const QTreeWidgetItem* item) const {
    return item ? item->data(0, Qt::UserRole).value<GLBaseObject*>() : nullptr;
}

QTreeWidgetItem* ObjectManager::itemOf(const GLBaseObject* object) const {
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree_->topLevelItem(i);
        if (objectOf(item) == object) return item;
    }
    return nullptr;
}

QIcon ObjectManager::tintedIcon(int objectType, const QColor& color) const {
    const int index = objectType == GLBaseObject::kPointCloud ? 1
                      : objectType == GLBaseObject::kMesh     ? 2
                                                              : 0;
    QImage image =
        typeIcons_[index].pixmap(64, 64).toImage().convertToFormat(QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), QColor(color.red(), color.green(), color.blue()));
    painter.end();
    return QIcon(QPixmap::fromImage(image));
}

void ObjectManager::tint(QTreeWidgetItem* item) const {
    const GLBaseObject* object = objectOf(item);
    if (!object) return;
    const bool visible = object->isVisible();
    const alg3D::Color c = object->getColor();
    const QSignalBlocker block(tree_);
    item->setIcon(
        0, tintedIcon(object->getObjectType(), visible ? QColor(c.r, c.g, c.b) : QColor(Qt::gray)));
    // A hidden object's name in dark grey italics: still legible on the list's light base.
    if (visible)
        item->setData(0, Qt::ForegroundRole, QVariant());
    else
        item->setForeground(0, QBrush(QColor(70, 70, 70)));
    QFont font = item->font(0);
    font.setItalic(!visible);
    item->setFont(0, font);
}

GLBaseObject* ObjectManager::addObject(std::unique_ptr<GLBaseObject> object) {
    GLBaseObject* raw = object.get();
    view_->makeCurrent();
    view_->scene().addObject(std::move(object));
    view_->doneCurrent();
    // Names are UTF-8 throughout: a file or object name in any script stays as it is.
    const QString name = QString::fromStdString(raw->getName());
    auto* item = new QTreeWidgetItem();
    item->setText(0, name);
    item->setToolTip(0, name);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setData(0, Qt::UserRole, QVariant::fromValue(raw));
    {
        const QSignalBlocker block(tree_);
        tree_->addTopLevelItem(item);
    }
    tint(item);
    return raw;
}

void ObjectManager::clear() {
    {
        const QSignalBlocker block(tree_);
        tree_->clear();
    }
    table_->setRowCount(0);
    view_->makeCurrent();
    view_->scene().clearObjects();
    view_->doneCurrent();
    emit objectSelected(false);
    emit pointcloudSelected(false);
    emit requestUpdate();
}

std::vector<GLBaseObject*> ObjectManager::selectedObjects() const {
    std::vector<GLBaseObject*> out;
    for (QTreeWidgetItem* item : tree_->selectedItems())
        if (!item->parent()) out.push_back(objectOf(item));
    return out;
}

std::size_t ObjectManager::numObjects() const {
    return static_cast<std::size_t>(tree_->topLevelItemCount());
}

void ObjectManager::showInfo(const GLBaseObject* object) {
    // "key: value" lines (a tab may stand for the colon) as two columns, the keys in the
    // window's language.
    table_->setRowCount(0);
    if (!object) return;
    const QStringList lines =
        QString::fromStdString(object->getInfo()).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const int colon = line.indexOf(QRegularExpression("[:\t]"));
        const QString key = colon < 0 ? line.trimmed() : line.left(colon).trimmed();
        const QString value = colon < 0 ? QString() : line.mid(colon + 1).trimmed();
        const int row = table_->rowCount();
        table_->insertRow(row);
        table_->setItem(row, 0,
                        new QTableWidgetItem(
                            QCoreApplication::translate("ObjectInfo", key.toUtf8().constData())));
        table_->setItem(row, 1, new QTableWidgetItem(value));
    }
    table_->resizeRowsToContents();
}

void ObjectManager::drawSelectedObjects() {
    if (syncing_) return;
    for (const auto& object : view_->scene().objects())
        object->setSelected(false);
    table_->setRowCount(0);
    bool any = false, clouds = false;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree_->topLevelItem(i);
        if (!item->isSelected()) continue;
        GLBaseObject* object = objectOf(item);
        if (!object) continue;
        any = true;
        if (object->isVisible()) object->setSelected(true);
        if (object->getObjectType() == GLBaseObject::kPointCloud) clouds = true;
        showInfo(object);  // the last selected object's text stays
    }
    emit objectSelected(any);
    emit pointcloudSelected(clouds);
    emit requestUpdate();
}

void ObjectManager::updateSelection() {
    // The view changed the objects' selected bits: select their items to match.
    syncing_ = true;
    {
        const QSignalBlocker block(tree_);
        tree_->clearSelection();
        for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = tree_->topLevelItem(i);
            const GLBaseObject* object = objectOf(item);
            if (object && object->isSelected()) item->setSelected(true);
        }
    }
    syncing_ = false;
    tree_->viewport()->update();
    drawSelectedObjects();
}

void ObjectManager::updateObjectInfo() {
    const GLBaseObject* last = nullptr;
    for (GLBaseObject* object : selectedObjects())
        last = object;
    showInfo(last);
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        tint(tree_->topLevelItem(i));
}

void ObjectManager::showSelectedObjects() {
    for (QTreeWidgetItem* item : tree_->selectedItems()) {
        if (GLBaseObject* object = objectOf(item)) object->setVisible(true);
        tint(item);
    }
    drawSelectedObjects();
}

void ObjectManager::hideSelectedObjects() {
    const QList<QTreeWidgetItem*> items = tree_->selectedItems();
    {
        const QSignalBlocker block(tree_);
        for (QTreeWidgetItem* item : items) {
            if (GLBaseObject* object = objectOf(item)) object->setVisible(false);
            item->setSelected(false);
        }
    }
    for (QTreeWidgetItem* item : items)
        tint(item);
    drawSelectedObjects();
}

void ObjectManager::removeSelectedObjects(bool silent) {
    const QList<QTreeWidgetItem*> items = tree_->selectedItems();
    if (items.isEmpty()) return;
    if (!silent && !ui::question(tree_->window(), tr("Remove"), tr("Remove objects?"), true))
        return;
    view_->makeCurrent();
    {
        const QSignalBlocker block(tree_);
        for (QTreeWidgetItem* item : items) {
            GLBaseObject* object = objectOf(item);
            delete item;
            if (!object) continue;
            object->setVisible(false);
            std::unique_ptr<GLBaseObject> taken = view_->scene().takeObject(object);
        }
    }
    view_->doneCurrent();
    view_->scene().updateBoundingBox();
    drawSelectedObjects();
}

void ObjectManager::selectColor() {
    const std::vector<GLBaseObject*> objects = selectedObjects();
    if (objects.empty()) return;
    const alg3D::Color c = objects.front()->getColor();
    const QColor start(c.r, c.g, c.b, objects.front()->getAlpha());
    const QColor chosen = ui::getColor(tree_->window(), tr("Select color"), start);
    if (!chosen.isValid()) return;
    view_->makeCurrent();
    for (GLBaseObject* object : objects) {
        // Only a changed colour is given to the objects: an alpha-only change keeps each
        // object's own colour.
        if (chosen.rgb() != start.rgb()) {
            object->setColor(alg3D::Color(static_cast<unsigned char>(chosen.red()),
                                          static_cast<unsigned char>(chosen.green()),
                                          static_cast<unsigned char>(chosen.blue())));
        }
        object->setAlpha(static_cast<unsigned char>(chosen.alpha()));
        if (QTreeWidgetItem* item = itemOf(object)) tint(item);
    }
    view_->doneCurrent();
    emit requestUpdate();
}

void ObjectManager::changeName(QTreeWidgetItem* item, int column) {
    if (column != 0) return;
    GLBaseObject* object = objectOf(item);
    if (!object) return;
    const QString name = item->text(0);
    object->setName(name.toStdString());
    const QSignalBlocker block(tree_);
    item->setToolTip(0, name);
}
