#include "panels/ColorBar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

ColorBar::ColorBar(double scale, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(static_cast<int>(2 * scale));
    frame_ = new QFrame(this);
    frame_->setObjectName("frameColorBar");
    frame_->setMinimumHeight(static_cast<int>(18 * scale));
    frame_->setStyleSheet(
        "QFrame#frameColorBar { border: 1px solid #808080; background: qlineargradient("
        "x1:0, y1:0, x2:1, y2:0, stop:0 #0000ff, stop:0.25 #00ffff, stop:0.5 #00ff00, "
        "stop:0.75 #ffff00, stop:1 #ff0000); }");
    layout->addWidget(frame_);
    auto* labels = new QHBoxLayout();
    min_ = new QLabel(this);
    min_->setObjectName("labelColorMin");
    max_ = new QLabel(this);
    max_->setObjectName("labelColorMax");
    max_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labels->addWidget(min_);
    labels->addStretch(1);
    labels->addWidget(max_);
    layout->addLayout(labels);
    resetLimits();
}

void ColorBar::setLimits(const QString& low, const QString& high) {
    min_->setText(low);
    max_->setText(high);
}

void ColorBar::resetLimits() {
    setLimits(tr("min."), tr("max."));
}
