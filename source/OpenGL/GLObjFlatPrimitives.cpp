#include "OpenGL/GLObjFlatPrimitives.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "OpenGL/PrimitiveClosestPoint.h"
#include "alg3D/approximate/EllipseDistance.h"
#include "commands/FitPrimitiveInfo.h"

using alg3D::Matrix4x4d;
using alg3D::Vec3d;
namespace info_text = tessaro::commands;
namespace mesh = primitive_mesh;
namespace closest = primitive_closest;

namespace {

void printMatrix(const char* heading, const Matrix4x4d& m) {
    std::printf("%s", heading);
    for (int r = 0; r < 4; ++r)
        std::printf("%f %f %f %f\n", m(r, 0), m(r, 1), m(r, 2), m(r, 3));
}

}  // namespace

// Line.

GLObjLine::GLObjLine() {
    name = "LineObject";
    color = alg3D::Color(255, 0, 255);
}

void GLObjLine::setLine(const Vec3d& point, const Vec3d& direction, double length) {
    point_ = point;
    direction_ = direction.normalized();
    length_ = length;
    rebuild();
}

std::string GLObjLine::describe() const {
    return info_text::lineInfoText(point_, direction_);
}

mesh::PrimitiveMesh GLObjLine::tessellate() const {
    return mesh::lineMesh(length_);
}

Vec3d GLObjLine::nearestLocal(const Vec3d& q) const {
    return closest::segment(q, length_);
}

void GLObjLine::transformParameters(const Matrix4x4d& t) {
    point_ = movedPoint(t, point_);
    direction_ = turnedDirection(t, direction_);
}

void GLObjLine::localBounds(Vec3d& lo, Vec3d& hi) const {
    const double w = length_ / 20;
    lo = Vec3d(-w, -w, 0);
    hi = Vec3d(w, w, length_);
}

// Plane.

GLObjPlane::GLObjPlane() {
    name = "PlaneObject";
    color = alg3D::Color(170, 255, 255);
    alpha = 100;
}

void GLObjPlane::setPlane(const Vec3d& center, const Vec3d& normal, double size) {
    center_ = center;
    normal_ = normal.normalized();
    size_ = size;
    rebuild();
}

std::string GLObjPlane::describe() const {
    return info_text::planeInfoText(center_, normal_);
}

mesh::PrimitiveMesh GLObjPlane::tessellate() const {
    return mesh::planeMesh(size_);
}

Vec3d GLObjPlane::nearestLocal(const Vec3d& q) const {
    return Vec3d(q.x, q.y, 0);
}

void GLObjPlane::transformParameters(const Matrix4x4d& t) {
    center_ = movedPoint(t, center_);
    normal_ = turnedDirection(t, normal_);
}

// Circle.

GLObjCircle::GLObjCircle() {
    name = "CircleObject";
    color = alg3D::Color(0, 255, 0);
    alpha = 100;
}

void GLObjCircle::setCircle(const Vec3d& center, const Vec3d& normal, double radius) {
    center_ = center;
    normal_ = normal.normalized();
    radius_ = radius;
    rebuild();
}

std::string GLObjCircle::describe() const {
    return info_text::circleInfoText(radius_, center_, normal_);
}

mesh::PrimitiveMesh GLObjCircle::tessellate() const {
    return mesh::discMesh(radius_);
}

Vec3d GLObjCircle::nearestLocal(const Vec3d& q) const {
    return closest::disc(q, radius_);
}

void GLObjCircle::transformParameters(const Matrix4x4d& t) {
    center_ = movedPoint(t, center_);
    normal_ = turnedDirection(t, normal_);
}

void GLObjCircle::sceneBounds(Vec3d& lo, Vec3d& hi) const {
    discBounds(center_, normal_, radius_, 0, false, lo, hi);
}

// Ellipse.

GLObjEllipse::GLObjEllipse() : GLObjEllipse("EllipseObject") {}

GLObjEllipse::GLObjEllipse(const char* defaultName) {
    name = defaultName;
    color = alg3D::Color(0, 255, 0);
    alpha = 100;
}

void GLObjEllipse::setEllipse(const Vec3d& center, const Vec3d& normal, double a, double b,
                              double angle) {
    center_ = center;
    normal_ = normal.normalized();
    a_ = a;
    b_ = b;
    angle_ = angle;
    rebuild();
}

std::string GLObjEllipse::describe() const {
    return info_text::ellipseInfoText(a_, b_, angle_, center_, normal_);
}

mesh::PrimitiveMesh GLObjEllipse::tessellate() const {
    return mesh::ellipseMesh(a_, b_, angle_);
}

