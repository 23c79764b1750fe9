// Layout parts of the algorithm panels whose controls outgrow a short side column: a
// scroll area that asks for the whole height of its controls and scrolls only when the
// column is shorter, and compact group layouts.
#pragma once

#include <QScrollArea>

class QLayout;
class QPushButton;
class QVBoxLayout;
class TableWidget;
class ToolWidget;

class ControlsScrollArea : public QScrollArea {
  public:
    // A frameless, vertically scrolling area around `controls`.
    ControlsScrollArea(QWidget* controls, QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

// Margins 4 and spacing 2 (times the display scale).
void compactLayout(QLayout* layout, double scale);

// The controls of an algorithm panel: a widget with a vertical layout (no margins), to be
// filled and then handed to addResultsArea.
QWidget* newControls(ToolWidget* panel, QVBoxLayout*& layout);

// The lower part of an algorithm panel: the controls in a ControlsScrollArea, the
// `legend` when given (a colour bar: it stays in view however far the controls scroll),
// the results table (`tableWidget`, at least 100 x scale high) and "Compute"
// (`computeName`), in this order in the panel's body. The panel connects the button.
struct ResultsArea {
    TableWidget* table = nullptr;
    QPushButton* compute = nullptr;
};
ResultsArea addResultsArea(ToolWidget* panel, QWidget* controls,
                           const char* computeName = "pushButtonCompute",
                           QWidget* legend = nullptr);
