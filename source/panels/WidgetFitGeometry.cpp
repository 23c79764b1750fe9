#include "panels/WidgetFitGeometry.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "ComputationRunner.h"
#include "commands/FitPrimitiveInfo.h"
#include "commands/FitRequest.h"
#include "panels/PanelLayout.h"

namespace cmd = tessaro::commands;

namespace {

// Row order of the start values and the command's group of each.
enum Row { kFactor, kAngle, kRadius, kRadius2, kPoint, kDirection };
constexpr unsigned kRowGroup[6] = {cmd::kGroupFactor,  cmd::kGroupAngle, cmd::kGroupRadius,
                                   cmd::kGroupRadius2, cmd::kGroupPoint, cmd::kGroupDirection};

// A number typed into a start field; false for an empty or unfinished one.
bool readNumber(const QLineEdit* edit, double& value) {
    bool ok = false;
    value = edit->text().trimmed().replace(',', '.').toDouble(&ok);
    return ok && std::isfinite(value);
}

void readScalar(const QLineEdit* edit, const QCheckBox* fix, double factor,
                cmd::FitStartValue<double>& out) {
    double v = 0.0;
    if (!readNumber(edit, v)) return;
    if (fix->isChecked())
        out.fix(v * factor);
    else
        out.give(v * factor);
}

void readVector(QLineEdit* const edits[3], const QCheckBox* fix,
                cmd::FitStartValue<alg3D::Vec3d>& out) {
    double c[3];
    for (int k = 0; k < 3; ++k)
        if (!readNumber(edits[k], c[k])) return;
    if (fix->isChecked())
        out.fix(alg3D::Vec3d(c[0], c[1], c[2]));
    else
        out.give(alg3D::Vec3d(c[0], c[1], c[2]));
}

bool hasEnclosing(int code) {
    return code == 2 || code == 3;  // cylinder, sphere
}
bool hasOuterInner(int code) {
    return code == 1 || code == 2 || code == 3;  // plane, cylinder, sphere
}

}  // namespace

