#include "OpenGL/GLScene.h"

#include <QFile>
#include <QImage>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>
#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "OpenGL/GLObjBox.h"

using alg3D::Matrix4x4d;
using alg3D::Vec3d;

namespace {

QByteArray shaderText(const char* resource) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray();
    return file.readAll();
}

// Compiles one stage; on failure its log goes to standard output under `heading`.
bool addStage(QOpenGLShaderProgram& program, QOpenGLShader::ShaderType type, const char* define,
              const QByteArray& text, const char* heading) {
    const QByteArray source = QByteArray("#version 330 core\n") + define + text;
    if (program.addShaderFromSourceCode(type, source)) return true;
    std::printf("%s%s\n", heading, program.log().toLocal8Bit().constData());
    return false;
}

bool buildProgram(QOpenGLShaderProgram& program, const QByteArray& text, const char* vertexDefine,
                  const char* fragmentDefine, const char* vertexHeading,
                  const char* fragmentHeading) {
    bool ok = addStage(program, QOpenGLShader::Vertex, vertexDefine, text, vertexHeading);
    ok = addStage(program, QOpenGLShader::Fragment, fragmentDefine, text, fragmentHeading) && ok;
    if (!program.link()) {
        std::printf("m_shaderProgram\n%s\n", program.log().toLocal8Bit().constData());
        ok = false;
    }
    return ok;
}

// Row-major doubles to row-major floats (uploaded with transpose set).
void toFloats(const Matrix4x4d& m, float out[16]) {
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<float>(m[i]);
}

Matrix4x4d orthographic(double l, double r, double b, double t, double n, double f) {
    Matrix4x4d m = Matrix4x4d::identity();
    m(0, 0) = 2.0 / (r - l);
    m(1, 1) = 2.0 / (t - b);
    m(2, 2) = -2.0 / (f - n);
    m(0, 3) = -(r + l) / (r - l);
    m(1, 3) = -(t + b) / (t - b);
    m(2, 3) = -(f + n) / (f - n);
    return m;
}

}  // namespace

GLScene::GLScene() = default;

GLScene::~GLScene() = default;

void GLScene::initializeScene(QOpenGLFunctions_3_3_Core* functions) {
    if (!functions || !QOpenGLContext::currentContext()) {
        throw std::runtime_error(
            "initializeScene has no valid context for the requested OpenGL-functions!");
    }
    gl_ = functions;

    QImage logo(":main/img_hlv3.png");
    if (!logo.isNull()) {
        logo_ = std::make_unique<QOpenGLTexture>(logo.convertToFormat(QImage::Format_RGBA8888));
        logo_->setMinificationFilter(QOpenGLTexture::Linear);
        logo_->setMagnificationFilter(QOpenGLTexture::Linear);
    }

    objectProgram_ = std::make_unique<QOpenGLShaderProgram>();
    backgroundProgram_ = std::make_unique<QOpenGLShaderProgram>();
    textureProgram_ = std::make_unique<QOpenGLShaderProgram>();
    linked_ = buildProgram(*objectProgram_, shaderText(":main/shader_object.glsl"),
                           "#define VERTEX_PROGRAM\n", "#define FRAGMENT_PROGRAM\n",
                           "VertexShader\n", "FragmentShader\n");
    linked_ = buildProgram(*backgroundProgram_, shaderText(":main/shader_background.glsl"),
                           "#define VERTEX_PROGRAM\n", "#define FRAGMENT_PROGRAM\n",
                           "VertexBackground\n", "FragmentBackground\n") &&
              linked_;
    linked_ = buildProgram(*textureProgram_, shaderText(":main/shader_texture.glsl"),
                           "#define VERTEX_TEXTURE\n", "#define FRAGMENT_TEXTURE\n",
                           "VertexShaderTexture\n", "FragmentShaderTexture\n") &&
              linked_;

    QOpenGLShaderProgram& o = *objectProgram_;
    objectLoc_.normalMatrix = o.uniformLocation("NormalMatrix");
    objectLoc_.modelViewMatrix = o.uniformLocation("ModelViewMatrix");
    objectLoc_.projectionMatrix = o.uniformLocation("ProjectionMatrix");
    objectLoc_.hasSingleColor = o.uniformLocation("HasSingleColor");
    objectLoc_.singleColor = o.uniformLocation("SingleColor");
    objectLoc_.hasNormals = o.uniformLocation("HasNormals");
    objectLoc_.opacity = o.uniformLocation("Opacity");
    objectLoc_.edgeDrawMode = o.uniformLocation("EdgeDrawMode");
    QOpenGLShaderProgram& b = *backgroundProgram_;
    backgroundLoc_.projectionMatrix = b.uniformLocation("ProjectionMatrix");
    backgroundLoc_.colorBottom = b.uniformLocation("ColorBottom");
    backgroundLoc_.colorTop = b.uniformLocation("ColorTop");
    backgroundLoc_.resolution = b.uniformLocation("Resolution");
    QOpenGLShaderProgram& t = *textureProgram_;
    textureLoc_.projectionMatrix = t.uniformLocation("ProjectionMatrix");
    textureLoc_.textureUnit = t.uniformLocation("textureUnit");
    textureLoc_.drawPolygon = t.uniformLocation("drawPolygon");
    textureLoc_.selectionColor = t.uniformLocation("SelectionColor");

    // One small vertex array for the background, axes, ruler and logo quads.
    gl_->glGenVertexArrays(1, &helperVao_);
    gl_->glGenBuffers(1, &helperVbo_);
    gl_->glGenBuffers(1, &helperColorVbo_);
}

