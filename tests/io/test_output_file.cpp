// Writing never destroys a good file: replacing writes go through a temporary file,
// failures and aborts leave the old file and no temporary file, and several parts
// can go into one file with a single replace.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "alg3D/matrix/Alg3dException.h"
#include "io/FileIOInfo.h"
#include "io/OutputFile.h"
#include "io/StlWriter.h"
#include "io/TextPointWriters.h"
#include "tests/io/IoTestSupport.h"

#if defined(__unix__)
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using alg3D::GLPoint;
using alg3D::Vec3d;
using io_test::readFile;
using io_test::writeFile;
using io_test::writeJob;
namespace tio = tessaro::io;

namespace {

const std::string kOld = "old contents that must survive\n";

std::vector<Vec3d> manyPoints(std::size_t n) {
    std::vector<Vec3d> points(n);
    for (std::size_t i = 0; i < n; ++i)
        points[i] = Vec3d(double(i), 0.5 * double(i), -1.25);
    return points;
}

}  // namespace

TEST(OutputFile, ReplacesOnlyOnCommit) {
    io_test::TempDir dir;
    const std::string name = dir.file("target.txt");
    writeFile(name, kOld);
    {
        tio::OutputFile out(name);
        ASSERT_TRUE(out.open());
        ASSERT_TRUE(out.write("new\n", 4));
        EXPECT_EQ(readFile(name), kOld);
        EXPECT_EQ(dir.entries().size(), 2u);  // the target and the temporary file
        EXPECT_EQ(io_test::fs::path(out.temporaryPath()).parent_path(), dir.path());
        out.commit();
        EXPECT_TRUE(out.committed());
    }
    EXPECT_EQ(readFile(name), "new\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target.txt"});
}

TEST(OutputFile, DiscardedWithoutCommit) {
    io_test::TempDir dir;
    const std::string name = dir.file("target.txt");
    writeFile(name, kOld);
    {
        tio::OutputFile out(name);
        ASSERT_TRUE(out.open());
        ASSERT_TRUE(out.write("new\n", 4));
    }
    EXPECT_EQ(readFile(name), kOld);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target.txt"});
    // Nothing opened, nothing committed: no file appears.
    {
        tio::OutputFile out(dir.file("other.txt"));
        EXPECT_TRUE(out.tryCommit());
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target.txt"});
}

TEST(OutputFile, KeepsPermissionsAndSymbolicLinks) {
    io_test::TempDir dir;
    const std::string real = dir.file("real.xyz");
    const std::string link = dir.file("link.xyz");
    writeFile(real, kOld);
    io_test::fs::permissions(real, io_test::fs::perms::owner_read |
                                       io_test::fs::perms::owner_write |
                                       io_test::fs::perms::group_read);
    io_test::fs::create_symlink(real, link);
    ASSERT_EQ(writeJob(link, tio::kWriteXyz, std::vector<Vec3d>{Vec3d(1, 2, 3)}), "");
    EXPECT_TRUE(io_test::fs::is_symlink(link));
    EXPECT_EQ(readFile(real), "1.000000\t2.000000\t3.000000\n");
    EXPECT_EQ(io_test::fs::status(real).permissions() & io_test::fs::perms::all,
              io_test::fs::perms::owner_read | io_test::fs::perms::owner_write |
                  io_test::fs::perms::group_read);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.xyz", "real.xyz"}));
}

TEST(OutputFile, FailedCommitLeavesTargetAndNoTemporaryFile) {
    // A folder in the place of the target: refused when the output opens, and when it
    // appears only while the data are written, the final replace fails.
    io_test::TempDir dir;
    const std::string name = dir.file("folder.xyz");
    io_test::fs::create_directory(name);
    writeFile(dir.file("folder.xyz/inside"), kOld);
    EXPECT_EQ(writeJob(name, tio::kWriteXyz, std::vector<Vec3d>{Vec3d(1, 2, 3)}),
              io_test::alg3dText("can not write destination file.\n"));
    EXPECT_EQ(writeJob(name, tio::kWriteStl, manyPoints(3)),
              io_test::alg3dText("can not write destination file.\n"));
    EXPECT_EQ(writeJob(name, tio::kWriteXyzc, std::vector<GLPoint>{GLPoint(1, 2, 3)}),
              "cannot open file for write operation!");
    EXPECT_TRUE(io_test::fs::is_directory(name));
    EXPECT_EQ(readFile(dir.file("folder.xyz/inside")), kOld);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"folder.xyz"});

    EXPECT_FALSE(tio::OutputFile(name).open());

    const std::string late = dir.file("late.xyz");
    tio::OutputFile out(late);
    ASSERT_TRUE(out.open());
    ASSERT_TRUE(out.write("x", 1));
    io_test::fs::create_directory(late);
    try {
        out.commit();
        FAIL() << "no exception";
    } catch (const alg3D::Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::can not write destination file.\n");
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"folder.xyz", "late.xyz"}));
    EXPECT_TRUE(io_test::fs::is_empty(late));
}