WidgetFitGeometry::WidgetFitGeometry(QWidget* parent) : ToolWidget(tr("Geometry Fit"), parent) {
    setObjectName("WgtFitGeometry");
    // The controls scroll when the side column is short; table and "Compute" stay below.
    QVBoxLayout* controlsLayout = nullptr;
    QWidget* controls = newControls(this, controlsLayout);
    auto compact = [this](QLayout* layout) { compactLayout(layout, scale()); };

    // Function buttons, three to a row.
    auto* func = new QGroupBox(tr("Function"), controls);
    func->setObjectName("groupBoxFunc");
    auto* funcGrid = new QGridLayout(func);
    compact(funcGrid);
    functions_ = new QButtonGroup(this);
    functions_->setExclusive(true);
    const struct {
        int code;
        const char* name;
        const char* icon;
        const char* text;
    } buttons[] = {
        {1, "btnPlane", "plane", QT_TR_NOOP("Plane")},
        {2, "btnCylinder", "cylinder", QT_TR_NOOP("Cylinder")},
        {3, "btnSphere", "sphere", QT_TR_NOOP("Sphere")},
        {4, "btnCone", "cone", QT_TR_NOOP("Cone")},
        {5, "btnTorus", "torus", QT_TR_NOOP("Torus")},
        {6, "btnCircle", "circle", QT_TR_NOOP("Circle")},
        {7, "btnLine", "line", QT_TR_NOOP("Line")},
        {8, "btnEllipse", "ellipse", QT_TR_NOOP("Ellipse")},
        {9, "btnSuperEllipse", "superellipse", QT_TR_NOOP("Superellipse")},
    };
    const int icon = static_cast<int>(20 * scale());
    int index = 0;
    for (const auto& b : buttons) {
        auto* button = new QToolButton(func);
        button->setObjectName(b.name);
        button->setText(tr(b.text));
        button->setIcon(QIcon(QString(":/geometries/icon_%1.png").arg(b.icon)));
        // Icon over text, sized here (the window's rule for tool buttons is for bars).
        button->setStyleSheet(QString("QToolButton{qproperty-iconSize: %1px %1px; min-height: "
                                      "%2px; padding: 1px;}")
                                  .arg(icon)
                                  .arg(icon + fontMetrics().height() + 8));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        functions_->addButton(button, b.code);
        funcGrid->addWidget(button, index / 3, index % 3);
        ++index;
    }
    connect(functions_, &QButtonGroup::idClicked, this, &WidgetFitGeometry::setFunction);
    controlsLayout->addWidget(func);

    // Method.
    auto* method = new QGroupBox(tr("Optimization method"), controls);
    method->setObjectName("groupBoxMethod");
    auto* methodGrid = new QGridLayout(method);
    compact(methodGrid);
    gauss_ = new QRadioButton(tr("Gauss"), method);
    gauss_->setObjectName("radioButtonGauss");
    gauss_->setToolTip(tr("Minimizes the sum of squared deviations (least-squares)."));
    gauss_->setChecked(true);
    cheb_ = new QRadioButton(tr("Chebyshev"), method);
    cheb_->setObjectName("radioButtonCheb");
    cheb_->setToolTip(
        tr("Minimizes the absolute maximum deviation (minimum zone).\nGauss "
           "should be applied initially."));
    enclosing_ = new QRadioButton(tr("Minimum enclosing"), method);
    enclosing_->setObjectName("radioButtonMC");
    enclosing_->setToolTip(tr("Computes hull element with minimal extension/radius."));
    inscribing_ = new QRadioButton(tr("Maximum inscribing"), method);
    inscribing_->setObjectName("radioButtonMI");
    inscribing_->setToolTip(tr("Computes inscribing element with maximal extension/radius."));
    methodGrid->addWidget(gauss_, 0, 0);
    methodGrid->addWidget(cheb_, 0, 1);
    methodGrid->addWidget(enclosing_, 1, 0, 1, 2);
    methodGrid->addWidget(inscribing_, 2, 0, 1, 2);
    for (QRadioButton* r : {gauss_, cheb_, enclosing_, inscribing_})
        connect(r, &QRadioButton::toggled, this, [this] { updateMethodRows(); });
    controlsLayout->addWidget(method);

    // The Chebyshev element: one of three.
    chebGeom_ = new QGroupBox(tr("Chebyshev geometry"), controls);
    chebGeom_->setObjectName("groupBoxChebGeom");
    auto* chebLayout = new QHBoxLayout(chebGeom_);
    compact(chebLayout);
    central_ = new QCheckBox(tr("central"), chebGeom_);
    central_->setObjectName("checkBoxChebGeomCentral");
    central_->setToolTip(tr("Compute central Chebyshev element"));
    central_->setChecked(true);
    outer_ = new QCheckBox(tr("outer"), chebGeom_);
    outer_->setObjectName("checkBoxChebGeomOuter");
    outer_->setToolTip(tr("Compute outer Chebyshev element"));
    inner_ = new QCheckBox(tr("inner"), chebGeom_);
    inner_->setObjectName("checkBoxChebGeomInner");
    inner_->setToolTip(tr("Compute inner Chebyshev element"));
    auto* elements = new QButtonGroup(this);
    elements->setExclusive(true);
    for (QCheckBox* c : {central_, outer_, inner_}) {
        elements->addButton(c);
        chebLayout->addWidget(c);
    }
    controlsLayout->addWidget(chebGeom_);

    // Parameters.
    auto* params = new QGroupBox(tr("Parameters"), controls);
    params->setObjectName("groupBoxParameters");
    auto* paramGrid = new QGridLayout(params);
    compact(paramGrid);
    paramGrid->addWidget(new QLabel(tr("Max. Iterations"), params), 0, 0);
    iterations_ = new QSpinBox(params);
    iterations_->setObjectName("spinBoxIt");
    iterations_->setRange(0, 10000);
    iterations_->setValue(100);
    paramGrid->addWidget(iterations_, 0, 1);
    weighting_ = new QCheckBox(tr("Enable outlier weighting"), params);
    weighting_->setObjectName("checkBoxWeighting");
    paramGrid->addWidget(weighting_, 1, 0, 1, 2);
    controlsLayout->addWidget(params);

    // Start values, one row per group.
    init_ = new QGroupBox(tr("Initialization"), controls);
    init_->setObjectName("groupBoxInit");
    auto* initLayout = new QVBoxLayout(init_);
    compact(initLayout);
    auto* validator = new QRegularExpressionValidator(
        QRegularExpression("\\s*[-+]?[0-9]*[\\.,]?[0-9]*([eE][-+]?[0-9]*)?\\s*"), this);
    const int labelWidth = fontMetrics().horizontalAdvance(tr("Direction")) + 8;
    auto makeRow = [&](Row row, const QString& label, const char* fixName,
                       std::initializer_list<const char*> editNames, QLineEdit** edits) {
        auto* w = new QWidget(init_);
        auto* h = new QHBoxLayout(w);
        h->setContentsMargins(0, 0, 0, 0);
        auto* l = new QLabel(label, w);
        l->setFixedWidth(labelWidth);
        h->addWidget(l);
        int k = 0;
        for (const char* name : editNames) {
            auto* e = new QLineEdit(w);
            e->setObjectName(name);
            e->setValidator(validator);
            e->setAlignment(Qt::AlignRight);
            e->setMinimumWidth(10);
            h->addWidget(e, 1);
            edits[k++] = e;
        }
        if (editNames.size() == 1) h->addStretch(2);
        fix_[row] = new QCheckBox(tr("fix"), w);
        fix_[row]->setObjectName(fixName);
        fix_[row]->setToolTip(tr("Holds the start value fixed during the fit"));
        h->addWidget(fix_[row]);
        rows_[row] = w;
        initLayout->addWidget(w);
    };
    makeRow(kFactor, tr("Factor"), "fixS", {"lineEditShape"}, &factor_);
    makeRow(kAngle, tr("Angle"), "fixA", {"lineEditAngle"}, &angle_);
    makeRow(kRadius, tr("Radius"), "fixR1", {"lineEditRadius1"}, &radius1_);
    makeRow(kRadius2, tr("Radius2"), "fixR2", {"lineEditRadius2"}, &radius2_);
    makeRow(kPoint, tr("Point"), "fixP", {"lineEditPointX", "lineEditPointY", "lineEditPointZ"},
            point_);
    makeRow(kDirection, tr("Direction"), "fixD", {"lineEditDirX", "lineEditDirY", "lineEditDirZ"},
            dir_);
    angle_->setToolTip(tr("degrees"));
    controlsLayout->addWidget(init_);

    controlsLayout->addStretch(1);
    const ResultsArea results = addResultsArea(this, controls, "btnCompute");
    table_ = results.table;
    compute_ = results.compute;
    connect(compute_, &QPushButton::clicked, this, &WidgetFitGeometry::startComputation);

    setFunction(0);
}

