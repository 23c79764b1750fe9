#include "UserJourney.h"

#include <QPainter>

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <cmath>
#include <fstream>

namespace journey {

namespace {

QPoint inWindow(QWidget* widget, QPoint pos) {
    if (pos.isNull()) pos = widget->rect().center();
    return widget->mapTo(widget->window(), pos);
}

}  // namespace

namespace {
// A press whose handler opened a menu or a modal dialog: its release is still to come.
struct PendingPress {
    QPointer<QWindow> window;
    QPoint pos;
    Qt::MouseButton button = Qt::NoButton;
    Qt::KeyboardModifiers modifiers;
} pendingPress;
}  // namespace

void releasePendingPress() {
    PendingPress press = pendingPress;
    pendingPress = PendingPress();
    if (press.button != Qt::NoButton && press.window)
        QTest::mouseRelease(press.window, press.button, press.modifiers, press.pos);
}

void click(QWidget* widget, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos) {
    ASSERT_TRUE(widget);
    // A control in a scrolled panel is first scrolled into view, as a user does.
    for (QWidget* p = widget->parentWidget(); p; p = p->parentWidget()) {
        auto* scroll = qobject_cast<QScrollArea*>(p);
        if (!scroll || !scroll->widget() || !scroll->widget()->isAncestorOf(widget)) continue;
        scroll->ensureWidgetVisible(widget);
        QCoreApplication::processEvents();
    }
    // A check box or radio button is clicked on its box, where a user aims (its centre
    // may lie right of a short label, which does not take clicks).
    if (pos.isNull() && (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget))) {
        QStyleOptionButton option;
        option.initFrom(widget);
        const bool radio = qobject_cast<QRadioButton*>(widget) != nullptr;
        pos = widget->style()
                  ->subElementRect(
                      radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator,
                      &option, widget)
                  .center();
    }
    QWindow* handle = widget->window()->windowHandle();
    ASSERT_TRUE(handle);
    // As with a real mouse, the release follows the press even when the press opened a
    // window with its own event loop (a menu, a dialog): the helpers that act in such a
    // window release the button first.
    pendingPress = {handle, inWindow(widget, pos), button, modifiers};
    QTest::mousePress(handle, button, modifiers, pendingPress.pos);
    releasePendingPress();
}

void rightClick(QWidget* widget, QPoint pos) {
    click(widget, Qt::RightButton, Qt::NoModifier, pos);
}

void clickEntry(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() != text) continue;
        EXPECT_TRUE(a->isEnabled()) << text.toStdString();
        const QPoint at = menu->actionGeometry(a).center();
        QTest::mouseMove(menu->windowHandle(), at);
        click(menu, Qt::LeftButton, Qt::NoModifier, at);
        return;
    }
    ADD_FAILURE() << "no menu entry " << text.toStdString();
    menu->close();
}

void chooseFromMenu(const QString& entry) {
    QToolBar* mainBar = bar("toolBarMain");
    ASSERT_TRUE(mainBar);
    whenPopup([entry](QMenu* menu) { clickEntry(menu, entry); });
    click(buttonOf(mainBar, action("tbActionMenu")));
}

void pasteInto(QLineEdit* edit, const QString& text) {
    // Test processes share one X server and may take the clipboard from each other:
    // the text is put there again until it is there, and pasted with Ctrl+V.
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (int attempt = 0; attempt < 100 && clipboard->text() != text; ++attempt) {
        clipboard->setText(text);
        QApplication::processEvents();
        if (clipboard->text() != text) QTest::qWait(20);
    }
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    if (edit->text() != text) {
        // Another process took the clipboard between the two steps: typed in one go.
        edit->selectAll();
        edit->insert(text);
    }
}

void typeIntoFileDialog(QWidget* dialog, const QString& path) {
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_TRUE(edit);
    // Pasted in one piece, as a user pastes a path: typed letter by letter, each "/"
    // makes the dialog's completion select the folder typed so far.
    pasteInto(edit, path);
    // The name completion may have opened its list over the dialog: close it first.
    if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
    QTest::keyClick(edit, Qt::Key_Return);
}

