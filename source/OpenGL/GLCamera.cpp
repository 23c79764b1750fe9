#include "OpenGL/GLCamera.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "alg3D/matrix/DMatrix.h"
#include "alg3D/matrix/SVD.h"

using alg3D::Matrix4x4d;
using alg3D::Vec3d;

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kDegrees = 57.29577951308232;
}  // namespace

GLCamera::GLCamera() = default;

void GLCamera::setViewport(double x, double y, double width, double height) {
    viewport_[0] = x;
    viewport_[1] = y;
    viewport_[2] = std::max(width, 1.0);
    viewport_[3] = std::max(height, 1.0);
    updateProjection();
}

void GLCamera::setZoom(double zoom) {
    zoom_ = std::max(zoom, 0.001);
    updateProjection();
}

void GLCamera::setOrthographic(bool ortho) {
    orthographic_ = ortho;
    updateProjection();
}

void GLCamera::updateProjection() {
    projection_ = Matrix4x4d::identity();
    const double w = viewport_[2], h = viewport_[3];
    const double n = near_, f = far_;
    if (orthographic_) {
        const double h0 = sceneRadius_ / zoom_;
        double hw, hh;
        if (w <= h) {
            hw = h0;
            hh = h0 / (w / h);
        } else {
            hw = h0 * (w / h);
            hh = h0;
        }
        projection_(0, 0) = 1.0 / hw;
        projection_(1, 1) = 1.0 / hh;
        projection_(2, 2) = -2.0 / (f - n);
        projection_(2, 3) = -(f + n) / (f - n);
    } else {
        double angle = fov_ / zoom_;
        if (angle < 0.25) {
            angle = 0.25;
            zoom_ = fov_ * 4.0;
        } else if (angle > 120.0) {
            angle = 120.0;
            zoom_ = fov_ / 120.0;
        }
        const double t = 1.0 / std::tan(angle * kPi / 360.0);
        projection_(0, 0) = t / (w / h);
        projection_(1, 1) = t;
        projection_(2, 2) = (f + n) / (n - f);
        projection_(2, 3) = 2.0 * f * n / (n - f);
        projection_(3, 2) = -1.0;
        projection_(3, 3) = 0.0;
    }
}

Matrix4x4d GLCamera::rotation(const Vec3d& axis, double degrees) {
    Matrix4x4d r = Matrix4x4d::identity();
    const double len = axis.norm();
    if (len == 0.0) return r;
    const Vec3d a = axis / len;
    const double c = std::cos(degrees / kDegrees), s = std::sin(degrees / kDegrees), t = 1 - c;
    r(0, 0) = t * a.x * a.x + c;
    r(0, 1) = t * a.x * a.y - s * a.z;
    r(0, 2) = t * a.x * a.z + s * a.y;
    r(1, 0) = t * a.x * a.y + s * a.z;
    r(1, 1) = t * a.y * a.y + c;
    r(1, 2) = t * a.y * a.z - s * a.x;
    r(2, 0) = t * a.x * a.z - s * a.y;
    r(2, 1) = t * a.y * a.z + s * a.x;
    r(2, 2) = t * a.z * a.z + c;
    return r;
}

Matrix4x4d GLCamera::translation(const Vec3d& t) {
    Matrix4x4d m = Matrix4x4d::identity();
    m(0, 3) = t.x;
    m(1, 3) = t.y;
    m(2, 3) = t.z;
    return m;
}

Matrix4x4d GLCamera::viewRotation(enViewDir dir) {
    switch (dir) {
        case kBack:
            return rotation(Vec3d(0, 1, 0), 180.0);
        case kLeft:
            return rotation(Vec3d(0, 1, 0), 90.0);
        case kRight:
            return rotation(Vec3d(0, 1, 0), -90.0);
        case kTop:
            return rotation(Vec3d(1, 0, 0), 90.0);
        case kBottom:
            return rotation(Vec3d(1, 0, 0), -90.0);
        case kObliqueA:
            return rotation(Vec3d(-0.187055, -0.45159, -0.872397), 140.264463);
        case kObliqueB:
            return rotation(Vec3d(-0.202803, -0.48961, -0.848029), 141.290808);
        default:
            return Matrix4x4d::identity();
    }
}

void GLCamera::fit2view(enViewDir dir, const Vec3d& boxMin, const Vec3d& boxMax, bool empty) {
    double r = 0.5;
    Vec3d centre;
    if (!empty) {
        r = 0.5 * (boxMax - boxMin).norm();
        centre = (boxMin + boxMax) * 0.5;
        if (!(r > 0.0)) r = 0.5;  // a single point still gets a visible extent
    }
    const double d = r / std::sin(fov_ * kPi / 360.0);
    sceneRadius_ = r;
    far_ = d + 3.0 * r;
    near_ = std::max(d - 3.0 * r, 1e-6);
    defaultCenter_ = centre;
    rotationCenter_ = centre;

    Matrix4x4d rot = Matrix4x4d::identity();
    if (dir == kRecenter || dir == kRecenterResetZoom) {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                rot(i, j) = modelView_(i, j);
        if (dir == kRecenterResetZoom) zoom_ = 1.0;
    } else {
        zoom_ = 1.0;
        rot = viewRotation(dir);
    }
    modelView_ = translation(Vec3d(0, 0, -d)) * rot * translation(-centre);
    updateProjection();
}

