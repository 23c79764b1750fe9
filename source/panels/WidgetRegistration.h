// The registration panel: the names of the reference and the data object, the optimizer
// (a method code read from a radio group: Gauss, Chebyshev, point to plane with its
// weighting and the neighbours of the reference normals),
// the initialization (search radius, centre pre-alignment), the iteration parameters,
// the degrees of freedom with the rotation centre, the results table and "Compute",
// which emits startComputation().
#pragma once

#include <QString>

#include "commands/RegisterCommand.h"
#include "panels/ToolWidget.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TableWidget;

class WidgetRegistration : public ToolWidget {
    Q_OBJECT

  public:
    // Codes of the optimization method group.
    enum Method : int { kGauss = 0, kChebyshev = 1, kPointToPlane = 2 };

    explicit WidgetRegistration(QWidget* parent = nullptr);

    // Shows the object names; an empty name shows "n.a.".
    void setNames(const QString& reference, const QString& test);
    // The checked method's code.
    int method() const;
    // The controls as the registration command's options: the freedom bits from the six
    // axis boxes and "Scaling"; fields that are no number count as 0 (radius: unbounded;
    // tolerance: the library's floor). The thread count is left to the caller.
    tessaro::commands::RegisterOptions options() const;
    // After a run: the statistics rows, then the transform ("R" three rows, "T", "S").
    void showResult(const QString& statistics, const QString& transform);
    void clearResult();

    TableWidget* resultTable() const { return table_; }

  signals:
    void startComputation();

  private:
    QLabel *reference_, *test_;
    QButtonGroup* methods_ = nullptr;
    QRadioButton *gauss_, *cheb_, *plane_;
    QComboBox* robust_ = nullptr;       // point to plane: none, Huber, Tukey
    QSpinBox* normalPoints_ = nullptr;  // point to plane: neighbours of the normals
    QLineEdit *radius_, *tolerance_;
    QCheckBox* cog_;
    QSpinBox *iterations_, *samples_;
    QCheckBox *rx_, *ry_, *rz_, *tx_, *ty_, *tz_, *scaling_, *origin_;
    TableWidget* table_ = nullptr;
    QPushButton* compute_ = nullptr;
};
