// Single instance with real processes of the workbench: a second start hands its files
// to the first and ends without a window; a start without files does nothing; and a
// start after the first instance was killed (its shared-memory segment left behind)
// opens its window instead of handing files to nobody.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <memory>

#include "GuiTestSupport.h"

namespace {

using guitest::TempDir;

class Instance {
  public:
    Instance(const QString& key, const QStringList& args, const QString& workDir) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TESSARO_INSTANCE_KEY", key);
        env.insert("LIBGL_ALWAYS_SOFTWARE", "1");
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workDir);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(TESSARO_GUI_PATH, args);
    }
    ~Instance() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    // Waits until the output holds `text`.
    bool waitFor(const QString& text, int ms = 20000) {
        QElapsedTimer timer;
        timer.start();
        while (!output.contains(text)) {
            if (timer.elapsed() > ms) return false;
            if (process.state() == QProcess::NotRunning) {
                output += QString::fromLocal8Bit(process.readAll());
                return output.contains(text);
            }
            process.waitForReadyRead(100);
            output += QString::fromLocal8Bit(process.readAll());
        }
        return true;
    }
    QString read() {
        process.waitForReadyRead(50);
        output += QString::fromLocal8Bit(process.readAll());
        return output;
    }

    QProcess process;
    QString output;
};

QString uniqueKey(const char* name) {
    return QString("TessaroTest_%1_%2").arg(name).arg(getpid());
}

TEST(SingleInstanceTest, SecondStartHandsItsFilesOverAndEnds) {
    TempDir dir;
    for (const char* f : {"a.xyz", "b.xyz", "c.xyz"})
        guitest::writeText(dir.file(f), "1 2 3\n");
    const QString key = uniqueKey("handover");
    Instance first(key, {}, QString::fromStdString(dir.path()));
    ASSERT_TRUE(first.waitFor("ready")) << first.output.toStdString();

    Instance second(key, {dir.qfile("a.xyz"), dir.qfile("b.xyz"), dir.qfile("c.xyz")},
                    QString::fromStdString(dir.path()));
    ASSERT_TRUE(second.process.waitForFinished(15000));
    EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process.exitCode(), 0);
    const QString secondOutput = QString::fromLocal8Bit(second.process.readAll());
    EXPECT_FALSE(secondOutput.contains("OpenGL")) << "the second start opened a window";

    ASSERT_TRUE(first.waitFor("loaded: 3 objects")) << first.output.toStdString();
    for (const char* f : {"a.xyz", "b.xyz", "c.xyz"}) {
        EXPECT_TRUE(first.output.contains("file: " + dir.qfile(f)));
    }

    // A second start without files only ends.
    const int before = first.read().size();
    Instance third(key, {}, QString::fromStdString(dir.path()));
    ASSERT_TRUE(third.process.waitForFinished(15000));
    EXPECT_EQ(third.process.exitCode(), 0);
    QThread::msleep(600);  // three polls of the first instance
    EXPECT_EQ(first.read().size(), before) << first.output.mid(before).toStdString();

    // The first ends cleanly on SIGTERM (and writes its settings).
    first.process.terminate();
    ASSERT_TRUE(first.process.waitForFinished(15000));
    EXPECT_EQ(first.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.process.exitCode(), 0);
}

TEST(SingleInstanceTest, StartAfterACrashedFirstInstanceOpensItsWindow) {
    TempDir dir;
    const QString key = uniqueKey("crash");
    {
        Instance first(key, {}, QString::fromStdString(dir.path()));
        ASSERT_TRUE(first.waitFor("ready")) << first.output.toStdString();
        first.process.kill();  // SIGKILL: the segment stays behind
        ASSERT_TRUE(first.process.waitForFinished(10000));
    }
    Instance next(key, {}, QString::fromStdString(dir.path()));
    ASSERT_TRUE(next.waitFor("ready")) << next.output.toStdString();
    EXPECT_TRUE(next.output.contains("OpenGL"));
    EXPECT_EQ(next.process.state(), QProcess::Running);

    // And it is a proper first instance again: it receives a second start's files.
    guitest::writeText(dir.file("a.xyz"), "1 2 3\n");
    Instance second(key, {dir.qfile("a.xyz")}, QString::fromStdString(dir.path()));
    ASSERT_TRUE(second.process.waitForFinished(15000));
    EXPECT_EQ(second.process.exitCode(), 0);
    EXPECT_TRUE(next.waitFor("loaded: 1 objects")) << next.output.toStdString();
    next.process.terminate();
    EXPECT_TRUE(next.process.waitForFinished(15000));
}

}  // namespace
