// Faults of the machine tried on the real tessaro-cli: a full disk (a file size limit),
// a read-only folder, names that are folders, FIFOs or devices (also behind links), an
// endless device as input, a file that grows while it is read, writers killed at any
// moment and two writers of one target. The tool must end with a message and exit code
// 1, never block, never replace what is not a regular file, and leave every target as
// either the old file or the complete new one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CliTestSupport.h"
#include "io/OutputFile.h"

namespace {

namespace fs = std::filesystem;
using cli_test::Outcome;
using cli_test::Process;
using cli_test::readFile;
using cli_test::Scratch;
using Clock = std::chrono::steady_clock;

constexpr auto kNoBlockingLimit = std::chrono::seconds(20);

// Runs tessaro-cli to its end, but kills it when it takes longer than `limit` (a blocked
// or endless read); `timedOut` tells.
struct BoundedRun {
    Outcome outcome;
    bool timedOut = false;
};

BoundedRun runBounded(const std::vector<std::string>& args,
                      std::chrono::seconds limit = kNoBlockingLimit) {
    Scratch io("faultout");
    Process p(args, io.file("stdout"), io.file("stderr"));
    const auto end = Clock::now() + limit;
    BoundedRun run;
    while (p.running() && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (p.running()) {
        run.timedOut = true;
        ::kill(p.pid(), SIGKILL);
    }
    run.outcome = p.wait();
    return run;
}

// "x y z" lines of small integers: quick to write, five million of them in a few
// seconds.
std::string pointLines(std::size_t count, std::size_t first = 0) {
    std::string text;
    text.reserve(count * 16);
    for (std::size_t i = first; i < first + count; ++i) {
        text += std::to_string(i % 1000);
        text += ' ';
        text += std::to_string((i / 1000) % 1000);
        text += ' ';
        text += std::to_string(i / 1000000);
        text += '\n';
    }
    return text;
}

void writeText(const std::string& fileName, const std::string& text) {
    std::ofstream(fileName, std::ios::binary) << text;
}

// FNV-1a over the whole file: tells the old file, the complete new one and anything else
// apart.
std::uint64_t checksum(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t hash = 1469598103934665603ull;
    while (in) {
        block.assign(block.size(), 0);
        in.read(reinterpret_cast<char*>(block.data()),
                static_cast<std::streamsize>(block.size() * sizeof(std::uint64_t)));
        const std::size_t words = (static_cast<std::size_t>(in.gcount()) + 7) / 8;
        for (std::size_t i = 0; i < words; ++i) {
            hash ^= block[i];
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

// The temporary files of writes in a folder.
std::vector<std::string> temporaryFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (tessaro::io::isTemporaryFileName(entry.path().string())) {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

std::string folderOf(const Scratch& dir) {
    return fs::path(dir.file("x")).parent_path().string();
}

// While alive, the process and the tools it starts may write files of at most `bytes`
// bytes: a write beyond fails with EFBIG, as on a full disk, when SIGXFSZ is ignored;
// with its default action the signal would end the writer (the tool ignores it itself).
class FileSizeLimit {
  public:
    FileSizeLimit(rlim_t bytes, sighandler_t onExcess) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = ::signal(SIGXFSZ, onExcess);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previous_);
    }
    bool ok() const { return ok_; }

  private:
    rlimit saved_{};
    sighandler_t previous_ = SIG_DFL;
    bool ok_ = false;
};

TEST(Faults, FullDiskFailsWithAMessageAndKeepsTheOldTarget) {
    Scratch dir("faults");
    writeText(dir.file("in.xyz"), pointLines(200000));  // about 5.4 MB as output
    writeText(dir.file("in.stl"), std::string(80, ' ') + std::string("\x40\x0d\x03\x00", 4) +
                                      std::string(200000 * 50, '\0'));  // 200000 triangles
    const std::string old = "the previous target\n";
    struct Case {
        const char* input;
        const char* target;
        sighandler_t onExcess;
    };
    for (const Case& c : {Case{"in.xyz", "out.xyz", SIG_IGN}, Case{"in.xyz", "out.xyzc", SIG_IGN},
                          Case{"in.stl", "out.stl", SIG_IGN}, Case{"in.xyz", "out.xyz", SIG_DFL}}) {
        const std::string what = std::string(c.target) + (c.onExcess == SIG_IGN ? "" : " (signal)");
        writeText(dir.file(c.target), old);
        Scratch io("faultout");
        std::unique_ptr<Process> p;
        {
            FileSizeLimit limit(1 << 20, c.onExcess);
            ASSERT_TRUE(limit.ok());
            p = std::make_unique<Process>(
                std::vector<std::string>{"convert", dir.file(c.input), dir.file(c.target)},
                io.file("stdout"), io.file("stderr"));
        }
        const Outcome o = p->wait();
        EXPECT_EQ(o.exitCode, 1) << what << ": signal " << o.signal;
        const std::string expected = std::string(c.target) == "out.xyzc"
                                         ? "cannot open file for write operation!\n"
                                         : "ALG3D::can not write destination file.\n";
        EXPECT_EQ(o.err, "tessaro-cli: " + dir.file(c.target) + ": " + expected) << what;
        EXPECT_EQ(readFile(dir.file(c.target)), old) << what;
        EXPECT_TRUE(temporaryFiles(folderOf(dir)).empty()) << what;
    }
}

TEST(Faults, ReadOnlyFolderFailsWithAMessage) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    Scratch dir("faults");
    writeText(dir.file("in.xyz"), pointLines(100));
    fs::create_directory(dir.file("locked"));
    writeText(dir.file("locked/out.xyz"), "old\n");
    fs::permissions(dir.file("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    const BoundedRun r = runBounded({"convert", dir.file("in.xyz"), dir.file("locked/out.xyz")});
    fs::permissions(dir.file("locked"), fs::perms::owner_all);
    EXPECT_EQ(r.outcome.exitCode, 1);
    EXPECT_EQ(r.outcome.err, "tessaro-cli: " + dir.file("locked/out.xyz") +
                                 ": ALG3D::can not write destination file.\n");
    EXPECT_EQ(readFile(dir.file("locked/out.xyz")), "old\n");
}

// A device node to try as a target: made in the scratch folder as superuser (the null
// device's numbers), else a link to /dev/null (whose folder an ordinary user cannot
// write, so even a faulty tool could not replace it).
std::string deviceNode(const Scratch& dir) {
    const std::string name = dir.file("device.xyz");
    if (::geteuid() == 0) {
        if (::mknod(name.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) return "";
    } else {
        fs::create_symlink("/dev/null", name);
    }
    return name;
}

// Names that are not regular files, as input or as target, directly or through a link:
// refused at once with the name in the message, the node left as it was and no file
// created beside it. A link to a regular file is followed.
TEST(Faults, NamesThatAreNotRegularFilesAreRefusedAtOnce) {
    Scratch dir("faults");
    writeText(dir.file("in.xyz"), pointLines(50));
    ASSERT_EQ(::mkfifo(dir.file("pipe.xyz").c_str(), 0600), 0);
    fs::create_symlink(dir.file("pipe.xyz"), dir.file("link-to-pipe.xyz"));
    const std::string device = deviceNode(dir);
    ASSERT_FALSE(device.empty());
    fs::create_symlink(device, dir.file("link-to-device.xyz"));
    fs::create_symlink("/dev/zero", dir.file("zero.xyz"));
    fs::create_directory(dir.file("folder.xyz"));
    fs::create_symlink(dir.file("folder.xyz"), dir.file("link-to-folder.xyz"));
    const std::string notRegular = "Not a regular file: ";

    struct Case {
        std::vector<std::string> args;
        std::string named;  // the name the message is about
    };
    std::vector<Case> cases;
    for (const char* name : {"pipe.xyz", "link-to-pipe.xyz", "device.xyz", "link-to-device.xyz",
                             "folder.xyz", "link-to-folder.xyz"}) {
        cases.push_back({{"convert", dir.file("in.xyz"), dir.file(name)}, dir.file(name)});
        cases.push_back({{"info", dir.file(name)}, dir.file(name)});
    }
    cases.push_back({{"info", "/dev/zero"}, "/dev/zero"});
    cases.push_back({{"info", dir.file("zero.xyz")}, dir.file("zero.xyz")});
    cases.push_back({{"convert", dir.file("zero.xyz"), dir.file("out.xyz")}, dir.file("zero.xyz")});
    cases.push_back({{"convert", dir.file("pipe.xyz"), dir.file("out.xyz")}, dir.file("pipe.xyz")});

    for (const Case& c : cases) {
        const auto start = Clock::now();
        const BoundedRun r = runBounded(c.args);
        const std::string what = c.args[0] + " " + c.args.back();
        ASSERT_FALSE(r.timedOut) << what << " blocked";
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << what;
        EXPECT_EQ(r.outcome.exitCode, 1) << what;
        EXPECT_EQ(r.outcome.err, "tessaro-cli: " + c.named + ": " + notRegular + c.named + "\n")
            << what;
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe.xyz")));
    EXPECT_TRUE(fs::is_character_file(device));
    EXPECT_TRUE(fs::is_directory(dir.file("folder.xyz")));
    EXPECT_TRUE(fs::is_empty(dir.file("folder.xyz")));
    EXPECT_FALSE(fs::exists(dir.file("out.xyz")));
    EXPECT_TRUE(temporaryFiles(folderOf(dir)).empty());
    EXPECT_TRUE(temporaryFiles(dir.file("folder.xyz")).empty());
    EXPECT_TRUE(temporaryFiles("/dev").empty());
    EXPECT_EQ(dir.entryCount(), 8u);

    // A link to a regular file: the file gets the data, the link stays.
    writeText(dir.file("real.xyz"), "old\n");
    fs::create_symlink(dir.file("real.xyz"), dir.file("link-to-real.xyz"));
    const BoundedRun r = runBounded({"convert", dir.file("in.xyz"), dir.file("link-to-real.xyz")});
    EXPECT_EQ(r.outcome.exitCode, 0) << r.outcome.err;
    EXPECT_TRUE(fs::is_symlink(dir.file("link-to-real.xyz")));
    EXPECT_EQ(cli_test::readPoints(dir.file("real.xyz")).size(), 50u);
}

TEST(Faults, MissingFolderFailsWithAMessage) {
    Scratch dir("faults");
    writeText(dir.file("in.xyz"), pointLines(10));
    const std::string target = dir.file("no/such/folder/out.xyz");
    const BoundedRun r = runBounded({"convert", dir.file("in.xyz"), target});
    EXPECT_EQ(r.outcome.exitCode, 1);
    EXPECT_EQ(r.outcome.err,
              "tessaro-cli: " + target + ": ALG3D::can not write destination file.\n");
    EXPECT_FALSE(fs::exists(dir.file("no")));
}

// A file that grows while it is read: the tool reads what was there when it looked, or
// some of what came after, in whole lines, and ends normally.
TEST(Faults, InputThatGrowsWhileItIsReadIsReadInWholeLines) {
    Scratch dir("faults");
    const std::size_t initial = 1500000;
    writeText(dir.file("growing.xyz"), pointLines(initial));
    Scratch io("faultout");
    Process p({"info", "--json", dir.file("growing.xyz")}, io.file("stdout"), io.file("stderr"));
    // Lines are appended in pieces that end in the middle of a line, so that the reader
    // also meets a line that is not finished yet.
    std::size_t appended = 0;
    const int fd = ::open(dir.file("growing.xyz").c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    const std::string more = pointLines(1000, initial);
    const std::size_t half = more.size() / 2 + 3;
    const auto end = Clock::now() + kNoBlockingLimit;
    while (p.running() && Clock::now() < end) {
        ASSERT_EQ(::write(fd, more.data(), half), static_cast<ssize_t>(half));
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        ASSERT_EQ(::write(fd, more.data() + half, more.size() - half),
                  static_cast<ssize_t>(more.size() - half));
        appended += 1000;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    ::close(fd);
    const Outcome o = p.wait();
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const nlohmann::json j = nlohmann::json::parse(o.out);
    const std::size_t points = j[0]["points"].get<std::size_t>();
    EXPECT_GE(points, initial);
    EXPECT_LE(points, initial + appended);
    EXPECT_GT(appended, 0u);
}

// Five million points converted, the writer killed with SIGKILL at ten moments spread
// over a full run: the target is always the old file or the complete new one, and what
// a killed writer left is removed by the next write to that target.
TEST(Faults, KilledConvertLeavesTheOldOrTheCompleteNewTarget) {
    Scratch dir("faults");
    const std::size_t count = 5000000;
    writeText(dir.file("in.xyz"), pointLines(count));
    const std::string old = pointLines(1000, 77);

    const auto t0 = Clock::now();
    BoundedRun ref = runBounded({"convert", dir.file("in.xyz"), dir.file("reference.xyz")},
                                std::chrono::seconds(120));
    const auto full = Clock::now() - t0;
    ASSERT_EQ(ref.outcome.exitCode, 0) << ref.outcome.err;
    const std::uint64_t newSum = checksum(dir.file("reference.xyz"));
    const std::uintmax_t newSize = fs::file_size(dir.file("reference.xyz"));
    fs::remove(dir.file("reference.xyz"));
    writeText(dir.file("old.xyz"), old);
    const std::uint64_t oldSum = checksum(dir.file("old.xyz"));

    const std::string target = dir.file("target.xyz");
    int sawOld = 0, sawNew = 0, leftTemporary = 0, finished = 0;
    std::set<long> killed;
    for (int k = 0; k < 10; ++k) {
        fs::copy_file(dir.file("old.xyz"), target, fs::copy_options::overwrite_existing);
        Scratch io("faultout");
        Process p({"convert", dir.file("in.xyz"), target}, io.file("stdout"), io.file("stderr"));
        const long pid = static_cast<long>(p.pid());
        // The last moment lies just before the end of a full run, in the commit.
        const auto moment = full * ((k + 0.5) / 10.0) * (k == 9 ? 1.04 : 1.0);
        std::this_thread::sleep_for(moment);
        ::kill(p.pid(), SIGKILL);
        const Outcome o = p.wait();
        finished += o.signal != SIGKILL;  // the run may end just before the last moment
        killed.insert(pid);
        const bool isOld = fs::file_size(target) == old.size() && checksum(target) == oldSum;
        const bool isNew = fs::file_size(target) == newSize && checksum(target) == newSum;
        EXPECT_TRUE(isOld || isNew)
            << "kill " << k << " after "
            << std::chrono::duration_cast<std::chrono::milliseconds>(moment).count() << " ms";
        sawOld += isOld;
        sawNew += isNew;
        // A killed writer's file names it (and stays until the next write that gets as far
        // as opening its output).
        for (const std::string& name : temporaryFiles(folderOf(dir))) {
            const long owner = tessaro::io::temporaryFileOwner(name);
            EXPECT_EQ(killed.count(owner), 1u) << name;
            leftTemporary += owner == pid;
        }
    }
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(leftTemporary, 0);  // some kills came while the data were written

    // The next write to the target (a small one) removes what the killed writers left.
    writeText(dir.file("small.xyz"), pointLines(10));
    const BoundedRun last = runBounded({"convert", dir.file("small.xyz"), target});
    ASSERT_EQ(last.outcome.exitCode, 0) << last.outcome.err;
    EXPECT_EQ(cli_test::readPoints(target).size(), 10u);
    EXPECT_TRUE(temporaryFiles(folderOf(dir)).empty());
    std::cout << "full run " << std::chrono::duration_cast<std::chrono::milliseconds>(full).count()
              << " ms; after the kills: old " << sawOld << ", new " << sawNew << " (" << finished
              << " ran to the end), temporary file left " << leftTemporary << "\n";
}

// Two processes replacing one target at the same moment: it ends as one of the two
// complete files, and neither leaves a file behind.
TEST(Faults, TwoWritersOfOneTargetEndWithOneCompleteFile) {
    Scratch dir("faults");
    writeText(dir.file("a.xyz"), pointLines(300000));
    writeText(dir.file("b.xyz"), pointLines(300000, 5000000));
    ASSERT_EQ(runBounded({"convert", dir.file("a.xyz"), dir.file("ref-a.xyz")}).outcome.exitCode,
              0);
    ASSERT_EQ(runBounded({"convert", dir.file("b.xyz"), dir.file("ref-b.xyz")}).outcome.exitCode,
              0);
    const std::uint64_t sumA = checksum(dir.file("ref-a.xyz"));
    const std::uint64_t sumB = checksum(dir.file("ref-b.xyz"));
    ASSERT_NE(sumA, sumB);
    const std::string target = dir.file("target.xyz");
    std::set<std::uint64_t> seen;
    for (int round = 0; round < 3; ++round) {
        Scratch io("faultout");
        Process a({"convert", dir.file("a.xyz"), target}, io.file("a.out"), io.file("a.err"));
        Process b({"convert", dir.file("b.xyz"), target}, io.file("b.out"), io.file("b.err"));
        const Outcome oa = a.wait();
        const Outcome ob = b.wait();
        EXPECT_EQ(oa.exitCode, 0) << oa.err;
        EXPECT_EQ(ob.exitCode, 0) << ob.err;
        const std::uint64_t sum = checksum(target);
        EXPECT_TRUE(sum == sumA || sum == sumB) << "round " << round;
        seen.insert(sum);
        EXPECT_TRUE(temporaryFiles(folderOf(dir)).empty()) << "round " << round;
    }
}

}  // namespace
