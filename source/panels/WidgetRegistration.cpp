#include "panels/WidgetRegistration.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStringList>
#include <QVBoxLayout>

#include "ComputationRunner.h"
#include "panels/DoubleValidator.h"
#include "panels/PanelLayout.h"

namespace {

QCheckBox* checkBox(const char* name, const QString& text, QWidget* parent, bool checked = false) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

QLineEdit* numberEdit(const char* name, const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setAlignment(Qt::AlignRight);
    edit->setValidator(new DoubleValidator(0.0, edit));
    return edit;
}

QSpinBox* spinBox(const char* name, int minimum, int maximum, int value, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(minimum, maximum);
    box->setValue(value);
    box->setAlignment(Qt::AlignRight);
    return box;
}

// The value of a field, 0 when it is empty or no number.
double fieldValue(const QLineEdit* edit) {
    double v = 0.0;
    return DoubleValidator::toNumber(edit->text(), v) ? v : 0.0;
}

}  // namespace

WidgetRegistration::WidgetRegistration(QWidget* parent) : ToolWidget(tr("Registration"), parent) {
    setObjectName("WgtRegistration");
    // The controls scroll when the side column is short; table and "Compute" stay below.
    QVBoxLayout* controlsLayout = nullptr;
    QWidget* controls = newControls(this, controlsLayout);
    auto group = [&](const QString& title) {
        auto* box = new QGroupBox(title, controls);
        controlsLayout->addWidget(box);
        return box;
    };
    auto grid = [this](QGroupBox* box) {
        auto* layout = new QGridLayout(box);
        compactLayout(layout, scale());
        return layout;
    };

    auto* data = group(tr("Data"));
    auto* dataGrid = grid(data);
    reference_ = new QLabel(data);
    reference_->setObjectName("labelNameReference");
    test_ = new QLabel(data);
    test_->setObjectName("labelNameTest");
    dataGrid->addWidget(new QLabel(tr("Reference:"), data), 0, 0);
    dataGrid->addWidget(reference_, 0, 1);
    dataGrid->addWidget(new QLabel(tr("Test:"), data), 1, 0);
    dataGrid->addWidget(test_, 1, 1);
    dataGrid->setColumnStretch(1, 1);
    setNames(QString(), QString());

    auto* method = group(tr("Optimization method"));
    method->setObjectName("groupBoxMethod");
    auto* methodGrid = grid(method);
    gauss_ = new QRadioButton(tr("Gauss"), method);
    gauss_->setObjectName("radioButtonGauss");
    gauss_->setToolTip(tr("Minimizes the sum of squared deviations (least-squares)."));
    gauss_->setChecked(true);
    cheb_ = new QRadioButton(tr("Chebyshev"), method);
    cheb_->setObjectName("radioButtonCheb");
    cheb_->setToolTip(
        tr("Minimizes the absolute maximum deviation (Minimax).\nGauss should be applied "
           "initially."));
    plane_ = new QRadioButton(tr("Point to plane"), method);
    plane_->setObjectName("radioButtonPointToPlane");
    plane_->setToolTip(
        tr("Minimizes the squared distances to the tangent planes of the reference "
           "(least-squares).\nFor independent scans and meshes."));
    methods_ = new QButtonGroup(this);
    methods_->addButton(gauss_, kGauss);
    methods_->addButton(cheb_, kChebyshev);
    methods_->addButton(plane_, kPointToPlane);
    methodGrid->addWidget(gauss_, 0, 0);
    methodGrid->addWidget(cheb_, 0, 1);
    methodGrid->addWidget(plane_, 1, 0, 1, 2);
    robust_ = new QComboBox(method);
    robust_->setObjectName("comboBoxRobust");
    robust_->addItem(tr("none"), alg3D::algorithm::kIcpRobustNone);
    robust_->addItem(tr("Huber"), alg3D::algorithm::kIcpRobustHuber);
    robust_->addItem(tr("Tukey"), alg3D::algorithm::kIcpRobustTukey);
    robust_->setToolTip(tr("Down-weights large distances to the tangent planes"));
    normalPoints_ = spinBox("spinBoxNormalPoints", 3, 1000, 30, method);
    normalPoints_->setToolTip(tr("Points of the reference that define a normal"));
    methodGrid->addWidget(new QLabel(tr("Weighting"), method), 2, 0);
    methodGrid->addWidget(robust_, 2, 1);
    methodGrid->addWidget(new QLabel(tr("Normal points"), method), 3, 0);
    methodGrid->addWidget(normalPoints_, 3, 1);
    robust_->setEnabled(false);
    normalPoints_->setEnabled(false);
    connect(plane_, &QRadioButton::toggled, robust_, &QWidget::setEnabled);
    connect(plane_, &QRadioButton::toggled, normalPoints_, &QWidget::setEnabled);

    auto* init = group(tr("Initialization"));
    auto* initGrid = grid(init);
    radius_ = numberEdit("lineEditRadius", "0", init);
    radius_->setToolTip(tr("Max. search radius"));
    cog_ = checkBox("checkBoxCOG", tr("Align center points"), init);
    initGrid->addWidget(new QLabel(tr("Search radius (0=auto)"), init), 0, 0);
    initGrid->addWidget(radius_, 0, 1);
    initGrid->addWidget(cog_, 1, 0, 1, 2);
    initGrid->setColumnStretch(1, 1);

    auto* parameters = group(tr("Parameters"));
    auto* parameterGrid = grid(parameters);
    tolerance_ = numberEdit("lineEditTolerance", "0.000001", parameters);
    iterations_ = spinBox("spinBoxIterations", 1, 10000, 100, parameters);
    samples_ = spinBox("spinBoxSamples", 0, 10000000, 2000, parameters);
    samples_->setToolTip(tr("0=all"));
    parameterGrid->addWidget(new QLabel(tr("Tolerance"), parameters), 0, 0);
    parameterGrid->addWidget(tolerance_, 0, 1);
    parameterGrid->addWidget(new QLabel(tr("Max. iterations"), parameters), 1, 0);
    parameterGrid->addWidget(iterations_, 1, 1);
    parameterGrid->addWidget(new QLabel(tr("Point number"), parameters), 2, 0);
    parameterGrid->addWidget(samples_, 2, 1);
    parameterGrid->setColumnStretch(1, 1);
    // Chebyshev pairs every point.
    connect(cheb_, &QRadioButton::toggled, samples_, &QWidget::setDisabled);

    auto* freedom = group(tr("Degrees of freedom"));
    freedom->setObjectName("groupBoxFreedom");
    auto* freedomGrid = grid(freedom);
    rx_ = checkBox("checkBoxRXaxis", tr("x"), freedom, true);
    ry_ = checkBox("checkBoxRYaxis", tr("y"), freedom, true);
    rz_ = checkBox("checkBoxRZaxis", tr("z"), freedom, true);
    tx_ = checkBox("checkBoxTXaxis", tr("x"), freedom, true);
    ty_ = checkBox("checkBoxTYaxis", tr("y"), freedom, true);
    tz_ = checkBox("checkBoxTZaxis", tr("z"), freedom, true);
    scaling_ = checkBox("checkBoxScaling", tr("S"), freedom);
    origin_ = checkBox("checkBoxFixRotationCenter", tr("Is origin"), freedom);
    freedomGrid->addWidget(new QLabel(tr("Rotation"), freedom), 0, 0);
    freedomGrid->addWidget(rx_, 0, 1);
    freedomGrid->addWidget(ry_, 0, 2);
    freedomGrid->addWidget(rz_, 0, 3);
    freedomGrid->addWidget(new QLabel(tr("Translation"), freedom), 1, 0);
    freedomGrid->addWidget(tx_, 1, 1);
    freedomGrid->addWidget(ty_, 1, 2);
    freedomGrid->addWidget(tz_, 1, 3);
    freedomGrid->addWidget(new QLabel(tr("Scaling"), freedom), 2, 0);
    freedomGrid->addWidget(scaling_, 2, 1);
    freedomGrid->addWidget(new QLabel(tr("Rotation center"), freedom), 3, 0);
    freedomGrid->addWidget(origin_, 3, 1, 1, 3);
    freedomGrid->setColumnStretch(4, 1);  // the boxes stay as wide as their texts
    const ResultsArea results = addResultsArea(this, controls);
    table_ = results.table;
    compute_ = results.compute;
    connect(compute_, &QPushButton::clicked, this, &WidgetRegistration::startComputation);
}

