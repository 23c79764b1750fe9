#include "panels/WidgetTransform.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <cmath>

#include "OpenGL/GLCamera.h"

namespace {

// A number typed with a decimal point or comma; false for anything else.
bool readNumber(const QLineEdit* edit, double& value) {
    bool ok = false;
    value = edit->text().trimmed().replace(',', '.').toDouble(&ok);
    return ok && std::isfinite(value);
}

}  // namespace

WidgetTransform::WidgetTransform(QWidget* parent) : ToolWidget(tr("Transform"), parent) {
    setObjectName("WgtTransform");
    auto* manual = new QGroupBox(tr("Manual transform"), body());
    auto* grid = new QGridLayout(manual);
    auto makeEdit = [&](const char* name, const QString& text) {
        auto* edit = new QLineEdit(text, manual);
        edit->setObjectName(name);
        edit->setAlignment(Qt::AlignRight);
        return edit;
    };
    const char* axisNames[3] = {"lineEditAxisX", "lineEditAxisY", "lineEditAxisZ"};
    const char* moveNames[3] = {"lineEditTX", "lineEditTY", "lineEditTZ"};
    grid->addWidget(new QLabel(tr("Axis"), manual), 0, 0);
    grid->addWidget(new QLabel(tr("Angle"), manual), 1, 0);
    grid->addWidget(new QLabel(tr("Movement"), manual), 2, 0);
    for (int k = 0; k < 3; ++k) {
        axis_[k] = makeEdit(axisNames[k], k == 2 ? "1" : "0");
        movement_[k] = makeEdit(moveNames[k], "0");
        grid->addWidget(axis_[k], 0, 1 + k);
        grid->addWidget(movement_[k], 2, 1 + k);
    }
    angle_ = makeEdit("lineEditAngle", "0");
    grid->addWidget(angle_, 1, 1);
    grid->addWidget(new QLabel(tr("degrees"), manual), 1, 2, 1, 2);
    auto* add = new QPushButton(tr("Add"), manual);
    add->setObjectName("btnAddTransform");
    add->setToolTip(tr("Adds the rotation and the movement to the current transform"));
    grid->addWidget(add, 3, 1, 1, 3);
    bodyLayout()->addWidget(manual);

    auto* current = new QGroupBox(tr("Current transform"), body());
    auto* currentLayout = new QVBoxLayout(current);
    table_ = new QTableWidget(4, 4, current);
    table_->setObjectName("tableWidget");
    table_->horizontalHeader()->setVisible(false);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    const int cellWidth = table_->fontMetrics().horizontalAdvance("12.12345678") + 8;
    table_->setMinimumWidth(4 * cellWidth);
    table_->setFixedHeight(4 * (table_->fontMetrics().height() + 8) + 4);
    currentLayout->addWidget(table_);
    auto* buttons = new QHBoxLayout();
    auto* null = new QPushButton(tr("Null"), current);
    null->setObjectName("btnNull");
    null->setToolTip(tr("Clears the fields of the manual transform"));
    auto* accept = new QPushButton(tr("Accept"), current);
    accept->setObjectName("btnApply");
    auto* discard = new QPushButton(tr("Discard"), current);
    discard->setObjectName("btnDiscard");
    buttons->addWidget(null);
    buttons->addStretch(1);
    buttons->addWidget(accept);
    buttons->addWidget(discard);
    currentLayout->addLayout(buttons);
    bodyLayout()->addWidget(current);

    connect(add, &QPushButton::clicked, this, &WidgetTransform::addTransform);
    connect(null, &QPushButton::clicked, this, [this] {
        for (int k = 0; k < 3; ++k) {
            axis_[k]->setText(k == 2 ? "1" : "0");
            movement_[k]->setText("0");
        }
        angle_->setText("0");
    });
    connect(accept, &QPushButton::clicked, this, &WidgetTransform::applyTransformClicked);
    connect(discard, &QPushButton::clicked, this, &WidgetTransform::discardTransformClicked);
    connect(table_, &QTableWidget::cellChanged, this, &WidgetTransform::cellEdited);
    setMatrix(matrix_);
}

bool WidgetTransform::manualTransform(alg3D::Matrix4x4d& out) const {
    double axis[3], move[3], angle = 0;
    for (int k = 0; k < 3; ++k) {
        if (!readNumber(axis_[k], axis[k]) || !readNumber(movement_[k], move[k])) return false;
    }
    if (!readNumber(angle_, angle)) return false;
    const alg3D::Vec3d a(axis[0], axis[1], axis[2]);
    alg3D::Matrix4x4d rotation = alg3D::Matrix4x4d::identity();
    if (angle != 0.0) {
        if (a.norm() == 0.0) return false;
        rotation = GLCamera::rotation(a, angle);
    }
    out = GLCamera::translation(alg3D::Vec3d(move[0], move[1], move[2])) * rotation;
    return true;
}

void WidgetTransform::addTransform() {
    alg3D::Matrix4x4d m;
    for (QLineEdit* edit :
         {axis_[0], axis_[1], axis_[2], angle_, movement_[0], movement_[1], movement_[2]}) {
        double v = 0;
        edit->setStyleSheet(readNumber(edit, v) ? QString() : "QLineEdit{color: rgb(200,0,0);}");
    }
    if (!manualTransform(m)) return;
    emit setCustomTransform(m * matrix_);
}

void WidgetTransform::setMatrix(const alg3D::Matrix4x4d& matrix) {
    matrix_ = matrix;
    filling_ = true;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            auto* item = new QTableWidgetItem(QString::number(matrix(i, j), 'f', 8));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setToolTip(QString::number(matrix(i, j), 'g', 17));
            if (i == 3) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            table_->setItem(i, j, item);
        }
    }
    filling_ = false;
}

void WidgetTransform::cellEdited(int row, int column) {
    if (filling_) return;
    bool ok = false;
    const double value =
        table_->item(row, column)->text().trimmed().replace(',', '.').toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        setMatrix(matrix_);  // back to the numbers in force
        return;
    }
    alg3D::Matrix4x4d m = matrix_;
    m(row, column) = value;
    emit setCustomTransform(m);
}
