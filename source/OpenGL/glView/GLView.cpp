#include "OpenGL/glView/GLView.h"

#include <QOpenGLFramebufferObject>

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include "OpenGL/glView/GLMouseSelection.h"

using alg3D::Vec3d;

GLView::GLView(QWidget* parent) : QOpenGLWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    rulerLabel_ = new QLabel(this);
    rulerLabel_->setStyleSheet(
        "border-radius: 0px; border: 0.25ex solid rgb(235,235,235); color: rgb(235,235,235); "
        "background-color: rgba(54,78,111, 222);");
    rulerLabel_->hide();
}

GLView::~GLView() {
    // GL names of the objects and programs are freed with this view's context current.
    if (tool_) tool_->disconnect(this);
    if (initialized_) {
        makeCurrent();
        frozen_.reset();
        scene_.releaseGL();
        doneCurrent();
    }
}

void GLView::initializeGL() {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    const QSurfaceFormat format = context ? context->format() : QSurfaceFormat();
    const int major = format.majorVersion(), minor = format.minorVersion();
    const char* vendor = nullptr;
    if (context)
        vendor = reinterpret_cast<const char*>(context->functions()->glGetString(GL_VENDOR));
    versionText_ = QString("%1.%2 (%3)").arg(major).arg(minor).arg(vendor ? vendor : "");
    std::printf("OpenGL: %s\n", versionText_.toLocal8Bit().constData());
    std::fflush(stdout);
    if (minor + 10 * major <= 32 || !initializeOpenGLFunctions()) {
        throw std::runtime_error(("initializeGL failed!\nFound OpenGL Version " + versionText_ +
                                  "\nOpenGL Version >=3.3 is required")
                                     .toStdString());
    }
    auto* functions = context->versionFunctions<QOpenGLFunctions_3_3_Core>();
    if (!functions) {
        throw std::runtime_error(
            ("initializeGL has no valid context for the requested OpenGL-functions V3.3_core! "
             "(found OpenGL Version " +
             versionText_ + ")")
                .toStdString());
    }
    scene_.initializeScene(functions);
    initialized_ = true;
    std::printf("glVersion: %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    std::printf("glVendor : %s\n", reinterpret_cast<const char*>(glGetString(GL_VENDOR)));
    std::fflush(stdout);

    glClearColor(1, 0, 0, 1);
    glClearDepth(1);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}

void GLView::resizeGL(int w, int h) {
    // The camera works in frame-buffer pixels.
    const double ratio = devicePixelRatioF();
    const int fw = static_cast<int>(w * ratio), fh = static_cast<int>(h * ratio);
    glViewport(0, 0, fw, fh);
    camera().setViewport(0, 0, std::max(fw, 1), std::max(fh, 1));
}

void GLView::paintGL() {
    if (selectionActive_ && frozen_) {
        scene_.paintSelection(frozen_->texture(), tool_ ? tool_->region() : outline_);
        rulerLabel_->hide();
        return;
    }
    scene_.paint();
    updateRulerLabel();
}

void GLView::updateRulerLabel() {
    const auto& points = scene_.rulerPoints();
    if (points.empty() || !scene_.rulerEnabled()) {
        rulerLabel_->hide();
        return;
    }
    Vec3d win;
    if (camera().project(points.back(), win)) {
        // The camera works in frame-buffer pixels; the label in widget coordinates.
        const double ratio = devicePixelRatioF();
        rulerLabel_->move(static_cast<int>(win.x / ratio),
                          static_cast<int>(height() - win.y / ratio));
    }
    rulerLabel_->show();
}

void GLView::setPointSize(int size) {
    scene_.setPointSize(static_cast<float>(size));
    update();
}

void GLView::setBackground(const QColor& top, const QColor& bottom) {
    scene_.setBackground(top, bottom);
    update();
}

void GLView::enableObjectTransform(bool enable) {
    std::printf("GLview::enableObjectTransform: %d\n", enable ? 1 : 0);
    scene_.setTransformMode(enable);
    update();
}

void GLView::setRulerEnabled(bool enable) {
    setFocus();
    rulerLabel_->clear();
    rulerLabel_->hide();
    scene_.setRulerEnabled(enable);
    update();
}

void GLView::fit2view(GLCamera::enViewDir viewDir) {
    scene_.updateBoundingBox();
    camera().fit2view(viewDir, scene_.bboxMin(), scene_.bboxMax(), scene_.isBoundingBoxEmpty());
    update();
}

void GLView::fit2view() {
    fit2view(GLCamera::kFront);
}

void GLView::reverseSelection() {
    makeCurrent();
    selectedPoints_ = 0;
    for (const auto& object : scene_.objects()) {
        if (!object->isSelected()) continue;
        object->reverseSelection();
        selectedPoints_ += object->getSelectedCount();
    }
    doneCurrent();
    deleteArmed_ = selectedPoints_ > 0;
    emit objectsChanged();
    endSelection();
}

void GLView::clearSelection() {
    setFocus();
    makeCurrent();
    selectedPoints_ = 0;
    for (const auto& object : scene_.objects()) {
        if (!object->isSelected()) continue;
        object->clearSelection();
        selectedPoints_ += object->getSelectedCount();
    }
    doneCurrent();
    deleteArmed_ = false;
    emit objectsChanged();
    endSelection();
}

QPointF GLView::toolPosition(const QPoint& p) const {
    const double ratio = devicePixelRatioF();
    return QPointF(p.x() * ratio, (height() - p.y()) * ratio);
}

void GLView::startSelection(int mode) {
    if (mode < 0 || mode > 2) return;
    setFocus();
    outline_ = SelectionRegion();
    if (selectionActive_) endSelection(false);
    makeCurrent();
    if (mode == 0)
        tool_ = std::make_unique<GLMouseSelectPolygon>();
    else if (mode == 1)
        tool_ = std::make_unique<GLMouseSelectRectangle>();
    else
        tool_ = std::make_unique<GLMouseSelectLasso>();
    connect(tool_.get(), &GLMouseSelection::selectionFinished, this,
            static_cast<void (GLView::*)(bool)>(&GLView::computeSelection));
    selectionActive_ = true;
    deleteArmed_ = false;
    clickArmed_ = false;
    setMouseTracking(true);
    // The scene as it is now, drawn once into a texture: the outline is drawn over it
    // without drawing millions of points for every mouse move.
    frozen_.reset();
    if (initialized_) {
        const double ratio = devicePixelRatioF();
        const QSize size(std::max(1, static_cast<int>(width() * ratio)),
                         std::max(1, static_cast<int>(height() * ratio)));
        QOpenGLFramebufferObjectFormat format;
        format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
        format.setTextureTarget(GL_TEXTURE_2D);
        frozen_ = std::make_unique<QOpenGLFramebufferObject>(size, format);
        frozen_->bind();
        glViewport(0, 0, size.width(), size.height());
        scene_.paint();
        frozen_->release();
    }
    doneCurrent();
    // No mouse grab: the outline is drawn with the view's own mouse events (a drag that
    // leaves the view still ends there), and the tool bars stay reachable, so that
    // another tool or Clear can be chosen while an outline tool is armed.
    update();
}

void GLView::endSelection(bool notify) {
    outline_ = SelectionRegion();
    if (tool_) {
        tool_->disconnect(this);
        // The tool may be the sender of the signal that ended it.
        tool_.release()->deleteLater();
    }
    selectionActive_ = false;
    setMouseTracking(false);
    if (notify) emit selectionFinished();
    update();
}

void GLView::computeSelection() {
    computeSelection(false);
}

void GLView::computeSelection(bool deselect) {
    if (!tool_) return;
    outline_ = tool_->region();
    if (outline_.polygon.size() >= 3) {
        selectedPoints_ = 0;
        const double* viewport = camera().viewport();
        for (const auto& object : scene_.objects()) {
            if (!object->isSelected()) continue;
            object->select(
                outline_,
                camera().modelView() * object->getPendingTransform() * object->objectPlacement(),
                camera().projection(), viewport, deselect ? 0 : 1);
            selectedPoints_ += object->getSelectedCount();
        }
        makeCurrent();
        for (const auto& object : scene_.objects()) {
            if (object->isSelected()) object->updateColors();
        }
        doneCurrent();
        deleteArmed_ = selectedPoints_ > 0;
        emit objectsChanged();
    }
    endSelection();
}

void GLView::deleteSelectedPoints() {
    makeCurrent();
    for (const auto& object : scene_.objects()) {
        if (object->isSelected()) object->deleteSelection();
    }
    doneCurrent();
    deleteArmed_ = false;
    selectedPoints_ = 0;
    scene_.updateBoundingBox();
    emit objectsChanged();
    emit selectionFinished();
    update();
}

void GLView::publishObjectTransform() {
    for (const auto& object : scene_.objects()) {
        if (object->isSelected()) object->setPendingTransform(objectTransform_);
    }
    emit objectTransformChanged(objectTransform_);
    update();
}

void GLView::setCustomTransform(const alg3D::Matrix4x4d& transform) {
    objectTransform_ = transform;
    publishObjectTransform();
}

void GLView::applyObjectTransform(bool) {
    // Every object drawn with a pending transform gets it baked into its coordinates
    // (in double precision), also one deselected after it was moved: what is seen is
    // what is kept.
    makeCurrent();
    for (const auto& object : scene_.objects()) {
        if (object->getPendingTransform() == alg3D::Matrix4x4d::identity()) continue;
        object->applyTransform();
        object->setPendingTransform(alg3D::Matrix4x4d::identity());
    }
    doneCurrent();
    objectTransform_ = alg3D::Matrix4x4d::identity();
    scene_.updateBoundingBox();
    emit objectsChanged();
    emit objectTransformChanged(objectTransform_);
    update();
}

void GLView::discardObjectTransform(bool) {
    for (const auto& object : scene_.objects())
        object->setPendingTransform(alg3D::Matrix4x4d::identity());
    objectTransform_ = alg3D::Matrix4x4d::identity();
    emit objectTransformChanged(objectTransform_);
    update();
}

void GLView::transformObjects(QMouseEvent* event, double dx, double dy) {
    using alg3D::Matrix4x4d;
    if (dx == 0.0 && dy == 0.0) return;
    const Matrix4x4d& mv = camera().modelView();
    if ((event->modifiers() & Qt::ControlModifier) || (event->buttons() & Qt::MiddleButton)) {
        // Move in the view plane so that the centre follows the mouse.
        Vec3d window, moved;
        if (!camera().project(transformCenter_, window)) return;
        if (!camera().unproject(Vec3d(window.x + dx, window.y + dy, window.z), moved)) return;
        const Vec3d shift = moved - transformCenter_;
        objectTransform_ = GLCamera::translation(shift) * objectTransform_;
        transformCenter_ = transformCenter_ + shift;
    } else {
        // Turn about the centre of the selected objects, about the axis in the view
        // plane perpendicular to the mouse motion: 0.5 degrees per pixel.
        const Vec3d eyeAxis(-dy, dx, 0.0);
        Vec3d axis;
        for (int i = 0; i < 3; ++i)
            axis[i] = mv(0, i) * eyeAxis.x + mv(1, i) * eyeAxis.y + mv(2, i) * eyeAxis.z;
        if (axis.norm() == 0.0) return;
        const double angle = 0.5 * std::hypot(dx, dy);
        objectTransform_ = GLCamera::translation(transformCenter_) *
                           GLCamera::rotation(axis, angle) *
                           GLCamera::translation(Vec3d() - transformCenter_) * objectTransform_;
    }
    publishObjectTransform();
}

bool GLView::pickPoint(int x, int y, Vec3d& point) {
    if (!initialized_) return false;
    makeCurrent();
    // Frame-buffer pixels may differ from widget pixels on high-density screens.
    const double ratio = devicePixelRatioF();
    const int fx = static_cast<int>(x * ratio), fy = static_cast<int>(y * ratio);
    const int fw = static_cast<int>(width() * ratio), fh = static_cast<int>(height() * ratio);
    const int x0 = std::clamp(fx, 0, std::max(fw - 1, 0));
    const int y0 = std::clamp(fy, 0, std::max(fh - 1, 0));
    const int w = std::min(31, fw - x0), h = std::min(31, fh - y0);
    if (w <= 0 || h <= 0) return false;
    std::vector<float> depth(static_cast<std::size_t>(w) * h, 1.0f);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(x0, y0, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    float best = 1.0f;
    for (float d : depth) {
        if (d > 0.0f && d < 1.0f && d < best) best = d;
    }
    if (!(best < 1.0f)) return false;
    return camera().unproject(Vec3d(fx, fy, best), point);
}

Vec3d GLView::anchorAt(int x, int y) {
    Vec3d p;
    if (camera().isOrthographic() && pickPoint(x, y, p)) return p;
    return camera().rotationCenter();
}

void GLView::mousePressEvent(QMouseEvent* event) {
    if (selectionActive_) {
        if (tool_) tool_->mousePress(event, toolPosition(event->pos()));
        update();
        return;
    }
    lastPos_ = event->pos();
    dragging_ = false;
    clickArmed_ = true;
    if (scene_.transformMode() && event->button() == Qt::LeftButton) {
        // The selected objects turn about the middle of their (moved) boxes.
        Vec3d sum;
        int count = 0;
        for (const auto& object : scene_.objects()) {
            if (!object->isSelected()) continue;
            const Vec3d centre = (object->getBBoxMin() + object->getBBoxMax()) * 0.5;
            sum = sum + alg3D::matrix::transformPoint(
                            object->getPendingTransform() * object->objectPlacement(), centre);
            ++count;
        }
        transformCenter_ = count ? sum * (1.0 / count) : camera().rotationCenter();
    }
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::AltModifier) &&
        !scene_.transformMode()) {
        Vec3d p;
        if (pickPoint(event->x(), row(event->y()), p)) {
            camera().setRotationCenter(p);
        } else {
            camera().resetRotationCenter();
        }
    }
}