Vec3d GLObjEllipse::nearestLocal(const Vec3d& q) const {
    return closest::ellipseArea(q, a_, b_, angle_);
}

void GLObjEllipse::transformParameters(const Matrix4x4d& t) {
    // The a axis keeps its direction in space: its angle is measured again in the frame
    // of the turned normal.
    const Vec3d axisA = alg3D::matrix::transformDirection(
        modelMatrix, Vec3d(std::cos(angle_), std::sin(angle_), 0));
    center_ = movedPoint(t, center_);
    normal_ = turnedDirection(t, normal_);
    const Vec3d turnedA = turnedDirection(t, axisA);
    const Matrix4x4d r = rotationOnto(normal_);
    const double x = r(0, 0) * turnedA.x + r(1, 0) * turnedA.y + r(2, 0) * turnedA.z;
    const double y = r(0, 1) * turnedA.x + r(1, 1) * turnedA.y + r(2, 1) * turnedA.z;
    angle_ = std::atan2(y, x);
    if (angle_ < 0) angle_ += info_text::kPi;
    if (angle_ >= info_text::kPi) angle_ -= info_text::kPi;
}

double GLObjEllipse::support(double alpha, double beta) const {
    return std::hypot(alpha * a_, beta * b_);
}

void GLObjEllipse::sceneBounds(Vec3d& lo, Vec3d& hi) const {
    // Per axis the support of the outline in that direction: the a and b axes in space
    // weigh the axis' components.
    const Vec3d axisA = alg3D::matrix::transformDirection(
        modelMatrix, Vec3d(std::cos(angle_), std::sin(angle_), 0));
    const Vec3d axisB = normal_.cross(axisA);
    for (std::size_t k = 0; k < 3; ++k) {
        const double e = support(std::abs(axisA[k]), std::abs(axisB[k]));
        lo[k] = center_[k] - e;
        hi[k] = center_[k] + e;
    }
}

// Superellipse.

double GLObjSuperEllipse::support(double alpha, double beta) const {
    // With alpha, beta >= 0 the largest value lies in the first quadrant of the curve
    // parameter: a sampled maximum of h(t) = alpha·a·cos^eps t + beta·b·sin^eps t,
    // polished by a golden-section search between its neighbours.
    const double eps = drawnEps();
    const auto h = [&](double t) {
        return alpha * a_ * std::pow(std::max(0.0, std::cos(t)), eps) +
               beta * b_ * std::pow(std::max(0.0, std::sin(t)), eps);
    };
    const int n = 512;
    const double step = info_text::kPi / 2 / n;
    int best = 0;
    for (int i = 1; i <= n; ++i)
        if (h(i * step) > h(best * step)) best = i;
    double lo = std::max(0, best - 1) * step, hi = std::min(n, best + 1) * step;
    const double g = 0.6180339887498949;
    for (int i = 0; i < 80; ++i) {
        const double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
        if (h(x1) < h(x2)) {
            lo = x1;
        } else {
            hi = x2;
        }
    }
    return std::max({h(best * step), h(lo), h(hi)});
}

GLObjSuperEllipse::GLObjSuperEllipse() : GLObjEllipse("SuperEllipseObject") {}

void GLObjSuperEllipse::setSuperEllipse(const Vec3d& center, const Vec3d& normal, double a,
                                        double b, double angle, double eps) {
    eps_ = eps;
    setEllipse(center, normal, a, b, angle);
    Matrix4x4d local = Matrix4x4d::identity();
    local(0, 0) = local(1, 1) = std::cos(angle_);
    local(1, 0) = std::sin(angle_);
    local(0, 1) = -local(1, 0);
    printMatrix("object transform\n", pendingTransform);
    printMatrix("global\n", modelMatrix);
    printMatrix("local\n", local);
}

std::string GLObjSuperEllipse::describe() const {
    return info_text::superEllipseInfoText(eps_, a_, b_, angle_, center_, normal_);
}

double GLObjSuperEllipse::drawnEps() const {
    // The fits keep the exponent in this range; a file may hold any number.
    return std::clamp(eps_, alg3D::approximate::kMinShapeFactor,
                      alg3D::approximate::kMaxShapeFactor);
}

mesh::PrimitiveMesh GLObjSuperEllipse::tessellate() const {
    return mesh::superEllipseMesh(a_, b_, angle_, drawnEps());
}

Vec3d GLObjSuperEllipse::nearestLocal(const Vec3d& q) const {
    return closest::superEllipseArea(q, a_, b_, angle_, eps_);
}
