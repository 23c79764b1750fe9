// The workbench as a new user meets it: started as a program with no settings file, the
// default layout and the axes on, and driven only by key presses, clicks and drags.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTextStream>
#include <QWheelEvent>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "UserJourney.h"

namespace {

using alg3D::Vec3d;
using namespace journey;

TEST(UserJourney, StartsInTheDefaultState) {
    MainWindow& w = window();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(QFile::exists(settingsFile()));
    EXPECT_TRUE(w.settings().showAxis);
    EXPECT_TRUE(w.view()->scene().showAxes());
    EXPECT_EQ(w.toolBarArea(bar("toolBarMain")), Qt::TopToolBarArea);
    // The edit bar is shown at start; its texts stand out from the bar.
    QToolBar* editBar = bar("editBar");
    ASSERT_TRUE(editBar && editBar->isVisible());
    for (QAction* a : editBar->actions()) {
        QWidget* button = editBar->widgetForAction(a);
        if (!button || a->text().isEmpty()) continue;
        const QImage image = button->grab().toImage();
        const int icon = button->height();  // the icon is square, left of the text
        EXPECT_GE(textContrast(image, image.rect().adjusted(icon, 0, 0, 0)), 4.5)
            << a->text().toStdString();
    }
    saveArtifact(screen(), "user-start.png");
}

const std::vector<int> kCommonKeys = [] {
    std::vector<int> keys;
    for (int k = Qt::Key_A; k <= Qt::Key_Z; ++k)
        keys.push_back(k);
    for (int k = Qt::Key_0; k <= Qt::Key_9; ++k)
        keys.push_back(k);
    for (int k = Qt::Key_F1; k <= Qt::Key_F12; ++k)
        keys.push_back(k);
    for (int k : {Qt::Key_Escape, Qt::Key_Alt, Qt::Key_Control, Qt::Key_Shift, Qt::Key_Left,
                  Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Delete, Qt::Key_Return})
        keys.push_back(k);
    return keys;
}();

// Every key of the common set over the widget; any window that opens on the way is
// closed and counted by the caller.
void pressEveryKey(QWidget* widget) {
    for (int key : kCommonKeys)
        QTest::keyClick(widget, static_cast<Qt::Key>(key));
}

TEST(UserJourney, EveryCommonKeyOverTheViewAndTheBarsKeepsTheWindowAlive) {
    loadThroughMenu(writeGrid("grid.xyz", Vec3d(0, 0, 0), 10.0, 60));
    // Keys could open a window that waits for an answer: close whatever opens.
    int opened = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&opened] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            ++opened;
            popup->close();
        }
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++opened;
            modal->close();
        }
    });
    closer.start(20);

    pressEveryKey(window().view());
    for (const char* toggle : {"tbActionAlgorithms", "tbActionObject", "tbActionView"}) {
        click(buttonOf(bar("toolBarMain"), action(toggle)));
        for (QToolBar* b : window().findChildren<QToolBar*>()) {
            if (!b->isVisible()) continue;
            pressEveryKey(b);
            for (QAction* a : b->actions())
                if (QWidget* button = b->widgetForAction(a)) pressEveryKey(button);
        }
    }
    pressEveryKey(&window());
    // With Shift, Ctrl and Alt held, over the view and the window.
    for (QWidget* target :
         {static_cast<QWidget*>(window().view()), static_cast<QWidget*>(&window())})
        for (Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier})
            for (int key : kCommonKeys)
                QTest::keyClick(target, static_cast<Qt::Key>(key), held);
    QTest::qWait(100);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(window().view()->scene().objects().size(), 1u);
    saveArtifact(screen(), "user-keys.png");
}

