// The 3D view: a QOpenGLWidget on the 3.3 core profile that owns the renderer and turns
// mouse and key input into camera moves, point picking, object picking and ruler
// measurements.
#pragma once

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLWidget>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "OpenGL/GLCamera.h"
#include "OpenGL/GLScene.h"
#include "alg3D/matrix/Matrix.h"

class QLabel;
class QOpenGLFramebufferObject;
class GLMouseSelection;

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

    // Point selection with an outline tool: 0 polygon, 1 rectangle, 2 lasso (any other
    // mode does nothing). While it is active the view shows the frozen scene with the
    // outline and hands every mouse event to the tool.
    void startSelection(int mode);
    // Ends the outline tool; `notify` false when another tool takes over at once.
    void endSelection(bool notify = true);
    bool isSelectionActive() const { return selectionActive_; }
    const GLMouseSelection* selectionTool() const { return tool_.get(); }
    // Whether Delete removes the selected points: after a selection finished or was
    // inverted, until the points are deleted or the selection is cleared.
    bool isDeleteArmed() const { return deleteArmed_; }
    // Removes the selected points of the selected objects.
    void deleteSelectedPoints();
    // Number of selected points over the selected objects after the last selection.
    std::uint64_t selectedPointCount() const { return selectedPoints_; }

    // The transform of the selected objects in object-transform mode (not yet applied).
    const alg3D::Matrix4x4d& objectTransform() const { return objectTransform_; }

    // "major.minor (vendor)" of the context, after initialisation.
    const QString& versionText() const { return versionText_; }

  signals:
    void selectionFinished();
    void pointSizeChanged(float size);
    // A click in the view changed which objects are selected.
    void selectedObjectsChanged();
    // Objects' data changed (points deleted, transformed): info texts are stale.
    void objectsChanged();
    void objectTransformChanged(const alg3D::Matrix4x4d& transform);

  public slots:
    void enableObjectTransform(bool enable);
    void setRulerEnabled(bool enable);
    void fit2view(GLCamera::enViewDir viewDir);
    void fit2view();
    void reverseSelection();
    void clearSelection();
    void computeSelection(bool deselect);
    void computeSelection();
    // Bakes the pending transform into the objects' coordinates / drops it.
    void applyObjectTransform(bool checked = false);
    void discardObjectTransform(bool checked = false);
    void setCustomTransform(const alg3D::Matrix4x4d& transform);

  protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int w, int h) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The point the camera pans and zooms about: the depth pick at the cursor in
    // orthographic mode, else (and on a miss) the rotation centre.
    alg3D::Vec3d anchorAt(int x, int y);
    void pickObject(const alg3D::Vec3d& p, bool toggle);
    void updateRulerLabel();
    int row(int y) const { return height() - y; }
    // A widget position as the tools see it: frame-buffer pixels, rows from the bottom.
    QPointF toolPosition(const QPoint& p) const;
    // The transform mode's drag: turns or moves the selected objects.
    void transformObjects(QMouseEvent* event, double dx, double dy);
    void publishObjectTransform();

    GLScene scene_;
    QLabel* rulerLabel_ = nullptr;
    QPoint lastPos_;
    bool dragging_ = false;
    bool clickArmed_ = false;
    bool initialized_ = false;
    QString versionText_;
    std::unique_ptr<GLMouseSelection> tool_;
    std::unique_ptr<QOpenGLFramebufferObject> frozen_;
    SelectionRegion outline_;
    bool selectionActive_ = false;
    bool deleteArmed_ = false;
    std::uint64_t selectedPoints_ = 0;
    alg3D::Matrix4x4d objectTransform_ = alg3D::Matrix4x4d::identity();
    alg3D::Vec3d transformCenter_;
};
