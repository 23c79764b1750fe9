#include "OpenGL/GLObjPrimitive.h"

#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>
#include <cmath>

using alg3D::Matrix4x4d;
using alg3D::Vec3d;
using primitive_mesh::MeshPart;

GLObjPrimitive::GLObjPrimitive() {
    objectType = kPrimitive;
    inSceneCoordinates = true;
}

Matrix4x4d GLObjPrimitive::rotationOnto(const Vec3d& d) {
    Matrix4x4d r = Matrix4x4d::identity();
    const Vec3d axis(d.y, -d.x, 0);
    const double s = axis.norm();
    if (s == 0) {
        if (d.z < 0) r(1, 1) = r(2, 2) = -1;  // half turn about x
        return r;
    }
    // The angle -acos(d.z) by its cosine d.z and sine -|axis|, which keeps full precision
    // next to -z, where acos does not.
    const Vec3d k = axis / s;
    const double c = std::clamp(d.z, -1.0, 1.0), sn = -s, t = 1 - c;
    r(0, 0) = c + t * k.x * k.x;
    r(0, 1) = t * k.x * k.y - sn * k.z;
    r(0, 2) = t * k.x * k.z + sn * k.y;
    r(1, 0) = t * k.x * k.y + sn * k.z;
    r(1, 1) = c + t * k.y * k.y;
    r(1, 2) = t * k.y * k.z - sn * k.x;
    r(2, 0) = t * k.x * k.z - sn * k.y;
    r(2, 1) = t * k.y * k.z + sn * k.x;
    r(2, 2) = c + t * k.z * k.z;
    return r;
}

void GLObjPrimitive::computeObjParam() {
    info = describe();
    modelMatrix = rotationOnto(frameAxis());
    const Vec3d origin = frameOrigin();
    for (std::size_t k = 0; k < 3; ++k)
        modelMatrix(k, 3) = origin[k];
    mesh_ = tessellate();

    Vec3d lo, hi;
    localBounds(lo, hi);
    localBox_.setBox(lo, hi);
    localBox_.setModelMatrix(modelMatrix);
    sceneBounds(bboxMin, bboxMax);
    bbox_.setBox(bboxMin, bboxMax);
}

void GLObjPrimitive::localBounds(Vec3d& lo, Vec3d& hi) const {
    lo = hi = Vec3d();
    for (std::size_t i = 0; i < mesh_.positions.size(); ++i) {
        const Vec3d& p = mesh_.positions[i];
        for (std::size_t k = 0; k < 3; ++k) {
            lo[k] = i ? std::min(lo[k], p[k]) : p[k];
            hi[k] = i ? std::max(hi[k], p[k]) : p[k];
        }
    }
}

void GLObjPrimitive::sceneBounds(Vec3d& lo, Vec3d& hi) const {
    lo = hi = frameOrigin();
    for (const Vec3d& local : mesh_.positions) {
        const Vec3d p = alg3D::matrix::transformPoint(modelMatrix, local);
        for (std::size_t k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
}

void GLObjPrimitive::discBounds(const Vec3d& center, const Vec3d& normal, double radius,
                                double grow, bool merge, Vec3d& lo, Vec3d& hi) {
    for (std::size_t k = 0; k < 3; ++k) {
        const double e = std::abs(radius) * std::sqrt(std::max(0.0, 1 - normal[k] * normal[k]));
        const double a = center[k] - e - grow, b = center[k] + e + grow;
        lo[k] = merge ? std::min(lo[k], a) : a;
        hi[k] = merge ? std::max(hi[k], b) : b;
    }
}

Vec3d GLObjPrimitive::movedPoint(const Matrix4x4d& t, const Vec3d& p) {
    return alg3D::matrix::transformPoint(t, p);
}

Vec3d GLObjPrimitive::turnedDirection(const Matrix4x4d& t, const Vec3d& d) {
    return alg3D::matrix::transformDirection(t, d).normalized();
}

void GLObjPrimitive::rebuild() {
    computeObjParam();
    upload();
}

Vec3d GLObjPrimitive::nearestPoint(const Vec3d& q) const {
    // Into the local frame with the transposed rotation, and back.
    const Vec3d v = q - frameOrigin();
    Vec3d local;
    for (std::size_t i = 0; i < 3; ++i)
        local[i] = modelMatrix(0, i) * v.x + modelMatrix(1, i) * v.y + modelMatrix(2, i) * v.z;
    return alg3D::matrix::transformPoint(modelMatrix, nearestLocal(local));
}

void GLObjPrimitive::applyTransform() {
    transformParameters(pendingTransform);
    pendingTransform = Matrix4x4d::identity();
    rebuild();
}

void GLObjPrimitive::initGL() {
    bbox_.initGL();
    localBox_.initGL();
    if (!ensureVertexArray()) return;
    GLint flags = 0;
    gl->glGetIntegerv(GL_CONTEXT_FLAGS, &flags);
    wideLines_ = (flags & GL_CONTEXT_FLAG_FORWARD_COMPATIBLE_BIT) == 0;
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

void GLObjPrimitive::upload() {
    if (!gl || !vboPositions) return;
    std::vector<float> positions, normals;
    positions.reserve(3 * mesh_.positions.size());
    normals.reserve(3 * mesh_.normals.size());
    for (std::size_t i = 0; i < mesh_.positions.size(); ++i) {
        for (std::size_t k = 0; k < 3; ++k) {
            positions.push_back(static_cast<float>(mesh_.positions[i][k]));
            normals.push_back(static_cast<float>(mesh_.normals[i][k]));
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

void GLObjPrimitive::setShaded(bool shaded) {
    // Lines and points have no surface to light: they are drawn in the plain object
    // colour by switching the current program's lighting off around them.
    GLint program = 0;
    gl->glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    if (!program) return;
    const GLint location = gl->glGetUniformLocation(static_cast<GLuint>(program), "HasNormals");
    if (location >= 0) gl->glUniform1i(location, shaded ? 1 : 0);
}

void GLObjPrimitive::draw() {
    if (!gl || !vao || mesh_.positions.empty()) return;
    gl->glBindVertexArray(vao);
    for (const MeshPart& part : mesh_.parts) {
        GLenum mode = GL_TRIANGLES;
        bool line = true;
        switch (part.kind) {
            case MeshPart::kTriangles:
                mode = GL_TRIANGLES, line = false;
                break;
            case MeshPart::kTriangleFan:
                mode = GL_TRIANGLE_FAN, line = false;
                break;
            case MeshPart::kTriangleStrip:
                mode = GL_TRIANGLE_STRIP, line = false;
                break;
            case MeshPart::kLines:
                mode = GL_LINES;
                break;
            case MeshPart::kLineStrip:
                mode = GL_LINE_STRIP;
                break;
            case MeshPart::kPoints:
                mode = GL_POINTS;
                break;
        }
        const GLint first = static_cast<GLint>(part.first);
        const GLsizei count = static_cast<GLsizei>(part.count);
        if (line) {
            setShaded(false);
            if (wideLines_) gl->glLineWidth(part.lineWidth);
        }
        if (part.twoPass) {
            gl->glEnable(GL_CULL_FACE);
            gl->glCullFace(GL_FRONT);
            gl->glDrawArrays(mode, first, count);
            gl->glCullFace(GL_BACK);
            gl->glDrawArrays(mode, first, count);
            gl->glDisable(GL_CULL_FACE);
        } else {
            gl->glDrawArrays(mode, first, count);
        }
        if (line) {
            if (wideLines_) gl->glLineWidth(1.0f);
            setShaded(true);
        }
    }
    gl->glBindVertexArray(0);
}