void GLView::mouseMoveEvent(QMouseEvent* event) {
    if (selectionActive_) {
        if (tool_) tool_->mouseMove(toolPosition(event->pos()));
        update();
        return;
    }
    if (!rect().contains(event->pos())) return;
    if (event->buttons() == Qt::RightButton && !scene_.transformMode()) return;
    if (event->buttons() == Qt::NoButton) return;
    dragging_ = true;
    const double ratio = devicePixelRatioF();
    const double dx = (event->x() - lastPos_.x()) * ratio;
    const double dy = (lastPos_.y() - event->y()) * ratio;  // rows count from the bottom
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool objectsSelected =
        std::any_of(scene_.objects().begin(), scene_.objects().end(),
                    [](const auto& object) { return object->isSelected(); });
    if (scene_.transformMode() && objectsSelected && !(event->buttons() & Qt::RightButton) &&
        (event->buttons() & (Qt::LeftButton | Qt::MiddleButton))) {
        transformObjects(event, dx, dy);
    } else if (mods & Qt::ShiftModifier) {
        const double vh = camera().viewport()[3];
        camera().setZoom((dy / vh + 1.0) * camera().zoom());
    } else if ((mods & Qt::ControlModifier) || (event->buttons() & Qt::MiddleButton)) {
        const Vec3d anchor = anchorAt(lastPos_.x(), row(lastPos_.y()));
        camera().pan(anchor, dx, dy);
    } else {
        camera().rotate(lastPos_.x() * ratio, row(lastPos_.y()) * ratio, dx, dy);
    }
    lastPos_ = event->pos();
    update();
}

