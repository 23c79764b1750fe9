// The geometry fit panel: the function to fit (nine buttons), the optimisation method
// (Gauss, Chebyshev, minimum enclosing, maximum inscribing) with the Chebyshev element
// (central, outer, inner), the iteration cap and outlier weighting, and the start values
// of the function's parameters, each group with a box that holds it fixed; the results
// table and "Compute", which emits startComputation().
//
// Choosing a function shows only the start-value rows it uses and clears the results.
// Minimum enclosing and maximum inscribing exist for the sphere and the cylinder only,
// the outer and inner elements for plane, sphere and cylinder; a hidden choice falls back
// to Gauss or to the central element. Empty start fields leave the value to the
// estimate; angles are typed in degrees.
#pragma once

#include "commands/FitCommand.h"
#include "panels/ToolWidget.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;
class TableWidget;

class WidgetFitGeometry : public ToolWidget {
    Q_OBJECT

  public:
    explicit WidgetFitGeometry(QWidget* parent = nullptr);

    // The chosen function: 0 none, 1 plane, 2 cylinder, 3 sphere, 4 cone, 5 torus,
    // 6 circle, 7 line, 8 ellipse, 9 superellipse.
    int function() const { return function_; }
    // The run's options from the controls (threads are the caller's).
    tessaro::commands::FitOptions options() const;
    TableWidget* resultTable() const { return table_; }

  signals:
    void startComputation();

  public slots:
    // Chooses the function by code (as a click on its button does).
    void setFunction(int code);

  private:
    void updateMethodRows();

    int function_ = 0;
    QButtonGroup* functions_ = nullptr;
    QRadioButton* gauss_ = nullptr;
    QRadioButton* cheb_ = nullptr;
    QRadioButton* enclosing_ = nullptr;
    QRadioButton* inscribing_ = nullptr;
    QGroupBox* chebGeom_ = nullptr;
    QCheckBox* central_ = nullptr;
    QCheckBox* outer_ = nullptr;
    QCheckBox* inner_ = nullptr;
    QSpinBox* iterations_ = nullptr;
    QCheckBox* weighting_ = nullptr;
    QGroupBox* init_ = nullptr;
    // Start-value rows: factor, angle, radius, radius2, point, direction.
    QWidget* rows_[6] = {};
    QLineEdit* factor_ = nullptr;
    QLineEdit* angle_ = nullptr;
    QLineEdit* radius1_ = nullptr;
    QLineEdit* radius2_ = nullptr;
    QLineEdit* point_[3] = {};
    QLineEdit* dir_[3] = {};
    QCheckBox* fix_[6] = {};
    TableWidget* table_ = nullptr;
    QPushButton* compute_ = nullptr;
};
