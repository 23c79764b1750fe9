#include "io/LineReader.h"

#include <cstring>
#include <utility>

namespace tessaro {
namespace io {

LineReader::LineReader(std::FILE* file, std::size_t blockSize)
    : file_(file), capacity_(blockSize > 0 ? blockSize : 1) {
    buffer_.reset(new char[capacity_]);
}

bool LineReader::refill() {
    // Keep the unread part, move it to the front, and make room when a single line
    // already fills the buffer.
    const std::size_t rest = fill_ - pos_;
    if (pos_ > 0) {
        if (rest > 0) std::memmove(buffer_.get(), buffer_.get() + pos_, rest);
        pos_ = 0;
        fill_ = rest;
    }
    if (fill_ == capacity_) {
        std::unique_ptr<char[]> larger(new char[2 * capacity_]);
        std::memcpy(larger.get(), buffer_.get(), fill_);
        buffer_ = std::move(larger);
        capacity_ *= 2;
    }
    const std::size_t got = std::fread(buffer_.get() + fill_, 1, capacity_ - fill_, file_);
    fill_ += got;
    if (got == 0) {
        eof_ = true;
        if (std::ferror(file_)) failed_ = true;
        return false;
    }
    return true;
}

bool LineReader::next(const char*& begin, const char*& end) {
    for (;;) {
        const char* start = buffer_.get() + pos_;
        const std::size_t unread = fill_ - pos_;
        const void* newline =
            unread > searched_ ? std::memchr(start + searched_, '\n', unread - searched_) : nullptr;
        if (newline != nullptr) {
            begin = start;
            end = static_cast<const char*>(newline);
            pos_ += static_cast<std::size_t>(end - start) + 1;
            searched_ = 0;
            return true;
        }
        searched_ = unread;
        if (eof_ || !refill()) {
            if (failed_ || fill_ == pos_) return false;
            // The last line has no '\n'.
            begin = buffer_.get() + pos_;
            end = buffer_.get() + fill_;
            pos_ = fill_;
            searched_ = 0;
            return true;
        }
    }
}

}  // namespace io
}  // namespace tessaro
