// Camera of the 3D view: viewport, projection and model-view matrices in double
// precision, orthographic or perspective projection with a zoom factor, the standard
// view directions, and the mouse moves (trackball rotation about the rotation centre,
// pan and zoom that keep an anchor point under the cursor).
//
// Window positions have their rows counted from the bottom of the viewport. No GL calls:
// the view reads depth values and hands them in, so all of this is testable without a
// window. Cost: every operation is a handful of 4x4 products; unproject does one 4x4
// singular value decomposition.
#pragma once

#include "alg3D/matrix/Matrix.h"

class GLCamera {
  public:
    enum enViewDir {
        kRecenter = 0,
        kRecenterResetZoom = 1,
        kFront = 2,
        kBack = 3,
        kLeft = 4,
        kRight = 5,
        kTop = 6,
        kBottom = 7,
        kObliqueA = 8,
        kObliqueB = 9,
    };

    GLCamera();

    // Viewport in pixels; width and height are kept at least 1. Rebuilds the projection.
    void setViewport(double x, double y, double width, double height);
    const double* viewport() const { return viewport_; }

    // Rebuilds the projection matrix from the viewport, zoom and planes.
    void updateProjection();

    const alg3D::Matrix4x4d& projection() const { return projection_; }
    const alg3D::Matrix4x4d& modelView() const { return modelView_; }
    void setModelView(const alg3D::Matrix4x4d& m) { modelView_ = m; }

    double fieldOfView() const { return fov_; }
    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    bool isOrthographic() const { return orthographic_; }
    void setOrthographic(bool ortho);
    double nearPlane() const { return near_; }
    double farPlane() const { return far_; }
    double sceneRadius() const { return sceneRadius_; }

    const alg3D::Vec3d& rotationCenter() const { return rotationCenter_; }
    void setRotationCenter(const alg3D::Vec3d& c) { rotationCenter_ = c; }
    void resetRotationCenter() { rotationCenter_ = defaultCenter_; }

    // Fits a box into the view from a direction. `empty` fits a sphere of radius 0.5
    // about the origin.
    void fit2view(enViewDir dir, const alg3D::Vec3d& boxMin, const alg3D::Vec3d& boxMax,
                  bool empty);
    // The rotation of a view direction (identity for 0 and 1).
    static alg3D::Matrix4x4d viewRotation(enViewDir dir);

    // World point -> window (x, y, depth in 0..1). False when |w| < 1e-6.
    bool project(const alg3D::Vec3d& p, alg3D::Vec3d& window) const;
    // Window (x, y, depth) -> world point: the projection inverted through its
    // pseudo-inverse, the model-view (a rigid motion) exactly. False when |w| < 1e-6.
    bool unproject(const alg3D::Vec3d& window, alg3D::Vec3d& p) const;

    // Trackball rotation for a mouse move by (dx, dy) from (prevX, prevY).
    void rotate(double prevX, double prevY, double dx, double dy);
    // Moves the scene so that `anchor` follows a mouse move by (dx, dy).
    void pan(const alg3D::Vec3d& anchor, double dx, double dy);
    // Zooms by `factor`, keeping the point at the cursor's position and the anchor's
    // depth under the cursor.
    void zoomTowards(const alg3D::Vec3d& anchor, double cursorX, double cursorY, double factor);

    // Rotation matrix (4x4) about an axis through the origin, angle in degrees.
    static alg3D::Matrix4x4d rotation(const alg3D::Vec3d& axis, double degrees);
    static alg3D::Matrix4x4d translation(const alg3D::Vec3d& t);

  private:
    double viewport_[4] = {0, 0, 1, 1};
    alg3D::Matrix4x4d projection_ = alg3D::Matrix4x4d::identity();
    alg3D::Matrix4x4d modelView_ = alg3D::Matrix4x4d::identity();
    double fov_ = 30.0;
    double zoom_ = 1.0;
    bool orthographic_ = true;
    double near_ = 0.001;
    double far_ = 1.0;
    double sceneRadius_ = 0.5;
    alg3D::Vec3d rotationCenter_;
    alg3D::Vec3d defaultCenter_;
};