TEST(UserJourney, TheMenuOpensByClickAndReachesEveryEntry) {
    loadThroughMenu(writeGrid("grid.xyz", Vec3d(0, 0, 0), 10.0, 40));

    // The open menu: every entry there, legible.
    QStringList seen;
    whenPopup([&seen](QMenu* menu) {
        QTest::qWait(50);
        saveArtifact(screen(), "user-menu.png");
        const QImage image = menu->grab().toImage();
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            seen << a->text();
            // The text part of the entry: right of its icon.
            const QRect entry = menu->actionGeometry(a);
            const int icon = menu->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, menu);
            const QRect textPart = entry.adjusted(icon + 12, 0, 0, 0);
            EXPECT_GE(textContrast(image, textPart), a->isEnabled() ? 4.5 : 3.0)
                << a->text().toStdString();
        }
        QTest::keyClick(menu, Qt::Key_Escape);
    });
    click(buttonOf(bar("toolBarMain"), action("tbActionMenu")));
    EXPECT_EQ(seen, QStringList({"New", "Load File", "Save File", "Properties", "Quit"}));

    Answer clear, save, quit;
    answerNextBox(clear, "Cancel");
    chooseFromMenu("New");
    EXPECT_EQ(clear.text, "Clear scene?");
    EXPECT_EQ(window().view()->scene().objects().size(), 1u);

    answerNextBox(save, "OK");
    chooseFromMenu("Save File");
    EXPECT_EQ(save.title, "Save data");
    EXPECT_EQ(save.text, "Please select pointcloud(s) to save.");

    bool dialogSeen = false;
    whenModal<QFileDialog>([&dialogSeen](QFileDialog* dialog) {
        dialogSeen = true;
        QTest::qWait(100);
        saveArtifact(dialog->grab().toImage(), "user-load-dialog.png");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    chooseFromMenu("Load File");
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(window().view()->scene().objects().size(), 1u);

    answerNextBox(quit, "Cancel");
    chooseFromMenu("Quit");
    EXPECT_EQ(quit.text, "Really quit?");
    EXPECT_TRUE(window().isVisible());

    answerNextBox(clear, "OK");
    chooseFromMenu("New");
    EXPECT_TRUE(window().view()->scene().objects().empty());
}

// Clicks an object with the axes shown, selects it, saves it through the menu and loads
// the file again; Alt+click puts the rotation centre on the surface.
TEST(UserJourney, ClickSelectsWithTheAxesOnAndTheSelectionSavesAndReloads) {
    ASSERT_TRUE(window().view()->scene().showAxes());
    loadThroughMenu(writeGrid("plate.xyz", Vec3d(100, 200, 5), 10.0, 50));
    GLBaseObject* plate = window().view()->scene().objects().front().get();
    EXPECT_FALSE(plate->isSelected());

    const QPoint centre = viewPosition(Vec3d(105, 205, 5));
    const QImage before = window().view()->grabFramebuffer();
    click(window().view(), Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_TRUE(plate->isSelected());
    // The user sees it: the selection frame is drawn around the plate.
    const QImage after = window().view()->grabFramebuffer();
    const QPoint corner = viewPosition(Vec3d(100, 200, 5));
    int changed = 0;
    for (int d = -3; d <= 3; ++d)
        changed +=
            before.pixel(corner.x() + d, corner.y()) != after.pixel(corner.x() + d, corner.y());
    EXPECT_GT(changed, 0);
    QTest::qWait(50);
    saveArtifact(screen(), "user-pick-axes-on.png");

    click(window().view(), Qt::LeftButton, Qt::AltModifier, viewPosition(Vec3d(103, 207, 5)));
    const Vec3d c = window().view()->camera().rotationCenter();
    EXPECT_NEAR(c.z, 5.0, 1e-3);
    EXPECT_NEAR(c.x, 103.0, 0.5);
    EXPECT_NEAR(c.y, 207.0, 0.5);

    // Typed without a suffix: the chosen file type ("Pointcloud (*.xyz)") gives it.
    const QString saved = scratchFile("saved plate.xyz");
    whenModal<QFileDialog>(
        [](QFileDialog* dialog) { typeIntoFileDialog(dialog, scratchFile("saved plate")); });
    chooseFromMenu("Save File");
    EXPECT_TRUE(QTest::qWaitFor([&] { return lineCount(saved) == 2500; }, 10000));

    Answer clear;
    answerNextBox(clear, "OK");
    chooseFromMenu("New");
    ASSERT_TRUE(window().view()->scene().objects().empty());
    loadThroughMenu(saved);
    ASSERT_EQ(window().view()->scene().objects().size(), 1u);
    EXPECT_EQ(window().view()->scene().objects().front()->getName(), "saved plate.xyz");
}

// The ruler on a cloud in survey coordinates: fixed notation, the distance of the two
// picked points, and the line on top of large points.
TEST(UserJourney, TheRulerMeasuresInSurveyCoordinatesAndStaysOnTop) {
    const Vec3d origin(7123400.0, 5432100.0, 312.5);
    loadThroughMenu(writeGrid("survey.xyz", origin, 100.0, 120));
    QToolBar* editBar = bar("editBar");
    ASSERT_TRUE(editBar && editBar->isVisible());
    QAction* measure = actionByText(editBar, "Measure");
    ASSERT_TRUE(measure);
    click(buttonOf(editBar, measure));
    ASSERT_TRUE(measure->isChecked());
    const QImage pressed = buttonOf(editBar, measure)->grab().toImage();
    EXPECT_GE(textContrast(pressed, pressed.rect().adjusted(pressed.height(), 0, 0, 0)), 4.5);

    const QPoint a = viewPosition(origin + Vec3d(20, 30, 0));
    const QPoint b = viewPosition(origin + Vec3d(80, 60, 0));
    click(window().view(), Qt::LeftButton, Qt::NoModifier, a);
    click(window().view(), Qt::LeftButton, Qt::NoModifier, b);
    const auto& points = window().view()->scene().rulerPoints();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_NEAR(points[0].z, origin.z, 1e-3);
    EXPECT_NEAR((points[0] - points[1]).norm(), std::hypot(60.0, 30.0), 1.0);

    QLabel* label = window().view()->rulerLabel();
    QTest::qWait(50);
    ASSERT_TRUE(label->isVisible());
    const QString text = label->text();
    EXPECT_FALSE(text.contains('e')) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("⊢⊣: ") +
                              GLView::lengthText((points[0] - points[1]).norm())))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QString("[0] %1,").arg(GLView::lengthText(points[0].x))))
        << text.toStdString();

    // Points of size 5 do not hide the line.
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(window().view(), Qt::Key_P, Qt::ShiftModifier);
    EXPECT_EQ(window().view()->scene().pointSize(), 5.0f);
    const QImage frame = window().view()->grabFramebuffer();
    const QPoint mid = (a + b) / 2;
    int rulerPixels = 0;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            const QColor c = frame.pixelColor(mid.x() + dx, mid.y() + dy);
            rulerPixels += c.red() > 200 && c.green() > 150 && c.blue() < 120;
        }
    EXPECT_GT(rulerPixels, 0);
    saveArtifact(screen(), "user-ruler-survey.png");
}

}  // namespace

