// Scan data files: the IFF-85 chunk reader, Cscandata_io::read_bin in both encodings,
// the point loader, and corrupt input (truncation, random bytes, huge counts).
// Every file is built here, byte by byte, into a private temporary directory.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/Cscandata_io.h"
#include "io/IffReader.h"
#include "io/ScanDataLoader.h"

namespace {

namespace fs = std::filesystem;
using alg3D::Vec3d;
using tessaro::io::Cscandata_io;
using tessaro::io::IffReader;
using tessaro::io::kDataFormatError;
using tessaro::io::kIffIdTable;
using tessaro::io::kOldFormatError;
using tessaro::io::loadScanDataPoints;
using tessaro::io::makeIffId;
using tessaro::io::ScanDataPtr;
namespace iff_errors = tessaro::io::iff_errors;

// ---------------------------------------------------------------------------------
// Writer helper: little-endian fields by default, IFF chunks with big-endian headers
// and pad bytes, and a list of every count field written (for the corrupt-count tests).

struct CountField {
    std::size_t pos;
    bool bigEndian;
};

class Bytes {
  public:
    std::vector<unsigned char> data;
    std::vector<CountField> counts;

    std::size_t size() const { return data.size(); }

    void u8(unsigned v) { data.push_back(static_cast<unsigned char>(v)); }
    void uint(std::uint64_t v, int bytes, bool bigEndian = false) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
            u8(static_cast<unsigned>((v >> shift) & 0xFFu));
        }
    }
    void u16(unsigned v) { uint(v, 2); }
    void u32(std::uint32_t v, bool bigEndian = false) { uint(v, 4, bigEndian); }
    void u64(std::uint64_t v) { uint(v, 8); }
    void f64(double d, bool bigEndian = false) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof(bits));
        uint(bits, 8, bigEndian);
    }
    void raw(const std::string& s) { data.insert(data.end(), s.begin(), s.end()); }
    void cstr(const std::string& s) {
        raw(s);
        u8(0);
    }
    void sized(const std::string& s) {
        count(static_cast<std::uint32_t>(s.size()));
        raw(s);
    }
    void count(std::uint32_t v, bool bigEndian = false) {
        counts.push_back({size(), bigEndian});
        u32(v, bigEndian);
    }

    // Chunk header with a length to be patched by endChunk.
    std::size_t beginChunk(const std::string& id) {
        raw(id);
        const std::size_t lengthPos = size();
        u32(0, true);
        return lengthPos;
    }
    std::size_t beginGroup(const std::string& id, const std::string& type) {
        const std::size_t lengthPos = beginChunk(id);
        raw(type);
        return lengthPos;
    }
    void endChunk(std::size_t lengthPos) {
        const auto length = static_cast<std::uint32_t>(size() - lengthPos - 4);
        patch32(lengthPos, length, true);
        if (length & 1u) u8(0);  // pad byte, not counted in the length
    }
    void chunk(const std::string& id, const std::vector<unsigned char>& payload) {
        const std::size_t p = beginChunk(id);
        data.insert(data.end(), payload.begin(), payload.end());
        endChunk(p);
    }

    void patch32(std::size_t pos, std::uint32_t v, bool bigEndian) {
        for (int i = 0; i < 4; ++i) {
            const int shift = 8 * (bigEndian ? 3 - i : i);
            data[pos + static_cast<std::size_t>(i)] =
                static_cast<unsigned char>((v >> shift) & 0xFFu);
        }
    }
};

// The points of list l, known values (not representable exactly in float).
Vec3d pointFor(int list, int i) {
    return Vec3d(list * 100.0 + i + 0.1, -0.5 * i - 1e-7, 1e-3 * i + list + 1.0 / 3.0);
}

std::vector<Vec3d> expectedPoints(const std::vector<int>& listSizes) {
    std::vector<Vec3d> pts;
    for (std::size_t l = 0; l < listSizes.size(); ++l) {
        for (int i = 0; i < listSizes[l]; ++i)
            pts.push_back(pointFor(static_cast<int>(l), i));
    }
    return pts;
}

void writePointLists(Bytes& b, const std::vector<int>& listSizes) {
    b.count(static_cast<std::uint32_t>(listSizes.size()));
    for (std::size_t l = 0; l < listSizes.size(); ++l) {
        b.count(static_cast<std::uint32_t>(listSizes[l]));
        for (int i = 0; i < listSizes[l]; ++i) {
            const Vec3d p = pointFor(static_cast<int>(l), i);
            b.f64(p.x);
            b.f64(p.y);
            b.f64(p.z);
        }
    }
}

// Content of the SCDI / SCDO chunks and what the reader must make of it.
const std::vector<std::string> kInfoStrings = {"Messung 17", "", "odd"};
constexpr std::int32_t kScanValue32 = -7;
constexpr std::int64_t kScanValue64 = 0x123456789ALL;
const std::vector<double> kListA = {0.5, -1.25, 1e300};
const std::vector<double> kListB = {3e10};

