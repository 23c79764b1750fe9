// The 3D view: a QOpenGLWidget on the 3.3 core profile that owns the renderer and turns
// mouse and key input into camera moves, point picking, object picking and ruler
// measurements.
#pragma once

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLWidget>
#include <QPoint>
#include <QString>
#include <vector>

#include "OpenGL/GLCamera.h"
#include "OpenGL/GLScene.h"
#include "alg3D/matrix/Matrix.h"

class QLabel;

class GLView : public QOpenGLWidget, protected QOpenGLFunctions_3_3_Core {
    Q_OBJECT

  public:
    explicit GLView(QWidget* parent = nullptr);
    ~GLView() override;

    GLScene& scene() { return scene_; }
    GLCamera& camera() { return scene_.camera(); }

    // Stores the size in the scene and repaints.
    void setPointSize(int size);
    // Background colours; the contrast grey follows.
    void setBackground(const QColor& top, const QColor& bottom);

    // Depth pick at a window position (row from the bottom): the nearest depth in the
    // 31 x 31 block whose lower-left corner is (x, y). False on a miss.
    bool pickPoint(int x, int y, alg3D::Vec3d& point);
    // Adds a ruler point and rewrites the label.
    void addRulerPoint(const alg3D::Vec3d& p);
    QLabel* rulerLabel() const { return rulerLabel_; }

    // A coordinate or length for the ruler label: fixed notation, six decimals below 1e4.
    static QString lengthText(double value);
    // The text of the ruler label for a list of points.
    static QString rulerText(const std::vector<alg3D::Vec3d>& points);

    // "major.minor (vendor)" of the context, after initialisation.
    const QString& versionText() const { return versionText_; }

  signals:
    void selectionFinished();
    void pointSizeChanged(float size);

  public slots:
    void enableObjectTransform(bool enable);
    void setRulerEnabled(bool enable);
    void fit2view(GLCamera::enViewDir viewDir);
    void fit2view();
    void reverseSelection();
    void clearSelection();

  protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int w, int h) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The point the camera pans and zooms about: the depth pick at the cursor in
    // orthographic mode, else (and on a miss) the rotation centre.
    alg3D::Vec3d anchorAt(int x, int y);
    void pickObject(const alg3D::Vec3d& p, bool toggle);
    void updateRulerLabel();
    int row(int y) const { return height() - y; }

    GLScene scene_;
    QLabel* rulerLabel_ = nullptr;
    QPoint lastPos_;
    bool dragging_ = false;
    bool clickArmed_ = false;
    bool initialized_ = false;
    QString versionText_;
};