void GLView::mouseReleaseEvent(QMouseEvent* event) {
    if (selectionActive_) {
        if (tool_) tool_->mouseRelease(event, toolPosition(event->pos()));
        update();
        return;
    }
    if (event->button() == Qt::LeftButton && !dragging_ && clickArmed_ && !scene_.transformMode()) {
        Vec3d p;
        if (pickPoint(event->x(), row(event->y()), p)) {
            if (scene_.rulerEnabled()) {
                addRulerPoint(p);
            } else {
                pickObject(p, (event->modifiers() & Qt::ControlModifier) != 0);
            }
        }
    }
    dragging_ = false;
    clickArmed_ = false;
    update();
}

void GLView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (selectionActive_ && tool_) {
        // The outline follows the mouse to where the double click happened first.
        tool_->mouseMove(toolPosition(event->pos()));
        tool_->mouseDoubleClick(event);
        update();
        return;
    }
    QOpenGLWidget::mouseDoubleClickEvent(event);
}

void GLView::pickObject(const Vec3d& p, bool toggle) {
    GLBaseObject* best = nullptr;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const auto& object : scene_.objects()) {
        if (!object->isVisible()) continue;
        // Nearest point in object coordinates, compared in scene coordinates.
        const alg3D::Matrix4x4d place = object->getPendingTransform() * object->objectPlacement();
        const alg3D::Matrix4x4d inverse = alg3D::matrix::affineInverse(place);
        const Vec3d local = alg3D::matrix::transformPoint(inverse, p);
        const Vec3d nearest = alg3D::matrix::transformPoint(place, object->nearestPoint(local));
        const double d = (nearest - p).norm();
        if (d < bestDistance) {
            bestDistance = d;
            best = object.get();
        }
    }
    if (!best) return;
    if (toggle) {
        best->setSelected(!best->isSelected());
    } else {
        for (const auto& object : scene_.objects())
            object->setSelected(object.get() == best);
    }
    emit selectedObjectsChanged();
}