void writeScdiPayload(Bytes& b, unsigned version) {
    b.raw("xxxx");
    b.u8(version);
    b.u32(static_cast<std::uint32_t>(kScanValue32));
    b.count(static_cast<std::uint32_t>(kInfoStrings.size()));
    for (const auto& s : kInfoStrings)
        b.cstr(s);
    if (version >= 3) b.u64(static_cast<std::uint64_t>(kScanValue64));
}

void writeScdoPayload(Bytes& b, unsigned flag) {
    const bool swapped = flag == 1;
    b.u8(flag);
    b.count(2);  // scanners
    // Scanner 1: two sensors, the first with one sample.
    b.cstr("Scanner A");
    b.u16(0xBEEF);
    b.count(2);
    b.u16(1);
    b.u16(2);
    b.count(1);
    for (int i = 0; i < 6; ++i)
        b.f64(1.5 * i - 2.0);
    b.u32(7);
    b.u32(8);
    b.u32(0xFFFFFFF0u);
    b.count(static_cast<std::uint32_t>(kListA.size()), swapped);
    for (double v : kListA)
        b.f64(v, swapped);
    b.count(static_cast<std::uint32_t>(kListB.size()), swapped);
    for (double v : kListB)
        b.f64(v, swapped);
    b.u16(3);
    b.u16(4);
    b.count(0);
    // Scanner 2: no sensors, empty name.
    b.cstr("");
    b.u16(5);
    b.count(0);
}

struct IffScanOptions {
    unsigned version = 2;
    unsigned flag = 0;
    std::vector<int> listSizes = {3, 5};
    bool withScdi = true;
    bool withScdo = true;
    bool withScdp = true;
    bool withScns = true;
    std::string name = "scan";  // "scan" + NUL: odd payload, one pad byte
};

Bytes makeIffScan(const IffScanOptions& o = IffScanOptions()) {
    Bytes b;
    const std::size_t form = b.beginGroup("FORM", "SCN ");
    if (o.withScdi) {
        const std::size_t c = b.beginChunk("SCDI");
        writeScdiPayload(b, o.version);
        b.endChunk(c);
    }
    b.chunk("SCDQ", {1, 2, 3});  // known but not read; odd length
    if (o.withScdo) {
        const std::size_t c = b.beginChunk("SCDO");
        writeScdoPayload(b, o.flag);
        b.endChunk(c);
    }
    if (o.withScdp) {
        const std::size_t c = b.beginChunk("SCDP");
        b.raw("pppp");
        writePointLists(b, o.listSizes);
        b.endChunk(c);
    }
    if (o.withScns) {
        const std::size_t c = b.beginChunk("SCNS");
        b.cstr(o.name);
        b.endChunk(c);
    }
    b.endChunk(form);
    return b;
}

struct ScnbinOptions {
    unsigned version = 2;
    std::string signature = "SCNBIN";
    std::uint32_t mark = 0x10203040u;
    std::vector<int> listSizes = {3, 5};
};

Bytes makeScnbin(const ScnbinOptions& o = ScnbinOptions()) {
    Bytes b;
    b.raw(o.signature);
    b.u8(o.version);
    b.u32(o.mark);
    b.u32(static_cast<std::uint32_t>(kScanValue32));
    // 2. info strings
    b.count(static_cast<std::uint32_t>(kInfoStrings.size()));
    for (const auto& s : kInfoStrings)
        b.sized(s);
    // 3. named entries
    b.count(2);
    b.sized("alpha");
    b.u16(1);
    b.u32(2);
    b.sized("");
    b.u16(3);
    b.u32(4);
    // 4. fixed records
    b.count(2);
    for (int r = 0; r < 2; ++r) {
        b.u16(1);
        b.u16(2);
        b.u32(3);
        b.u32(4);
        b.u16(5);
        b.u8(6);
        b.u8(7);
    }
    // 5. point lists
    writePointLists(b, o.listSizes);
    // 6. value lists
    b.count(2);
    b.count(1);
    b.f64(1.0);
    b.count(0);
    // 7. positions
    b.count(1);
    b.f64(1.0);
    b.f64(2.0);
    b.f64(3.0);
    return b;
}

// The texts the reader may fail with.
const std::set<std::string>& readerTexts() {
    static const std::set<std::string> texts = {
        iff_errors::kSyntax,       iff_errors::kLoad, iff_errors::kFormat, iff_errors::kOpen,
        iff_errors::kStreamHandle, kOldFormatError,   kDataFormatError};
    return texts;
}

// Outcome of one load: the error text (empty on success) and the points.
struct LoadResult {
    std::string error;
    std::vector<Vec3d> points;
    bool ok() const { return error.empty(); }
};

LoadResult load(const std::string& file) {
    LoadResult r;
    std::atomic<bool> abort{false};
    try {
        loadScanDataPoints(file, r.points, abort);
    } catch (const std::runtime_error& e) {
        r.error = e.what();
        if (r.error.empty()) r.error = "<empty runtime_error text>";
    } catch (const std::exception& e) {
        r.error = std::string("<not a reader error> ") + e.what();
    }
    return r;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "<no error>";
}

void expectSamePoints(const std::vector<Vec3d>& got, const std::vector<Vec3d>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        // The doubles travel bit for bit.
        EXPECT_EQ(got[i].x, want[i].x) << "point " << i;
        EXPECT_EQ(got[i].y, want[i].y) << "point " << i;
        EXPECT_EQ(got[i].z, want[i].z) << "point " << i;
    }
}

class ScanDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "scandata-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string write(const std::string& name, const std::vector<unsigned char>& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        EXPECT_TRUE(out.good()) << path;
        return path;
    }
    std::string write(const std::string& name, const Bytes& b) { return write(name, b.data); }

    // A load must end in a reader text or succeed; when `full` is given, with a
    // prefix of it.
    void expectSafe(const std::vector<unsigned char>& bytes, const std::vector<Vec3d>* full,
                    const std::string& what) {
        const LoadResult r = load(write("probe.scn", bytes));
        if (r.ok()) {
            if (!full) return;
            ASSERT_LE(r.points.size(), full->size()) << what;
            for (std::size_t i = 0; i < r.points.size(); ++i) {
                ASSERT_EQ(r.points[i].x, (*full)[i].x) << what;
            }
        } else {
            EXPECT_EQ(readerTexts().count(r.error), 1u) << what << ": " << r.error;
        }
    }

    fs::path dir_;
};

// ---------------------------------------------------------------------------------
// IFF chunk reader

TEST(IffReaderTable, IdentifiersInOrder) {
    const char* names[] = {"FORM", "LIST", "CAT ", "PROP", "    ", "SCN ",
                           "SCDI", "SCDO", "SCDP", "SCDQ", "SCNS"};
    ASSERT_EQ(kIffIdTable.size(), 11u);
    for (std::size_t i = 0; i < kIffIdTable.size(); ++i) {
        const char* n = names[i];
        EXPECT_EQ(kIffIdTable[i], makeIffId(n[0], n[1], n[2], n[3])) << n;
    }
    EXPECT_EQ(makeIffId('F', 'O', 'R', 'M'), 0x464F524Du);
    EXPECT_TRUE(tessaro::io::isIffGroupId(makeIffId('C', 'A', 'T', ' ')));
    EXPECT_TRUE(tessaro::io::isIffGroupId(makeIffId('P', 'R', 'O', 'P')));
    EXPECT_FALSE(tessaro::io::isIffGroupId(makeIffId('S', 'C', 'D', 'P')));
}

TEST_F(ScanDataTest, IffReaderWalksNestedGroupsAndPadBytes) {
    Bytes b;
    const std::size_t form = b.beginGroup("FORM", "TEST");
    b.chunk("AAAA", {'x', 'y', 'z'});  // odd: one pad byte follows
    const std::size_t list = b.beginGroup("LIST", "INNR");
    const std::size_t inner = b.beginGroup("FORM", "DEEP");
    b.chunk("BBBB", {'d', 'e', 'e', 'p', '!'});
    b.endChunk(inner);
    b.chunk("CCCC", {'c'});
    b.endChunk(list);
    b.chunk("BBBB", {'t', 'o', 'p'});
    b.endChunk(form);
    const std::string path = write("nested.iff", b);
    // Check that the pad byte really is in the file.
    ASSERT_EQ(b.data[12 + 8 + 3], 0u);

    IffReader iff;
    iff.open(path);
    const auto& root = iff.readRoot();
    EXPECT_EQ(root.id, makeIffId('F', 'O', 'R', 'M'));
    EXPECT_EQ(root.type, makeIffId('T', 'E', 'S', 'T'));
    EXPECT_EQ(root.dataEnd(), b.size());
    iff.enterGroup();
    EXPECT_EQ(iff.depth(), 1u);

    // The BBBB inside the nested groups is not a direct child.
    ASSERT_TRUE(iff.findChild(makeIffId('B', 'B', 'B', 'B')));
    ASSERT_EQ(iff.bytesLeft(), 3u);
    char top[3];
    iff.read(top, 3);
    EXPECT_EQ(std::string(top, 3), "top");
    EXPECT_EQ(iff.bytesLeft(), 0u);
    EXPECT_EQ(errorOf([&] { iff.read(top, 1); }), iff_errors::kLoad);

    ASSERT_TRUE(iff.findChild(makeIffId('A', 'A', 'A', 'A')));
    EXPECT_EQ(iff.current().length, 3u);
    EXPECT_FALSE(iff.findChild(makeIffId('C', 'C', 'C', 'C')));  // only inside LIST

    ASSERT_TRUE(iff.findChild(makeIffId('L', 'I', 'S', 'T')));
    EXPECT_EQ(iff.current().type, makeIffId('I', 'N', 'N', 'R'));
    iff.enterGroup();
    ASSERT_TRUE(iff.findChild(makeIffId('C', 'C', 'C', 'C')));
    char c = 0;
    iff.read(&c, 1);
    EXPECT_EQ(c, 'c');
    ASSERT_TRUE(iff.findChild(makeIffId('F', 'O', 'R', 'M')));
    iff.enterGroup();
    EXPECT_EQ(iff.depth(), 3u);
    ASSERT_TRUE(iff.findChild(makeIffId('B', 'B', 'B', 'B')));
    char deep[5];
    iff.read(deep, 5);
    EXPECT_EQ(std::string(deep, 5), "deep!");
    iff.leaveGroup();
    EXPECT_EQ(iff.current().type, makeIffId('D', 'E', 'E', 'P'));
    iff.leaveGroup();
    EXPECT_EQ(iff.depth(), 1u);
    EXPECT_EQ(iff.current().type, makeIffId('I', 'N', 'N', 'R'));
    // Back in the root: its children are found again.
    ASSERT_TRUE(iff.findChild(makeIffId('B', 'B', 'B', 'B')));
    iff.skip(2);
    iff.read(&c, 1);
    EXPECT_EQ(c, 'p');
    iff.leaveGroup();
    EXPECT_EQ(iff.depth(), 0u);
}

