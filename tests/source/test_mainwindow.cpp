// The main window: start-up values, the settings file, loading every format through the
// pending list (names, colours, info texts), the failure boxes, saving into one file and
// the questions before clearing and quitting, the file dialogs' start folders and the real
// load dialog's filters. Message boxes are observed through the shell's dialog hooks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QMenu>
#include <QProgressDialog>
#include <QSettings>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <memory>

#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/GLObjSTL.h"
#include "OpenGL/glView/GLView.h"
#include "TessaroStyle.h"
#include "TestHelpers.h"

namespace {

using alg3D::Color;
using alg3D::Vec3d;
using guitest::DialogRecorder;
using guitest::TempDir;

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settingsFile = dir.qfile("settings.ini");
        window = std::make_unique<MainWindow>(nullptr, settingsFile);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        recorder.answer = true;
        window.reset();
    }

    void load(const QStringList& files) {
        window->setPendingFiles(files);
        window->on_actionLoadFile_triggered();
    }
    const std::vector<std::unique_ptr<GLBaseObject>>& objects() {
        return window->view()->scene().objects();
    }

    TempDir dir;
    DialogRecorder recorder;
    QString settingsFile;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, TitleMinimumSizeAndSettingsDefaults) {
    EXPECT_EQ(window->windowTitle(), "Halvorsk - Stelvane Tessaro UI 3.3");
    const double s = TessaroStyle::displayScale();
    EXPECT_GE(s, 1.0);
    EXPECT_EQ(window->minimumSize(), QSize(int(1130 * s), int(890 * s)));

    const SettingsRecord& r = window->settings();
    EXPECT_EQ(r.style, "dark");
    EXPECT_EQ(r.language, "English");
    EXPECT_EQ(r.pointSize, 1.0f);
    EXPECT_TRUE(r.orthographic);
    EXPECT_TRUE(r.showAxis);
    EXPECT_FALSE(r.saveLastSel);
    EXPECT_EQ(r.polygonMode, 0);
    EXPECT_EQ(r.colorTop, QColor(78, 93, 108));
    EXPECT_EQ(r.colorBottom, QColor(78, 93, 108));
    EXPECT_TRUE(r.loadPath.isEmpty());
    EXPECT_EQ(window->view()->scene().colorTop(), QColor(78, 93, 108));
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(MainWindowTest, SettingsAreWrittenBackOnExit) {
    window->settings().style = "bright";
    window->settings().loadPath = "/some/where";
    window->settings().colorTop = QColor(1, 2, 3);
    window.reset();
    QSettings stored(settingsFile, QSettings::IniFormat);
    EXPECT_EQ(stored.value("Style").toString(), "bright");
    EXPECT_EQ(stored.value("LoadPath").toString(), "/some/where");
    EXPECT_EQ(stored.value("ColorTop").value<QColor>(), QColor(1, 2, 3));
    EXPECT_EQ(stored.value("PointSize").toFloat(), 1.0f);
    EXPECT_TRUE(stored.value("ShowAxis").toBool());
    EXPECT_FALSE(stored.value("mainWindow/geometry").toByteArray().isEmpty());

    // A new window reads them back; "bright" without stored colours means the bright ones.
    QSettings(settingsFile, QSettings::IniFormat).remove("ColorBottom");
    window = std::make_unique<MainWindow>(nullptr, settingsFile);
    EXPECT_EQ(window->settings().style, "bright");
    EXPECT_EQ(window->settings().colorBottom, QColor(197, 197, 197));
    EXPECT_EQ(window->settings().colorTop, QColor(1, 2, 3));
}

// The mesh edge mode is kept: the setting counts 1 overlay, 2 edges only (the shader the
// other way round).
TEST_F(MainWindowTest, EdgeModeIsStoredAndRestored) {
    auto* overlay = window->findChild<QAction*>("actionEdgeOverlay");
    auto* only = window->findChild<QAction*>("actionEdgeOnly");
    ASSERT_TRUE(overlay && only);
    EXPECT_FALSE(overlay->isChecked() || only->isChecked());
    only->trigger();
    EXPECT_EQ(window->view()->scene().edgeDrawMode(), 1);
    window.reset();
    EXPECT_EQ(QSettings(settingsFile, QSettings::IniFormat).value("PolygonMode").toInt(), 2);
    window = std::make_unique<MainWindow>(nullptr, settingsFile);
    only = window->findChild<QAction*>("actionEdgeOnly");
    overlay = window->findChild<QAction*>("actionEdgeOverlay");
    EXPECT_TRUE(only->isChecked());
    EXPECT_EQ(window->view()->scene().edgeDrawMode(), 1);
    overlay->trigger();
    EXPECT_FALSE(only->isChecked());
    EXPECT_EQ(window->view()->scene().edgeDrawMode(), 2);
    EXPECT_EQ(window->settings().polygonMode, 1);
}

// The main bar holds the menu: no stored window state may hide it, and none may leave
// its buttons clipped when it sits on a side.
TEST_F(MainWindowTest, AStoredStateNeverHidesTheMainBar) {
    auto* mainBar = window->findChild<QToolBar*>("toolBarMain");
    ASSERT_TRUE(mainBar);
    mainBar->hide();
    window->addToolBar(Qt::LeftToolBarArea, mainBar);
    window.reset();  // the state with the hidden bar on the left is stored
    window = std::make_unique<MainWindow>(nullptr, settingsFile);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    mainBar = window->findChild<QToolBar*>("toolBarMain");
    EXPECT_TRUE(mainBar->isVisible());
    EXPECT_EQ(window->toolBarArea(mainBar), Qt::LeftToolBarArea);
    // Vertical: as tall as its five buttons, not cut to the height of a horizontal bar.
    for (QAction* a : mainBar->actions()) {
        if (a->isSeparator()) continue;
        QWidget* button = mainBar->widgetForAction(a);
        ASSERT_TRUE(button);
        EXPECT_TRUE(button->isVisible()) << a->text().toStdString();
        EXPECT_TRUE(mainBar->rect().contains(button->geometry())) << a->text().toStdString();
    }
}

// Menus and bar texts stand out from their background in both colour schemes.
TEST(MainWindowSchemeTest, MenuAndBarTextsAreLegibleInBothSchemes) {
    for (const char* scheme : {"dark", "bright"}) {
        TempDir dir;
        QSettings(dir.qfile("settings.ini"), QSettings::IniFormat).setValue("Style", scheme);
        DialogRecorder recorder;
        MainWindow window(nullptr, dir.qfile("settings.ini"));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QMenu* menu = window.findChild<QAction*>("tbActionMenu")->menu();
        menu->popup(window.mapToGlobal(QPoint(60, 50)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
        const QImage image = menu->grab().toImage();
        image.save(guitest::artifactPath(QString("menu-%1.png").arg(scheme)));
        const int icon = menu->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, menu);
        for (QAction* a : menu->actions()) {
            if (a->isSeparator() || !a->isEnabled()) continue;
            const QRect text = menu->actionGeometry(a).adjusted(icon + 12, 0, 0, 0);
            EXPECT_GE(guitest::textContrast(image, text), 4.5)
                << scheme << ": " << a->text().toStdString();
        }
        menu->close();
        auto* editBar = window.findChild<QToolBar*>("editBar");
        for (QAction* a : editBar->actions()) {
            if (a->text().isEmpty()) continue;  // separators, the selection buttons' row
            for (bool checked : {false, true}) {
                if (checked && !a->isCheckable()) continue;
                a->setChecked(checked);
                QWidget* button = editBar->widgetForAction(a);
                const QImage b = button->grab().toImage();
                EXPECT_GE(guitest::textContrast(b, b.rect().adjusted(b.height(), 0, 0, 0)), 4.5)
                    << scheme << ": " << a->text().toStdString() << (checked ? " checked" : "");
            }
            a->setChecked(false);
        }
        window.grab().save(guitest::artifactPath(QString("window-%1.png").arg(scheme)));
    }
}

TEST(SettingsFileTest, FallsBackToTheUserFolderWhenTheProgramFolderIsReadOnly) {
    TempDir dir;
    EXPECT_EQ(chooseSettingsFile(QString::fromStdString(dir.path()), dir.qfile("user")),
              dir.qfile("settings.ini"));
    const QString missing = dir.qfile("no-such-folder");
    EXPECT_EQ(chooseSettingsFile(missing, dir.qfile("user")), dir.qfile("user/settings.ini"));
    EXPECT_TRUE(QFileInfo(dir.qfile("user")).isDir());
}

TEST(ObjectColourTest, FirstHuesAreTheCounterSequence) {
    const int hues[] = {200, 30, 140, 330, 80, 270, 20, 210, 320, 150, 260, 60};
    for (int n = 0; n < 12; ++n) {
        const QColor expected = QColor::fromHsv(hues[n], 255, 255).toRgb();
        const Color c = MainWindow::objectColor(static_cast<std::uint64_t>(n));
        EXPECT_NEAR(c.r, expected.red(), 1) << n;
        EXPECT_NEAR(c.g, expected.green(), 1) << n;
        EXPECT_NEAR(c.b, expected.blue(), 1) << n;
    }
}

TEST(LoadFilterTest, NamedFiltersWithPlainPatterns) {
    // The patterns are what the user reads; the dialog matches them in any case.
    EXPECT_EQ(MainWindow::loadFilter(),
              "All supported (*.xyz *.xyzc *.asc *.pts *.psl *.stl *.ply *.scn *.json);;"
              "Pointclouds (*.xyz *.xyzc *.asc *.pts *.psl);;STL-Mesh (*.stl);;"
              "PLY (cloud or mesh) (*.ply);;HLV-Scandata (*.scn);;Fit result (*.json)");
}

TEST_F(MainWindowTest, LoadsEveryFormatWithNameColourAndInfo) {
    guitest::writeText(dir.file("plain.xyz"), "0 0 0\n1 2 3\n2 4 6\n");
    guitest::writeText(dir.file("colors.xyzc"), "0 0 0 255 0 0\n1 1 1 0 255 0\n");
    guitest::writeText(dir.file("three.asc"), "0 0 0\n1 0 0\n0 1 0\n1 1 0\n");
    guitest::writeText(dir.file("six.ASC"), "0 0 0 10 20 30\n5 5 5 40 50 60\n");
    guitest::writeText(dir.file("scan.pts"), "2\n0 0 0 7 1 2 3\n1 1 1 7 4 5 6\n");
    guitest::writePsl(dir.file("profile.psl"), {Vec3d(0, 0, 0), Vec3d(1, 1, 1), Vec3d(2, 2, 2)});
    guitest::writeText(dir.file("mesh.stl"),
                       "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                       "vertex 0 1 0\nendloop\nendfacet\nendsolid t\n");
    load({dir.qfile("plain.xyz"), dir.qfile("colors.xyzc"), dir.qfile("three.asc"),
          dir.qfile("six.ASC"), dir.qfile("scan.pts"), dir.qfile("profile.psl"),
          dir.qfile("mesh.stl")});
    EXPECT_TRUE(recorder.messages.empty()) << recorder.messages.front().text.toStdString();
    ASSERT_EQ(objects().size(), 7u);
    EXPECT_TRUE(window->pendingFiles().isEmpty());
    EXPECT_EQ(window->objectCounter(), 7u);

    const char* names[] = {"plain.xyz", "colors.xyzc", "three.asc", "six.ASC",
                           "scan.pts",  "profile.psl", "mesh.stl"};
    const int hues[] = {200, 30, 140, 330, 80, 270, 20};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(objects()[i]->getName(), names[i]);
        const Color c = objects()[i]->getColor();
        EXPECT_EQ(c, MainWindow::objectColor(std::uint64_t(i)));
        const QColor hsv = QColor::fromRgb(c.r, c.g, c.b).toHsv();
        EXPECT_NEAR(hsv.hue(), hues[i], 1) << i;
    }
    EXPECT_NE(dynamic_cast<GLObjPnts*>(objects()[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<GLObjPntsColored*>(objects()[1].get()), nullptr);
    EXPECT_NE(dynamic_cast<GLObjPnts*>(objects()[2].get()), nullptr);
    EXPECT_NE(dynamic_cast<GLObjPntsColored*>(objects()[3].get()), nullptr);
    EXPECT_NE(dynamic_cast<GLObjPntsColored*>(objects()[4].get()), nullptr);
    EXPECT_NE(dynamic_cast<GLObjPnts*>(objects()[5].get()), nullptr);
    auto* mesh = dynamic_cast<GLObjSTL*>(objects()[6].get());
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->triangleCount(), 1u);

    EXPECT_EQ(objects()[0]->getInfo(),
              "points: 3\ndx: 2.000000\ndy: 4.000000\ndz: 6.000000\nctr: 1.000000,2.000000,"
              "3.000000\nvolume: 48.000000\nselected: 0");
    auto* pts = dynamic_cast<GLObjPntsColored*>(objects()[4].get());
    ASSERT_EQ(pts->getPoints().size(), 2u);
    EXPECT_EQ(pts->getPoints()[1].color(), Color(4, 5, 6));
    EXPECT_EQ(pts->getDisplayColors()[1], Color(4, 5, 6));
    EXPECT_EQ(dynamic_cast<GLObjPnts*>(objects()[5].get())->getPoints().size(), 3u);
    EXPECT_EQ(window->settings().loadPath, QString::fromStdString(dir.path()));
}

TEST_F(MainWindowTest, LoadsScanDataAsAPlainCloudInDoublePrecision) {
    const std::vector<Vec3d> points = {Vec3d(512345.125, 6801234.0625, 12.5),
                                       Vec3d(512345.3, 6801234.7, 12.1),
                                       Vec3d(512346.0, 6801235.0, 13.0)};
    guitest::writeScnbin(dir.file("survey.SCN"), points);
    load({dir.qfile("survey.SCN")});
    EXPECT_TRUE(recorder.messages.empty()) << recorder.messages.front().text.toStdString();
    ASSERT_EQ(objects().size(), 1u);
    EXPECT_EQ(objects()[0]->getName(), "survey.SCN");
    auto* cloud = dynamic_cast<GLObjPnts*>(objects()[0].get());
    ASSERT_NE(cloud, nullptr);
    ASSERT_EQ(cloud->getPoints().size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(cloud->getPoints()[i].x, points[i].x);
        EXPECT_EQ(cloud->getPoints()[i].y, points[i].y);
        EXPECT_EQ(cloud->getPoints()[i].z, points[i].z);
    }
}

TEST_F(MainWindowTest, UnknownBrokenAndAbortedLoadsSayWhy) {
    guitest::writeText(dir.file("notes.txt"), "hello\n");
    load({dir.qfile("notes.txt")});
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(recorder.messages[0].title, "Load data");
    EXPECT_EQ(recorder.messages[0].text, "Unknown file format: " + dir.qfile("notes.txt"));
    EXPECT_TRUE(objects().empty());

    // A binary STL whose count does not fit its size, and a scan container of rubbish.
    guitest::writeText(dir.file("broken.stl"), std::string(80, 'x') + "\x10\0\0\0" + "abc");
    guitest::writeText(dir.file("broken.scn"), "this is not a scan data container");
    recorder.messages.clear();
    load({dir.qfile("broken.stl"), dir.qfile("broken.scn")});
    ASSERT_EQ(recorder.messages.size(), 2u);
    for (const auto& m : recorder.messages) {
        EXPECT_EQ(m.icon, QMessageBox::Critical);
        EXPECT_EQ(m.title, "Load data");
        EXPECT_FALSE(m.text.isEmpty());
    }
    EXPECT_TRUE(recorder.messages[0].text.startsWith("ALG3D::"))
        << recorder.messages[0].text.toStdString();
    EXPECT_TRUE(objects().empty());
}

// "Abort" needs a run that lasts longer than one poll interval (100 ms): a cloud of 1.5
// million points. The hook presses "Abort" 50 ms after the dialog appeared.
TEST_F(MainWindowTest, AbortedLoadAndSaveChangeNothing) {
    std::string big;
    big.reserve(30u << 20);
    for (int i = 0; i < 1500000; ++i)
        big += std::to_string(i) + " 1.5 2.25\n";
    guitest::writeText(dir.file("big.xyz"), big);
    load({dir.qfile("big.xyz")});
    ASSERT_EQ(objects().size(), 1u);
    objects()[0]->setSelected(true);

    const std::string old = "the user's file\n";
    guitest::writeText(dir.file("target.xyz"), old);
    recorder.saveName = dir.qfile("target.xyz");
    // "Abort" is pressed at the first poll, whenever the job is polled: in the middle of
    // the write or, on a fast machine, after its end (the commands poll once more then).
    ui::hooks().progressPolled = [](QProgressDialog* dialog) { dialog->cancel(); };
    window->on_actionSaveFile_triggered();
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(guitest::readText(dir.file("target.xyz")), old);
    int files = 0;  // and no temporary file is left beside it
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2);

    load({dir.qfile("big.xyz"), dir.qfile("big.xyz")});
    ui::hooks().progressPolled = nullptr;
    ASSERT_EQ(recorder.messages.size(), 1u);  // the second file is not started
    EXPECT_EQ(recorder.messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(recorder.messages[0].title, "Load data");
    EXPECT_EQ(recorder.messages[0].text, "Loading aborted.");
    EXPECT_EQ(objects().size(), 1u);
    EXPECT_EQ(window->objectCounter(), 2u);
}

TEST_F(MainWindowTest, SaveWritesAllSelectedObjectsIntoOneFile) {
    guitest::writeText(dir.file("a.xyz"), "1 2 3\n4 5 6\n");
    guitest::writeText(dir.file("b.xyz"), "7 8 9\n");
    guitest::writeText(dir.file("c.xyz"), "10 11 12\n");
    load({dir.qfile("a.xyz"), dir.qfile("b.xyz"), dir.qfile("c.xyz")});
    ASSERT_EQ(objects().size(), 3u);

    window->on_actionSaveFile_triggered();  // nothing selected
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Save data");
    EXPECT_EQ(recorder.messages[0].text, "Please select pointcloud(s) to save.");

    objects()[2]->setSelected(true);
    objects()[0]->setSelected(true);
    guitest::writeText(dir.file("out.xyz"), "old contents\n");
    recorder.saveName = dir.qfile("out.xyz");
    recorder.messages.clear();
    window->on_actionSaveFile_triggered();
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(recorder.saveFilters.back(),
              "Pointcloud (*.xyz);;Pointcloud (*.xyzc);;PLY (cloud or mesh) (*.ply)");
    EXPECT_EQ(guitest::readText(dir.file("out.xyz")),
              "1.000000\t2.000000\t3.000000\n4.000000\t5.000000\t6.000000\n"
              "10.000000\t11.000000\t12.000000\n");
}

TEST_F(MainWindowTest, FailedOrAbortedSaveLeavesTheOldFile) {
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += std::to_string(i) + " 0.5 0.25\n";
    guitest::writeText(dir.file("many.xyz"), many);
    load({dir.qfile("many.xyz")});
    ASSERT_EQ(objects().size(), 1u);
    objects()[0]->setSelected(true);
    const std::string old = "the user's file\n";
    guitest::writeText(dir.file("target.xyz"), old);
    recorder.saveName = dir.qfile("target.xyz");

    // A file size limit makes the write fail part-way (as a full disk would).
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    window->on_actionSaveFile_triggered();
    setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(recorder.messages[0].title, "Save data");
    EXPECT_EQ(guitest::readText(dir.file("target.xyz")), old);
}

TEST_F(MainWindowTest, ClearAndQuitAsk) {
    // An empty scene closes without asking.
    window->close();
    EXPECT_TRUE(recorder.questions.empty());
    window->show();

    guitest::writeText(dir.file("a.xyz"), "1 2 3\n");
    load({dir.qfile("a.xyz")});
    recorder.answer = false;
    window->close();
    ASSERT_EQ(recorder.questions.size(), 1u);
    EXPECT_EQ(recorder.questions[0].title, "Quit");
    EXPECT_EQ(recorder.questions[0].text, "Really quit?");
    EXPECT_TRUE(window->isVisible());

    window->on_actionNew_triggered();
    ASSERT_EQ(recorder.questions.size(), 2u);
    EXPECT_EQ(recorder.questions[1].title, "Clear");
    EXPECT_EQ(recorder.questions[1].text, "Clear scene?");
    EXPECT_EQ(objects().size(), 1u);
    recorder.answer = true;
    window->on_actionNew_triggered();
    EXPECT_TRUE(objects().empty());
    EXPECT_EQ(window->objectCounter(), 0u);
}

TEST_F(MainWindowTest, MessageFromASecondStartLoadsItsFiles) {
    guitest::writeText(dir.file("a.xyz"), "1 2 3\n");
    guitest::writeText(dir.file("b.xyz"), "4 5 6\n");
    window->showMinimized();
    window->ReceiveMessageFromOtherInstance({dir.qfile("a.xyz"), dir.qfile("b.xyz")});
    ASSERT_EQ(objects().size(), 2u);
    EXPECT_FALSE(window->isMinimized());
    window->ReceiveMessageFromOtherInstance({});
    EXPECT_EQ(objects().size(), 2u);
}

TEST_F(MainWindowTest, FileDialogsStartInTheLastFolderUsedElseHome) {
    guitest::writeText(dir.file("part.xyz"), "1 2 3\n");
    load({dir.qfile("part.xyz")});
    ASSERT_EQ(objects().size(), 1u);
    objects()[0]->setSelected(true);
    const QString home = QDir::homePath();
    const struct {
        QString savePath, loadPath, snapshotPath;
        QString saveStart, snapshotStart;
    } cases[] = {
        {"", "", "", QDir(home).filePath("part"), home},
        {"", "/data/in", "", "/data/in/part", home},
        {"/data/out/", "/data/in", "/shots", "/data/out/part", "/shots"},
    };
    for (const auto& c : cases) {
        window->settings().savePath = c.savePath;
        window->settings().loadPath = c.loadPath;
        window->settings().saveSnapShot = c.snapshotPath;
        recorder.saveDirs.clear();
        window->on_actionSaveFile_triggered();  // the recorder cancels both dialogs
        window->actionScreenshot_triggered();
        EXPECT_EQ(recorder.saveDirs, QStringList({c.saveStart, c.snapshotStart}))
            << c.savePath.toStdString() << " " << c.loadPath.toStdString();
    }
    window->settings().loadPath.clear();
    window->on_actionLoadFile_triggered();
    EXPECT_EQ(recorder.openDirs, QStringList({home}));
}

TEST_F(MainWindowTest, SavingAMeshAsPointsWritesEachVertexOnce) {
    guitest::writeText(dir.file("box.stl"),
                       testing_helpers::binaryStl(testing_helpers::boxTriangles()));
    load({dir.qfile("box.stl")});
    ASSERT_EQ(objects().size(), 1u);
    objects()[0]->setSelected(true);
    recorder.saveName = dir.qfile("box.xyz");
    window->on_actionSaveFile_triggered();
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(recorder.saveFilters.back(),
              "Pointcloud (*.xyz);;Pointcloud (*.xyzc);;Binary STL-Mesh (*.stl);;"
              "PLY (cloud or mesh) (*.ply)");
    const std::string text = guitest::readText(dir.file("box.xyz"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8) << text;
}

// The real load dialog, without a hook: its filter box shows plain patterns, and its list
// holds the files those patterns name in any case.
TEST_F(MainWindowTest, LoadDialogShowsPlainPatternsAndListsSuffixesInAnyCase) {
    TempDir folder;
    for (const char* name : {"a.xyz", "B.XYZ", "c.Stl", "d.txt"})
        guitest::writeText(folder.file(name), "0 0 0\n");
    window->settings().loadPath = QString::fromStdString(folder.path());
    window->settings().loadFilter.clear();
    ui::hooks().openFileNames = nullptr;

    QStringList filterTexts, listed;
    QTimer::singleShot(0, [&] {
        QFileDialog* dialog = nullptr;
        if (!QTest::qWaitFor([&] { return (dialog = window->findChild<QFileDialog*>()); })) {
            return ADD_FAILURE() << "no file dialog";
        }
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        auto* view = dialog->findChild<QListView*>("listView");
        if (types && view) {
            auto rows = [view] { return view->model()->rowCount(view->rootIndex()); };
            EXPECT_TRUE(QTest::qWaitFor([&] { return rows() >= 3; }));
            QTest::qWait(200);  // anything else the folder's reader still delivers
            for (int i = 0; i < types->count(); ++i)
                filterTexts << types->itemText(i);
            for (int r = 0; r < rows(); ++r)
                listed << view->model()->index(r, 0, view->rootIndex()).data().toString();
        }
        EXPECT_TRUE(dialog->grab().save(guitest::artifactPath("load-dialog.png")));
        dialog->reject();
    });
    window->on_actionLoadFile_triggered();
    EXPECT_TRUE(objects().empty());

    EXPECT_EQ(filterTexts, MainWindow::loadFilter().split(";;"));
    for (const QString& text : filterTexts)
        EXPECT_FALSE(text.contains('[')) << text.toStdString();
    listed.sort(Qt::CaseInsensitive);
    EXPECT_EQ(listed, QStringList({"a.xyz", "B.XYZ", "c.Stl"}));
}

}  // namespace
