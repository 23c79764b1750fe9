#include "io/Cscandata_io.h"

#include <sys/types.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "io/IffReader.h"

namespace tessaro {
namespace io {

namespace {

[[noreturn]] void fail(const char* text) {
    throw std::runtime_error(text);
}

bool aborted(const std::atomic<bool>* abort) {
    return abort != nullptr && abort->load(std::memory_order_relaxed);
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Payload of the current IFF chunk. Running out of chunk bytes is a format error of
// the scan data, not of the IFF structure.
class ChunkSource {
  public:
    explicit ChunkSource(IffReader& iff) : iff_(iff) {}
    std::uint64_t left() const { return iff_.bytesLeft(); }
    void need(std::uint64_t n) const {
        if (n > left()) fail(kDataFormatError);
    }
    void read(void* dst, std::size_t n) {
        need(n);
        iff_.read(dst, n);
    }
    void skip(std::uint64_t n) {
        need(n);
        iff_.skip(n);
    }

  private:
    IffReader& iff_;
};

// The rest of an SCNBIN file.
class FileSource {
  public:
    FileSource(std::FILE* file, std::uint64_t size, std::uint64_t pos)
        : file_(file), size_(size), pos_(pos) {}
    std::uint64_t left() const { return pos_ <= size_ ? size_ - pos_ : 0; }
    void need(std::uint64_t n) const {
        if (n > left()) fail(kDataFormatError);
    }
    void read(void* dst, std::size_t n) {
        need(n);
        if (n != 0 && std::fread(dst, 1, n, file_) != n) fail(iff_errors::kLoad);
        pos_ += n;
    }
    void skip(std::uint64_t n) {
        need(n);
        if (fseeko(file_, static_cast<off_t>(pos_ + n), SEEK_SET) != 0) fail(iff_errors::kLoad);
        pos_ += n;
    }

  private:
    std::FILE* file_;
    std::uint64_t size_;
    std::uint64_t pos_;
};

// Fixed-width fields. Files are little-endian except where a byte-order flag says
// big-endian; assembling the value from bytes keeps this independent of the host.
template <typename Source>
std::uint64_t readUnsigned(Source& src, std::size_t bytes, bool bigEndian) {
    unsigned char b[8];
    src.read(b, bytes);
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        const std::size_t shift = 8 * (bigEndian ? bytes - 1 - i : i);
        v |= static_cast<std::uint64_t>(b[i]) << shift;
    }
    return v;
}

template <typename Source>
std::uint8_t readU8(Source& src) {
    return static_cast<std::uint8_t>(readUnsigned(src, 1, false));
}

template <typename Source>
std::uint16_t readU16(Source& src) {
    return static_cast<std::uint16_t>(readUnsigned(src, 2, false));
}

template <typename Source>
std::uint32_t readU32(Source& src, bool bigEndian = false) {
    return static_cast<std::uint32_t>(readUnsigned(src, 4, bigEndian));
}

double doubleFromBits(std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof(d));
    return d;
}

template <typename Source>
double readF64(Source& src, bool bigEndian = false) {
    return doubleFromBits(readUnsigned(src, 8, bigEndian));
}

double littleEndianF64(const unsigned char* b) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<std::uint64_t>(b[i]) << (8 * i);
    return doubleFromBits(v);
}

// A count of elements that each take at least `minBytes` bytes (>= 1) in the file:
// it must fit into what is left, or the data is corrupt.
template <typename Source>
std::uint32_t readCount(Source& src, std::uint64_t minBytes, bool bigEndian = false) {
    const std::uint32_t count = readU32(src, bigEndian);
    if (static_cast<std::uint64_t>(count) * minBytes > src.left()) fail(kDataFormatError);
    return count;
}

// NUL-terminated string; the terminator must come before the payload ends.
template <typename Source>
std::string readCString(Source& src) {
    std::string s;
    for (;;) {
        if (src.left() == 0) fail(kDataFormatError);
        const char c = static_cast<char>(readU8(src));
        if (c == '\0') return s;
        s.push_back(c);
    }
}

// 32-bit length and that many bytes.
template <typename Source>
std::string readSizedString(Source& src) {
    const std::uint32_t length = readCount(src, 1);
    std::string s(length, '\0');
    if (length != 0) src.read(&s[0], length);
    return s;
}

template <typename Source>
std::vector<double> readDoubles(Source& src, std::uint32_t count, bool bigEndian) {
    std::vector<double> values;
    values.reserve(count);  // the count has been checked at 8 bytes per value
    for (std::uint32_t i = 0; i < count; ++i)
        values.push_back(readF64(src, bigEndian));
    return values;
}

// Count L, then per list a count N and N points of three doubles. Returns false when
// aborted (the lists read so far stay, the last one possibly partial).
template <typename Source>
bool readPointLists(Source& src, ScanData& scan, const std::atomic<bool>* abort) {
    constexpr std::size_t kPointBytes = 24;
    constexpr std::size_t kBlockPoints = 2730;  // about 64 KiB per read
    const std::uint32_t listCount = readCount(src, 4);
    std::vector<unsigned char> block;
    for (std::uint32_t l = 0; l < listCount; ++l) {
        if (aborted(abort)) return false;
        const std::uint32_t n = readCount(src, kPointBytes);
        scan.pointLists.emplace_back();
        std::vector<alg3D::Vec3d>& list = scan.pointLists.back();
        list.reserve(n);  // n * 24 bytes are in the file
        std::uint32_t done = 0;
        while (done < n) {
            if (aborted(abort)) return false;
            const std::uint32_t m =
                std::min<std::uint32_t>(n - done, static_cast<std::uint32_t>(kBlockPoints));
            block.resize(static_cast<std::size_t>(m) * kPointBytes);
            src.read(block.data(), block.size());
            for (std::uint32_t i = 0; i < m; ++i) {
                const unsigned char* p = block.data() + static_cast<std::size_t>(i) * kPointBytes;
                list.emplace_back(littleEndianF64(p), littleEndianF64(p + 8),
                                  littleEndianF64(p + 16));
            }
            done += m;
        }
    }
    return true;
}

// SCDI: 4 unused bytes, version V, 32-bit scan value (V <= 2), count K, K strings,
// and for V >= 3 a 64-bit scan value.
void readScdi(ChunkSource& src, ScanData& scan) {
    src.skip(4);
    const std::uint8_t version = readU8(src);
    const auto value32 = static_cast<std::int32_t>(readU32(src));
    if (version <= 2) scan.scanValue = value32;
    const std::uint32_t count = readCount(src, 1);  // at least the terminator each
    for (std::uint32_t i = 0; i < count; ++i)
        scan.infoStrings.push_back(readCString(src));
    if (version >= 3) {
        scan.scanValue = static_cast<std::int64_t>(readUnsigned(src, 8, false));
    }
}

// SCDO: byte-order flag, then the scanner / sensor / sample tree. Returns false when
// aborted.
bool readScdo(ChunkSource& src, ScanData& scan, const std::atomic<bool>* abort) {
    // Smallest file size of one element: terminator + 16-bit + count; two 16-bit +
    // count; six doubles + three 32-bit + two counts.
    constexpr std::uint64_t kMinScanner = 1 + 2 + 4;
    constexpr std::uint64_t kMinSensor = 2 + 2 + 4;
    constexpr std::uint64_t kMinSample = 6 * 8 + 3 * 4 + 4 + 4;
    const bool swapped = readU8(src) == 1;
    const std::uint32_t scannerCount = readCount(src, kMinScanner);
    for (std::uint32_t s = 0; s < scannerCount; ++s) {
        if (aborted(abort)) return false;
        ScannerRecord scanner;
        scanner.name = readCString(src);
        scanner.value = readU16(src);
        const std::uint32_t sensorCount = readCount(src, kMinSensor);
        for (std::uint32_t k = 0; k < sensorCount; ++k) {
            SensorRecord sensor;
            sensor.value1 = readU16(src);
            sensor.value2 = readU16(src);
            const std::uint32_t sampleCount = readCount(src, kMinSample);
            sensor.samples.reserve(sampleCount);
            for (std::uint32_t m = 0; m < sampleCount; ++m) {
                SampleRecord sample;
                for (double& v : sample.values)
                    v = readF64(src);
                for (std::uint32_t& v : sample.ints)
                    v = readU32(src);
                const std::uint32_t countA = readCount(src, 8, swapped);
                sample.listA = readDoubles(src, countA, swapped);
                const std::uint32_t countB = readCount(src, 8, swapped);
                sample.listB = readDoubles(src, countB, swapped);
                sensor.samples.push_back(std::move(sample));
            }
            scanner.sensors.push_back(std::move(sensor));
        }
        scan.scanners.push_back(std::move(scanner));
    }
    return true;
}

ScanDataPtr readIff(const std::string& fileName, const std::atomic<bool>* abort) {
    IffReader iff;
    iff.open(fileName);
    const IffChunk& root = iff.readRoot();
    if (root.id != kIffIdTable[kIffForm] || root.type != kIffIdTable[kIffScn]) {
        fail(kDataFormatError);
    }
    iff.enterGroup();
    auto scan = std::make_shared<ScanData>();
    ChunkSource src(iff);

    if (aborted(abort) || !iff.findChild(kIffIdTable[kIffScdi])) return scan;
    readScdi(src, *scan);

    if (aborted(abort) || !iff.findChild(kIffIdTable[kIffScdo])) return scan;
    if (!readScdo(src, *scan, abort)) return scan;

    if (aborted(abort) || !iff.findChild(kIffIdTable[kIffScdp])) return scan;
    src.skip(4);
    if (!readPointLists(src, *scan, abort)) return scan;

    if (aborted(abort) || !iff.findChild(kIffIdTable[kIffScns])) return scan;
    scan->name = readCString(src);
    return scan;
}

ScanDataPtr readScnbin(std::FILE* file, std::uint64_t size, const std::atomic<bool>* abort) {
    if (fseeko(file, 0, SEEK_SET) != 0) fail(iff_errors::kLoad);
    FileSource src(file, size, 0);

    // Header: signature, version, byte-order mark, scan value.
    constexpr std::size_t kHeaderBytes = 6 + 1 + 4 + 4;
    unsigned char header[kHeaderBytes];
    src.read(header, sizeof(header));
    const std::uint32_t mark = static_cast<std::uint32_t>(header[7]) |
                               (static_cast<std::uint32_t>(header[8]) << 8) |
                               (static_cast<std::uint32_t>(header[9]) << 16) |
                               (static_cast<std::uint32_t>(header[10]) << 24);
    if (std::memcmp(header, "SCNBIN", 6) != 0 || header[6] > 2 || mark != 0x10203040u) {
        fail(kOldFormatError);
    }
    const std::uint32_t value = static_cast<std::uint32_t>(header[11]) |
                                (static_cast<std::uint32_t>(header[12]) << 8) |
                                (static_cast<std::uint32_t>(header[13]) << 16) |
                                (static_cast<std::uint32_t>(header[14]) << 24);
    auto scan = std::make_shared<ScanData>();
    scan->scanValue = static_cast<std::int32_t>(value);

    // 2. Info strings.
    const std::uint32_t stringCount = readCount(src, 4);
    for (std::uint32_t i = 0; i < stringCount; ++i) {
        scan->infoStrings.push_back(readSizedString(src));
    }
    if (aborted(abort)) return scan;

    // 3. Named entries: string, 16-bit, 32-bit.
    const std::uint32_t entryCount = readCount(src, 4 + 2 + 4);
    for (std::uint32_t i = 0; i < entryCount; ++i) {
        src.skip(readCount(src, 1));
        src.skip(2 + 4);
    }
    if (aborted(abort)) return scan;

    // 4. Fixed records of 16 bytes.
    constexpr std::uint64_t kFixedRecordBytes = 16;
    src.skip(readCount(src, kFixedRecordBytes) * kFixedRecordBytes);

    // 5. Point lists.
    if (!readPointLists(src, *scan, abort)) return scan;

    // 6. Value lists.
    const std::uint32_t valueListCount = readCount(src, 4);
    for (std::uint32_t i = 0; i < valueListCount; ++i) {
        src.skip(static_cast<std::uint64_t>(readCount(src, 8)) * 8);
    }

    // 7. Positions: triples of doubles.
    src.skip(static_cast<std::uint64_t>(readCount(src, 24)) * 24);
    return scan;
}

}  // namespace

ScanDataPtr Cscandata_io::read_bin(const std::string& fileName, const std::atomic<bool>* abort) {
    FilePtr file(std::fopen(fileName.c_str(), "rb"));
    if (!file) fail(iff_errors::kOpen);
    unsigned char magic[4];
    const std::size_t got = std::fread(magic, 1, sizeof(magic), file.get());
    if (got == sizeof(magic) && std::memcmp(magic, "SCNB", 4) == 0) {
        if (fseeko(file.get(), 0, SEEK_END) != 0) fail(iff_errors::kLoad);
        const off_t size = ftello(file.get());
        if (size < 0) fail(iff_errors::kLoad);
        return readScnbin(file.get(), static_cast<std::uint64_t>(size), abort);
    }
    file.reset();
    return readIff(fileName, abort);
}

}  // namespace io
}  // namespace tessaro
