#include "io/FileAnalysis.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace tessaro {
namespace io {

std::size_t countNewlines(const char* data, std::size_t size) {
    // Eight bytes at a time: a byte equal to '\n' becomes 0x80 in `hit`, the others 0.
    // The per-byte counts gather in byte lanes for up to 255 words before they are
    // added up.
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
    constexpr std::uint64_t kNewlines = kOnes * '\n';
    constexpr std::uint64_t kEvenBytes = 0x00ff00ff00ff00ffULL;
    std::size_t count = 0;
    std::size_t i = 0;
    while (size - i >= 8) {
        const std::size_t words = std::min<std::size_t>((size - i) / 8, 255);
        std::uint64_t lanes = 0;
        for (std::size_t w = 0; w < words; ++w, i += 8) {
            std::uint64_t x;
            std::memcpy(&x, data + i, 8);
            x ^= kNewlines;
            const std::uint64_t hit = ~(((x & kLow7) + kLow7) | x | kLow7);
            lanes += hit >> 7;
        }
        const std::uint64_t pairs = (lanes & kEvenBytes) + ((lanes >> 8) & kEvenBytes);
        count += static_cast<std::size_t>((pairs * 0x0001000100010001ULL) >> 48);
    }
    for (; i < size; ++i)
        count += data[i] == '\n';
    return count;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

int countColumns(const char* begin, const char* end) {
    int columns = 0;
    bool inToken = false;
    for (const char* p = begin; p < end; ++p) {
        const bool delimiter = *p == ' ' || *p == '\t';
        if (!delimiter && !inToken) ++columns;
        inToken = !delimiter;
    }
    return columns;
}

}  // namespace

bool analyzeFile(const std::string& fileName, FileAnalysis& result, std::atomic<int>* progress) {
    result = FileAnalysis();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) return false;
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(fileName, ec);
    if (ec) return false;
    if (size == 0) return true;

    // About 50 progress steps over the whole file, never more.
    const std::uint64_t blocks = (size + kAnalysisBlockSize - 1) / kAnalysisBlockSize;
    const std::uint64_t blocksPerStep = std::max<std::uint64_t>(1, (blocks + 49) / 50);

    std::vector<char> block(kAnalysisBlockSize);
    std::vector<char> firstBlock;
    std::uint64_t newlines = 0;
    std::uint64_t total = 0;
    std::uint64_t blockIndex = 0;
    char lastByte = '\n';
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        if (got == 0) break;
        if (firstBlock.empty()) firstBlock.assign(block.data(), block.data() + got);
        newlines += countNewlines(block.data(), got);
        lastByte = block[got - 1];
        total += got;
        if (++blockIndex % blocksPerStep == 0 && progress != nullptr) {
            progress->store(std::min(progress->load(std::memory_order_relaxed) + 1, 99),
                            std::memory_order_relaxed);
        }
    }
    if (std::ferror(file.get())) return false;
    if (total == 0) return true;  // emptied since the size was taken

    const std::size_t searched = std::min(firstBlock.size(), kFirstLineLimit);
    const char* lineEnd = static_cast<const char*>(std::memchr(firstBlock.data(), '\n', searched));
    if (lineEnd == nullptr) {
        // Without a newline the first line is the whole file, and must be short.
        if (total >= kFirstLineLimit) return false;
        lineEnd = firstBlock.data() + firstBlock.size();
    }
    result.size = total;
    result.lines = newlines + (lastByte != '\n' ? 1 : 0);
    result.columns = countColumns(firstBlock.data(), lineEnd);
    return true;
}

}  // namespace io
}  // namespace tessaro