void GLScene::releaseGL() {
    objects_.clear();
    logo_.reset();
    objectProgram_.reset();
    backgroundProgram_.reset();
    textureProgram_.reset();
    if (gl_) {
        unsigned int buffers[2] = {helperVbo_, helperColorVbo_};
        gl_->glDeleteBuffers(2, buffers);
        gl_->glDeleteVertexArrays(1, &helperVao_);
    }
    helperVao_ = helperVbo_ = helperColorVbo_ = 0;
    gl_ = nullptr;
}

void GLScene::addObject(std::unique_ptr<GLBaseObject> object) {
    object->initGL();
    objects_.push_back(std::move(object));
}

void GLScene::clearObjects() {
    objects_.clear();
}

std::unique_ptr<GLBaseObject> GLScene::takeObject(GLBaseObject* object) {
    for (auto it = objects_.begin(); it != objects_.end(); ++it) {
        if (it->get() != object) continue;
        std::unique_ptr<GLBaseObject> taken = std::move(*it);
        objects_.erase(it);
        return taken;
    }
    return nullptr;
}

void GLScene::updateBoundingBox() {
    bboxEmpty_ = true;
    for (const auto& object : objects_) {
        if (!object->isVisible() || object->isEmpty()) continue;
        const Matrix4x4d place = object->getPendingTransform() * object->objectPlacement();
        const Vec3d lo = object->getBBoxMin(), hi = object->getBBoxMax();
        for (int c = 0; c < 8; ++c) {
            const Vec3d corner((c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z);
            const Vec3d p = alg3D::matrix::transformPoint(place, corner);
            if (bboxEmpty_) {
                bboxMin_ = bboxMax_ = p;
                bboxEmpty_ = false;
            }
            for (std::size_t k = 0; k < 3; ++k) {
                bboxMin_[k] = std::min(bboxMin_[k], p[k]);
                bboxMax_[k] = std::max(bboxMax_[k], p[k]);
            }
        }
    }
}

void GLScene::setBackground(const QColor& top, const QColor& bottom) {
    colorTop_ = top;
    colorBottom_ = bottom;
    const int r = std::max(top.red(), bottom.red());
    const int g = std::max(top.green(), bottom.green());
    const int b = std::max(top.blue(), bottom.blue());
    contrastGrey_ = 255 - std::min({r, g, b});
}

void GLScene::setPointSize(float size) {
    pointSize_ = std::clamp(size, 1.0f, 15.0f);
}

void GLScene::setRulerEnabled(bool enabled) {
    rulerEnabled_ = enabled;
    if (!enabled) rulerPoints_.clear();
}

void GLScene::paint() {
    if (!gl_) return;
    gl_->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl_->glPointSize(pointSize_);
    drawBackground();

    objectProgram_->bind();
    float projection[16];
    toFloats(camera_.projection(), projection);
    gl_->glUniformMatrix4fv(objectLoc_.projectionMatrix, 1, GL_TRUE, projection);
    gl_->glUniform1i(objectLoc_.edgeDrawMode, 0);
    drawObjects();
    // The overlays come last and leave the depth buffer as the objects wrote it: the
    // depth pick (object selection, ruler, rotation centre) reads it after the frame.
    drawRuler();
    if (showAxes_) drawAxes();
    objectProgram_->release();
}

void GLScene::paintSelection(unsigned int texture, const SelectionRegion& outline) {
    if (!gl_) return;
    const double* vp = camera_.viewport();
    const float w = static_cast<float>(vp[2]), h = static_cast<float>(vp[3]);
    gl_->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl_->glDisable(GL_DEPTH_TEST);
    textureProgram_->bind();
    float projection[16];
    toFloats(orthographic(0, w, 0, h, -1, 1), projection);
    gl_->glUniformMatrix4fv(textureLoc_.projectionMatrix, 1, GL_TRUE, projection);
    gl_->glUniform1i(textureLoc_.textureUnit, 0);
    gl_->glUniform1i(textureLoc_.drawPolygon, 0);
    gl_->glBindVertexArray(helperVao_);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, helperVbo_);
    const float quad[4][5] = {{0, 0, 0, 0, 0}, {w, 0, 0, 1, 0}, {0, h, 0, 0, 1}, {w, h, 0, 1, 1}};
    gl_->glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STREAM_DRAW);
    gl_->glEnableVertexAttribArray(0);
    gl_->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, nullptr);
    gl_->glEnableVertexAttribArray(1);
    gl_->glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 20,
                               reinterpret_cast<void*>(3 * sizeof(float)));
    gl_->glDisableVertexAttribArray(2);
    gl_->glActiveTexture(GL_TEXTURE0);
    gl_->glBindTexture(GL_TEXTURE_2D, texture);
    gl_->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    gl_->glBindTexture(GL_TEXTURE_2D, 0);
    gl_->glDisableVertexAttribArray(1);

    if (!outline.polygon.empty()) {
        std::vector<float> line;
        line.reserve(outline.polygon.size() * 3);
        for (const SelectionRegion::Point& p : outline.polygon) {
            line.push_back(p.x);
            line.push_back(p.y);
            line.push_back(0.0f);
        }
        gl_->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(line.size() * sizeof(float)),
                          line.data(), GL_STREAM_DRAW);
        gl_->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
        gl_->glUniform1i(textureLoc_.drawPolygon, 1);
        gl_->glUniform4f(textureLoc_.selectionColor, 1.0f, 0.85f, 0.2f, 1.0f);
        gl_->glLineWidth(2.0f);
        gl_->glDrawArrays(GL_LINE_STRIP, 0, static_cast<GLsizei>(outline.polygon.size()));
        gl_->glLineWidth(1.0f);
    }
    gl_->glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl_->glBindVertexArray(0);
    textureProgram_->release();
    gl_->glEnable(GL_DEPTH_TEST);
}