TEST_F(ScanDataTest, IffReaderErrors) {
    IffReader closed;
    EXPECT_EQ(errorOf([&] { closed.readRoot(); }), iff_errors::kStreamHandle);
    EXPECT_EQ(errorOf([&] { closed.findChild(0); }), iff_errors::kStreamHandle);
    EXPECT_EQ(errorOf([&] { closed.bytesLeft(); }), iff_errors::kStreamHandle);
    char c;
    EXPECT_EQ(errorOf([&] { closed.read(&c, 1); }), iff_errors::kStreamHandle);

    IffReader iff;
    EXPECT_EQ(errorOf([&] { iff.open((dir_ / "missing.iff").string()); }), iff_errors::kOpen);
    EXPECT_FALSE(iff.isOpen());

    // First chunk not a group.
    Bytes plain;
    plain.chunk("SCDI", {1, 2, 3, 4});
    iff.open(write("plain.iff", plain));
    EXPECT_EQ(errorOf([&] { iff.readRoot(); }), iff_errors::kFormat);
    EXPECT_EQ(errorOf([&] { iff.enterGroup(); }), iff_errors::kFormat);

    // Too short for any header.
    iff.open(write("short.iff", std::vector<unsigned char>{'F', 'O', 'R', 'M', 0, 0}));
    EXPECT_EQ(errorOf([&] { iff.readRoot(); }), iff_errors::kFormat);

    // A group too short for its type.
    iff.open(
        write("notype.iff", std::vector<unsigned char>{'F', 'O', 'R', 'M', 0, 0, 0, 2, 'S', 'C'}));
    EXPECT_EQ(errorOf([&] { iff.readRoot(); }), iff_errors::kSyntax);

    // Root longer than the file.
    Bytes longRoot;
    const std::size_t f = longRoot.beginGroup("FORM", "TEST");
    longRoot.chunk("AAAA", {1, 2});
    longRoot.endChunk(f);
    longRoot.patch32(4, 100, true);
    iff.open(write("longroot.iff", longRoot));
    EXPECT_EQ(errorOf([&] { iff.readRoot(); }), iff_errors::kSyntax);

    // Child past its parent, found while searching for a later one.
    Bytes child;
    const std::size_t g = child.beginGroup("FORM", "TEST");
    const std::size_t a = child.beginChunk("AAAA");
    child.u32(0);
    child.endChunk(a);
    child.endChunk(g);
    child.patch32(a, 6, true);  // 2 bytes past the group
    child.data.resize(child.size() + 8, 0);
    iff.open(write("child.iff", child));
    iff.readRoot();
    iff.enterGroup();
    EXPECT_EQ(errorOf([&] { iff.findChild(makeIffId('Z', 'Z', 'Z', 'Z')); }), iff_errors::kSyntax);

    // Trailing bytes in a group that cannot hold a header.
    Bytes trailing;
    const std::size_t t = trailing.beginGroup("FORM", "TEST");
    trailing.chunk("AAAA", {1, 2});
    trailing.raw("xyz");
    trailing.u8(0);
    trailing.endChunk(t);
    iff.open(write("trailing.iff", trailing));
    iff.readRoot();
    iff.enterGroup();
    EXPECT_TRUE(iff.findChild(makeIffId('A', 'A', 'A', 'A')));
    EXPECT_EQ(errorOf([&] { iff.findChild(makeIffId('Z', 'Z', 'Z', 'Z')); }), iff_errors::kSyntax);

    iff.close();
    EXPECT_EQ(errorOf([&] { iff.findChild(0); }), iff_errors::kStreamHandle);
}

// ---------------------------------------------------------------------------------
// Reading complete files

void expectScdoRecords(const tessaro::io::ScanData& scan) {
    ASSERT_EQ(scan.scanners.size(), 2u);
    const auto& s = scan.scanners[0];
    EXPECT_EQ(s.name, "Scanner A");
    EXPECT_EQ(s.value, 0xBEEF);
    ASSERT_EQ(s.sensors.size(), 2u);
    EXPECT_EQ(s.sensors[0].value1, 1);
    EXPECT_EQ(s.sensors[0].value2, 2);
    ASSERT_EQ(s.sensors[0].samples.size(), 1u);
    const auto& sample = s.sensors[0].samples[0];
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(sample.values[i], 1.5 * i - 2.0);
    EXPECT_EQ(sample.ints[0], 7u);
    EXPECT_EQ(sample.ints[1], 8u);
    EXPECT_EQ(sample.ints[2], 0xFFFFFFF0u);
    EXPECT_EQ(sample.listA, kListA);
    EXPECT_EQ(sample.listB, kListB);
    EXPECT_EQ(s.sensors[1].value1, 3);
    EXPECT_EQ(s.sensors[1].value2, 4);
    EXPECT_TRUE(s.sensors[1].samples.empty());
    EXPECT_EQ(scan.scanners[1].name, "");
    EXPECT_EQ(scan.scanners[1].value, 5);
    EXPECT_TRUE(scan.scanners[1].sensors.empty());
}

