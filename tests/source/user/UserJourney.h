// Helpers of the user-journey tests: the real program (runWorkbench) is started once per
// test process with no settings file, and the tests drive its window only through input
// events: key presses, mouse clicks and drags at widget positions, menus and dialogs
// answered by clicking or typing into them.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "OpenGL/glView/GLView.h"
#include "alg3D/matrix/Matrix.h"

namespace journey {

// The running program's window and its settings file (set by the test main).
MainWindow& window();
const QString& settingsFile();
// A folder of the test process for files the tests write.
QString scratchFile(const QString& name);

// --- finding what a user sees ----------------------------------------------------------

inline QToolBar* bar(const char* objectName) {
    return window().findChild<QToolBar*>(objectName);
}
inline QAction* action(const char* objectName) {
    return window().findChild<QAction*>(objectName);
}
// The action of a bar by its text (after translation).
inline QAction* actionByText(QWidget* owner, const QString& text) {
    for (QAction* a : owner->actions())
        if (a->text() == text) return a;
    return nullptr;
}
inline QWidget* buttonOf(QToolBar* toolBar, QAction* a) {
    return toolBar ? toolBar->widgetForAction(a) : nullptr;
}

// Sends the release of a click whose press is still being handled (it opened a window with
// its own event loop); nothing when no press is pending.
void releasePendingPress();

// --- waiting for a window that opens in a nested event loop ------------------------------

// Runs `act` once `ready` returns non-null, polling every 20 ms from the event loop (also
// inside the nested loops of menus and modal dialogs); gives up after `timeoutMs`.
template <typename T>
void when(std::function<T*()> ready, std::function<void(T*)> act, int timeoutMs = 10000) {
    auto* timer = new QTimer(qApp);
    auto* clock = new QElapsedTimer();
    clock->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, ready, act, timeoutMs] {
        if (T* target = ready()) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            releasePendingPress();
            act(target);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            ADD_FAILURE() << "the expected window did not open";
        }
    });
    timer->start();
}

// The next modal dialog of type T (message box, file dialog, progress dialog).
template <typename T>
void whenModal(std::function<void(T*)> act, int timeoutMs = 10000) {
    when<T>(
        [] {
            QWidget* modal = QApplication::activeModalWidget();
            return modal && modal->isVisible() ? qobject_cast<T*>(modal) : nullptr;
        },
        act, timeoutMs);
}

// The next pop-up menu.
inline void whenPopup(std::function<void(QMenu*)> act) {
    when<QMenu>(
        [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            return menu && menu->isVisible() ? menu : nullptr;
        },
        act);
}

// --- input ------------------------------------------------------------------------------

// A left click in the middle of the widget (through the window system's event path, so
// that pop-ups and context menus arise as they do for a user).
void click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier, QPoint pos = QPoint());
// A right click that asks for the context menu at `pos`.
void rightClick(QWidget* widget, QPoint pos);
// Clicks the entry of an open menu.
void clickEntry(QMenu* menu, const QString& text);
// Opens the main menu by a click on the menu button, clicks `entry` and, when given,
// lets `inDialog` answer the modal dialog the entry opens.
void chooseFromMenu(const QString& entry);
// Pastes `text` into a line edit (select all, Ctrl+V).
void pasteInto(QLineEdit* edit, const QString& text);
// Types a path into the file dialog that is open and presses Return.
void typeIntoFileDialog(QWidget* dialog, const QString& path);
// Loads a file the way a user does: menu, Load File, the path typed into the dialog.
void loadThroughMenu(const QString& path);
// A drag with the left button from `from` to `to` (widget coordinates), in steps.
void drag(QWidget* widget, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {},
          int steps = 12);
// The same through the points `via` (widget coordinates) on the way.
// `beforeRelease` runs with the button still down (to look at a drag in progress).
void drag(QWidget* widget, QPoint from, std::vector<QPoint> via, QPoint to,
          Qt::KeyboardModifiers modifiers, int steps,
          const std::function<void()>& beforeRelease = {});

// --- what is drawn ----------------------------------------------------------------------

// The widget position (from the top) of a scene point, as the camera projects it.
QPoint viewPosition(const alg3D::Vec3d& p);
// The screen as a user sees it over the window's frame, pop-ups included.
QImage screen();
// Saves `image` as build/test-artifacts/<name>.
void saveArtifact(const QImage& image, const QString& name);

// --- data and answers -------------------------------------------------------------------

// A square grid of n x n points in the plane z = origin.z, from `origin` over `size` in x
// and y, written as a scratch .xyz file; returns its path.
QString writeGrid(const QString& name, const alg3D::Vec3d& origin, double size, int n);
// Non-empty lines of a text file (-1 when it cannot be read).
int lineCount(const QString& path);

// Answers the next message box by clicking its button with `buttonText`; records its
// title and text.
struct Answer {
    QString title, text;
    bool seen = false;
};
void answerNextBox(Answer& answer, const QString& buttonText);

using guitest::contrastRatio;
using guitest::textContrast;

}  // namespace journey
