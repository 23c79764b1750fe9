#include "panels/PanelLayout.h"

#include <QLayout>

ControlsScrollArea::ControlsScrollArea(QWidget* controls, QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(controls);
}

QSize ControlsScrollArea::sizeHint() const {
    const QSize content = widget() ? widget()->sizeHint() : QSize();
    return QSize(QScrollArea::sizeHint().width(), content.height() + 2 * frameWidth());
}

QSize ControlsScrollArea::minimumSizeHint() const {
    return QSize(QScrollArea::minimumSizeHint().width(), 4 * fontMetrics().height());
}

void compactLayout(QLayout* layout, double scale) {
    const int m = static_cast<int>(4 * scale);
    layout->setContentsMargins(m, m, m, m);
    layout->setSpacing(static_cast<int>(2 * scale));
}
