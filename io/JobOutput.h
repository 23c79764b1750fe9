// Where a write job's bytes go: the caller's multi-part output, or an OutputFile of
// the job's own (replacing or appending by FileIOInfo::append), with a write buffer.
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

#include "io/FileIOInfo.h"
#include "io/OutputFile.h"

namespace tessaro {
namespace io {

class JobOutput {
  public:
    JobOutput(FileIOInfo& info, bool allowAppend)
        : own_(info.fileName,
               allowAppend && info.append ? OutputFile::Mode::kAppend : OutputFile::Mode::kReplace),
          file_(info.output != nullptr ? info.output : &own_),
          appending_(info.output == nullptr && allowAppend && info.append) {}

    OutputFile& file() { return *file_; }
    bool sharedOutput() const { return file_ != &own_; }

    bool open() { return file_->open(); }

    // Room for at least `size` more bytes in the buffer; false when flushing failed.
    char* room(std::size_t size) {
        if (buffer_.size() - used_ < size) {
            if (!flush()) return nullptr;
            if (buffer_.size() < size) buffer_.resize(size);
        }
        return buffer_.data() + used_;
    }
    void advance(char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }
    bool append(const void* data, std::size_t size) {
        char* p = room(size);
        if (p == nullptr) return false;
        std::memcpy(p, data, size);
        used_ += size;
        return true;
    }

    bool flush() {
        const bool ok = file_->write(buffer_.data(), used_);
        used_ = 0;
        return ok;
    }

    // Ends the job: flushes, then commits a file of its own, or drops it when the job
    // was aborted (an appended file keeps what was written). A shared output is
    // committed by its owner.
    bool finish(bool aborted) {
        const bool flushed = !file_->isOpen() || flush();
        if (sharedOutput()) return flushed;
        if (!flushed) {
            own_.discard();
            return false;
        }
        if (aborted && !appending_) {
            own_.discard();
            return true;
        }
        return own_.tryCommit();
    }

  private:
    OutputFile own_;
    OutputFile* file_;
    bool appending_;
    std::vector<char> buffer_ = std::vector<char>(std::size_t(1) << 20);
    std::size_t used_ = 0;
};

// Progress of a writer over `count` items: about 100 steps, below 100 until done.
class WriteProgress {
  public:
    WriteProgress(std::atomic<int>& progress, std::uint64_t count)
        : progress_(progress), count_(count), step_(count >= 100 ? count / 100 : 1) {}
    void done(std::uint64_t index) {
        if (++sinceStep_ < step_) return;
        sinceStep_ = 0;
        const std::uint64_t percent = (index + 1) * 100 / count_;
        progress_.store(static_cast<int>(percent < 99 ? percent : 99), std::memory_order_relaxed);
    }

  private:
    std::atomic<int>& progress_;
    std::uint64_t count_;
    std::uint64_t step_;
    std::uint64_t sinceStep_ = 0;
};

}  // namespace io
}  // namespace tessaro