void GLScene::drawBackground() {
    const double* vp = camera_.viewport();
    const float w = static_cast<float>(vp[2]), h = static_cast<float>(vp[3]);
    const float quad[4][3] = {{0, 0, 0}, {w, 0, 0}, {0, h, 0}, {w, h, 0}};
    gl_->glDisable(GL_DEPTH_TEST);
    backgroundProgram_->bind();
    float projection[16];
    toFloats(orthographic(0, w, 0, h, -1, 1), projection);
    gl_->glUniformMatrix4fv(backgroundLoc_.projectionMatrix, 1, GL_TRUE, projection);
    gl_->glUniform4f(backgroundLoc_.colorBottom, float(colorBottom_.redF()),
                     float(colorBottom_.greenF()), float(colorBottom_.blueF()),
                     float(colorBottom_.alphaF()));
    gl_->glUniform4f(backgroundLoc_.colorTop, float(colorTop_.redF()), float(colorTop_.greenF()),
                     float(colorTop_.blueF()), float(colorTop_.alphaF()));
    gl_->glUniform1f(backgroundLoc_.resolution, h);
    gl_->glBindVertexArray(helperVao_);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, helperVbo_);
    gl_->glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STREAM_DRAW);
    gl_->glEnableVertexAttribArray(0);
    gl_->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl_->glDisableVertexAttribArray(1);
    gl_->glDisableVertexAttribArray(2);
    gl_->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    backgroundProgram_->release();

    // The logo, small in the lower right corner.
    if (logo_ && w > 200 && h > 200) {
        const float s = 48.0f, x0 = w - s - 8.0f, y0 = 8.0f;
        const float logoQuad[4][5] = {{x0, y0, 0, 0, 1},
                                      {x0 + s, y0, 0, 1, 1},
                                      {x0, y0 + s, 0, 0, 0},
                                      {x0 + s, y0 + s, 0, 1, 0}};
        textureProgram_->bind();
        gl_->glUniformMatrix4fv(textureLoc_.projectionMatrix, 1, GL_TRUE, projection);
        gl_->glUniform1i(textureLoc_.textureUnit, 0);
        gl_->glUniform1i(textureLoc_.drawPolygon, 0);
        gl_->glBufferData(GL_ARRAY_BUFFER, sizeof logoQuad, logoQuad, GL_STREAM_DRAW);
        gl_->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, nullptr);
        gl_->glEnableVertexAttribArray(1);
        gl_->glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 20,
                                   reinterpret_cast<void*>(3 * sizeof(float)));
        gl_->glEnable(GL_BLEND);
        logo_->bind(0);
        gl_->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        logo_->release(0);
        gl_->glDisable(GL_BLEND);
        gl_->glDisableVertexAttribArray(1);
        textureProgram_->release();
    }
    gl_->glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl_->glBindVertexArray(0);
    gl_->glEnable(GL_DEPTH_TEST);
}

