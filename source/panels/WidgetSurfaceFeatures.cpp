#include "panels/WidgetSurfaceFeatures.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "ComputationRunner.h"
#include "alg3D/algorithm/Normals.h"
#include "alg3D/algorithm/SurfaceFeatures.h"
#include "panels/ColorBar.h"
#include "panels/DoubleValidator.h"
#include "panels/PanelLayout.h"

namespace alg = alg3D::algorithm;

namespace {

QToolButton* checkButton(const char* name, const QString& text, const QString& toolTip,
                         QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(toolTip);
    button->setCheckable(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // Flat until checked, as the function buttons of the fit panel: the chosen run stands out.
    button->setAutoRaise(true);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

QRadioButton* radio(const char* name, const QString& text, QWidget* parent) {
    auto* button = new QRadioButton(text, parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

WidgetSurfaceFeatures::WidgetSurfaceFeatures(QWidget* parent)
    : ToolWidget(tr("Surface Features"), parent) {
    setObjectName("WgtSurfaceFeatures");
    // The controls scroll when the side column is short; table and "Compute" stay below.
    QVBoxLayout* controlsLayout = nullptr;
    QWidget* controls = newControls(this, controlsLayout);

    auto* buttons = new QHBoxLayout();
    normals_ = checkButton("toolButtonNormals", tr("Normals"),
                           tr("Computes surface normal vectors"), body());
    curvature_ = checkButton("toolButtonCurvature", tr("Curvature"),
                             tr("Computes surface curvature measures"), body());
    buttons->addWidget(normals_);
    buttons->addWidget(curvature_);
    controlsLayout->addLayout(buttons);
    connect(normals_, &QToolButton::clicked, this, &WidgetSurfaceFeatures::btnNormals_clicked);
    connect(curvature_, &QToolButton::clicked, this, &WidgetSurfaceFeatures::btnCurvature_clicked);

    auto* kernel = new QGroupBox(tr("Kernel size"), body());
    kernel->setToolTip(tr("Define a kernel size which is appropriate to the feature size"));
    auto* kernelGrid = new QGridLayout(kernel);
    auto_ = radio("radioButtonAuto", tr("Auto"), kernel);
    auto_->setChecked(true);
    points_ = radio("radioButtonPoints", tr("Point number"), kernel);
    radiusChoice_ = radio("radioButtonRadius", tr("Radius"), kernel);
    pointsEdit_ = new QLineEdit("30", kernel);
    pointsEdit_->setObjectName("lineEditPoints");
    pointsEdit_->setAlignment(Qt::AlignRight);
    pointsEdit_->setValidator(new QIntValidator(1, 1000000000, pointsEdit_));
    radiusEdit_ = new QLineEdit("1", kernel);
    radiusEdit_->setObjectName("lineEditRadius");
    radiusEdit_->setAlignment(Qt::AlignRight);
    radiusEdit_->setValidator(new DoubleValidator(0.0, radiusEdit_));
    kernelGrid->addWidget(auto_, 0, 0, 1, 2);
    kernelGrid->addWidget(points_, 1, 0);
    kernelGrid->addWidget(pointsEdit_, 1, 1);
    kernelGrid->addWidget(radiusChoice_, 2, 0);
    kernelGrid->addWidget(radiusEdit_, 2, 1);
    kernelGrid->setColumnStretch(1, 1);
    controlsLayout->addWidget(kernel);

    function_ = new QGroupBox(tr("Function"), body());
    auto* functionLayout = new QVBoxLayout(function_);
    intrinsic_ = radio("radioButtonIntrinsicCurvature", tr("Intrinsic curvature"), function_);
    extrinsic_ = radio("radioButtonExtrinsicCurvature", tr("Extrinsic curvature"), function_);
    edges_ = radio("radioButtonEdges", tr("Local edges"), function_);
    density_ = radio("radioButtonDensity", tr("Local point density"), function_);
    intrinsic_->setChecked(true);
    for (QRadioButton* b : {intrinsic_, extrinsic_, edges_, density_})
        functionLayout->addWidget(b);
    controlsLayout->addWidget(function_);
    // The colour bar of the curvature run under the controls, in view next to the results.
    colorBar_ = new ColorBar(scale(), body());
    // Height the groups do not need stays below them: with normals, the kernel group
    // holds one row and is no taller.
    controlsLayout->addStretch(1);

    const ResultsArea results = addResultsArea(this, controls, "pushButtonCompute", colorBar_);
    table_ = results.table;
    compute_ = results.compute;
    connect(compute_, &QPushButton::clicked, this, &WidgetSurfaceFeatures::startComputation);

    normals_->setChecked(true);
    btnNormals_clicked(true);
}

void WidgetSurfaceFeatures::btnNormals_clicked(bool checked) {
    normals_->setChecked(checked);
    if (checked) curvature_->setChecked(false);
    setMode(checked ? 1 : 0);
}

void WidgetSurfaceFeatures::btnCurvature_clicked(bool checked) {
    curvature_->setChecked(checked);
    if (checked) normals_->setChecked(false);
    setMode(checked ? 2 : 0);
}

void WidgetSurfaceFeatures::setMode(int mode) {
    mode_ = mode;
    if (mode == 0) return;  // the controls stay as the last choice left them
    const bool curvature = mode == 2;
    auto_->setText(curvature ? tr("Auto") : tr("Approximate"));
    // Rows that normals do not offer are hidden; a choice among them falls back to the
    // automatic kernel, so that what runs is what the panel shows.
    if (!curvature && !auto_->isChecked()) auto_->setChecked(true);
    for (QWidget* w : {static_cast<QWidget*>(points_), static_cast<QWidget*>(pointsEdit_),
                       static_cast<QWidget*>(radiusChoice_), static_cast<QWidget*>(radiusEdit_),
                       static_cast<QWidget*>(function_), static_cast<QWidget*>(colorBar_)})
        w->setVisible(curvature);
    clearResult();
}

int WidgetSurfaceFeatures::kernelMode() const {
    return radiusChoice_->isChecked() ? 1 : points_->isChecked() ? 2 : 0;
}

double WidgetSurfaceFeatures::radius() const {
    double v = 0.0;
    return DoubleValidator::toNumber(radiusEdit_->text(), v) ? v : 0.0;
}

std::uint64_t WidgetSurfaceFeatures::pointNumber() const {
    bool ok = false;
    const qulonglong k = pointsEdit_->text().trimmed().toULongLong(&ok);
    return ok ? static_cast<std::uint64_t>(k) : 0;
}

tessaro::commands::NormalsOptions WidgetSurfaceFeatures::normalsOptions() const {
    tessaro::commands::NormalsOptions o;
    const int kernel = kernelMode();
    o.mode = kernel == 1   ? alg::kNormalsRadius
             : kernel == 2 ? alg::kNormalsPointNumber
                           : alg::kNormalsAuto;
    o.radius = radius();
    o.k = pointNumber();
    return o;
}

tessaro::commands::FeaturesOptions WidgetSurfaceFeatures::featuresOptions() const {
    tessaro::commands::FeaturesOptions o;
    o.feature = edges_->isChecked()       ? alg::kFeatureLocalEdges
                : intrinsic_->isChecked() ? alg::kFeatureIntrinsicCurvature
                : extrinsic_->isChecked() ? alg::kFeatureExtrinsicCurvature
                                          : alg::kFeatureDensity;
    const int kernel = kernelMode();
    o.kernel = kernel == 1   ? alg::kKernelRadius
               : kernel == 2 ? alg::kKernelPointNumber
                             : alg::kKernelAuto;
    o.radius = radius();
    o.k = pointNumber();
    return o;
}

void WidgetSurfaceFeatures::showResult(const QString& text) {
    table_->setResultText(text);
}

void WidgetSurfaceFeatures::showColorRange(const QString& low, const QString& high) {
    colorBar_->setLimits(low, high);
}

void WidgetSurfaceFeatures::clearResult() {
    table_->clear();
    table_->setRowCount(0);
}