void WidgetRegistration::setNames(const QString& reference, const QString& test) {
    reference_->setText(reference.isEmpty() ? tr("n.a.") : reference);
    test_->setText(test.isEmpty() ? tr("n.a.") : test);
}

int WidgetRegistration::method() const {
    return methods_->checkedId();
}

tessaro::commands::RegisterOptions WidgetRegistration::options() const {
    namespace alg = alg3D::algorithm;
    tessaro::commands::RegisterOptions o;
    o.chebyshev = method() == kChebyshev;
    o.pointToPlane = method() == kPointToPlane;
    if (o.pointToPlane) {
        o.robust = robust_->currentData().toInt();
        o.normalsK = static_cast<unsigned>(normalPoints_->value());
    }
    const struct {
        const QCheckBox* box;
        unsigned bit;
    } bits[] = {{rx_, alg::kIcpRx},        {ry_, alg::kIcpRy}, {rz_, alg::kIcpRz},
                {tx_, alg::kIcpTx},        {ty_, alg::kIcpTy}, {tz_, alg::kIcpTz},
                {scaling_, alg::kIcpScale}};
    o.freedom = 0;
    for (const auto& b : bits)
        if (b.box->isChecked()) o.freedom |= b.bit;
    o.alignCenters = cog_->isChecked();
    o.rotateAboutOrigin = origin_->isChecked();
    o.maxIterations = static_cast<std::uint64_t>(iterations_->value());
    o.tolerance = fieldValue(tolerance_);
    o.searchRadius = fieldValue(radius_);
    o.samples = samples_->value();
    return o;
}

void WidgetRegistration::showResult(const QString& statistics, const QString& transform) {
    table_->setResultText(statistics);
    // The transform text: a "** X **" line heads the value lines that follow it.
    QString label;
    for (const QString& line : transform.split('\n', Qt::SkipEmptyParts)) {
        const QString text = line.trimmed();
        if (text.startsWith("**") && text.endsWith("**")) {
            label = text.mid(2, text.size() - 4).trimmed();
            continue;
        }
        const int row = table_->rowCount();
        table_->setRowCount(row + 1);
        table_->setItem(row, 0, new QTableWidgetItem(label));
        table_->setItem(row, 1, new QTableWidgetItem(text));
        label.clear();
    }
    table_->resizeColumnsToContents();
    table_->resizeRowsToContents();
}

void WidgetRegistration::clearResult() {
    table_->clear();
    table_->setRowCount(0);
}