#if defined(__unix__)
TEST(OutputFile, WriteErrorPartWayLeavesTheOldFile) {
    // A file size limit makes the write fail part way, as a full disk would.
    io_test::TempDir dir;
    const std::string name = dir.file("target.xyz");
    writeFile(name, kOld);
    const auto points = manyPoints(200000);  // several MB of text

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 256 * 1024;
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::string xyzError = writeJob(name, tio::kWriteXyz, points);
    const std::string stlError = writeJob(name, tio::kWriteStl, points);
    std::vector<GLPoint> coloured(points.size());
    const std::string xyzcError = writeJob(name, tio::kWriteXyzc, coloured);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(xyzError, io_test::alg3dText("can not write destination file.\n"));
    EXPECT_EQ(stlError, io_test::alg3dText("can not write destination file.\n"));
    EXPECT_EQ(xyzcError, "cannot open file for write operation!");
    EXPECT_EQ(readFile(name), kOld);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target.xyz"});
}
#endif

TEST(OutputFile, AbortedWriteLeavesTheOldFile) {
    io_test::TempDir dir;
    const std::string name = dir.file("target.xyz");
    writeFile(name, kOld);
    const auto points = manyPoints(10);
    for (int type : std::initializer_list<int>{tio::kWriteXyz, tio::kWriteXyzc, tio::kWriteStl}) {
        tio::FileIOInfo info;
        info.fileName = name;
        info.abort = true;  // tested before the first point
        const std::vector<alg3D::Color> colors(points.size());
        if (type == tio::kWriteXyz) tio::writeXyz(info, points);
        if (type == tio::kWriteXyzc) tio::writeXyzc(info, points, &colors);
        if (type == tio::kWriteStl) tio::writeStl(info, points);
        EXPECT_EQ(readFile(name), kOld) << type;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"target.xyz"}) << type;
    }
    // Without an old file no file appears.
    tio::FileIOInfo info;
    info.fileName = dir.file("new.stl");
    info.abort = true;
    tio::writeStl(info, points);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target.xyz"});
}

TEST(OutputFile, AbortPartWayThroughAJobOnAThread) {
    io_test::TempDir dir;
    const std::string name = dir.file("target.xyz");
    writeFile(name, kOld);
    const auto points = manyPoints(2000000);
    tio::FileIOInfo info;
    info.fileName = name;
    info.type = tio::kWriteXyz;
    std::thread worker([&] { tio::writeFileJob(&info, &points); });
    // The entry clears `abort` when it starts; wait for the first progress step.
    while (info.progress.load() < 1)
        std::this_thread::yield();
    info.abort = true;
    worker.join();
    EXPECT_EQ(info.progress.load(), 100);
    EXPECT_FALSE(info.error);
    EXPECT_EQ(readFile(name), kOld);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target.xyz"});
}

TEST(OutputFile, AbortedAppendKeepsWhatWasWritten) {
    io_test::TempDir dir;
    const std::string name = dir.file("target.xyz");
    writeFile(name, kOld);
    tio::FileIOInfo info;
    info.fileName = name;
    info.append = true;
    info.abort = true;
    tio::writeXyz(info, manyPoints(5));
    EXPECT_EQ(readFile(name), kOld);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target.xyz"});
}

