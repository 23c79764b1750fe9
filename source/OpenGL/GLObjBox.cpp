#include "OpenGL/GLObjBox.h"

#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>
#include <cstdio>

GLObjBox::GLObjBox() {
    objectType = kPrimitive;
    name = "BoxObject";
    color = alg3D::Color(128, 128, 128);
}

void GLObjBox::setBox(const alg3D::Vec3d& minCorner, const alg3D::Vec3d& maxCorner) {
    bboxMin = minCorner;
    bboxMax = maxCorner;
    hasBox_ = true;
    computeObjParam();
    upload();
}

void GLObjBox::computeObjParam() {
    const alg3D::Vec3d d = bboxMax - bboxMin;
    char text[64];
    std::snprintf(text, sizeof text, "%s: %3.4lf\n", info_key::kVolume, d.x * d.y * d.z);
    info = text;
    uploadOffset = (bboxMin + bboxMax) * 0.5;
}

void GLObjBox::initGL() {
    if (!ensureVertexArray()) return;
    ensureBuffer(vboPositions);
    gl->glBindVertexArray(vao);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboPositions);
    gl->glEnableVertexAttribArray(0);
    gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl->glDisableVertexAttribArray(1);
    gl->glDisableVertexAttribArray(2);
    gl->glDisableVertexAttribArray(3);
    gl->glBindVertexArray(0);
    upload();
}

void GLObjBox::upload() {
    if (!gl || !vboPositions || !hasBox_) return;
    // The 12 edges as 24 line end points, relative to the centre.
    const alg3D::Vec3d lo = bboxMin - uploadOffset, hi = bboxMax - uploadOffset;
    float corners[8][3];
    for (int i = 0; i < 8; ++i) {
        corners[i][0] = static_cast<float>((i & 1) ? hi.x : lo.x);
        corners[i][1] = static_cast<float>((i & 2) ? hi.y : lo.y);
        corners[i][2] = static_cast<float>((i & 4) ? hi.z : lo.z);
    }
    static const int kEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                      {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    float lines[24][3];
    for (int e = 0; e < 12; ++e) {
        for (int k = 0; k < 3; ++k) {
            lines[2 * e][k] = corners[kEdges[e][0]][k];
            lines[2 * e + 1][k] = corners[kEdges[e][1]][k];
        }
    }
    gl->glBindBuffer(GL_ARRAY_BUFFER, vboPositions);
    gl->glBufferData(GL_ARRAY_BUFFER, sizeof lines, lines, GL_STATIC_DRAW);
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void GLObjBox::draw() {
    if (!gl || !vao || !hasBox_) return;
    gl->glBindVertexArray(vao);
    gl->glDrawArrays(GL_LINES, 0, 24);
    gl->glBindVertexArray(0);
}

alg3D::Vec3d GLObjBox::nearestPoint(const alg3D::Vec3d& p) const {
    // Closest point of the solid box.
    alg3D::Vec3d q;
    for (std::size_t k = 0; k < 3; ++k)
        q[k] = std::clamp(p[k], bboxMin[k], bboxMax[k]);
    return q;
}
