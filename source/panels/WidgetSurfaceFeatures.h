// The surface-features panel: "Normals" or "Curvature" (at most one of the two check
// buttons), the kernel size (automatic, a point number or a radius), the feature function
// of the curvature run (intrinsic or extrinsic curvature, local edges, local point
// density), the colour bar with the limits of the colour coding, the results table and
// "Compute", which emits startComputation().
//
// Modes: 0 nothing chosen, 1 normals, 2 curvature. Normals show only the automatic
// kernel, which reads "Approximate" (large clouds get one normal per block of points);
// the point-number and radius rows, the "Function" group and the colour bar belong to
// curvature. The colour bar sits under the scrolling controls, always in view.
#pragma once

#include <QString>

#include "commands/PointCloudCommands.h"
#include "panels/ToolWidget.h"

class ColorBar;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TableWidget;

class WidgetSurfaceFeatures : public ToolWidget {
    Q_OBJECT

  public:
    explicit WidgetSurfaceFeatures(QWidget* parent = nullptr);

    int mode() const { return mode_; }
    // The controls as the commands' options (threads are the caller's). An unreadable
    // radius counts as 0 and an unreadable point number as 0; the commands refuse both
    // when the kernel needs them.
    tessaro::commands::NormalsOptions normalsOptions() const;
    tessaro::commands::FeaturesOptions featuresOptions() const;

    // After a run: the result text in the table and, for a colour coding, the values of
    // the lowest and highest colour at the colour bar.
    void showResult(const QString& text);
    void showColorRange(const QString& low, const QString& high);
    void clearResult();

    TableWidget* resultTable() const { return table_; }
    ColorBar* colorBar() const { return colorBar_; }

  signals:
    void startComputation();

  public slots:
    void btnNormals_clicked(bool checked);
    void btnCurvature_clicked(bool checked);

  private:
    void setMode(int mode);
    int kernelMode() const;  // 0 auto, 1 radius, 2 point number
    double radius() const;
    std::uint64_t pointNumber() const;

    int mode_ = 0;
    QToolButton* normals_ = nullptr;
    QToolButton* curvature_ = nullptr;
    QRadioButton* auto_ = nullptr;
    QRadioButton* points_ = nullptr;
    QRadioButton* radiusChoice_ = nullptr;
    QLineEdit* pointsEdit_ = nullptr;
    QLineEdit* radiusEdit_ = nullptr;
    QGroupBox* function_ = nullptr;
    QRadioButton* intrinsic_ = nullptr;
    QRadioButton* extrinsic_ = nullptr;
    QRadioButton* edges_ = nullptr;
    QRadioButton* density_ = nullptr;
    ColorBar* colorBar_ = nullptr;
    TableWidget* table_ = nullptr;
    QPushButton* compute_ = nullptr;
};
