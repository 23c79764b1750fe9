// Little-endian field access and a checked sequential reader for the binary readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace tessaro {
namespace io {

inline std::uint32_t loadU32le(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

inline std::int32_t loadI32le(const unsigned char* p) {
    const std::uint32_t u = loadU32le(p);
    std::int32_t v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

inline float loadF32le(const unsigned char* p) {
    const std::uint32_t u = loadU32le(p);
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

inline void storeU32le(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

inline void storeF32le(unsigned char* p, float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    storeU32le(p, u);
}

// A file read front to back that knows how many bytes are left, so that counts
// taken from the file can be checked before they are trusted.
class BinaryFileReader {
  public:
    BinaryFileReader() = default;
    ~BinaryFileReader() { close(); }
    BinaryFileReader(const BinaryFileReader&) = delete;
    BinaryFileReader& operator=(const BinaryFileReader&) = delete;

    // Opens the file and takes its size; false when it cannot be opened.
    bool open(const std::string& fileName);
    void close();

    std::uint64_t size() const { return size_; }
    std::uint64_t position() const { return position_; }
    std::uint64_t remaining() const { return size_ - position_; }

    // Reads exactly `count` bytes; false on a short read.
    bool read(void* data, std::size_t count);
    // Moves forward by `count` bytes, which must lie within the file.
    bool skip(std::uint64_t count);
    // Moves to an absolute position within the file.
    bool seek(std::uint64_t position);

  private:
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};

}  // namespace io
}  // namespace tessaro
