// Layout parts of the algorithm panels whose controls outgrow a short side column: a
// scroll area that asks for the whole height of its controls and scrolls only when the
// column is shorter, and compact group layouts.
#pragma once

#include <QScrollArea>

class QLayout;

class ControlsScrollArea : public QScrollArea {
  public:
    // A frameless, vertically scrolling area around `controls`.
    ControlsScrollArea(QWidget* controls, QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

// Margins 4 and spacing 2 (times the display scale).
void compactLayout(QLayout* layout, double scale);