TEST(OutputFile, SeveralPartsThroughOneTemporaryFile) {
    io_test::TempDir dir;
    const std::string name = dir.file("scene.xyz");
    writeFile(name, kOld);
    const std::vector<Vec3d> empty;
    const std::vector<Vec3d> a = {Vec3d(1, 2, 3)};
    const std::vector<GLPoint> b = {GLPoint(4, 5, 6, 7, 8, 9), GLPoint(-1, -2, -3)};
    {
        tio::OutputFile out(name);
        tio::FileIOInfo info;
        info.fileName = "ignored when output is set";
        info.output = &out;
        info.type = tio::kWriteXyz;
        tio::writeFileJob(&info, &empty);
        ASSERT_FALSE(info.error);
        tio::writeFileJob(&info, &a);
        ASSERT_FALSE(info.error);
        tio::writeFileJob(&info, &b);
        ASSERT_FALSE(info.error);
        info.type = tio::kWriteXyzc;
        tio::writeFileJob(&info, &b);
        ASSERT_FALSE(info.error);
        EXPECT_EQ(readFile(name), kOld);  // nothing replaced before the commit
        out.commit();
    }
    EXPECT_EQ(readFile(name),
              "1.000000\t2.000000\t3.000000\n"
              "4.000000\t5.000000\t6.000000\n"
              "-1.000000\t-2.000000\t-3.000000\n"
              "4.0000\t5.0000\t6.0000\t7\t8\t9\n"
              "-1.0000\t-2.0000\t-3.0000\t0\t0\t0\n");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"scene.xyz"});
}

TEST(OutputFile, SeveralPartsWithAnAbortedPartAreNotCommitted) {
    io_test::TempDir dir;
    const std::string name = dir.file("scene.xyz");
    writeFile(name, kOld);
    {
        tio::OutputFile out(name);
        tio::FileIOInfo info;
        info.output = &out;
        tio::writeXyz(info, manyPoints(3));
        info.abort = true;
        tio::writeXyz(info, manyPoints(3));
        // The caller sees the abort and does not commit.
        EXPECT_TRUE(info.abort.load());
    }
    EXPECT_EQ(readFile(name), kOld);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"scene.xyz"});
}

TEST(OutputFile, BinaryStlTakesNoSecondPart) {
    io_test::TempDir dir;
    const std::string name = dir.file("mesh.stl");
    tio::OutputFile out(name);
    tio::FileIOInfo info;
    info.output = &out;
    info.type = tio::kWriteStl;
    const auto points = manyPoints(3);
    tio::writeFileJob(&info, &points);
    ASSERT_FALSE(info.error);
    tio::writeFileJob(&info, &points);
    ASSERT_TRUE(info.error);
    EXPECT_THROW(std::rethrow_exception(info.error), std::invalid_argument);
    out.commit();
    EXPECT_EQ(io_test::fs::file_size(name), 84u + 50u);
}

TEST(OutputFile, AppendModeWritesIntoTheTarget) {
    io_test::TempDir dir;
    const std::string name = dir.file("log.txt");
    writeFile(name, "a");
    tio::OutputFile out(name, tio::OutputFile::Mode::kAppend);
    ASSERT_TRUE(out.open());
    ASSERT_TRUE(out.write("b", 1));
    EXPECT_TRUE(out.temporaryPath().empty());
    out.commit();
    EXPECT_EQ(readFile(name), "ab");
}

TEST(OutputFile, TemporaryFileNamesCarryTheWritersProcessId) {
    struct Case {
        const char* name;
        long owner;
    };
    const Case cases[] = {
        {"a.xyz.tmp-123-0123456789ab", 123},
        {"/some/folder/b.stl.tmp-7-abcdefabcdef", 7},
        {"a.tmp-1-000000000000.xyz.tmp-42-ffffffffffff", 42},  // the last tag counts
        {"a.xyz", 0},
        {"a.xyz.tmp-123-0123456789a", 0},    // 11 hex digits
        {"a.xyz.tmp-123-0123456789abc", 0},  // 13
        {"a.xyz.tmp-123-0123456789AB", 0},   // upper case is not written
        {"a.xyz.tmp--0123456789ab", 0},
        {"a.xyz.tmp-12x-0123456789ab", 0},
        {"a.xyz.tmp-0123456789ab", 0},
        {".tmp-5-0123456789ab", 0},  // no target name before the tag
        {"a.xyz.tmp-99999999999-0123456789ab", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tio::temporaryFileOwner(c.name), c.owner) << c.name;
        EXPECT_EQ(tio::isTemporaryFileName(c.name), c.owner > 0) << c.name;
    }

    io_test::TempDir dir;
    tio::OutputFile out(dir.file("target.xyz"));
    ASSERT_TRUE(out.open());
    const std::string name = io_test::fs::path(out.temporaryPath()).filename().string();
    const std::string stem = "target.xyz.tmp-" + std::to_string(::getpid()) + "-";
    EXPECT_EQ(name.compare(0, stem.size(), stem), 0) << name;
    EXPECT_EQ(tio::temporaryFileOwner(name), static_cast<long>(::getpid()));
}