TEST_F(ScanDataTest, IffFileReadsEveryChunk) {
    const Bytes b = makeIffScan();
    const ScanDataPtr scan = Cscandata_io::read_bin(write("full.scn", b));
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan.use_count(), 1);
    EXPECT_EQ(scan->scanValue, kScanValue32);
    EXPECT_EQ(scan->infoStrings, kInfoStrings);
    expectScdoRecords(*scan);
    ASSERT_EQ(scan->pointLists.size(), 2u);
    expectSamePoints(scan->pointLists[0], expectedPoints({3}));
    EXPECT_EQ(scan->pointLists[1].size(), 5u);
    EXPECT_EQ(scan->name, "scan");
}

TEST_F(ScanDataTest, IffVersion3ReplacesScanValue) {
    IffScanOptions o;
    o.version = 3;
    const ScanDataPtr scan = Cscandata_io::read_bin(write("v3.scn", makeIffScan(o)));
    EXPECT_EQ(scan->scanValue, kScanValue64);
    EXPECT_EQ(scan->infoStrings, kInfoStrings);
    EXPECT_EQ(scan->name, "scan");
}

TEST_F(ScanDataTest, IffByteOrderFlagSwapsSampleLists) {
    IffScanOptions o;
    o.flag = 1;
    const Bytes b = makeIffScan(o);
    const ScanDataPtr scan = Cscandata_io::read_bin(write("swapped.scn", b));
    expectScdoRecords(*scan);
    // Everything else is read as before.
    EXPECT_EQ(scan->infoStrings, kInfoStrings);
    expectSamePoints(load(write("swapped2.scn", b)).points, expectedPoints({3, 5}));

    // The same big-endian bytes without the flag give other counts: here a format
    // error, as count A then reads as 3 << 24.
    Bytes noFlag = b;
    const auto it = std::search(noFlag.data.begin(), noFlag.data.end(), std::begin("SCDO"),
                                std::begin("SCDO") + 4);
    ASSERT_NE(it, noFlag.data.end());
    const std::size_t flagPos = static_cast<std::size_t>(it - noFlag.data.begin()) + 8;
    ASSERT_EQ(noFlag.data[flagPos], 1u);
    noFlag.data[flagPos] = 0;
    EXPECT_EQ(errorOf([&] { Cscandata_io::read_bin(write("noflag.scn", noFlag)); }),
              kDataFormatError);
}

TEST_F(ScanDataTest, TwoPointListsLoadInOrder) {
    std::vector<Vec3d> pts;
    std::atomic<bool> abort{false};
    pts.push_back(Vec3d(9, 9, 9));  // replaced, not appended to
    loadScanDataPoints(write("two.scn", makeIffScan()), pts, abort);
    ASSERT_EQ(pts.size(), 8u);
    expectSamePoints(pts, expectedPoints({3, 5}));
    EXPECT_EQ(pts[0].x, pointFor(0, 0).x);
    EXPECT_EQ(pts[3].x, pointFor(1, 0).x);
}

TEST_F(ScanDataTest, OddChunksArePadded) {
    // SCDQ (3 bytes) and SCNS ("scan" + NUL) are odd; the SCDI payload is odd too.
    const Bytes b = makeIffScan();
    const auto scdi =
        std::search(b.data.begin(), b.data.end(), std::begin("SCDI"), std::begin("SCDI") + 4);
    ASSERT_NE(scdi, b.data.end());
    const std::uint32_t scdiLength = (static_cast<std::uint32_t>(scdi[6]) << 8) | scdi[7];
    ASSERT_EQ(scdiLength % 2, 1u);
    // The pad byte follows the data and the next header starts after it.
    const std::size_t next = static_cast<std::size_t>(scdi - b.data.begin()) + 8 + scdiLength;
    EXPECT_EQ(b.data[next], 0u);
    EXPECT_EQ(std::string(b.data.begin() + next + 1, b.data.begin() + next + 5), "SCDQ");
    const ScanDataPtr scan = Cscandata_io::read_bin(write("odd.scn", b));
    EXPECT_EQ(scan->infoStrings, kInfoStrings);
    EXPECT_EQ(scan->scanners.size(), 2u);
    EXPECT_EQ(scan->pointLists.size(), 2u);
    EXPECT_EQ(scan->name, "scan");
    // An even name chunk last in the FORM needs no pad byte.
    IffScanOptions o;
    o.name = "named";
    const Bytes even = makeIffScan(o);
    EXPECT_EQ(even.data[even.size() - 1], 0u);
    EXPECT_EQ(even.data[even.size() - 2], 'd');
    EXPECT_EQ(Cscandata_io::read_bin(write("even.scn", even))->name, "named");
}

