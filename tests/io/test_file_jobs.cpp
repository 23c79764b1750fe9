// The job record and its worker entries: dispatch by job code, the error slot,
// progress and abort across threads.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "io/FileIOInfo.h"
#include "tests/io/IoTestSupport.h"

using alg3D::Color;
using alg3D::GLPoint;
using alg3D::Vec3d;
using io_test::errorText;
using io_test::writeFile;
namespace tio = tessaro::io;

TEST(FileJobs, CodesOfAnotherEntryDoNothing) {
    io_test::TempDir dir;
    writeFile(dir.file("a.xyz"), "1 2 3\n");
    tio::FileIOInfo info;
    info.fileName = dir.file("a.xyz");
    std::vector<GLPoint> coloured{GLPoint(5, 5, 5)};
    for (int type :
         std::initializer_list<int>{tio::kJobNone, tio::kReadXyz, tio::kReadStl, tio::kReadPsl,
                                    tio::kWriteXyz, tio::kWriteStl, 9, 99, -1}) {
        info.type = type;
        tio::readFileJob(&info, &coloured);
        EXPECT_EQ(errorText(info), "") << type;
        EXPECT_EQ(info.progress.load(), 100);
        ASSERT_EQ(coloured.size(), 1u);
    }
    std::vector<Vec3d> plain{Vec3d(5, 5, 5)};
    for (int type : std::initializer_list<int>{tio::kReadXyzc, tio::kReadPts, tio::kWriteXyz, 9}) {
        info.type = type;
        tio::readFileJob(&info, &plain);
        EXPECT_EQ(errorText(info), "");
        ASSERT_EQ(plain.size(), 1u);
    }
    const std::string out = dir.file("out.xyz");
    info.fileName = out;
    for (int type : std::initializer_list<int>{tio::kReadXyz, tio::kReadXyzc, 9, 11}) {
        info.type = type;
        tio::writeFileJob(&info, &plain);
        tio::writeFileJob(&info, &coloured);
        EXPECT_EQ(errorText(info), "");
    }
    EXPECT_FALSE(io_test::fs::exists(out));
}

TEST(FileJobs, EntryClearsErrorAndStoresTheException) {
    io_test::TempDir dir;
    tio::FileIOInfo info;
    info.fileName = dir.file("missing.xyz");
    info.type = tio::kReadXyz;
    info.error = std::make_exception_ptr(std::runtime_error("old"));
    std::vector<Vec3d> points;
    tio::readFileJob(&info, &points);
    EXPECT_EQ(errorText(info), "ALG3D::can not open file.\n");
    EXPECT_EQ(info.progress.load(), 100);

    writeFile(info.fileName, "1 2 3\n");
    tio::readFileJob(&info, &points);
    EXPECT_FALSE(info.error);
    EXPECT_EQ(points.size(), 1u);
}

// An abort asked for before the worker got to the entry is kept and ends the job at once:
// nothing is read, no file is written or replaced, and the caller still sees the flag.
TEST(FileJobs, AbortSetBeforeTheStartEndsEveryEntryAtOnce) {
    io_test::TempDir dir;
    writeFile(dir.file("in.xyz"), "1 2 3\n4 5 6\n");
    writeFile(dir.file("in.xyzc"), "1 2 3 10 20 30\n");
    writeFile(dir.file("old.xyz"), "old\n");
    const std::vector<Vec3d> plain{Vec3d(1, 2, 3), Vec3d(4, 5, 6), Vec3d(7, 8, 9)};
    const std::vector<GLPoint> coloured{GLPoint(1, 2, 3)};
    struct Case {
        const char* file;
        int type;
    };
    for (const Case c : {Case{"in.xyz", tio::kReadXyz}, Case{"in.xyzc", tio::kReadXyzc},
                         Case{"old.xyz", tio::kWriteXyz}, Case{"new.xyzc", tio::kWriteXyzc},
                         Case{"new.stl", tio::kWriteStl}}) {
        SCOPED_TRACE(c.file);
        for (const bool colouredEntry : {false, true}) {
            tio::FileIOInfo info;
            info.fileName = dir.file(c.file);
            info.type = c.type;
            info.abort = true;
            std::vector<Vec3d> readPlain;
            std::vector<GLPoint> readColoured;
            if (c.type >= tio::kWriteXyz)
                colouredEntry ? tio::writeFileJob(&info, &coloured)
                              : tio::writeFileJob(&info, &plain);
            else
                colouredEntry ? tio::readFileJob(&info, &readColoured)
                              : tio::readFileJob(&info, &readPlain);
            EXPECT_TRUE(info.abort.load());
            EXPECT_FALSE(info.error);
            EXPECT_EQ(info.progress.load(), 100);
            EXPECT_TRUE(readPlain.empty());
            EXPECT_TRUE(readColoured.empty());
        }
    }
    EXPECT_EQ(io_test::readFile(dir.file("old.xyz")), "old\n");
    EXPECT_FALSE(io_test::fs::exists(dir.file("new.xyzc")));
    EXPECT_FALSE(io_test::fs::exists(dir.file("new.stl")));
}

TEST(FileJobs, ScanDataGoesToTheScanDataLoader) {
    io_test::TempDir dir;
    tio::FileIOInfo info;
    info.fileName = dir.file("missing.scn");
    info.type = tio::kReadScanData;
    std::vector<Vec3d> points{Vec3d()};
    tio::readFileJob(&info, &points);
    EXPECT_TRUE(info.error);  // whatever the loader's text, the job reports it
    EXPECT_EQ(info.progress.load(), 100);
}

TEST(FileJobs, ProgressSeenFromAnotherThreadRisesTo100) {
    io_test::TempDir dir;
    const std::string name = dir.file("big.xyz");
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += std::to_string(i) + ".5 2.25 -3\n";
    writeFile(name, text);

    tio::FileIOInfo info;
    info.fileName = name;
    info.type = tio::kReadXyz;
    info.progress = 0;
    std::vector<Vec3d> points;
    std::atomic<bool> started{false};
    std::thread worker([&] {
        started = true;
        tio::readFileJob(&info, &points);
    });
    while (!started.load())
        std::this_thread::yield();
    std::vector<int> seen;
    int last = -1;
    while (last < 100) {
        const int now = info.progress.load();
        if (now != last) seen.push_back(now);
        last = now;
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_FALSE(info.error);
    EXPECT_EQ(points.size(), 200000u);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_LE(seen[i - 1], seen[i]);
}

TEST(FileJobs, WriteEntriesTakeColoursAndColouredPoints) {
    io_test::TempDir dir;
    const std::string name = dir.file("out.xyzc");
    const std::vector<Vec3d> points = {Vec3d(1, 2, 3)};
    const std::vector<Color> colors = {Color(4, 5, 6)};
    tio::FileIOInfo info;
    info.fileName = name;
    info.type = tio::kWriteXyzc;
    tio::writeFileJob(&info, &points, &colors);
    EXPECT_EQ(errorText(info), "");
    EXPECT_EQ(io_test::readFile(name), "1.000000\t2.000000\t3.000000\t4\t5\t6\n");
    std::vector<GLPoint> back;
    EXPECT_EQ(io_test::readJob(name, tio::kReadXyzc, back), "");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], GLPoint(1, 2, 3, 4, 5, 6));
}
