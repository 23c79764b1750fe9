// A side panel of the main window: a titled frame whose body folds away under its title
// button. The objects and transform panels use it as it is; algorithm panels add their
// controls to the body.
#pragma once

#include <QFrame>
#include <QString>

class QAbstractButton;
class QToolButton;
class QVBoxLayout;

class ToolWidget : public QFrame {
    Q_OBJECT

  public:
    explicit ToolWidget(const QString& title, QWidget* parent = nullptr);

    // The body's layout: panels put their controls here.
    QVBoxLayout* bodyLayout() const { return bodyLayout_; }
    QWidget* body() const { return body_; }
    QString title() const;
    bool isExpanded() const;

    double scale() const { return scale_; }

    // Draws the mark of a check box or radio button dark on the light indicator background
    // of both schemes (the label keeps the window's text colour; disabled marks keep theirs).
    static void darkMark(QAbstractButton* button);

  public slots:
    void setExpanded(bool expanded);
    void adaptToScreenSize(int screen);
    void adaptToWorkAreaSize(int screen);

  private:
    QToolButton* titleButton_ = nullptr;
    QWidget* body_ = nullptr;
    QVBoxLayout* bodyLayout_ = nullptr;
    double scale_ = 1.0;
};