void GLView::addRulerPoint(const Vec3d& p) {
    scene_.rulerPoints().push_back(p);
    rulerLabel_->setText(rulerText(scene_.rulerPoints()));
    rulerLabel_->adjustSize();
    update();
}

QString GLView::lengthText(double value) {
    // Fixed notation with enough decimals for the magnitude: six below 1e4 (micrometres
    // on millimetre data), more for tiny values, fewer only where a double has no more
    // digits to give (about 16 significant ones). Never exponent notation.
    if (!std::isfinite(value)) return QString::number(value);
    const double magnitude = std::abs(value);
    const int integerDigits =
        magnitude >= 1.0 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 1;
    int decimals = std::clamp(16 - integerDigits, 0, 6);
    if (magnitude > 0.0 && magnitude < 1e-3) {
        // Keep four significant digits of a very small length.
        decimals = std::min(15, static_cast<int>(-std::floor(std::log10(magnitude))) + 3);
    }
    return QString::number(value, 'f', decimals);
}

QString GLView::rulerText(const std::vector<Vec3d>& points) {
    QStringList lines;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Vec3d& p = points[i];
        lines << QString("[%1] %2,%3,%4")
                     .arg(i)
                     .arg(lengthText(p.x), lengthText(p.y), lengthText(p.z));
    }
    if (points.size() == 2) {
        const Vec3d d = points[0] - points[1];
        lines << QString::fromUtf8("∆ : %1,%2,%3")
                     .arg(lengthText(d.x), lengthText(d.y), lengthText(d.z));
        lines << QString::fromUtf8("⊢⊣: %1").arg(lengthText(d.norm()));
    }
    return lines.join("\n");
}

