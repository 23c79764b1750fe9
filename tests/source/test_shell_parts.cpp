// Smaller parts of the shell: the results table and its "copy", the runner's delayed
// progress dialog, the point-size keys of the view, drag and drop, and the info splash.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFontMetrics>
#include <QImage>
#include <QMimeData>
#include <QSplashScreen>
#include <QTest>
#include <QTranslator>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "ComputationRunner.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "OpenGL/glView/GLView.h"
#include "commands/FileCommands.h"
#include "panels/DoubleValidator.h"
#include "panels/Slider.h"

namespace {

TEST(TableWidgetTest, ResultTextAndCopyOfASelection) {
    TableWidget table;
    table.setResultText("Duration: 12ms\nInput points:\t100\nRegions:3");
    // ":" and tab each split: 7 parts, one empty part appended.
    ASSERT_EQ(table.rowCount(), 4);
    EXPECT_EQ(table.item(0, 0)->text(), "Duration");
    EXPECT_EQ(table.item(0, 1)->text(), " 12ms");
    EXPECT_EQ(table.item(1, 0)->text(), "Input points");
    EXPECT_EQ(table.item(1, 1)->text(), "");
    EXPECT_EQ(table.item(2, 0)->text(), "100");
    EXPECT_EQ(table.item(2, 1)->text(), "Regions");
    EXPECT_EQ(table.item(3, 0)->text(), "3");
    EXPECT_EQ(table.item(3, 1)->text(), "");

    table.clear();
    table.setColumnCount(3);
    table.setRowCount(2);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            table.setItem(r, c, new QTableWidgetItem(QString("%1%2").arg(r).arg(c)));
    table.setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Selected in a scrambled order: the copy sorts by row and column.
    for (auto rc : {std::make_pair(1, 2), std::make_pair(0, 1), std::make_pair(1, 0),
                    std::make_pair(0, 0), std::make_pair(1, 1), std::make_pair(0, 2)}) {
        table.item(rc.first, rc.second)->setSelected(true);
    }
    EXPECT_EQ(table.selectionText(), "00\t01\t02\n10\t11\t12");
    table.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "00\t01\t02\n10\t11\t12");
}

TEST(ProgressWaitTest, ShortRunsShowNoDialogAndFailuresBecomeOneBox) {
    guitest::DialogRecorder recorder;
    QWidget parent;
    {
        ProgressWait wait(&parent, "Computing...", ProgressWait::Kind::kComputation, 1.0);
        tessaro::commands::ControlRecord control;
        const auto status = tessaro::commands::runJob(
            control,
            [](tessaro::commands::ControlRecord& c) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                c.progress = 100;
            },
            wait.callback());
        EXPECT_EQ(status, tessaro::commands::JobStatus::kCompleted);
        EXPECT_FALSE(wait.dialog().isVisible());
    }
    const bool ok = runGuarded(&parent, "Geometry approximation", [] {
        tessaro::commands::ControlRecord control;
        tessaro::commands::runJob(
            control,
            [](tessaro::commands::ControlRecord&) { throw std::runtime_error("not enough data"); },
            tessaro::commands::neverAbort);
    });
    EXPECT_FALSE(ok);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(recorder.messages[0].title, "Geometry approximation");
    EXPECT_EQ(recorder.messages[0].text, "not enough data");
    runGuarded(&parent, "Smoothing", [] { throw 42; });
    EXPECT_EQ(recorder.messages.back().text, "Unknown error!");
}

TEST(ProgressWaitTest, CommandTextsInGerman) {
    QTranslator german;
    ASSERT_TRUE(german.load(":/languages/tessaro_de.qm"));
    QCoreApplication::installTranslator(&german);
    const struct {
        std::string shown;
        QString expected;
    } rows[] = {
        // a constant of the command layer, exactly
        {"Only meshes can be saved as STL.", "Nur Netze können als STL gespeichert werden."},
        // a constant ending in ": " and a file name
        {tessaro::commands::kNotARegularFile + "/tmp/a: b.xyz",
         "Keine reguläre Datei: /tmp/a: b.xyz"},
        // a text followed by ": " and a suffix
        {"Unknown file format: abc", "Unbekanntes Dateiformat: abc"},
        // unknown texts, with and without a colon, stay
        {"not enough data", "not enough data"},
        {"ALG3D::file is empty.\n", "ALG3D::file is empty.\n"},
        {"something new: Only meshes can be saved as STL.",
         "something new: Only meshes can be saved as STL."},
    };
    for (const auto& row : rows)
        EXPECT_EQ(commandText(QString::fromStdString(row.shown)), row.expected) << row.shown;
    QCoreApplication::removeTranslator(&german);
    EXPECT_EQ(commandText("Only meshes can be saved as STL."), "Only meshes can be saved as STL.");
}

