// The object manager: lists the scene objects in the objects panel's tree (one item per
// object, tinted type icon, editable name), keeps the objects' visible and selected bits
// in step with the tree both ways, shows the info text of the selected object in the
// info table, and carries out show, hide, remove, recolour and rename. The view owns the
// objects it draws; the manager adds them to it and takes them out again.
#pragma once

#include <QIcon>
#include <QObject>
#include <memory>
#include <vector>

#include "OpenGL/GLBaseObject.h"

class GLView;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

class ObjectManager : public QObject {
    Q_OBJECT

  public:
    ObjectManager(QTreeWidget* tree, QTableWidget* table, GLView* view, QObject* parent = nullptr);

    // Hands the object to the view (initialising its GL data) and lists it. Returns it.
    GLBaseObject* addObject(std::unique_ptr<GLBaseObject> object);
    // Removes every object without asking (the scene's "New").
    void clear();
    // The objects whose tree items are selected, in the order the user selected them (a
    // range picked with Shift in list order): the first is a command's reference.
    std::vector<GLBaseObject*> selectedObjects() const;
    QTreeWidgetItem* itemOf(const GLBaseObject* object) const;
    // The type icon of an object kind tinted with a colour.
    QIcon tintedIcon(int objectType, const QColor& color) const;

  signals:
    void requestUpdate();
    void objectSelected(bool any);
    void pointcloudSelected(bool any);

  public slots:
    // The info table (and the item names) after an object's info text changed.
    void updateObjectInfo();
    // The tree's item selection from the objects' selected bits (after a pick in the view).
    void updateSelection();
    void removeSelectedObjects(bool silent = false);
    std::size_t numObjects() const;
    void drawSelectedObjects();
    void showSelectedObjects();
    void hideSelectedObjects();
    void selectColor();
    void changeName(QTreeWidgetItem* item, int column);

  private:
    GLBaseObject* objectOf(const QTreeWidgetItem* item) const;
    void tint(QTreeWidgetItem* item) const;
    void showInfo(const GLBaseObject* object);

    QTreeWidget* tree_;
    QTableWidget* table_;
    GLView* view_;
    QIcon typeIcons_[3];
    bool syncing_ = false;
};
