// The objects panel: the tree of scene objects, the show / hide / colour / remove buttons
// and the table with the info text of the selected object. The object manager fills the
// tree and the table and carries out what the buttons ask for.
#pragma once

#include "panels/ToolWidget.h"

class QTableWidget;
class QToolButton;
class QTreeWidget;

class WidgetObjects : public ToolWidget {
    Q_OBJECT

  public:
    explicit WidgetObjects(QWidget* parent = nullptr);

    QTreeWidget* treeWidget() const { return tree_; }
    QTableWidget* infoTable() const { return table_; }

  signals:
    void requestHide();
    void requestShow();
    void requestRemove();
    void requestChangeColor();

  public slots:
    void setObjectToolsEnabled(bool enable);

  private:
    QTreeWidget* tree_ = nullptr;
    QTableWidget* table_ = nullptr;
    QToolButton* show_ = nullptr;
    QToolButton* hide_ = nullptr;
    QToolButton* color_ = nullptr;
    QToolButton* remove_ = nullptr;
};
