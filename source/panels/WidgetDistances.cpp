#include "panels/WidgetDistances.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

#include "ComputationRunner.h"
#include "panels/ColorBar.h"
#include "panels/DoubleValidator.h"
#include "panels/PanelLayout.h"

namespace {

QLineEdit* numberEdit(const char* name, const QString& toolTip, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setAlignment(Qt::AlignRight);
    edit->setToolTip(toolTip);
    edit->setValidator(new DoubleValidator(-std::numeric_limits<double>::max(), edit));
    return edit;
}

QCheckBox* checkBox(const char* name, const QString& text, const QString& toolTip,
                    QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setToolTip(toolTip);
    return box;
}

// The value of a field, `empty` when the field is empty or no number.
double fieldValue(const QLineEdit* edit, double empty) {
    double v = 0.0;
    return DoubleValidator::toNumber(edit->text(), v) ? v : empty;
}

}  // namespace

WidgetDistances::WidgetDistances(QWidget* parent) : ToolWidget(tr("Distances"), parent) {
    setObjectName("WgtDistances");
    // The controls scroll when the side column is short; table and "Compute" stay below.
    QVBoxLayout* controlsLayout = nullptr;
    QWidget* controls = newControls(this, controlsLayout);

    auto* data = new QGroupBox(tr("Data"), body());
    auto* dataGrid = new QGridLayout(data);
    reference_ = new QLabel(data);
    reference_->setObjectName("labelNameReference");
    test_ = new QLabel(data);
    test_->setObjectName("labelNameTest");
    dataGrid->addWidget(new QLabel(tr("Reference:"), data), 0, 0);
    dataGrid->addWidget(reference_, 0, 1);
    dataGrid->addWidget(new QLabel(tr("Test:"), data), 1, 0);
    dataGrid->addWidget(test_, 1, 1);
    dataGrid->setColumnStretch(1, 1);
    controlsLayout->addWidget(data);
    setNames(QString(), QString());

    auto* parameters = new QGroupBox(tr("Parameters"), body());
    auto* parameterLayout = new QVBoxLayout(parameters);
    absolute_ = checkBox("checkBoxAbsValues", tr("Absolut values"),
                         tr("Computes absolute distances"), parameters);
    parameterLayout->addWidget(absolute_);
    controlsLayout->addWidget(parameters);

    auto* range = new QGroupBox(tr("Range"), body());
    auto* rangeGrid = new QGridLayout(range);
    minD_ = numberEdit("lineEditMinD", tr("Minimum search distance"), range);
    maxD_ = numberEdit("lineEditMaxD", tr("Maximum search distance"), range);
    inside_ = checkBox("checkBoxSelectInside", tr("Select points inside"),
                       tr("Selects points inside the given range"), range);
    outside_ = checkBox("checkBoxSelectOutside", tr("Select points outside"),
                        tr("Selects points outside the given range"), range);
    rangeGrid->addWidget(new QLabel(tr("Min. distance"), range), 0, 0);
    rangeGrid->addWidget(minD_, 0, 1);
    rangeGrid->addWidget(new QLabel(tr("Max. distance"), range), 1, 0);
    rangeGrid->addWidget(maxD_, 1, 1);
    rangeGrid->addWidget(inside_, 2, 0, 1, 2);
    rangeGrid->addWidget(outside_, 3, 0, 1, 2);
    controlsLayout->addWidget(range);
    connect(inside_, &QCheckBox::toggled, this, &WidgetDistances::rangeSelectionInsideToggled);
    connect(outside_, &QCheckBox::toggled, this, &WidgetDistances::rangeSelectionOutsideToggled);

    auto* coding = new QGroupBox(tr("Color coding"), body());
    auto* codingLayout = new QVBoxLayout(coding);
    auto* limits = new QHBoxLayout();
    colorAuto_ = checkBox("checkBoxColorAuto", tr("auto"), QString(), coding);
    colorAuto_->setChecked(true);
    colorMin_ = numberEdit("lineEditColorMin", QString(), coding);
    colorMax_ = numberEdit("lineEditColorMax", QString(), coding);
    colorMin_->setEnabled(false);
    colorMax_->setEnabled(false);
    limits->addWidget(colorAuto_);
    limits->addWidget(colorMin_, 1);
    limits->addWidget(colorMax_, 1);
    codingLayout->addLayout(limits);
    connect(colorAuto_, &QCheckBox::toggled, this, [this](bool automatic) {
        colorMin_->setEnabled(!automatic);
        colorMax_->setEnabled(!automatic);
    });
    controlsLayout->addWidget(coding);
    // The colour bar under the controls, in view next to the results.
    colorBar_ = new ColorBar(scale(), body());

    const ResultsArea results = addResultsArea(this, controls, "pushButtonCompute", colorBar_);
    table_ = results.table;
    compute_ = results.compute;
    connect(compute_, &QPushButton::clicked, this, &WidgetDistances::startComputation);
}

void WidgetDistances::setNames(const QString& reference, const QString& test) {
    reference_->setText(reference.isEmpty() ? tr("n.a.") : reference);
    test_->setText(test.isEmpty() ? tr("n.a.") : test);
}

tessaro::commands::DistancesOptions WidgetDistances::options() const {
    constexpr double kBig = std::numeric_limits<double>::max();
    tessaro::commands::DistancesOptions o;
    auto& s = o.evaluation;
    s.minD = fieldValue(minD_, -kBig);
    s.maxD = fieldValue(maxD_, kBig);
    o.maxDistance = s.maxD == kBig ? 0.0 : s.maxD;
    s.absolute = absolute_->isChecked();
    s.selectInside = inside_->isChecked();
    s.selectOutside = outside_->isChecked();
    s.colorAuto = colorAuto_->isChecked();
    s.colorMin = fieldValue(colorMin_, 0.0);
    s.colorMax = fieldValue(colorMax_, 0.0);
    return o;
}

void WidgetDistances::showResult(const QString& text, double colorMin, double colorMax) {
    table_->setResultText(text);
    colorMin_->setText(QString::number(colorMin, 'g', 6));
    colorMax_->setText(QString::number(colorMax, 'g', 6));
    // The ends of the bar show the distances of the lowest and the highest colour.
    colorBar_->setLimits(colorMin_->text(), colorMax_->text());
    colorBar_->minLabel()->setToolTip(colorMin_->text());
    colorBar_->maxLabel()->setToolTip(colorMax_->text());
}

void WidgetDistances::clearResult() {
    table_->clear();
    table_->setRowCount(0);
    colorBar_->resetLimits();
}

void WidgetDistances::rangeSelectionInsideToggled() {
    if (inside_->isChecked()) outside_->setChecked(false);
}

void WidgetDistances::rangeSelectionOutsideToggled() {
    if (outside_->isChecked()) inside_->setChecked(false);
}
