// The window's save and load with names that are not data: a save onto a FIFO, a device
// or a folder (also through a link) is refused with a message and leaves the node as it
// was; the temporary file of a save is neither listed by the load dialog nor loaded.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <filesystem>
#include <memory>

#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "OpenGL/glView/GLView.h"
#include "commands/FileCommands.h"

namespace {

namespace fs = std::filesystem;
using guitest::DialogRecorder;
using guitest::TempDir;

class FileSafetyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>(nullptr, dir.qfile("settings.ini"));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        guitest::writeText(dir.file("cloud.xyz"), "1 2 3\n4 5 6\n");
        window->setPendingFiles({dir.qfile("cloud.xyz")});
        window->on_actionLoadFile_triggered();
        ASSERT_EQ(objects().size(), 1u);
        objects()[0]->setSelected(true);
        recorder.messages.clear();
    }
    void TearDown() override { window.reset(); }

    const std::vector<std::unique_ptr<GLBaseObject>>& objects() {
        return window->view()->scene().objects();
    }

    // Save as a user does it: the menu button on the main bar, then "Save File".
    void saveThroughTheMenu() {
        auto* bar = window->findChild<QToolBar*>("toolBarMain");
        auto* menuAction = window->findChild<QAction*>("tbActionMenu");
        auto* saveAction = window->findChild<QAction*>("actionSaveFile");
        ASSERT_TRUE(bar && menuAction && saveAction);
        QWidget* button = bar->widgetForAction(menuAction);
        ASSERT_TRUE(button);
        QTimer::singleShot(0, [saveAction] {
            QMenu* menu = nullptr;
            if (!QTest::qWaitFor([&] {
                    return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()));
                })) {
                return ADD_FAILURE() << "no menu";
            }
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(saveAction).center());
        });
        QTest::mouseClick(button, Qt::LeftButton);
    }

    struct Box {
        QString title, text;
    };
    // Saves onto `target` through the menu with the real message box, which is shot to
    // `screenshot` and closed with Return.
    Box refusedSave(const std::string& target, const QString& screenshot) {
        recorder.saveName = QString::fromStdString(target);
        ui::hooks().message = nullptr;
        // Watched from whichever event loop runs (the menu's, then the box's own).
        Box seen;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            watch.stop();
            seen = {box->windowTitle(), box->text()};
            EXPECT_TRUE(box->grab().save(guitest::artifactPath(screenshot)));
            QTest::keyClick(box, Qt::Key_Return);
        });
        watch.start(20);
        saveThroughTheMenu();
        return seen;
    }

    TempDir dir;
    DialogRecorder recorder;
    std::unique_ptr<MainWindow> window;
};