bool GLCamera::project(const Vec3d& p, Vec3d& window) const {
    // Eye coordinates first: the model-view's translation cancels the coordinates of a
    // cloud far from the origin before anything is multiplied with the projection.
    const Vec3d eye = alg3D::matrix::transformPoint(modelView_, p);
    double v[4];
    for (int i = 0; i < 4; ++i) {
        v[i] = projection_(i, 0) * eye.x + projection_(i, 1) * eye.y + projection_(i, 2) * eye.z +
               projection_(i, 3);
    }
    if (std::abs(v[3]) < 1e-6) return false;
    window.x = (v[0] / v[3] + 1.0) * viewport_[2] / 2.0 + viewport_[0];
    window.y = (v[1] / v[3] + 1.0) * viewport_[3] / 2.0 + viewport_[1];
    window.z = (v[2] / v[3] + 1.0) / 2.0;
    return true;
}

bool GLCamera::unproject(const Vec3d& window, Vec3d& p) const {
    // The inverse of projection · model-view, taken in two steps so that it stays exact
    // for survey coordinates: the projection by its pseudo-inverse (singular value
    // decomposition, small singular values treated as zero), the model-view (a rigid
    // motion) by its exact inverse. The product's pseudo-inverse would lose digits to the
    // large translation.
    alg3D::DMatrix a(4, 4), u, v;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            a(i, j) = projection_(i, j);
    std::vector<double> w;
    alg3D::svd(a, u, w, v);
    const double wMax = *std::max_element(w.begin(), w.end());
    const double tol = 0.5 * std::sqrt(9.0) * wMax * 2.220446049250313e-16;
    double inv[4][4] = {};
    for (int k = 0; k < 4; ++k) {
        if (w[k] <= tol) continue;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                inv[i][j] += v(i, k) * u(j, k) / w[k];
    }
    const double ndc[4] = {(window.x - viewport_[0]) / viewport_[2] * 2.0 - 1.0,
                           (window.y - viewport_[1]) / viewport_[3] * 2.0 - 1.0,
                           window.z * 2.0 - 1.0, 1.0};
    double out[4] = {};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[i] += inv[i][j] * ndc[j];
    if (std::abs(out[3]) < 1e-6) return false;
    const Vec3d eye(out[0] / out[3], out[1] / out[3], out[2] / out[3]);
    p = alg3D::matrix::transformPoint(alg3D::matrix::affineInverse(modelView_), eye);
    return true;
}

void GLCamera::rotate(double prevX, double prevY, double dx, double dy) {
    if (dx == 0.0 && dy == 0.0) return;
    const double w = viewport_[2], h = viewport_[3];
    const double radius = std::sqrt((w * w + h * h) / 4.0);
    Vec3d c;
    if (!project(rotationCenter_, c)) c = Vec3d(viewport_[0] + w / 2, viewport_[1] + h / 2, 0.5);
    const double l = (prevX - c.x) / radius, b = (prevY - c.y) / radius;
    const double z = std::sqrt(std::abs(1.0 - (l * l + b * b)));
    const double mx = dx / radius, my = dy / radius;
    // Third component so that the motion is tangent to the ball at (l, b, z).
    const double mz = z > 1e-12 ? -(l * mx + b * my) / z : 0.0;
    const Vec3d ball(l, b, z), motion(mx, my, mz);
    const Vec3d axisEye = ball.cross(motion);
    if (axisEye.norm() == 0.0) return;
    // Eye -> model coordinates through the transpose of the rotation part.
    Vec3d axis;
    for (int i = 0; i < 3; ++i) {
        axis[i] = modelView_(0, i) * axisEye.x + modelView_(1, i) * axisEye.y +
                  modelView_(2, i) * axisEye.z;
    }
    double angle = 3.0 * motion.norm() * kDegrees;
    if (zoom_ >= 1.0) angle /= zoom_;
    modelView_ = modelView_ * translation(rotationCenter_) * rotation(axis, angle) *
                 translation(-rotationCenter_);
}

void GLCamera::pan(const Vec3d& anchor, double dx, double dy) {
    if (dx == 0.0 && dy == 0.0) return;
    Vec3d win, p1, p2;
    if (!project(anchor, win)) return;
    if (!unproject(win, p1) || !unproject(Vec3d(win.x + dx, win.y + dy, win.z), p2)) return;
    modelView_ = modelView_ * translation(p2 - p1);
}

void GLCamera::zoomTowards(const Vec3d& anchor, double cursorX, double cursorY, double factor) {
    Vec3d win, p1, p2;
    const bool anchored = project(anchor, win) && unproject(Vec3d(cursorX, cursorY, win.z), p1);
    zoom_ = std::max(zoom_ * factor, 0.001);
    updateProjection();
    if (!anchored || !unproject(Vec3d(cursorX, cursorY, win.z), p2)) return;
    modelView_ = modelView_ * translation(p2 - p1);
}
