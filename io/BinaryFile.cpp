#include "io/BinaryFile.h"

#include <filesystem>
#include <limits>
#include <system_error>

namespace tessaro {
namespace io {

bool BinaryFileReader::open(const std::string& fileName) {
    close();
    file_ = std::fopen(fileName.c_str(), "rb");
    if (file_ == nullptr) return false;
    std::error_code ec;
    size_ = std::filesystem::file_size(fileName, ec);
    if (ec) {
        close();
        return false;
    }
    position_ = 0;
    return true;
}

void BinaryFileReader::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    size_ = 0;
    position_ = 0;
}

bool BinaryFileReader::read(void* data, std::size_t count) {
    if (file_ == nullptr || count > remaining()) return false;
    const std::size_t got = std::fread(data, 1, count, file_);
    position_ += got;
    return got == count;
}

bool BinaryFileReader::skip(std::uint64_t count) {
    if (count > remaining()) return false;
    return seek(position_ + count);
}

bool BinaryFileReader::seek(std::uint64_t position) {
    if (file_ == nullptr || position > size_) return false;
    // Files beyond the range of long are read on 64-bit platforms only, where long
    // holds any file offset.
    if (position > static_cast<std::uint64_t>(std::numeric_limits<long>::max())) return false;
    if (std::fseek(file_, static_cast<long>(position), SEEK_SET) != 0) return false;
    position_ = position;
    return true;
}

}  // namespace io
}  // namespace tessaro
