// The outline tools of the point selection: polygon, rectangle and free-hand lasso. A
// tool collects an outline in window coordinates (rows counted from the bottom) from the
// mouse events the view hands it and reports the end of the outline with
// selectionFinished(deselect), deselect being true when Ctrl was held at the end.
#pragma once

#include <QObject>
#include <QPointF>

#include "OpenGL/GLBaseObject.h"

class QMouseEvent;

class GLMouseSelection : public QObject {
    Q_OBJECT

  public:
    const SelectionRegion& region() const { return region_; }
    // The consecutive outline points as edges (last to first closes it).
    std::vector<std::pair<SelectionRegion::Point, SelectionRegion::Point>> edges() const;

    virtual void mouseMove(const QPointF& position) { (void)position; }
    virtual void mousePress(QMouseEvent* event, const QPointF& position) {
        (void)event;
        (void)position;
    }
    virtual void mouseDoubleClick(QMouseEvent* event) { (void)event; }
    virtual void mouseRelease(QMouseEvent* event, const QPointF& position) {
        (void)event;
        (void)position;
    }

  signals:
    void selectionFinished(bool deselect);

  protected:
    void append(const QPointF& p) {
        region_.polygon.push_back({static_cast<float>(p.x()), static_cast<float>(p.y())});
    }
    void finish(const QMouseEvent* event);

    SelectionRegion region_;
};

// Left clicks set the vertices (the last one follows the mouse); a double click or a
// right click closes the outline.
class GLMouseSelectPolygon : public GLMouseSelection {
    Q_OBJECT
  public:
    void mouseMove(const QPointF& position) override;
    void mousePress(QMouseEvent* event, const QPointF& position) override;
    void mouseDoubleClick(QMouseEvent* event) override;
    void mouseRelease(QMouseEvent* event, const QPointF& position) override;
};

// A drag with the left button spans the rectangle.
class GLMouseSelectRectangle : public GLMouseSelection {
    Q_OBJECT
  public:
    void mouseMove(const QPointF& position) override;
    void mousePress(QMouseEvent* event, const QPointF& position) override;
    void mouseRelease(QMouseEvent* event, const QPointF& position) override;

  private:
    bool pressed_ = false;
};

// A drag with the left button draws the outline free-hand.
class GLMouseSelectLasso : public GLMouseSelection {
    Q_OBJECT
  public:
    void mouseMove(const QPointF& position) override;
    void mousePress(QMouseEvent* event, const QPointF& position) override;
    void mouseRelease(QMouseEvent* event, const QPointF& position) override;

  private:
    bool pressed_ = false;
};
