#include "io/PslReader.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>

#include "alg3D/matrix/Alg3dException.h"
#include "io/BinaryFile.h"
#include "io/MemoryAdvice.h"

namespace tessaro {
namespace io {

namespace {

[[noreturn]] void throwUnknownFormat() {
    alg3D::throwAlg3dException(alg3D::errors::kUnknownFileFormat);
}

// Reads a header of `size` bytes and returns the count stored in it at `offset`,
// checked to be non-negative and to fit, at `bytesPerItem` each, into the rest of
// the file.
std::uint64_t readCount(BinaryFileReader& file, std::size_t size, std::size_t offset,
                        std::uint64_t bytesPerItem) {
    unsigned char header[kPslFileHeaderSize];
    if (!file.read(header, size)) throwUnknownFormat();
    const std::int32_t count = loadI32le(header + offset);
    if (count < 0) throwUnknownFormat();
    if (static_cast<std::uint64_t>(count) > file.remaining() / bytesPerItem) throwUnknownFormat();
    return static_cast<std::uint64_t>(count);
}

constexpr std::size_t kPointsPerChunk = 4096;

}  // namespace

void readPsl(FileIOInfo& info, std::vector<alg3D::Vec3d>& points) {
    points.clear();
    BinaryFileReader file;
    if (!file.open(info.fileName)) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
    try {
        // First pass: the structure and the number of points.
        const std::uint64_t profiles =
            readCount(file, kPslFileHeaderSize, kPslProfileCountOffset, kPslProfileHeaderSize);
        const std::uint64_t dataStart = file.position();
        std::uint64_t total = 0;
        for (std::uint64_t i = 0; i < profiles; ++i) {
            if (info.abort.load(std::memory_order_relaxed)) return;
            const std::uint64_t segments =
                readCount(file, kPslProfileHeaderSize, 0, kPslSegmentHeaderSize);
            for (std::uint64_t j = 0; j < segments; ++j) {
                if (info.abort.load(std::memory_order_relaxed)) return;
                const std::uint64_t n = readCount(file, kPslSegmentHeaderSize, 0, kPslPointSize);
                if (!file.skip(n * kPslPointSize)) throwUnknownFormat();
                total += n;
            }
        }

        // The checks above bound the total by the file size.
        try {
            points.reserve(static_cast<std::size_t>(total));
            adviseHugePages(points.data(), points.capacity() * sizeof(alg3D::Vec3d));
            points.resize(static_cast<std::size_t>(total));
        } catch (const std::bad_alloc&) {
            alg3D::throwAlg3dException(alg3D::errors::kAllocatingMemory);
        } catch (const std::length_error&) {
            alg3D::throwAlg3dException(alg3D::errors::kAllocatingMemory);
        }

        // Second pass: the points.
        if (!file.seek(dataStart)) throwUnknownFormat();
        const std::uint64_t step = profiles >= 100 ? profiles / 100 : 1;
        std::vector<unsigned char> chunk(kPointsPerChunk * kPslPointSize);
        std::uint64_t filled = 0;
        for (std::uint64_t i = 0; i < profiles; ++i) {
            if (info.abort.load(std::memory_order_relaxed)) {
                points.resize(static_cast<std::size_t>(filled));
                return;
            }
            const std::uint64_t segments =
                readCount(file, kPslProfileHeaderSize, 0, kPslSegmentHeaderSize);
            for (std::uint64_t j = 0; j < segments; ++j) {
                if (info.abort.load(std::memory_order_relaxed)) {
                    points.resize(static_cast<std::size_t>(filled));
                    return;
                }
                std::uint64_t n = readCount(file, kPslSegmentHeaderSize, 0, kPslPointSize);
                // The file changed between the passes.
                if (n > total - filled) throwUnknownFormat();
                while (n > 0) {
                    const std::size_t count =
                        static_cast<std::size_t>(std::min<std::uint64_t>(n, kPointsPerChunk));
                    if (!file.read(chunk.data(), count * kPslPointSize)) throwUnknownFormat();
                    for (std::size_t k = 0; k < count; ++k) {
                        const unsigned char* p = chunk.data() + k * kPslPointSize;
                        points[static_cast<std::size_t>(filled++)] =
                            alg3D::Vec3d(loadF32le(p), loadF32le(p + 4), loadF32le(p + 8));
                    }
                    n -= count;
                }
            }
            if (i % step == 0) {
                info.progress.store(static_cast<int>((i + 1) * 100 / profiles),
                                    std::memory_order_relaxed);
            }
        }
        if (filled != total) throwUnknownFormat();
        info.progress.store(100);
    } catch (...) {
        points.clear();
        points.shrink_to_fit();
        throw;
    }
}

}  // namespace io
}  // namespace tessaro