void GLView::wheelEvent(QWheelEvent* event) {
    if (selectionActive_ || (event->buttons() & Qt::RightButton)) return;
    const double factor = event->angleDelta().y() < 0 ? 0.9 : 1.1;
    if (scene_.transformMode()) {
        camera().setZoom(factor * camera().zoom());
    } else {
        const double ratio = devicePixelRatioF();
        const QPoint pos = event->position().toPoint();
        const Vec3d anchor = anchorAt(pos.x(), row(pos.y()));
        camera().zoomTowards(anchor, pos.x() * ratio, row(pos.y()) * ratio, factor);
    }
    update();
}

void GLView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_P) {
        float size = scene_.pointSize();
        if (event->modifiers() & Qt::ShiftModifier) {
            size = std::min(size + 1.0f, 15.0f);
        } else {
            size = std::max(size - 1.0f, 1.0f);
        }
        scene_.setPointSize(size);
        emit pointSizeChanged(size);
        update();
        return;
    }
    if (event->key() == Qt::Key_Delete && deleteArmed_ && !selectionActive_) {
        deleteSelectedPoints();
        return;
    }
    if (event->key() == Qt::Key_Escape && selectionActive_) {
        endSelection();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Alt) {
        // Escape ends an active selection tool; Alt only arms Alt+click. Both end here:
        // an ignored key goes back up to the main window, which forwards these two.
        event->accept();
        return;
    }
    QOpenGLWidget::keyPressEvent(event);
}
