// The distances panel: the names of the reference and the test object, the absolute-value
// flag, the range (min./max. distance; points inside or outside it may be selected), the
// colour coding (automatic, or the values shown blue and red) with its colour bar (under
// the scrolling controls, always in view), the statistics table and "Compute", which
// emits startComputation().
#pragma once

#include <QString>

#include "commands/DistancesCommand.h"
#include "panels/ToolWidget.h"

class ColorBar;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TableWidget;

class WidgetDistances : public ToolWidget {
    Q_OBJECT

  public:
    explicit WidgetDistances(QWidget* parent = nullptr);

    // Shows the object names; an empty name shows "n.a.".
    void setNames(const QString& reference, const QString& test);
    // The controls as the distance command's options: empty (or unreadable) range fields
    // give the extreme doubles, the search is bounded by "Max. distance" when it is given
    // (else 0, unbounded); manual colour limits that are no number count as 0.
    tessaro::commands::DistancesOptions options() const;
    // After a run: the statistics text in the table, the colour range in the colour edits
    // (6 significant digits) and at the colour bar.
    void showResult(const QString& text, double colorMin, double colorMax);
    void clearResult();

    TableWidget* resultTable() const { return table_; }
    ColorBar* colorBar() const { return colorBar_; }

  signals:
    void startComputation();

  public slots:
    void rangeSelectionInsideToggled();
    void rangeSelectionOutsideToggled();

  private:
    QLabel *reference_, *test_;
    QCheckBox *absolute_, *inside_, *outside_, *colorAuto_;
    QLineEdit *minD_, *maxD_, *colorMin_, *colorMax_;
    ColorBar* colorBar_ = nullptr;
    TableWidget* table_ = nullptr;
    QPushButton* compute_ = nullptr;
};