TEST_F(FileSafetyTest, SaveOntoAFifoShowsWhyAndKeepsIt) {
    const std::string fifo = dir.file("pipe.xyz");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Box box = refusedSave(fifo, "save-onto-fifo-refused.png");
    EXPECT_EQ(box.title, "Save data");
    EXPECT_EQ(box.text.toStdString(), tessaro::commands::kNotARegularFile + fifo);
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(FileSafetyTest, GermanWindowShowsTheCommandsRefusalInGerman) {
    const std::string fifo = dir.file("Rohr.xyz");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    window->setGerman(true);
    const Box box = refusedSave(fifo, "save-onto-fifo-refused-german.png");
    window->setGerman(false);
    EXPECT_EQ(box.title, "Daten speichern");
    EXPECT_EQ(box.text.toStdString(), "Keine reguläre Datei: " + fifo);
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(FileSafetyTest, SaveRefusesEveryTargetThatIsNotARegularFile) {
    ASSERT_EQ(::mkfifo(dir.file("pipe.xyz").c_str(), 0600), 0);
    fs::create_symlink(dir.file("pipe.xyz"), dir.file("link-to-pipe.xyz"));
    fs::create_directory(dir.file("folder.xyz"));
    // A device: made here as superuser, else a link to the null device.
    if (::geteuid() == 0) {
        ASSERT_EQ(::mknod(dir.file("device.xyzc").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    } else {
        fs::create_symlink("/dev/null", dir.file("device.xyzc"));
    }
    fs::create_symlink(dir.file("device.xyzc"), dir.file("link-to-device.xyz"));
    for (const char* name :
         {"pipe.xyz", "link-to-pipe.xyz", "folder.xyz", "device.xyzc", "link-to-device.xyz"}) {
        recorder.messages.clear();
        recorder.saveName = dir.qfile(name);
        window->on_actionSaveFile_triggered();
        ASSERT_EQ(recorder.messages.size(), 1u) << name;
        EXPECT_EQ(recorder.messages[0].icon, QMessageBox::Critical);
        EXPECT_EQ(recorder.messages[0].title, "Save data");
        EXPECT_EQ(recorder.messages[0].text.toStdString(),
                  tessaro::commands::kNotARegularFile + dir.file(name));
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe.xyz")));
    EXPECT_TRUE(fs::is_directory(dir.file("folder.xyz")));
    EXPECT_TRUE(fs::is_empty(dir.file("folder.xyz")));
    EXPECT_TRUE(fs::is_character_file(dir.file("device.xyzc")));

    // A link to a regular file is followed: the file gets the points, the link stays.
    guitest::writeText(dir.file("real.xyz"), "old\n");
    fs::create_symlink(dir.file("real.xyz"), dir.file("link-to-real.xyz"));
    recorder.messages.clear();
    recorder.saveName = dir.qfile("link-to-real.xyz");
    window->on_actionSaveFile_triggered();
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_TRUE(fs::is_symlink(dir.file("link-to-real.xyz")));
    EXPECT_EQ(guitest::readText(dir.file("real.xyz")),
              "1.000000\t2.000000\t3.000000\n4.000000\t5.000000\t6.000000\n");
}

// What a killed save left beside its target: the load dialog does not list it, and a
// name handed over directly (a drop, a second start) is refused with the reason.
TEST_F(FileSafetyTest, TemporaryFileOfASaveIsNeverTakenForData) {
    TempDir folder;
    const std::string leftOver = "scan.xyz.tmp-4242-0123456789ab";
    for (const std::string& name :
         {std::string("scan.xyz"), leftOver, std::string("mesh.stl.tmp-77-abcdefabcdef")})
        guitest::writeText(folder.file(name), "0 0 0\n");
    window->settings().loadPath = QString::fromStdString(folder.path());
    window->settings().loadFilter.clear();
    ui::hooks().openFileNames = nullptr;

    QStringList listed;
    QTimer::singleShot(0, [&] {
        QFileDialog* dialog = nullptr;
        if (!QTest::qWaitFor([&] { return (dialog = window->findChild<QFileDialog*>()); })) {
            return ADD_FAILURE() << "no file dialog";
        }
        auto* view = dialog->findChild<QListView*>("listView");
        if (view) {
            auto rows = [view] { return view->model()->rowCount(view->rootIndex()); };
            EXPECT_TRUE(QTest::qWaitFor([&] { return rows() >= 1; }));
            QTest::qWait(200);  // anything else the folder's reader still delivers
            for (int r = 0; r < rows(); ++r)
                listed << view->model()->index(r, 0, view->rootIndex()).data().toString();
        }
        dialog->reject();
    });
    window->on_actionLoadFile_triggered();
    EXPECT_EQ(listed, QStringList({"scan.xyz"}));

    window->setPendingFiles({QString::fromStdString(folder.file(leftOver))});
    window->on_actionLoadFile_triggered();
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Load data");
    EXPECT_EQ(recorder.messages[0].text.toStdString(),
              tessaro::commands::kUnfinishedSaveFile + folder.file(leftOver));
    EXPECT_EQ(objects().size(), 1u);
}

}  // namespace
