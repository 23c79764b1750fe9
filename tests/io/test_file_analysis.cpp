// File analysis and the line reader: counts, the first-line check, the newline
// counter against a plain loop, and progress steps.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "io/FileAnalysis.h"
#include "io/LineReader.h"
#include "tests/io/IoTestSupport.h"

using tessaro::io::analyzeFile;
using tessaro::io::countNewlines;
using tessaro::io::FileAnalysis;

TEST(FileAnalysis, CountsSizeLinesAndFirstLineColumns) {
    io_test::TempDir dir;
    const std::string name = dir.file("a.xyz");
    io_test::writeFile(name, "1 2\t3  4\n5 6 7\n8 9 10\n");
    FileAnalysis a;
    ASSERT_TRUE(analyzeFile(name, a));
    EXPECT_EQ(a.size, 22u);
    EXPECT_EQ(a.lines, 3u);
    EXPECT_EQ(a.columns, 4);
}

TEST(FileAnalysis, SemicolonsDoNotSeparateColumns) {
    io_test::TempDir dir;
    const std::string name = dir.file("a.xyz");
    io_test::writeFile(name, "1;2;3\n");
    FileAnalysis a;
    ASSERT_TRUE(analyzeFile(name, a));
    EXPECT_EQ(a.columns, 1);
}

TEST(FileAnalysis, LastLineWithoutNewlineIsCounted) {
    io_test::TempDir dir;
    const std::string name = dir.file("a.xyz");
    io_test::writeFile(name, "1 2 3\n4 5 6");
    FileAnalysis a;
    ASSERT_TRUE(analyzeFile(name, a));
    EXPECT_EQ(a.lines, 2u);
    io_test::writeFile(name, "1 2 3");
    ASSERT_TRUE(analyzeFile(name, a));
    EXPECT_EQ(a.lines, 1u);
    EXPECT_EQ(a.columns, 3);
}

TEST(FileAnalysis, EmptyFileHasNoLines) {
    io_test::TempDir dir;
    const std::string name = dir.file("a.xyz");
    io_test::writeFile(name, "");
    FileAnalysis a;
    a.lines = 7;
    ASSERT_TRUE(analyzeFile(name, a));
    EXPECT_EQ(a.size, 0u);
    EXPECT_EQ(a.lines, 0u);
    EXPECT_EQ(a.columns, 0);
}

TEST(FileAnalysis, MissingFileFails) {
    io_test::TempDir dir;
    FileAnalysis a;
    EXPECT_FALSE(analyzeFile(dir.file("none.xyz"), a));
}

TEST(FileAnalysis, FirstLineMustEndWithinTheFirst256Bytes) {
    io_test::TempDir dir;
    const std::string name = dir.file("a.xyz");
    FileAnalysis a;
    // 255 characters and the newline at byte 255: accepted.
    io_test::writeFile(name, std::string(254, '1') + " \n1 2 3\n");
    EXPECT_TRUE(analyzeFile(name, a));
    // 256 characters: the newline is at byte 256, outside the first 256 bytes.
    io_test::writeFile(name, std::string(256, '1') + "\n1 2 3\n");
    EXPECT_FALSE(analyzeFile(name, a));
    // A file of one line without newline is fine while short...
    io_test::writeFile(name, std::string(255, '2'));
    EXPECT_TRUE(analyzeFile(name, a));
    EXPECT_EQ(a.lines, 1u);
    // ...and fails from 256 characters on.
    io_test::writeFile(name, std::string(256, '2'));
    EXPECT_FALSE(analyzeFile(name, a));
    // Later lines may be as long as they like.
    io_test::writeFile(name, "1 2 3\n" + std::string(100000, '4') + "\n");
    EXPECT_TRUE(analyzeFile(name, a));
    EXPECT_EQ(a.lines, 2u);
}

