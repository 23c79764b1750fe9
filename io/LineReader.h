// Line-by-line access to a file read in large blocks, for the text readers.
//
// Hands out each line as a range [begin, end) without its '\n'; a last line without
// '\n' is a line too. A line of any length is one line: without a limit the buffer
// grows to hold it (memory stays below the file size); with `maxLineLength` a longer
// line is handed out cut to its first maxLineLength bytes and the rest is skipped, so
// the buffer never grows beyond max(blockSize, maxLineLength). Ranges stay valid until
// the next call.
// Errors: failed() tells whether reading stopped on a read error rather than at the
// end of the file. Cost: one copy of the file through a buffer of `blockSize` bytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

namespace tessaro {
namespace io {

class LineReader {
  public:
    explicit LineReader(std::FILE* file, std::size_t blockSize = std::size_t(1) << 20,
                        std::size_t maxLineLength = 0);

    bool next(const char*& begin, const char*& end);
    bool failed() const { return failed_; }

  private:
    bool refill();
    bool skipRestOfLine();

    std::FILE* file_;
    std::unique_ptr<char[]> buffer_;  // not zeroed: only read bytes are looked at
    std::size_t capacity_;
    std::size_t pos_ = 0;       // start of the unread part
    std::size_t fill_ = 0;      // end of the valid bytes
    std::size_t searched_ = 0;  // bytes after pos_ known to hold no '\n'
    std::size_t maxLine_;       // 0: no limit
    bool eof_ = false;
    bool failed_ = false;
    bool skipping_ = false;  // the rest of a cut line is still to be skipped
};

// Splits a line into tokens separated by blanks, tabs and semicolons, as the text
// point readers do. Returns false when the line has no further token.
inline bool nextToken(const char*& p, const char* end, const char*& tokenBegin,
                      const char*& tokenEnd) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == ';'))
        ++p;
    if (p == end) return false;
    tokenBegin = p;
    while (p < end && *p != ' ' && *p != '\t' && *p != ';')
        ++p;
    tokenEnd = p;
    return true;
}

}  // namespace io
}  // namespace tessaro