void GLScene::setObjectUniforms(const GLBaseObject& object, const Matrix4x4d& placement) {
    const Matrix4x4d mv = camera_.modelView() * placement;
    float m[16];
    toFloats(mv, m);
    gl_->glUniformMatrix4fv(objectLoc_.modelViewMatrix, 1, GL_TRUE, m);
    float n[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            n[3 * i + j] = static_cast<float>(mv(i, j));
    gl_->glUniformMatrix3fv(objectLoc_.normalMatrix, 1, GL_TRUE, n);
    const alg3D::Color c = object.getColor();
    gl_->glUniform3f(objectLoc_.singleColor, c.r / 255.0f, c.g / 255.0f, c.b / 255.0f);
    gl_->glUniform1f(objectLoc_.opacity, object.getAlpha() * 0.003921569f);
    gl_->glUniform1i(objectLoc_.hasNormals, object.hasNormals() ? 1 : 0);
    // Only meshes carry the barycentric markers that the edge display needs.
    gl_->glUniform1i(objectLoc_.edgeDrawMode,
                     object.getObjectType() == GLBaseObject::kMesh ? edgeDrawMode_ : 0);
}

void GLScene::drawObjects() {
    // Pass 1 opaque objects, pass 2 blended ones without depth writes.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            gl_->glEnable(GL_BLEND);
            gl_->glDepthMask(GL_FALSE);
        }
        for (const auto& object : objects_) {
            if (!object->isVisible() || object->isBlended() != (pass == 1)) continue;
            const Matrix4x4d placement = object->getPendingTransform() * object->getModelMatrix() *
                                         GLCamera::translation(object->getUploadOffset());
            setObjectUniforms(*object, placement);
            // Point clouds carry their display colours per point; the others draw in
            // their object colour.
            const bool perPoint = object->getObjectType() == GLBaseObject::kPointCloud;
            gl_->glUniform1i(objectLoc_.hasSingleColor, perPoint ? 0 : 1);
            object->draw();
            if (object->isSelected()) {
                if (GLObjBox* box = object->boundingBox()) {
                    const Matrix4x4d boxPlacement = object->getPendingTransform() *
                                                    object->objectPlacement() *
                                                    GLCamera::translation(box->getUploadOffset());
                    setObjectUniforms(*box, boxPlacement);
                    const float g = contrastGrey_ / 255.0f;
                    gl_->glUniform3f(objectLoc_.singleColor, g, g, g);
                    gl_->glUniform1i(objectLoc_.hasSingleColor, 1);
                    gl_->glUniform1i(objectLoc_.hasNormals, 0);
                    box->draw();
                }
            }
        }
        if (pass == 1) {
            gl_->glUniform1i(objectLoc_.edgeDrawMode, 0);
            gl_->glDepthMask(GL_TRUE);
            gl_->glDisable(GL_BLEND);
        }
    }
}

