// Writing never destroys a good file: replacing writes go through a temporary file,
// failures and aborts leave the old file and no temporary file, and several parts
// can go into one file with a single replace.
#include <gtest/gtest.h>

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
    // A folder in the place of the target: the final rename fails.
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

    tio::OutputFile out(name);
    ASSERT_TRUE(out.open());
    ASSERT_TRUE(out.write("x", 1));
    try {
        out.commit();
        FAIL() << "no exception";
    } catch (const alg3D::Alg3dException& e) {
        EXPECT_STREQ(e.what(), "ALG3D::can not write destination file.\n");
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"folder.xyz"});
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
