#include "panels/Slider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

Slider::Slider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {}

void Slider::setValue(float value) {
    QSlider::setValue(static_cast<int>(value + 0.5f));
}

void Slider::mousePressEvent(QMouseEvent* event) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (event->button() == Qt::LeftButton && !handle.contains(event->pos())) {
        // The value under the cursor over the slider's length, rounded.
        const bool horizontal = orientation() == Qt::Horizontal;
        const int span = horizontal ? width() : height();
        const int at = horizontal ? event->pos().x() : event->pos().y();
        const double v =
            QStyle::sliderValueFromPosition(minimum(), maximum(), at, span, option.upsideDown) +
            0.5;
        QSlider::setValue(static_cast<int>(v));
        event->accept();
    }
    QSlider::mousePressEvent(event);
}