void loadThroughMenu(const QString& path) {
    const std::size_t before = window().view()->scene().objects().size();
    whenModal<QFileDialog>([path](QFileDialog* dialog) { typeIntoFileDialog(dialog, path); });
    chooseFromMenu(QObject::tr("Load File"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window().view()->scene().objects().size() == before + 1; }, 20000))
        << path.toStdString();
    QTest::qWait(50);
}

void drag(QWidget* widget, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers, int steps) {
    drag(widget, from, {}, to, modifiers, steps);
}

void drag(QWidget* widget, QPoint from, std::vector<QPoint> via, QPoint to,
          Qt::KeyboardModifiers modifiers, int steps, const std::function<void()>& beforeRelease) {
    // Positions are global: a tool bar that is dragged leaves its place for a window of
    // its own and grabs the mouse, and the window system sends the rest of the drag to
    // the grabbing window.
    QWidget* top = window().isAncestorOf(widget) ? &window() : widget->window();
    const QPoint a = widget->mapToGlobal(from), b = widget->mapToGlobal(to);
    auto send = [&](QTest::MouseAction action, QPoint global) {
        QWidget* target = QWidget::mouseGrabber() ? QWidget::mouseGrabber()->window() : top;
        QWindow* handle = target->windowHandle();
        if (!handle) return;
        QTest::mouseEvent(action, handle,
                          action == QTest::MouseMove ? Qt::NoButton : Qt::LeftButton, modifiers,
                          target->mapFromGlobal(global));
    };
    send(QTest::MousePress, a);
    QPoint leg = a;
    via.push_back(to);
    for (const QPoint& next : via) {
        const QPoint end = widget->mapToGlobal(next);
        for (int i = 1; i <= steps; ++i) {
            send(QTest::MouseMove, leg + (end - leg) * i / steps);
            QTest::qWait(5);
        }
        leg = end;
    }
    if (beforeRelease) beforeRelease();
    send(QTest::MouseRelease, b);
}

QPoint viewPosition(const alg3D::Vec3d& p) {
    GLView* view = window().view();
    alg3D::Vec3d win;
    EXPECT_TRUE(view->camera().project(p, win));
    const double ratio = view->devicePixelRatioF();
    return QPoint(static_cast<int>(win.x / ratio),
                  view->height() - static_cast<int>(win.y / ratio));
}

QImage screen() {
    QApplication::processEvents();
    // The window and the windows open over it (menus, dialogs), each rendered by itself:
    // tests that run side by side share one X display, where a grab of the screen could
    // show another test's window.
    MainWindow& main = window();
    const QPoint origin = main.geometry().topLeft();
    QImage image = main.grab().toImage();
    QPainter painter(&image);
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top == &main || !top->isVisible() || top->windowType() == Qt::Desktop) continue;
        if (!top->geometry().intersects(main.geometry())) continue;
        const QImage part = top->grab().toImage();
        painter.drawImage(top->geometry().topLeft() - origin, part);
    }
    painter.end();
    return image;
}

void saveArtifact(const QImage& image, const QString& name) {
    const QString folder = QString(TESSARO_BINARY_DIR) + "/test-artifacts";
    QDir().mkpath(folder);
    EXPECT_TRUE(image.save(folder + "/" + name)) << name.toStdString();
}

QString writeGrid(const QString& name, const alg3D::Vec3d& origin, double size, int n) {
    const QString path = scratchFile(name);
    std::ofstream out(path.toStdString());
    out.precision(12);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            out << origin.x + size * i / (n - 1) << ' ' << origin.y + size * j / (n - 1) << ' '
                << origin.z << '\n';
    return path;
}

int lineCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    int n = 0;
    while (!file.atEnd())
        n += !file.readLine().trimmed().isEmpty();
    return n;
}

void answerNextBox(Answer& answer, const QString& buttonText) {
    whenModal<QMessageBox>([&answer, buttonText](QMessageBox* box) {
        answer.title = box->windowTitle();
        answer.text = box->text();
        answer.seen = true;
        for (QAbstractButton* b : box->buttons()) {
            if (b->text().remove('&') == buttonText) {
                click(b);
                return;
            }
        }
        ADD_FAILURE() << "no button " << buttonText.toStdString();
        box->reject();
    });
}

}  // namespace journey
