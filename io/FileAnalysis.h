// File analysis that the text point readers run before reading.
//
// Counts the bytes and lines of a file and the columns of its first line, in one
// pass over blocks of 16 384 bytes. A line is what ends with '\n', plus a last line
// without one; the column count is the number of tokens of the first line separated
// by blanks and tabs. The first line must end (by '\n' or by the end of the file)
// within the first 256 bytes, otherwise the analysis fails: such a file is no text
// point file.
//
// Progress: advances *progress by one about every 1/50 of the file (at most 50
// steps), the first half of a reader's progress bar.
// Errors: returns false when the file cannot be opened or read, or its first line
// is too long. Cost: one sequential read of the file, no allocation beyond one block.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaro {
namespace io {

struct FileAnalysis {
    std::uint64_t size = 0;   // bytes
    std::uint64_t lines = 0;  // lines, a last line without '\n' included
    int columns = 0;          // tokens (" \t") of the first line
};

constexpr std::size_t kAnalysisBlockSize = 16384;
constexpr std::size_t kFirstLineLimit = 256;

bool analyzeFile(const std::string& fileName, FileAnalysis& result,
                 std::atomic<int>* progress = nullptr);

// Number of '\n' bytes in [data, data + size).
std::size_t countNewlines(const char* data, std::size_t size);

}  // namespace io
}  // namespace tessaro