#if defined(__unix__)
namespace {

// The id of a process that has ended (a child that exited and was waited for).
long endedProcessId() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<long>(child);
}

}  // namespace

TEST(OutputFile, LaterWriteRemovesTemporaryFilesOfEndedWritersOnly) {
    io_test::TempDir dir;
    const std::string dead = std::to_string(endedProcessId());
    const std::string alive = std::to_string(::getpid());
    io_test::fs::create_directory(dir.file("real"));
    io_test::fs::create_symlink(dir.file("real/target.xyz"), dir.file("link.xyz"));
    writeFile(dir.file("real/target.xyz"), kOld);
    const std::vector<std::string> kept = {
        "target.xyz",
        "target.xyz.tmp-" + alive + "-bbbbbbbbbbbb",     // a live writer's
        "other.xyz.tmp-" + dead + "-cccccccccccc",       // another target's
        "target.xyz.tmp-" + dead + "-0123",              // not of the form
        "target.xyz.tmp-" + dead + "-dddddddddddd.keep"  // not of the form
    };
    for (const std::string& name : kept)
        if (name != "target.xyz") writeFile(dir.file("real/" + name), "x");
    writeFile(dir.file("real/target.xyz.tmp-" + dead + "-aaaaaaaaaaaa"), std::string(1000, 'x'));
    io_test::fs::create_directory(dir.file("real/target.xyz.tmp-" + dead + "-eeeeeeeeeeee"));

    // Through the link: the files beside the file it points to go.
    ASSERT_EQ(writeJob(dir.file("link.xyz"), tio::kWriteXyz, std::vector<Vec3d>{Vec3d(1, 2, 3)}),
              "");
    EXPECT_EQ(readFile(dir.file("real/target.xyz")), "1.000000\t2.000000\t3.000000\n");
    std::vector<std::string> expected = kept;
    expected.push_back("target.xyz.tmp-" + dead + "-eeeeeeeeeeee");  // a folder stays
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> left;
    for (const auto& entry : io_test::fs::directory_iterator(dir.file("real")))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, expected);
    EXPECT_EQ(tio::removeStaleTemporaryFiles(dir.file("link.xyz")), 0u);
}

TEST(OutputFile, TargetsThatAreNotRegularFilesAreNeverReplaced) {
    io_test::TempDir dir;
    const std::string fifo = dir.file("pipe.xyz");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    io_test::fs::create_symlink(fifo, dir.file("link.xyz"));
    for (const std::string& name : {fifo, dir.file("link.xyz")}) {
        for (tio::OutputFile::Mode mode :
             {tio::OutputFile::Mode::kReplace, tio::OutputFile::Mode::kAppend}) {
            tio::OutputFile out(name, mode);
            EXPECT_FALSE(out.open()) << name;  // at once: no open that waits for a reader
            EXPECT_FALSE(out.tryCommit());
        }
        EXPECT_EQ(writeJob(name, tio::kWriteXyz, std::vector<Vec3d>{Vec3d(1, 2, 3)}),
                  io_test::alg3dText("can not write destination file.\n"));
    }
    // A target that turns into a FIFO while the data are written.
    const std::string late = dir.file("late.xyz");
    tio::OutputFile out(late);
    ASSERT_TRUE(out.open());
    ASSERT_TRUE(out.write("1 2 3\n", 6));
    ASSERT_EQ(::mkfifo(late.c_str(), 0600), 0);
    EXPECT_FALSE(out.tryCommit());
    EXPECT_TRUE(io_test::fs::is_fifo(fifo));
    EXPECT_TRUE(io_test::fs::is_fifo(late));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"late.xyz", "link.xyz", "pipe.xyz"}));
}
#endif
