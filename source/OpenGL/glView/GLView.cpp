#include "OpenGL/glView/GLView.h"

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
    if (initialized_) {
        makeCurrent();
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
    for (const auto& object : scene_.objects()) {
        if (object->isSelected()) object->reverseSelection();
    }
    emit selectionFinished();
    update();
}

void GLView::clearSelection() {
    setFocus();
    for (const auto& object : scene_.objects()) {
        if (object->isSelected()) object->clearSelection();
    }
    emit selectionFinished();
    update();
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
    lastPos_ = event->pos();
    dragging_ = false;
    clickArmed_ = true;
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
    if (!rect().contains(event->pos())) return;
    if (event->buttons() == Qt::RightButton && !scene_.transformMode()) return;
    if (event->buttons() == Qt::NoButton) return;
    dragging_ = true;
    const double ratio = devicePixelRatioF();
    const double dx = (event->x() - lastPos_.x()) * ratio;
    const double dy = (lastPos_.y() - event->y()) * ratio;  // rows count from the bottom
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & Qt::ShiftModifier) {
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
    emit selectionFinished();
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
    if (event->buttons() & Qt::RightButton) return;
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
    if (event->key() == Qt::Key_Delete && clickArmed_) {
        for (const auto& object : scene_.objects()) {
            if (object->isSelected()) object->deleteSelection();
        }
        scene_.updateBoundingBox();
        emit selectionFinished();
        update();
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
