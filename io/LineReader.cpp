#include "io/LineReader.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tessaro {
namespace io {

LineReader::LineReader(std::FILE* file, std::size_t blockSize, std::size_t maxLineLength)
    : file_(file),
      capacity_(std::max<std::size_t>({blockSize, maxLineLength, 1})),
      maxLine_(maxLineLength) {
    buffer_.reset(new char[capacity_]);
}

// Drops everything up to and including the next '\n'; false when the file ends first.
bool LineReader::skipRestOfLine() {
    for (;;) {
        const char* start = buffer_.get() + pos_;
        const void* newline = std::memchr(start, '\n', fill_ - pos_);
        if (newline != nullptr) {
            pos_ += static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1;
            skipping_ = false;
            return true;
        }
        pos_ = fill_;
        if (eof_ || !refill()) return false;
    }
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
    if (skipping_ && !skipRestOfLine()) return false;
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
            if (maxLine_ > 0 && static_cast<std::size_t>(end - begin) > maxLine_) {
                end = begin + maxLine_;
            }
            return true;
        }
        searched_ = unread;
        if (maxLine_ > 0 && unread >= maxLine_) {
            begin = start;
            end = start + maxLine_;
            pos_ = fill_;
            searched_ = 0;
            skipping_ = true;
            return true;
        }
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
