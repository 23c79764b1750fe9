#include "OpenGL/glView/GLMouseSelection.h"

#include <QMouseEvent>

std::vector<std::pair<SelectionRegion::Point, SelectionRegion::Point>> GLMouseSelection::edges()
    const {
    std::vector<std::pair<SelectionRegion::Point, SelectionRegion::Point>> out;
    const auto& p = region_.polygon;
    for (std::size_t i = 0; i + 1 < p.size(); ++i)
        out.emplace_back(p[i], p[i + 1]);
    return out;
}

void GLMouseSelection::finish(const QMouseEvent* event) {
    region_.updateBounds();
    emit selectionFinished(event && (event->modifiers() & Qt::ControlModifier));
}

void GLMouseSelectPolygon::mouseMove(const QPointF& position) {
    if (region_.polygon.empty()) return;
    region_.polygon.back() = {static_cast<float>(position.x()), static_cast<float>(position.y())};
}

void GLMouseSelectPolygon::mousePress(QMouseEvent* event, const QPointF& position) {
    if (event->button() != Qt::LeftButton) return;
    // The vertex that followed the mouse stays here, and a new one follows it.
    if (region_.polygon.empty()) {
        append(position);
    } else {
        region_.polygon.back() = {static_cast<float>(position.x()),
                                  static_cast<float>(position.y())};
    }
    append(position);
}

void GLMouseSelectPolygon::mouseDoubleClick(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || region_.polygon.empty()) return;
    // The double click's own press added a vertex on top of the previous one.
    auto& p = region_.polygon;
    while (p.size() > 1 && p[p.size() - 1].x == p[p.size() - 2].x &&
           p[p.size() - 1].y == p[p.size() - 2].y) {
        p.pop_back();
    }
    p.push_back(p.front());
    finish(event);
}

void GLMouseSelectPolygon::mouseRelease(QMouseEvent* event, const QPointF& position) {
    if (event->button() != Qt::RightButton || region_.polygon.empty()) return;
    region_.polygon.back() = {static_cast<float>(position.x()), static_cast<float>(position.y())};
    region_.polygon.push_back(region_.polygon.front());
    finish(event);
}

void GLMouseSelectRectangle::mousePress(QMouseEvent* event, const QPointF& position) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = true;
    region_.polygon.assign(4, {static_cast<float>(position.x()), static_cast<float>(position.y())});
}

void GLMouseSelectRectangle::mouseMove(const QPointF& position) {
    if (!pressed_ || region_.polygon.size() != 4) return;
    auto& p = region_.polygon;
    const float x0 = p[0].x, y0 = p[0].y;
    const float x = static_cast<float>(position.x()), y = static_cast<float>(position.y());
    p[1] = {x, y0};
    p[2] = {x, y};
    p[3] = {x0, y};
}

void GLMouseSelectRectangle::mouseRelease(QMouseEvent* event, const QPointF& position) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    mouseMove(position);
    pressed_ = false;
    finish(event);
}

void GLMouseSelectLasso::mousePress(QMouseEvent* event, const QPointF& position) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = true;
    region_.polygon.clear();
    append(position);
}

void GLMouseSelectLasso::mouseMove(const QPointF& position) {
    if (!pressed_) return;
    const SelectionRegion::Point p{static_cast<float>(position.x()),
                                   static_cast<float>(position.y())};
    if (!region_.polygon.empty() && region_.polygon.back().x == p.x &&
        region_.polygon.back().y == p.y) {
        return;
    }
    region_.polygon.push_back(p);
}

void GLMouseSelectLasso::mouseRelease(QMouseEvent* event, const QPointF&) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    finish(event);
}
