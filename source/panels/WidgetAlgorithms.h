// The preprocess panel: the choice of smoothing, thinning or region detection (three
// check buttons, at most one checked), the neighbourhood radius they share, the point
// number of thinning, the smoothing function, the selection of small regions, the result
// table and "Compute", which emits startComputation(). Each algorithm shows only the
// groups it reads.
#pragma once

#include "commands/PointCloudCommands.h"
#include "panels/ToolWidget.h"

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TableWidget;

class WidgetAlgorithms : public ToolWidget {
    Q_OBJECT

  public:
    enum Algorithm { kNone = 0, kSmoothing = 1, kThinning = 2, kRegions = 3 };

    explicit WidgetAlgorithms(QWidget* parent = nullptr);

    Algorithm algorithm() const { return algorithm_; }

    // The controls as the commands' options. An empty or unreadable radius reads as -1
    // and a point number as 0, which the commands refuse with their texts.
    tessaro::commands::SmoothingOptions smoothingOptions() const;
    tessaro::commands::ThinningOptions thinningOptions() const;
    tessaro::commands::RegionsOptions regionsOptions() const;

    void setResultText(const QString& text);
    void clearResult();
    TableWidget* resultTable() const { return table_; }

  signals:
    void startComputation();

  public slots:
    void on_btnSmoothing_clicked();
    void on_btnThinning_clicked();
    void on_btnSegmentation_clicked();

  private:
    void choose(Algorithm algorithm);
    double radius() const;

    Algorithm algorithm_ = kNone;
    QToolButton *smoothing_, *thinning_, *regions_;
    QGroupBox *neighbourhood_, *pointNumber_, *function_, *selectRegions_;
    QLineEdit *radius_, *points_, *maxPoints_;
    QRadioButton *gauss_, *shape_, *feature_;
    TableWidget* table_ = nullptr;
    QPushButton* compute_ = nullptr;
};