void WidgetFitGeometry::setFunction(int code) {
    function_ = code >= 0 && code <= 9 ? code : 0;
    if (QAbstractButton* b = functions_->button(function_)) b->setChecked(true);
    const std::optional<cmd::FitShape> shape = cmd::fitShapeFromCode(function_);
    const unsigned groups = shape ? cmd::fitGroups(*shape) : 0u;
    for (int row = 0; row < 6; ++row)
        rows_[row]->setVisible((groups & kRowGroup[row]) != 0);
    init_->setVisible(groups != 0);
    table_->clear();
    table_->setRowCount(0);
    updateMethodRows();
}

void WidgetFitGeometry::updateMethodRows() {
    // The line has no enclosing element: fall back to Gauss.
    const bool enclosing = function_ == 0 || hasEnclosing(function_);
    if (!enclosing && (enclosing_->isChecked() || inscribing_->isChecked()))
        gauss_->setChecked(true);
    enclosing_->setVisible(enclosing);
    inscribing_->setVisible(enclosing);
    // Outer and inner: plane, cylinder, sphere; the line shows the group (central only).
    const bool outerInner = hasOuterInner(function_);
    chebGeom_->setVisible(outerInner || function_ == 7 || function_ == 0);
    if (!outerInner && !central_->isChecked()) central_->setChecked(true);
    outer_->setEnabled(outerInner || function_ == 0);
    inner_->setEnabled(outerInner || function_ == 0);
    chebGeom_->setEnabled(cheb_->isChecked());
}

cmd::FitOptions WidgetFitGeometry::options() const {
    cmd::FitOptions o;
    if (cheb_->isChecked()) {
        o.method = alg3D::approximate::kChebyshev;
        o.element = outer_->isChecked()   ? cmd::FitElement::kOuter
                    : inner_->isChecked() ? cmd::FitElement::kInner
                                          : cmd::FitElement::kCentral;
    } else if (enclosing_->isChecked() || inscribing_->isChecked()) {
        o.method = alg3D::approximate::kChebyshev;
        o.element =
            enclosing_->isChecked() ? cmd::FitElement::kEnclosing : cmd::FitElement::kInscribing;
    } else {
        o.method = alg3D::approximate::kLevenbergMarquardt;
    }
    o.weighting = weighting_->isChecked();
    o.maxIterations = static_cast<std::uint64_t>(iterations_->value());
    const std::optional<cmd::FitShape> shape = cmd::fitShapeFromCode(function_);
    const unsigned groups = shape ? cmd::fitGroups(*shape) : 0u;
    if (groups & cmd::kGroupFactor) readScalar(factor_, fix_[kFactor], 1.0, o.factor);
    if (groups & cmd::kGroupAngle) readScalar(angle_, fix_[kAngle], cmd::kPi / 180.0, o.angle);
    if (groups & cmd::kGroupRadius) readScalar(radius1_, fix_[kRadius], 1.0, o.radius);
    if (groups & cmd::kGroupRadius2) readScalar(radius2_, fix_[kRadius2], 1.0, o.radius2);
    if (groups & cmd::kGroupPoint) readVector(point_, fix_[kPoint], o.point);
    if (groups & cmd::kGroupDirection) readVector(dir_, fix_[kDirection], o.direction);
    return o;
}