namespace {

using namespace journey;

// Every action of a shown bar has its button inside the bar, and the bar needs no
// overflow button: nothing of it is out of reach.
void expectEverythingVisible(QToolBar* toolBar, const char* where) {
    ASSERT_TRUE(toolBar->isVisible()) << where;
    for (QAction* a : toolBar->actions()) {
        if (a->isSeparator() || !a->isVisible()) continue;
        QWidget* button = toolBar->widgetForAction(a);
        ASSERT_TRUE(button) << where << ": " << a->text().toStdString();
        EXPECT_TRUE(button->isVisible()) << where << ": " << a->text().toStdString();
        EXPECT_TRUE(toolBar->rect().contains(button->geometry()))
            << where << ": " << a->text().toStdString();
    }
    if (auto* more = toolBar->findChild<QToolButton*>("qt_toolbar_ext_button")) {
        EXPECT_FALSE(more->isVisible()) << where;
    }
}

// A user drags the main bar by its handle to every edge of the window and back to the
// top; in each place every button is reachable.
TEST(UserJourney, TheMainBarDragsToEveryEdgeAndBack) {
    MainWindow& w = window();
    QToolBar* mainBar = bar("toolBarMain");
    expectEverythingVisible(mainBar, "top");
    struct Edge {
        Qt::ToolBarArea area;
        const char* name;
    };
    for (const Edge& edge :
         {Edge{Qt::LeftToolBarArea, "left"}, Edge{Qt::BottomToolBarArea, "bottom"},
          Edge{Qt::RightToolBarArea, "right"}, Edge{Qt::TopToolBarArea, "top"}}) {
        const QRect r = w.rect();
        QPoint target;
        switch (edge.area) {
            case Qt::LeftToolBarArea:
                target = QPoint(4, r.height() / 2);
                break;
            case Qt::RightToolBarArea:
                target = QPoint(r.width() - 4, r.height() / 2);
                break;
            case Qt::BottomToolBarArea:
                target = QPoint(r.width() / 2, r.height() - 4);
                break;
            default:
                target = QPoint(r.width() / 2, 4);
                break;
        }
        // The handle is at the start of the bar.
        const QPoint handle = mainBar->orientation() == Qt::Horizontal
                                  ? QPoint(3, mainBar->height() / 2)
                                  : QPoint(mainBar->width() / 2, 3);
        // Out into the middle of the window first, then to the edge.
        drag(mainBar, handle, {mainBar->mapFrom(&w, r.center())}, mainBar->mapFrom(&w, target),
             Qt::NoModifier, 16);
        // The window slides the bar into its new place: wait until it rests there.
        QRect last;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QRect now = mainBar->geometry();
                const bool resting = now == last;
                last = now;
                QTest::qWait(100);
                return resting;
            },
            5000));
        EXPECT_EQ(w.toolBarArea(mainBar), edge.area) << edge.name;
        expectEverythingVisible(mainBar, edge.name);
        saveArtifact(screen(), QString("user-bar-%1.png").arg(edge.name));
    }
}

