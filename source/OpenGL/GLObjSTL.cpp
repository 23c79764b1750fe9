#include "OpenGL/GLObjSTL.h"

#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

using alg3D::Vec3d;

GLObjSTL::GLObjSTL() {
    objectType = kMesh;
    name = "STL object";
    color = alg3D::Color(128, 128, 128);
}

void GLObjSTL::setTriangles(std::vector<Vec3d>&& corners) {
    corners_ = std::move(corners);
    corners_.resize(corners_.size() / 3 * 3);
    computeObjParam();
    upload();
}

void GLObjSTL::computeObjParam() {
    if (!corners_.empty()) {
        Vec3d lo = corners_.front(), hi = lo;
        for (const Vec3d& p : corners_) {
            for (std::size_t k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
            }
        }
        bboxMin = lo;
        bboxMax = hi;
        uploadOffset = (lo + hi) * 0.5;
    }
    bbox_.setBox(bboxMin, bboxMax);
    const Vec3d d = bboxMax - bboxMin;
    char text[256];
    std::snprintf(text, sizeof text, "triangles: %llu\ndx: %.6f\ndy: %.6f\ndz: %.6f\n",
                  static_cast<unsigned long long>(triangleCount()), d.x, d.y, d.z);
    info = text;
}

void GLObjSTL::initGL() {
    bbox_.initGL();
    if (!ensureVertexArray()) return;
    ensureBuffer(vboPositions);
    ensureBuffer(vboNormals);
    gl->glBindVertexArray(vao);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboPositions);
    gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl->glEnableVertexAttribArray(0);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboNormals);
    gl->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl->glEnableVertexAttribArray(1);
    gl->glDisableVertexAttribArray(2);
    gl->glDisableVertexAttribArray(3);
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl->glBindVertexArray(0);
    upload();
}

void GLObjSTL::upload() {
    if (!gl) return;
    ensureBuffer(vboPositions);
    ensureBuffer(vboNormals);
    std::vector<float> positions(corners_.size() * 3), normals(corners_.size() * 3);
    for (std::size_t t = 0; t + 2 < corners_.size(); t += 3) {
        const Vec3d n =
            (corners_[t + 1] - corners_[t]).cross(corners_[t + 2] - corners_[t]).normalized();
        for (std::size_t c = t; c < t + 3; ++c) {
            for (std::size_t k = 0; k < 3; ++k) {
                positions[3 * c + k] = static_cast<float>(corners_[c][k] - uploadOffset[k]);
                normals[3 * c + k] = static_cast<float>(std::isfinite(n[k]) ? n[k] : 0.0);
            }
        }
    }
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboPositions);
    gl->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(positions.size() * sizeof(float)),
                     positions.data(), GL_STATIC_DRAW);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboNormals);
    gl->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(normals.size() * sizeof(float)),
                     normals.data(), GL_STATIC_DRAW);
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void GLObjSTL::draw() {
    if (!gl || !vao || corners_.empty()) return;
    gl->glBindVertexArray(vao);
    gl->glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(corners_.size()));
    gl->glBindVertexArray(0);
}

Vec3d GLObjSTL::nearestPoint(const Vec3d& p) const {
    // Nearest corner; enough to pick the mesh among the scene's objects.
    Vec3d best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const Vec3d& c : corners_) {
        const double d = (c - p).squaredNorm();
        if (d < bestDistance) {
            bestDistance = d;
            best = c;
        }
    }
    return best;
}

void GLObjSTL::applyTransform() {
    for (Vec3d& c : corners_)
        c = alg3D::matrix::transformPoint(pendingTransform, c);
    pendingTransform = alg3D::Matrix4x4d::identity();
    computeObjParam();
    upload();
}
