#include "panels/WidgetObjects.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

WidgetObjects::WidgetObjects(QWidget* parent) : ToolWidget(tr("Objects"), parent) {
    setObjectName("WgtObjects");
    tree_ = new QTreeWidget(body());
    tree_->setObjectName("treeWidget");
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(false);
    tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    tree_->setMinimumHeight(static_cast<int>(120 * scale()));
    bodyLayout()->addWidget(tree_, 2);

    auto* tools = new QFrame(body());
    tools->setObjectName("frameObjectTools");
    auto* toolsLayout = new QHBoxLayout(tools);
    toolsLayout->setContentsMargins(0, 0, 0, 0);
    toolsLayout->setSpacing(static_cast<int>(2 * scale()));
    auto makeButton = [&](const char* objectName, const char* icon, const QString& tip) {
        auto* button = new QToolButton(tools);
        button->setObjectName(objectName);
        button->setIcon(QIcon(icon));
        button->setToolTip(tip);
        button->setAutoRaise(true);
        toolsLayout->addWidget(button);
        return button;
    };
    show_ = makeButton("toolButtonShow", ":/contextmenu/icon_eye_open.png", tr("show"));
    hide_ = makeButton("toolButtonHide", ":/contextmenu/icon_eye_closed.png", tr("hide"));
    color_ = makeButton("toolButtonChangeColor", ":/contextmenu/icon_color.png", tr("color"));
    remove_ = makeButton("toolButtonRemove", ":/contextmenu/icon_delete.png", tr("remove"));
    toolsLayout->addStretch(1);
    tools->setStyleSheet(
        QString("QToolButton{qproperty-iconSize: %1px %1px;}").arg(static_cast<int>(24 * scale())));
    bodyLayout()->addWidget(tools);
    connect(show_, &QToolButton::clicked, this, &WidgetObjects::requestShow);
    connect(hide_, &QToolButton::clicked, this, &WidgetObjects::requestHide);
    connect(color_, &QToolButton::clicked, this, &WidgetObjects::requestChangeColor);
    connect(remove_, &QToolButton::clicked, this, &WidgetObjects::requestRemove);

    table_ = new QTableWidget(0, 2, body());
    table_->setObjectName("tableWidgetInfo");
    table_->horizontalHeader()->setVisible(false);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setMinimumHeight(static_cast<int>(100 * scale()));
    table_->setMaximumHeight(static_cast<int>(280 * scale()));
    bodyLayout()->addWidget(table_, 1);
    setObjectToolsEnabled(false);
}

void WidgetObjects::setObjectToolsEnabled(bool enable) {
    for (QToolButton* button : {show_, hide_, color_, remove_})
        button->setEnabled(enable);
}