// The three bars are shown and hidden by the main bar's toggles and by its right-click
// menu; at most one is shown, none of the ways hides the main bar, and a shown bar has
// everything in reach at the window's smallest size.
TEST(UserJourney, BarsHideEveryWayTheWindowOffersAndComeBack) {
    MainWindow& w = window();
    w.resize(w.minimumSize());
    QTest::qWait(50);
    QToolBar* mainBar = bar("toolBarMain");
    const std::vector<std::pair<const char*, const char*>> bars = {
        {"tbActionAlgorithms", "algorithmBar"},
        {"tbActionObject", "editBar"},
        {"tbActionView", "viewBar"}};
    auto shownBars = [&] {
        QStringList shown;
        for (const auto& b : bars)
            if (bar(b.second)->isVisible()) shown << b.second;
        return shown;
    };
    EXPECT_EQ(shownBars(), QStringList({"editBar"}));

    for (const auto& b : bars) {
        QAction* toggle = action(b.first);
        if (!toggle->isChecked()) click(buttonOf(mainBar, toggle));
        EXPECT_EQ(shownBars(), QStringList({b.second}));
        expectEverythingVisible(bar(b.second), b.second);
        saveArtifact(screen(), QString("user-%1.png").arg(b.second));
        click(buttonOf(mainBar, toggle));
        EXPECT_TRUE(shownBars().isEmpty());
        EXPECT_TRUE(mainBar->isVisible());
    }

    // The right-click menu of the main bar: the three toggles and nothing that hides it.
    for (const auto& b : bars) {
        QStringList entries;
        whenPopup([&entries, &b](QMenu* menu) {
            for (QAction* a : menu->actions())
                entries << a->text();
            clickEntry(menu, action(b.first)->text());
        });
        rightClick(mainBar, QPoint(mainBar->width() - 10, 10));
        // The main window's pop-up opens without an event loop of its own.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !entries.isEmpty(); }, 5000));
        QTest::qWait(50);
        EXPECT_EQ(entries, QStringList({"Algorithms", "Edit", "View"}));
        EXPECT_EQ(shownBars(), QStringList({b.second}));
        EXPECT_TRUE(mainBar->isVisible());
    }
    // Escape, pressed over the bars, hides nothing.
    QTest::keyClick(mainBar, Qt::Key_Escape);
    EXPECT_TRUE(mainBar->isVisible());
    EXPECT_EQ(shownBars(), QStringList({"viewBar"}));
}

}  // namespace

namespace {

using namespace journey;

// The mouse over the view as a user moves it: turn, pan, zoom by drag and wheel, Alt+click
// on the background, a right-button drag and a double click; the picture follows and the
// window stays.
TEST(UserJourney, TheViewFollowsEveryMouseGesture) {
    loadThroughMenu(writeGrid("gesture.xyz", Vec3d(-5, -5, 0), 10.0, 40));
    GLView* view = window().view();
    const QPoint centre = view->rect().center();
    auto frame = [view] { return view->grabFramebuffer(); };
    struct Gesture {
        const char* name;
        Qt::KeyboardModifiers modifiers;
    };
    for (const Gesture& g : {Gesture{"turn", Qt::NoModifier}, Gesture{"pan", Qt::ControlModifier},
                             Gesture{"zoom", Qt::ShiftModifier}}) {
        const QImage before = frame();
        drag(view, centre, centre + QPoint(120, 80), g.modifiers, 12);
        EXPECT_NE(before, frame()) << g.name;
    }
    QImage before = frame();
    QWheelEvent wheel(QPointF(centre), QPointF(view->mapToGlobal(centre)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    QApplication::processEvents();
    EXPECT_NE(before, frame()) << "wheel";

    // Alt+click on the background puts the rotation centre back to its default.
    click(view, Qt::LeftButton, Qt::AltModifier, QPoint(5, view->height() - 5));
    QTest::mouseDClick(view->window()->windowHandle(), Qt::LeftButton, {},
                       view->mapTo(view->window(), centre));
    QWindow* handle = view->window()->windowHandle();
    const QPoint at = view->mapTo(view->window(), centre);
    QTest::mousePress(handle, Qt::RightButton, {}, at);
    QTest::mouseEvent(QTest::MouseMove, handle, Qt::NoButton, {}, at + QPoint(40, 40));
    QTest::mouseRelease(handle, Qt::RightButton, {}, at + QPoint(40, 40));
    QTest::qWait(50);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(view->scene().objects().size(), 1u);
    saveArtifact(screen(), "user-gestures.png");
}

}  // namespace