TEST_F(ScanDataTest, NestedGroupsInsideTheFormAreSkipped) {
    Bytes b;
    const std::size_t form = b.beginGroup("FORM", "SCN ");
    // A nested FORM of type SCN with its own SCDP inside a LIST: not a direct child.
    const std::size_t list = b.beginGroup("LIST", "SCN ");
    const std::size_t inner = b.beginGroup("FORM", "SCN ");
    const std::size_t fake = b.beginChunk("SCDP");
    b.raw("pppp");
    writePointLists(b, {1, 1, 1});
    b.endChunk(fake);
    b.endChunk(inner);
    b.endChunk(list);
    // Direct children in another order than they are looked up.
    const std::size_t scdp = b.beginChunk("SCDP");
    b.raw("pppp");
    writePointLists(b, {2, 4});
    b.endChunk(scdp);
    b.chunk("CAT ", {'N', 'O', 'N', 'E'});
    const std::size_t scdo = b.beginChunk("SCDO");
    writeScdoPayload(b, 0);
    b.endChunk(scdo);
    const std::size_t scdi = b.beginChunk("SCDI");
    writeScdiPayload(b, 2);
    b.endChunk(scdi);
    b.endChunk(form);
    const LoadResult r = load(write("nested.scn", b));
    ASSERT_TRUE(r.ok()) << r.error;
    expectSamePoints(r.points, expectedPoints({2, 4}));
}

TEST_F(ScanDataTest, MissingChunksEndReadingWithoutError) {
    // Only SCDI and SCDO: an empty cloud, the records read so far kept.
    IffScanOptions o;
    o.withScdp = false;
    o.withScns = false;
    const std::string path = write("nopoints.scn", makeIffScan(o));
    const LoadResult r = load(path);
    EXPECT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(r.points.empty());
    const ScanDataPtr scan = Cscandata_io::read_bin(path);
    EXPECT_EQ(scan->infoStrings, kInfoStrings);
    EXPECT_EQ(scan->scanners.size(), 2u);

    // Without SCNS the points are there, the name stays empty.
    o = IffScanOptions();
    o.withScns = false;
    const ScanDataPtr noName = Cscandata_io::read_bin(write("noname.scn", makeIffScan(o)));
    EXPECT_EQ(noName->pointLists.size(), 2u);
    EXPECT_EQ(noName->name, "");

    // Lookups stop at the first missing chunk: points after a missing SCDO are not read.
    o = IffScanOptions();
    o.withScdo = false;
    const ScanDataPtr noScdo = Cscandata_io::read_bin(write("noscdo.scn", makeIffScan(o)));
    EXPECT_EQ(noScdo->infoStrings, kInfoStrings);
    EXPECT_TRUE(noScdo->pointLists.empty());

    // An empty FORM.
    Bytes empty;
    empty.endChunk(empty.beginGroup("FORM", "SCN "));
    const LoadResult e = load(write("emptyform.scn", empty));
    EXPECT_TRUE(e.ok()) << e.error;
    EXPECT_TRUE(e.points.empty());
}