TEST(GLViewKeysTest, PointSizeKeysStopAtOneAndFifteen) {
    GLView view;
    view.resize(200, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    std::vector<float> emitted;
    QObject::connect(&view, &GLView::pointSizeChanged, [&](float s) { emitted.push_back(s); });
    QTest::keyClick(&view, Qt::Key_P);
    EXPECT_EQ(view.scene().pointSize(), 1.0f);
    for (int i = 0; i < 16; ++i)
        QTest::keyClick(&view, Qt::Key_P, Qt::ShiftModifier);
    EXPECT_EQ(view.scene().pointSize(), 15.0f);
    QTest::keyClick(&view, Qt::Key_P);
    EXPECT_EQ(view.scene().pointSize(), 14.0f);
    ASSERT_EQ(emitted.size(), 18u);
    EXPECT_EQ(emitted.back(), 14.0f);
}

// Drag events sent by hand do not pass Qt's drag manager; the window's handlers are
// called directly.
struct DropWindow : MainWindow {
    using MainWindow::dragEnterEvent;
    using MainWindow::dropEvent;
    using MainWindow::MainWindow;
};

TEST(DragAndDropTest, DroppedFilesLoadAndFoldersDoNot) {
    guitest::TempDir dir;
    guitest::DialogRecorder recorder;
    guitest::writeText(dir.file("a.xyz"), "1 2 3\n");
    std::filesystem::create_directory(dir.file("folder"));
    guitest::writeText(dir.file("folder/b.xyz"), "1 2 3\n");
    DropWindow window(nullptr, dir.qfile("settings.ini"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(dir.qfile("folder"))});
    QDropEvent folderDrop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    window.dropEvent(&folderDrop);
    EXPECT_TRUE(window.view()->scene().objects().empty());

    mime.setUrls({QUrl::fromLocalFile(dir.qfile("a.xyz")), QUrl("http://example.org/c.xyz")});
    QDropEvent fileDrop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    window.dropEvent(&fileDrop);
    ASSERT_EQ(window.view()->scene().objects().size(), 1u);
    EXPECT_EQ(window.view()->scene().objects()[0]->getName(), "a.xyz");

    // A drag that proposes a move is refused.
    QDragEnterEvent move(QPoint(50, 50), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    window.dragEnterEvent(&move);
    EXPECT_FALSE(move.isAccepted());
    QDragEnterEvent copy(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    window.dragEnterEvent(&copy);
    EXPECT_TRUE(copy.isAccepted());
    window.view()->makeCurrent();
    window.view()->scene().clearObjects();
}

TEST(InfoSplashTest, ShowsVersionLibraryAndBuildDate) {
    guitest::TempDir dir;
    MainWindow window(nullptr, dir.qfile("settings.ini"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(MainWindow::versionText(), "Stelvane Tessaro UI Version 3.3.4.0");
    window.on_tbActionInfo_triggered();
    auto* splash = window.findChild<QSplashScreen*>();
    ASSERT_NE(splash, nullptr);
    const QStringList lines = splash->message().split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "Stelvane Tessaro UI Version 3.3.4.0");
    EXPECT_EQ(lines[1], "Algorithms Version 2.9.2");
    EXPECT_TRUE(lines[2].endsWith(", Halvorsk, Dec 18 2018"));
    EXPECT_EQ(splash->pixmap().width(), int(640 * window.displayScale()));
    splash->close();
}

// Relative luminance of an sRGB colour and its contrast ratio against white, as in the
// usual legibility rule (4.5 for normal text).
double contrastWithWhite(const QColor& c) {
    auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const double l =
        0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
    return 1.05 / (l + 0.05);
}

// The image's own texts are light, its background dark: behind the white message there
// must be background only, and the title must end before the right edge.
TEST(InfoSplashTest, MessageAndTitleFitTheImage) {
    guitest::TempDir dir;
    MainWindow window(nullptr, dir.qfile("settings.ini"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.on_tbActionInfo_triggered();
    auto* splash = window.findChild<QSplashScreen*>();
    ASSERT_NE(splash, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(splash));
    EXPECT_TRUE(splash->grab().save(guitest::artifactPath("info-splash.png")));

    const QImage image = splash->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    // Where QSplashScreen draws the message: inside a 5-pixel margin, with the widget's font.
    const QRect message = QFontMetrics(splash->font())
                              .boundingRect(splash->rect().adjusted(5, 5, -5, -5),
                                            Qt::AlignBottom | Qt::AlignHCenter, splash->message());
    const QRect rightMargin(image.width() - image.width() / 40, 0, image.width() / 40,
                            image.height());
    for (const QRect& area : {message, rightMargin}) {
        double worst = 21.0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() == 255) worst = std::min(worst, contrastWithWhite(c));
            }
        EXPECT_GE(worst, 4.5) << area.x() << "," << area.y() << " " << area.width() << "x"
                              << area.height();
    }
    splash->close();
}

}  // namespace

// Number fields: a comma is a decimal point, a lower bound of 0 drops the minus sign,
// anything else that is no number is refused.
TEST(DoubleValidatorTest, CommaMinusAndJunk) {
    DoubleValidator nonNegative(0.0), any(-1e300);
    struct Case {
        const DoubleValidator* validator;
        QString input, fixed;
        QValidator::State state;
    } cases[] = {{&nonNegative, "1,5", "1.5", QValidator::Acceptable},
                 {&nonNegative, "-2", "2", QValidator::Acceptable},
                 {&any, "-2", "-2", QValidator::Acceptable},
                 {&any, " 3e-4 ", "3e-4", QValidator::Acceptable},
                 {&any, "1.2.3", "1.2.3", QValidator::Invalid},
                 {&any, "abc", "abc", QValidator::Invalid}};
    for (const Case& c : cases) {
        QString text = c.input;
        int pos = text.size();
        EXPECT_EQ(c.validator->validate(text, pos), c.state) << c.input.toStdString();
        EXPECT_EQ(text, c.fixed);
    }
    double v = 0;
    ASSERT_TRUE(DoubleValidator::toNumber("1,5", v));
    EXPECT_DOUBLE_EQ(v, 1.5);
}

// A press on the slider's groove jumps to the value under the cursor; float values round.
TEST(SliderTest, GroovePressJumpsAndFloatsRound) {
    Slider slider(Qt::Horizontal);
    slider.setRange(1, 15);
    slider.resize(300, 24);
    slider.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    slider.setValue(2.4f);
    EXPECT_EQ(slider.value(), 2);
    slider.setValue(2.6f);
    EXPECT_EQ(slider.value(), 3);
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(290, 12));
    EXPECT_GE(slider.value(), 14);
    QTest::mouseClick(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(150, 12));
    EXPECT_NEAR(slider.value(), 8, 1);
}
