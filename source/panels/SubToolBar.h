// A tool bar of the window's bar stack (algorithms, edit, view); its own class so that
// the style sheet can address these bars apart from the main bar.
#pragma once

#include <QToolBar>

class SubToolBar : public QToolBar {
    Q_OBJECT

  public:
    explicit SubToolBar(const QString& title, QWidget* parent = nullptr)
        : QToolBar(title, parent) {}
};