TEST(FileAnalysis, NewlineCounterMatchesAPlainLoop) {
    std::mt19937_64 rng(11);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> sparse(0, 40);
    std::vector<char> data(5000);
    for (int trial = 0; trial < 200; ++trial) {
        const bool dense = trial % 2 == 0;
        for (char& c : data) {
            c = dense ? static_cast<char>(byte(rng) % 3 == 0 ? '\n' : byte(rng))
                      : static_cast<char>(sparse(rng) == 0 ? '\n' : 'a' + sparse(rng));
        }
        const std::size_t offset = static_cast<std::size_t>(trial % 9);
        const std::size_t length = data.size() - offset - static_cast<std::size_t>(trial % 13);
        std::size_t expected = 0;
        for (std::size_t i = 0; i < length; ++i)
            expected += data[offset + i] == '\n';
        ASSERT_EQ(countNewlines(data.data() + offset, length), expected) << trial;
    }
    // All newlines, more than 255 words in a row.
    std::vector<char> all(8 * 1000 + 5, '\n');
    EXPECT_EQ(countNewlines(all.data(), all.size()), all.size());
    EXPECT_EQ(countNewlines(all.data(), 0), 0u);
    // Bytes next to '\n' must not count: 0x0b, 0x8a, 0x09.
    const char near[] = "\x0b\x8a\x09\x0a\x0b\x8a\x09\x0a\x0b";
    EXPECT_EQ(countNewlines(near, sizeof near - 1), 2u);
}

TEST(FileAnalysis, ProgressTakesAtMostFiftySteps) {
    io_test::TempDir dir;
    const std::string name = dir.file("a.xyz");
    // 101 blocks: a rounding that takes one step per block would give 101 steps.
    std::string text;
    while (text.size() < 101 * tessaro::io::kAnalysisBlockSize - 10)
        text += "1.0 2.0 3.0\n";
    io_test::writeFile(name, text);
    FileAnalysis a;
    std::atomic<int> progress{0};
    ASSERT_TRUE(analyzeFile(name, a, &progress));
    EXPECT_GE(progress.load(), 30);
    EXPECT_LE(progress.load(), 50);
    EXPECT_EQ(a.lines, text.size() / 12);
}

TEST(LineReader, HandsOutEveryLineWhateverItsLength) {
    io_test::TempDir dir;
    const std::string name = dir.file("lines.txt");
    std::vector<std::string> lines = {"", "a", std::string(5000, 'b'), "", "c\r", "dd"};
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size()) text += '\n';  // the last line has no newline
    }
    io_test::writeFile(name, text);
    for (std::size_t blockSize : {1u, 2u, 3u, 7u, 64u, 4096u, 1u << 20}) {
        std::FILE* f = std::fopen(name.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        tessaro::io::LineReader reader(f, blockSize);
        std::vector<std::string> got;
        const char* b;
        const char* e;
        while (reader.next(b, e))
            got.emplace_back(b, e);
        EXPECT_FALSE(reader.failed());
        std::fclose(f);
        EXPECT_EQ(got, lines) << blockSize;
    }
}

TEST(LineReader, CutsLinesBeyondTheLimitAndNeverGrows) {
    io_test::TempDir dir;
    const std::string name = dir.file("lines.txt");
    const std::vector<std::string> lines = {
        "", "abc", "abcd", std::string(5000, 'b') + "x", "", "1 2 3", "tail without newline"};
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size()) text += '\n';
    }
    io_test::writeFile(name, text);
    for (std::size_t maxLine : {1u, 3u, 4u, 100u}) {
        std::vector<std::string> expected;
        for (const std::string& line : lines)
            expected.push_back(line.substr(0, maxLine));
        for (std::size_t blockSize : {1u, 2u, 7u, 64u, 4096u}) {
            std::FILE* f = std::fopen(name.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            tessaro::io::LineReader reader(f, blockSize, maxLine);
            std::vector<std::string> got;
            const char* b;
            const char* e;
            while (reader.next(b, e))
                got.emplace_back(b, e);
            EXPECT_FALSE(reader.failed());
            std::fclose(f);
            EXPECT_EQ(got, expected) << "limit " << maxLine << ", block " << blockSize;
        }
    }
}
