// The transform panel: a rotation about an axis through the origin plus a movement, added
// to the current transform of the selected objects; the current transform as a 4 x 4
// matrix (cells can be edited); Accept bakes it into the objects' coordinates, Discard
// drops it.
#pragma once

#include "alg3D/matrix/Matrix.h"
#include "panels/ToolWidget.h"

class QLineEdit;
class QPushButton;
class QTableWidget;

class WidgetTransform : public ToolWidget {
    Q_OBJECT

  public:
    explicit WidgetTransform(QWidget* parent = nullptr);

    const alg3D::Matrix4x4d& matrix() const { return matrix_; }
    // The manual transform of the fields: rotation by the angle (degrees) about the axis
    // through the origin, then the movement. False when a field is not a number or the
    // axis is the zero vector with a non-zero angle.
    bool manualTransform(alg3D::Matrix4x4d& out) const;

  signals:
    void applyTransformClicked(bool checked);
    void discardTransformClicked(bool checked);
    void setCustomTransform(alg3D::Matrix4x4d transform);

  public slots:
    void setMatrix(const alg3D::Matrix4x4d& matrix);

  private:
    void addTransform();
    void cellEdited(int row, int column);

    QLineEdit *axis_[3], *movement_[3], *angle_;
    QTableWidget* table_ = nullptr;
    alg3D::Matrix4x4d matrix_ = alg3D::Matrix4x4d::identity();
    bool filling_ = false;
};