TEST_F(ScanDataTest, WrongRootIsAFormatError) {
    Bytes list;
    list.endChunk(list.beginGroup("LIST", "SCN "));
    EXPECT_EQ(load(write("list.scn", list)).error, kDataFormatError);

    Bytes otherType;
    otherType.endChunk(otherType.beginGroup("FORM", "ILBM"));
    EXPECT_EQ(load(write("ilbm.scn", otherType)).error, kDataFormatError);

    Bytes notGroup;
    notGroup.chunk("SCDP", {0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(load(write("scdp.scn", notGroup)).error, iff_errors::kFormat);

    EXPECT_EQ(load(write("text.scn", std::vector<unsigned char>{'1', ' ', '2', ' ', '3', '\n', '4',
                                                                ' ', '5', ' ', '6', '\n'}))
                  .error,
              iff_errors::kFormat);
}

TEST_F(ScanDataTest, ChunkPastItsFormIsASyntaxError) {
    Bytes b = makeIffScan();
    const auto scdp =
        std::search(b.data.begin(), b.data.end(), std::begin("SCDP"), std::begin("SCDP") + 4);
    ASSERT_NE(scdp, b.data.end());
    const std::size_t lengthPos = static_cast<std::size_t>(scdp - b.data.begin()) + 4;
    b.patch32(lengthPos, 100000, true);
    EXPECT_EQ(load(write("past.scn", b)).error, iff_errors::kSyntax);
    // Even with enough bytes after the FORM in the file.
    b.data.resize(b.size() + 200000, 0);
    EXPECT_EQ(load(write("past2.scn", b)).error, iff_errors::kSyntax);
}

TEST_F(ScanDataTest, PayloadErrors) {
    // A name without its terminator.
    Bytes b;
    const std::size_t form = b.beginGroup("FORM", "SCN ");
    const std::size_t scdi = b.beginChunk("SCDI");
    writeScdiPayload(b, 2);
    b.endChunk(scdi);
    const std::size_t scdo = b.beginChunk("SCDO");
    b.u8(0);
    b.count(0);
    b.endChunk(scdo);
    const std::size_t scdp = b.beginChunk("SCDP");
    b.raw("pppp");
    b.count(0);
    b.endChunk(scdp);
    b.chunk("SCNS", {'a', 'b'});
    b.endChunk(form);
    EXPECT_EQ(load(write("noterm.scn", b)).error, kDataFormatError);

    // An SCDP chunk one byte short of its last point.
    Bytes s;
    const std::size_t f2 = s.beginGroup("FORM", "SCN ");
    const std::size_t i2 = s.beginChunk("SCDI");
    writeScdiPayload(s, 2);
    s.endChunk(i2);
    const std::size_t o2 = s.beginChunk("SCDO");
    s.u8(0);
    s.count(0);
    s.endChunk(o2);
    const std::size_t p2 = s.beginChunk("SCDP");
    s.raw("pppp");
    writePointLists(s, {2});
    s.data.pop_back();
    s.endChunk(p2);
    s.endChunk(f2);
    EXPECT_EQ(load(write("short.scn", s)).error, kDataFormatError);
}

TEST_F(ScanDataTest, NonexistentFileCannotBeOpened) {
    const std::string path = (dir_ / "does-not-exist.scn").string();
    EXPECT_EQ(errorOf([&] { Cscandata_io::read_bin(path); }), iff_errors::kOpen);
    const LoadResult r = load(path);
    EXPECT_EQ(r.error, iff_errors::kOpen);
    EXPECT_EQ(r.error,
              "Datei konnte nicht ge\xC3\xB6"
              "ffnet werden.");
    EXPECT_TRUE(r.points.empty());
}

TEST_F(ScanDataTest, AbortedLoadReturnsWithoutError) {
    std::vector<Vec3d> pts;
    std::atomic<bool> abort{true};
    EXPECT_NO_THROW(loadScanDataPoints(write("abort.scn", makeIffScan()), pts, abort));
    EXPECT_TRUE(pts.empty());
    EXPECT_NO_THROW(loadScanDataPoints(write("abort2.scn", makeScnbin()), pts, abort));
    EXPECT_LE(pts.size(), 8u);
}

// ---------------------------------------------------------------------------------
// SCNBIN

TEST_F(ScanDataTest, ScnbinReadsPointsAndInfo) {
    for (unsigned version : {0u, 1u, 2u}) {
        ScnbinOptions o;
        o.version = version;
        const std::string path = write("bin.scn", makeScnbin(o));
        const ScanDataPtr scan = Cscandata_io::read_bin(path);
        EXPECT_EQ(scan.use_count(), 1);
        EXPECT_EQ(scan->scanValue, kScanValue32);
        EXPECT_EQ(scan->infoStrings, kInfoStrings);
        EXPECT_TRUE(scan->scanners.empty());
        const LoadResult r = load(path);
        ASSERT_TRUE(r.ok()) << r.error;
        expectSamePoints(r.points, expectedPoints({3, 5}));
    }
    ScnbinOptions none;
    none.listSizes = {};
    const LoadResult r = load(write("binempty.scn", makeScnbin(none)));
    EXPECT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(r.points.empty());
}

TEST_F(ScanDataTest, ScnbinUnknownHeadersAreOldFormat) {
    ScnbinOptions v3;
    v3.version = 3;
    EXPECT_EQ(load(write("v3.scn", makeScnbin(v3))).error, "old scn format not longer supprted");
    ScnbinOptions v255;
    v255.version = 255;
    EXPECT_EQ(load(write("v255.scn", makeScnbin(v255))).error, kOldFormatError);
    ScnbinOptions sig;
    sig.signature = "SCNBXX";
    EXPECT_EQ(load(write("sig.scn", makeScnbin(sig))).error, kOldFormatError);
    ScnbinOptions mark;
    mark.mark = 0x40302010u;  // written big-endian
    EXPECT_EQ(load(write("mark.scn", makeScnbin(mark))).error, kOldFormatError);
    ScnbinOptions zeroMark;
    zeroMark.mark = 0;
    EXPECT_EQ(load(write("zeromark.scn", makeScnbin(zeroMark))).error, kOldFormatError);
}

// ---------------------------------------------------------------------------------
// Bad input

TEST_F(ScanDataTest, EmptyFile) {
    const LoadResult r = load(write("empty.scn", std::vector<unsigned char>{}));
    EXPECT_EQ(r.error, iff_errors::kFormat);
    EXPECT_TRUE(r.points.empty());
}

TEST_F(ScanDataTest, TruncatedAtEveryLength) {
    const std::vector<Vec3d> full = expectedPoints({3, 5});
    const Bytes iff = makeIffScan();
    const Bytes bin = makeScnbin();
    for (const Bytes* b : {&iff, &bin}) {
        for (std::size_t n = 0; n < b->size(); ++n) {
            const std::vector<unsigned char> cut(b->data.begin(),
                                                 b->data.begin() + static_cast<long>(n));
            const LoadResult r = load(write("cut.scn", cut));
            // A shortened file is never complete: always an error.
            EXPECT_FALSE(r.ok()) << "length " << n;
            EXPECT_EQ(readerTexts().count(r.error), 1u) << "length " << n << ": " << r.error;
            EXPECT_TRUE(r.points.empty());
        }
    }
    // The IFF file cut with its FORM length fixed up to match: the structure is
    // consistent again, the cut lands inside a child or payload.
    for (std::size_t n = 12; n < iff.size(); ++n) {
        Bytes cut;
        cut.data.assign(iff.data.begin(), iff.data.begin() + static_cast<long>(n));
        cut.patch32(4, static_cast<std::uint32_t>(n - 8), true);
        expectSafe(cut.data, &full, "fixed length " + std::to_string(n));
    }
}

TEST_F(ScanDataTest, HugeCountsInEveryCountField) {
    IffScanOptions swapped;
    swapped.flag = 1;
    const std::vector<Bytes> files = {makeIffScan(), makeIffScan(swapped), makeScnbin()};
    std::size_t fields = 0;
    for (const Bytes& b : files) {
        ASSERT_GE(b.counts.size(), 10u);
        for (const CountField& field : b.counts) {
            for (std::uint32_t value : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000000u}) {
                Bytes bad = b;
                bad.patch32(field.pos, value, field.bigEndian);
                const LoadResult r = load(write("count.scn", bad));
                EXPECT_EQ(r.error, kDataFormatError) << "count at " << field.pos << " = " << value;
                ++fields;
            }
        }
    }
    EXPECT_GT(fields, 100u);
}

#if defined(__SANITIZE_ADDRESS__)
#define SCANDATA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SCANDATA_ASAN 1
#endif
#endif

#ifndef SCANDATA_ASAN
// The same corrupt counts in a child process whose address space is capped at 256 MiB
// above what it uses: an allocation sized from a corrupt count would fail there even
// where the kernel would otherwise overcommit it silently. (Skipped under ASan, which
// reserves terabytes of shadow memory.)
TEST_F(ScanDataTest, HugeCountsAllocateNothingBig) {
    IffScanOptions swapped;
    swapped.flag = 1;
    const std::vector<Bytes> files = {makeIffScan(), makeIffScan(swapped), makeScnbin()};
    std::vector<std::string> paths;
    for (const Bytes& b : files) {
        for (const CountField& field : b.counts) {
            for (std::uint32_t value : {0x80000000u, 0xFFFFFFFFu, 0x20000000u}) {
                Bytes bad = b;
                bad.patch32(field.pos, value, field.bigEndian);
                paths.push_back(write("cap" + std::to_string(paths.size()) + ".scn", bad));
            }
        }
    }
    auto runCapped = [&paths] {
        std::ifstream statm("/proc/self/statm");
        unsigned long pages = 0;
        statm >> pages;
        const rlim_t used = static_cast<rlim_t>(pages) * 4096u;
        const rlimit cap{used + (256u << 20), used + (256u << 20)};
        if (setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(3);
        for (const std::string& p : paths) {
            if (load(p).error != kDataFormatError) std::_Exit(1);
        }
        std::_Exit(0);
    };
    EXPECT_EXIT(runCapped(), ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(ScanDataTest, RandomBytes) {
    std::mt19937 rng(20240611u);
    std::uniform_int_distribution<int> byte(0, 255);
    const Bytes iff = makeIffScan();
    const Bytes bin = makeScnbin();
    auto randomTail = [&](std::vector<unsigned char> v, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            v.push_back(static_cast<unsigned char>(byte(rng)));
        return v;
    };
    for (int trial = 0; trial < 150; ++trial) {
        const std::size_t n = static_cast<std::size_t>(byte(rng));
        expectSafe(randomTail({}, n), nullptr, "random " + std::to_string(trial));
        // Plausible headers with random content behind them.
        std::vector<unsigned char> form = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'S', 'C', 'N', ' '};
        form = randomTail(form, n);
        const auto len = static_cast<std::uint32_t>(form.size() - 8);
        form[4] = static_cast<unsigned char>(len >> 24);
        form[5] = static_cast<unsigned char>(len >> 16);
        form[6] = static_cast<unsigned char>(len >> 8);
        form[7] = static_cast<unsigned char>(len);
        expectSafe(form, nullptr, "random form " + std::to_string(trial));
        std::vector<unsigned char> head(bin.data.begin(), bin.data.begin() + 15);
        expectSafe(randomTail(head, n), nullptr, "random scnbin " + std::to_string(trial));
    }
    // Valid files with a few random bytes changed.
    for (int trial = 0; trial < 300; ++trial) {
        for (const Bytes* b : {&iff, &bin}) {
            std::vector<unsigned char> v = b->data;
            const int flips = 1 + trial % 4;
            for (int k = 0; k < flips; ++k) {
                v[static_cast<std::size_t>(rng() % v.size())] =
                    static_cast<unsigned char>(byte(rng));
            }
            const LoadResult r = load(write("flip.scn", v));
            if (!r.ok()) {
                EXPECT_EQ(readerTexts().count(r.error), 1u) << "flip " << trial << ": " << r.error;
            } else {
                EXPECT_LE(r.points.size(), 1000u);  // nothing beyond what the file holds
            }
        }
    }
}

TEST_F(ScanDataTest, DirectoryIsNotAScanFile) {
    const LoadResult r = load(dir_.string());
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(readerTexts().count(r.error), 1u) << r.error;
}

}  // namespace
