#include "panels/WidgetAlgorithms.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "ComputationRunner.h"
#include "panels/DoubleValidator.h"
#include "panels/PanelLayout.h"

namespace {

QToolButton* algorithmButton(const char* name, const QString& text, const QString& toolTip,
                             QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(toolTip);
    button->setCheckable(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);  // flat until chosen, as in the other panels
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

QLineEdit* lineEdit(const char* name, const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

// A field with a label before it, in a checkable or plain group.
QGroupBox* fieldGroup(const QString& title, const QString& label, QLineEdit* edit,
                      QWidget* parent) {
    auto* group = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(label, group));
    row->addWidget(edit, 1);
    edit->setParent(group);
    return group;
}

std::uint64_t pointNumber(const QLineEdit* edit) {
    bool ok = false;
    const qulonglong n = edit->text().trimmed().toULongLong(&ok);
    return ok ? n : 0;
}

}  // namespace

WidgetAlgorithms::WidgetAlgorithms(QWidget* parent) : ToolWidget(tr("Preprocess"), parent) {
    setObjectName("WgtAlgorithms");
    // The controls scroll when the side column is short; table and "Compute" stay below.
    QVBoxLayout* controlsLayout = nullptr;
    QWidget* controls = newControls(this, controlsLayout);

    auto* buttons = new QHBoxLayout();
    smoothing_ =
        algorithmButton("toolButtonSmoothing", tr("Smoothing"),
                        tr("Moves every point towards the average of its neighbours"), body());
    thinning_ =
        algorithmButton("toolButtonThinning", tr("Thinning"),
                        tr("Reduces the cloud to a point number or a minimum spacing"), body());
    regions_ = algorithmButton("toolButtonSegmentation", tr("Regions"), tr("Segmentation"), body());
    buttons->addWidget(smoothing_);
    buttons->addWidget(thinning_);
    buttons->addWidget(regions_);
    controlsLayout->addLayout(buttons);
    connect(smoothing_, &QToolButton::clicked, this, &WidgetAlgorithms::on_btnSmoothing_clicked);
    connect(thinning_, &QToolButton::clicked, this, &WidgetAlgorithms::on_btnThinning_clicked);
    connect(regions_, &QToolButton::clicked, this, &WidgetAlgorithms::on_btnSegmentation_clicked);

    radius_ = lineEdit("lineEditRadius", "1.0", body());
    radius_->setValidator(new DoubleValidator(0.0, radius_));
    radius_->setToolTip(tr("Radius of the neighbourhood of a point"));
    neighbourhood_ = fieldGroup(tr("Neighborhood"), tr("Radius"), radius_, body());
    controlsLayout->addWidget(neighbourhood_);

    points_ = lineEdit("lineEditPointNumber", "100000", body());
    points_->setValidator(new QIntValidator(1, 1000000000, points_));
    points_->setToolTip(tr("Number of points to keep"));
    pointNumber_ = fieldGroup(tr("Point number"), tr("Points"), points_, body());
    pointNumber_->setObjectName("groupBoxPointNumber");
    pointNumber_->setCheckable(true);
    pointNumber_->setChecked(false);
    pointNumber_->setToolTip(
        tr("Thins to this number of points; unchecked, no two points stay closer than the "
           "radius"));
    controlsLayout->addWidget(pointNumber_);

    function_ = new QGroupBox(tr("Smoothing function"), body());
    auto* functions = new QVBoxLayout(function_);
    gauss_ = new QRadioButton(tr("Gauss"), function_);
    gauss_->setObjectName("radioButtonGauss");
    shape_ = new QRadioButton(tr("Shape preserving"), function_);
    shape_->setObjectName("radioButtonShapePreserving");
    feature_ = new QRadioButton(tr("Feature preserving"), function_);
    feature_->setObjectName("radioButtonEdgePreserving");
    gauss_->setChecked(true);
    functions->addWidget(gauss_);
    functions->addWidget(shape_);
    functions->addWidget(feature_);
    controlsLayout->addWidget(function_);

    maxPoints_ = lineEdit("lineEditMaxPts", "100", body());
    maxPoints_->setValidator(new QIntValidator(1, 1000000000, maxPoints_));
    maxPoints_->setToolTip(tr("Maximum point number in a region to become selected"));
    selectRegions_ = fieldGroup(tr("Select regions"), tr("Max. points"), maxPoints_, body());
    selectRegions_->setObjectName("groupBoxSelectRegions");
    selectRegions_->setCheckable(true);
    selectRegions_->setChecked(false);
    controlsLayout->addWidget(selectRegions_);

    const ResultsArea results = addResultsArea(this, controls);
    table_ = results.table;
    compute_ = results.compute;
    connect(compute_, &QPushButton::clicked, this, &WidgetAlgorithms::startComputation);

    // Smoothing is chosen at start, so that "Compute" does something useful at once.
    choose(kSmoothing);
}

void WidgetAlgorithms::choose(Algorithm algorithm) {
    algorithm_ = algorithm;
    smoothing_->setChecked(algorithm == kSmoothing);
    thinning_->setChecked(algorithm == kThinning);
    regions_->setChecked(algorithm == kRegions);
    neighbourhood_->setVisible(algorithm != kNone);
    function_->setVisible(algorithm == kSmoothing);
    pointNumber_->setVisible(algorithm == kThinning);
    selectRegions_->setVisible(algorithm == kRegions);
    clearResult();
}

// A second click on the chosen button clears the choice.
void WidgetAlgorithms::on_btnSmoothing_clicked() {
    choose(smoothing_->isChecked() ? kSmoothing : kNone);
}

void WidgetAlgorithms::on_btnThinning_clicked() {
    choose(thinning_->isChecked() ? kThinning : kNone);
}

void WidgetAlgorithms::on_btnSegmentation_clicked() {
    choose(regions_->isChecked() ? kRegions : kNone);
}

double WidgetAlgorithms::radius() const {
    double r = 0.0;
    return DoubleValidator::toNumber(radius_->text(), r) ? r : -1.0;
}

tessaro::commands::SmoothingOptions WidgetAlgorithms::smoothingOptions() const {
    tessaro::commands::SmoothingOptions o;
    o.radius = radius();
    o.function = shape_->isChecked() ? 2 : feature_->isChecked() ? 3 : 1;
    return o;
}

tessaro::commands::ThinningOptions WidgetAlgorithms::thinningOptions() const {
    tessaro::commands::ThinningOptions o;
    o.byCount = pointNumber_->isChecked();
    o.count = pointNumber(points_);
    o.radius = radius();
    return o;
}

tessaro::commands::RegionsOptions WidgetAlgorithms::regionsOptions() const {
    tessaro::commands::RegionsOptions o;
    o.radius = radius();
    o.select = selectRegions_->isChecked();
    o.maxPoints = pointNumber(maxPoints_);
    return o;
}

void WidgetAlgorithms::setResultText(const QString& text) {
    table_->setResultText(text);
}

void WidgetAlgorithms::clearResult() {
    table_->clear();
    table_->setRowCount(0);
}
