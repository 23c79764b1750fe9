#include "panels/ToolWidget.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

ToolWidget::ToolWidget(const QString& title, QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    titleButton_ = new QToolButton(this);
    titleButton_->setObjectName("toolWidgetTitle");
    titleButton_->setText(title);
    titleButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    titleButton_->setCheckable(true);
    titleButton_->setChecked(true);
    titleButton_->setAutoRaise(true);
    titleButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QFont bold = titleButton_->font();
    bold.setBold(true);
    titleButton_->setFont(bold);
    layout->addWidget(titleButton_);
    body_ = new QWidget(this);
    bodyLayout_ = new QVBoxLayout(body_);
    layout->addWidget(body_);
    connect(titleButton_, &QToolButton::toggled, this, &ToolWidget::setExpanded);
    adaptToWorkAreaSize(0);
    setExpanded(true);
}

QString ToolWidget::title() const {
    return titleButton_->text();
}

bool ToolWidget::isExpanded() const {
    return body_->isVisibleTo(this);
}

void ToolWidget::setExpanded(bool expanded) {
    body_->setVisible(expanded);
    titleButton_->setChecked(expanded);
    titleButton_->setIcon(
        QIcon(expanded ? ":main/arrow_down.png" : ":main/arrow_right_expand.png"));
}

void ToolWidget::adaptToScreenSize(int screen) {
    adaptToWorkAreaSize(screen);
}

void ToolWidget::adaptToWorkAreaSize(int) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = screen ? (static_cast<int>(screen->logicalDotsPerInchY()) +
                              static_cast<int>(screen->logicalDotsPerInchX())) /
                                 2
                           : 96;
    scale_ = dpi / 96.0;
    titleButton_->setStyleSheet(
        QString("qproperty-iconSize: %1px %1px;").arg(static_cast<int>(16 * scale_)));
    bodyLayout_->setContentsMargins(static_cast<int>(4 * scale_), 0, static_cast<int>(4 * scale_),
                                    static_cast<int>(4 * scale_));
    bodyLayout_->setSpacing(static_cast<int>(3 * scale_));
    setMinimumWidth(static_cast<int>(300 * scale_));
    setMaximumWidth(static_cast<int>(320 * scale_));
}

void ToolWidget::darkMark(QAbstractButton* button) {
    QPalette p = button->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
        p.setColor(g, QPalette::Text, QColor(20, 20, 20));
    button->setPalette(p);
}
