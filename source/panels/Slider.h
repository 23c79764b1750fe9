// The point-size slider: follows a float value, and a press on the groove jumps straight
// to the value under the cursor instead of paging towards it.
#pragma once

#include <QSlider>

class Slider : public QSlider {
    Q_OBJECT

  public:
    explicit Slider(Qt::Orientation orientation, QWidget* parent = nullptr);

  public slots:
    // The nearest whole value.
    void setValue(float value);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};
