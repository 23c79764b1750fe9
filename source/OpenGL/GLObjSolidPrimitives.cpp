#include "OpenGL/GLObjSolidPrimitives.h"

#include <cmath>

#include "OpenGL/PrimitiveClosestPoint.h"
#include "commands/FitPrimitiveInfo.h"

using alg3D::Matrix4x4d;
using alg3D::Vec3d;
namespace info_text = tessaro::commands;
namespace mesh = primitive_mesh;
namespace closest = primitive_closest;

// Sphere.

GLObjSphere::GLObjSphere() {
    name = "SphereObject";
    color = alg3D::Color(255, 255, 0);
    alpha = 100;
}

void GLObjSphere::setSphere(const Vec3d& center, double radius) {
    center_ = center;
    radius_ = radius;
    rebuild();
}

std::string GLObjSphere::describe() const {
    return info_text::sphereInfoText(radius_, center_);
}

mesh::PrimitiveMesh GLObjSphere::tessellate() const {
    return mesh::sphereMesh(radius_);
}

Vec3d GLObjSphere::nearestLocal(const Vec3d& q) const {
    return closest::sphere(q, radius_);
}

void GLObjSphere::transformParameters(const Matrix4x4d& t) {
    center_ = movedPoint(t, center_);
}

void GLObjSphere::sceneBounds(Vec3d& lo, Vec3d& hi) const {
    const Vec3d r(radius_, radius_, radius_);
    lo = center_ - r;
    hi = center_ + r;
}

// Cylinder.

GLObjCylinder::GLObjCylinder() {
    name = "CylinderObject";
    color = alg3D::Color(0, 255, 0);
    alpha = 100;
}

void GLObjCylinder::setCylinder(const Vec3d& center, const Vec3d& axis, double radius,
                                const Vec3d& bottom, double height) {
    center_ = center;
    axis_ = axis.normalized();
    radius_ = radius;
    bottom_ = bottom;
    height_ = height;
    rebuild();
}

std::string GLObjCylinder::describe() const {
    return info_text::cylinderInfoText(radius_, center_, axis_, bottom_, height_);
}

mesh::PrimitiveMesh GLObjCylinder::tessellate() const {
    return mesh::cylinderMesh(radius_, height_);
}

Vec3d GLObjCylinder::nearestLocal(const Vec3d& q) const {
    return closest::tube(q, radius_, height_);
}

void GLObjCylinder::transformParameters(const Matrix4x4d& t) {
    center_ = movedPoint(t, center_);
    bottom_ = movedPoint(t, bottom_);
    axis_ = turnedDirection(t, axis_);
}

void GLObjCylinder::sceneBounds(Vec3d& lo, Vec3d& hi) const {
    discBounds(bottom_, axis_, radius_, 0, false, lo, hi);
    discBounds(bottom_ + axis_ * height_, axis_, radius_, 0, true, lo, hi);
}

// Cone.

GLObjCone::GLObjCone() {
    name = "ConeObject";
    color = alg3D::Color(200, 128, 0);
    alpha = 100;
}

void GLObjCone::setCone(double psi, double radius, const Vec3d& center, const Vec3d& axis,
                        const Vec3d& bottom, double height) {
    psi_ = psi;
    radius_ = radius;
    center_ = center;
    axis_ = axis.normalized();
    bottom_ = bottom;
    height_ = height;
    rebuild();
}

double GLObjCone::bottomRadius() const {
    return radius_ + (bottom_ - center_).dot(axis_) * std::tan(psi_);
}

std::string GLObjCone::describe() const {
    return info_text::coneInfoText(psi_, radius_, center_, axis_, bottom_, height_);
}

mesh::PrimitiveMesh GLObjCone::tessellate() const {
    return mesh::coneMesh(bottomRadius(), topRadius(), height_);
}

Vec3d GLObjCone::nearestLocal(const Vec3d& q) const {
    return closest::cone(q, bottomRadius(), topRadius(), height_);
}

void GLObjCone::transformParameters(const Matrix4x4d& t) {
    center_ = movedPoint(t, center_);
    bottom_ = movedPoint(t, bottom_);
    axis_ = turnedDirection(t, axis_);
}

void GLObjCone::sceneBounds(Vec3d& lo, Vec3d& hi) const {
    discBounds(bottom_, axis_, bottomRadius(), 0, false, lo, hi);
    discBounds(bottom_ + axis_ * height_, axis_, topRadius(), 0, true, lo, hi);
}

// Torus.

GLObjTorus::GLObjTorus() {
    name = "TorusObject";
    color = alg3D::Color(0, 255, 255);
    alpha = 100;
}

void GLObjTorus::setTorus(const Vec3d& center, const Vec3d& axis, double r1, double r2) {
    center_ = center;
    axis_ = axis.normalized();
    r1_ = r1;
    r2_ = r2;
    rebuild();
}

std::string GLObjTorus::describe() const {
    return info_text::torusInfoText(r1_, r2_, center_, axis_);
}

mesh::PrimitiveMesh GLObjTorus::tessellate() const {
    return mesh::torusMesh(r1_, r2_);
}

Vec3d GLObjTorus::nearestLocal(const Vec3d& q) const {
    return closest::torus(q, r1_, r2_);
}

void GLObjTorus::transformParameters(const Matrix4x4d& t) {
    center_ = movedPoint(t, center_);
    axis_ = turnedDirection(t, axis_);
}

void GLObjTorus::sceneBounds(Vec3d& lo, Vec3d& hi) const {
    // The spine circle widened by the tube radius in every direction.
    discBounds(center_, axis_, r1_, std::abs(r2_), false, lo, hi);
}
