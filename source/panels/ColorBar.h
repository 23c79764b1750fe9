// The colour bar of the colour-coding panels: the colour scale over 240 degrees (blue,
// cyan, green, yellow, red) as a framed gradient `frameColorBar`, with the labels
// `labelColorMin` ("min.") and `labelColorMax` ("max.") at its two ends.
#pragma once

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;

class ColorBar : public QWidget {
    Q_OBJECT

  public:
    // `scale`: the display scale factor of the panel (bar height 18 x scale).
    explicit ColorBar(double scale, QWidget* parent = nullptr);

    QFrame* frame() const { return frame_; }
    QLabel* minLabel() const { return min_; }
    QLabel* maxLabel() const { return max_; }

    // The texts at the two ends (the values of the lowest and highest colour).
    void setLimits(const QString& low, const QString& high);
    // Back to "min." and "max.".
    void resetLimits();

  private:
    QFrame* frame_ = nullptr;
    QLabel* min_ = nullptr;
    QLabel* max_ = nullptr;
};
