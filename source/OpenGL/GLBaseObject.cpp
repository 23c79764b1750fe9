#include "OpenGL/GLBaseObject.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <algorithm>

void SelectionRegion::updateBounds() {
    if (polygon.empty()) {
        minX = minY = maxX = maxY = 0;
        return;
    }
    minX = maxX = polygon.front().x;
    minY = maxY = polygon.front().y;
    for (const auto& p : polygon) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
}

GLBaseObject::GLBaseObject() {
    static const int kMetaType = qRegisterMetaType<GLBaseObject*>("GLBaseObject*");
    (void)kMetaType;
    if (QOpenGLContext* context = QOpenGLContext::currentContext()) {
        gl = context->versionFunctions<QOpenGLFunctions_3_3_Core>();
    }
}

GLBaseObject::~GLBaseObject() {
    if (!gl) return;
    unsigned int buffers[3] = {vboPositions, vboNormals, vboColors};
    gl->glDeleteBuffers(3, buffers);
    if (vao) gl->glDeleteVertexArrays(1, &vao);
}

void GLBaseObject::setColor(const alg3D::Color& c) {
    color = c;
    updateColors();
}

void GLBaseObject::select(const SelectionRegion&, const alg3D::Matrix4x4d&,
                          const alg3D::Matrix4x4d&, const double*, unsigned char) {}

void GLBaseObject::getSelection(std::vector<alg3D::Vec3d>&) const {}

alg3D::Vec3d GLBaseObject::nearestPoint(const alg3D::Vec3d&) const {
    return alg3D::Vec3d();
}

void GLBaseObject::setVisible(bool visible) {
    if (visible) {
        flags |= kVisible | kSelected;
    } else {
        flags &= static_cast<unsigned char>(~(kVisible | kSelected));
    }
}

void GLBaseObject::setSelected(bool selected) {
    if (selected && isVisible()) {
        flags |= kSelected;
    } else if (!selected) {
        flags &= static_cast<unsigned char>(~kSelected);
    }
}

bool GLBaseObject::ensureVertexArray() {
    if (!gl) return false;
    if (!vao) gl->glGenVertexArrays(1, &vao);
    return true;
}

void GLBaseObject::ensureBuffer(unsigned int& buffer) {
    if (gl && !buffer) gl->glGenBuffers(1, &buffer);
}

void GLBaseObject::uploadBuffer(unsigned int buffer, std::int64_t bytes,
                                const std::function<void(void*)>& fill) {
    gl->glBindBuffer(GL_ARRAY_BUFFER, buffer);
    gl->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STATIC_DRAW);
    if (bytes > 0) {
        if (void* target = gl->glMapBuffer(GL_ARRAY_BUFFER, GL_WRITE_ONLY)) {
            fill(target);
            gl->glUnmapBuffer(GL_ARRAY_BUFFER);
        }
    }
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
}