void GLScene::drawAxes() {
    // A small axis cross in the lower left corner that turns with the camera.
    const double* vp = camera_.viewport();
    const int size = static_cast<int>(std::min(96.0, std::min(vp[2], vp[3]) / 4.0));
    if (size < 16) return;
    const float lines[6][3] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0, 1}};
    const unsigned char colors[6][3] = {{230, 40, 40}, {230, 40, 40},  {40, 200, 40},
                                        {40, 200, 40}, {60, 110, 255}, {60, 110, 255}};
    Matrix4x4d rot = Matrix4x4d::identity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            rot(i, j) = camera_.modelView()(i, j);
    rot(2, 3) = -2.0;
    float mv[16], projection[16];
    toFloats(rot, mv);
    toFloats(orthographic(-1.25, 1.25, -1.25, 1.25, 0.5, 3.5), projection);
    gl_->glViewport(0, 0, size, size);
    // Drawn over the objects without depth test, which also leaves the depth buffer alone.
    gl_->glDisable(GL_DEPTH_TEST);
    gl_->glUniformMatrix4fv(objectLoc_.projectionMatrix, 1, GL_TRUE, projection);
    gl_->glUniformMatrix4fv(objectLoc_.modelViewMatrix, 1, GL_TRUE, mv);
    gl_->glUniform1i(objectLoc_.hasSingleColor, 0);
    gl_->glUniform1i(objectLoc_.hasNormals, 0);
    gl_->glUniform1f(objectLoc_.opacity, 1.0f);
    gl_->glBindVertexArray(helperVao_);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, helperVbo_);
    gl_->glBufferData(GL_ARRAY_BUFFER, sizeof lines, lines, GL_STREAM_DRAW);
    gl_->glEnableVertexAttribArray(0);
    gl_->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, helperColorVbo_);
    gl_->glBufferData(GL_ARRAY_BUFFER, sizeof colors, colors, GL_STREAM_DRAW);
    gl_->glEnableVertexAttribArray(2);
    gl_->glVertexAttribPointer(2, 3, GL_UNSIGNED_BYTE, GL_TRUE, 3, nullptr);
    gl_->glDrawArrays(GL_LINES, 0, 6);
    gl_->glDisableVertexAttribArray(2);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl_->glBindVertexArray(0);
    gl_->glEnable(GL_DEPTH_TEST);
    gl_->glViewport(static_cast<int>(vp[0]), static_cast<int>(vp[1]), static_cast<int>(vp[2]),
                    static_cast<int>(vp[3]));
    toFloats(camera_.projection(), projection);
    gl_->glUniformMatrix4fv(objectLoc_.projectionMatrix, 1, GL_TRUE, projection);
}

void GLScene::drawRuler() {
    if (!rulerEnabled_ || rulerPoints_.empty()) return;
    // Relative to the first point, so that far-away coordinates keep their digits.
    const Vec3d origin = rulerPoints_.front();
    std::vector<float> positions;
    for (const Vec3d& p : rulerPoints_) {
        positions.push_back(static_cast<float>(p.x - origin.x));
        positions.push_back(static_cast<float>(p.y - origin.y));
        positions.push_back(static_cast<float>(p.z - origin.z));
    }
    float mv[16];
    toFloats(camera_.modelView() * GLCamera::translation(origin), mv);
    gl_->glUniformMatrix4fv(objectLoc_.modelViewMatrix, 1, GL_TRUE, mv);
    gl_->glUniform1i(objectLoc_.hasSingleColor, 1);
    gl_->glUniform1i(objectLoc_.hasNormals, 0);
    gl_->glUniform1f(objectLoc_.opacity, 1.0f);
    gl_->glUniform3f(objectLoc_.singleColor, 1.0f, 0.85f, 0.2f);
    gl_->glBindVertexArray(helperVao_);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, helperVbo_);
    gl_->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(positions.size() * sizeof(float)),
                      positions.data(), GL_STREAM_DRAW);
    gl_->glEnableVertexAttribArray(0);
    gl_->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    gl_->glDisableVertexAttribArray(1);
    gl_->glDisableVertexAttribArray(2);
    const GLsizei count = static_cast<GLsizei>(rulerPoints_.size());
    // On top of the points whatever their size; without depth test nothing is written to
    // the depth buffer either.
    gl_->glDisable(GL_DEPTH_TEST);
    gl_->glDrawArrays(GL_LINE_STRIP, 0, count);
    gl_->glPointSize(7.0f);
    gl_->glDrawArrays(GL_POINTS, 0, count);
    gl_->glPointSize(pointSize_);
    gl_->glEnable(GL_DEPTH_TEST);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl_->glBindVertexArray(0);
}
