#include "io/IffReader.h"

#include <sys/types.h>
#include <stdexcept>

namespace tessaro {
namespace io {

namespace {

std::uint32_t bigEndian32(const unsigned char* b) {
    return (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
           (static_cast<std::uint32_t>(b[2]) << 8) | static_cast<std::uint32_t>(b[3]);
}

[[noreturn]] void fail(const char* text) {
    throw std::runtime_error(text);
}

// Marks the file offset as unknown after a failed read, so the next seek really seeks.
constexpr std::uint64_t kUnknownPos = ~std::uint64_t(0);

}  // namespace

bool isIffGroupId(std::uint32_t id) {
    return id == kIffIdTable[kIffForm] || id == kIffIdTable[kIffList] ||
           id == kIffIdTable[kIffCat] || id == kIffIdTable[kIffProp];
}

void IffReader::open(const std::string& fileName) {
    close();
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(fileName.c_str(), "rb"));
    if (!f) fail(iff_errors::kOpen);
    // A directory opens on some systems but has no size; treat it as unopenable.
    if (fseeko(f.get(), 0, SEEK_END) != 0) fail(iff_errors::kOpen);
    const off_t size = ftello(f.get());
    if (size < 0 || fseeko(f.get(), 0, SEEK_SET) != 0) fail(iff_errors::kOpen);
    file_ = std::move(f);
    fileSize_ = static_cast<std::uint64_t>(size);
    pos_ = 0;
}

void IffReader::close() {
    file_.reset();
    fileSize_ = 0;
    pos_ = 0;
    groups_.clear();
    current_ = IffChunk();
    hasCurrent_ = false;
}

void IffReader::requireOpen() const {
    if (!file_) fail(iff_errors::kStreamHandle);
}

void IffReader::readExact(void* dst, std::size_t n) {
    if (std::fread(dst, 1, n, file_.get()) != n) {
        pos_ = kUnknownPos;
        fail(iff_errors::kLoad);
    }
    pos_ += n;
}

void IffReader::seekTo(std::uint64_t pos) {
    if (pos == pos_) return;  // keeps the stdio buffer when reading on
    if (pos > fileSize_ || fseeko(file_.get(), static_cast<off_t>(pos), SEEK_SET) != 0) {
        pos_ = kUnknownPos;
        fail(iff_errors::kLoad);
    }
    pos_ = pos;
}

IffChunk IffReader::readHeaderAt(std::uint64_t pos, std::uint64_t limit) {
    seekTo(pos);
    unsigned char header[8];
    readExact(header, sizeof(header));
    IffChunk chunk;
    chunk.id = bigEndian32(header);
    chunk.length = bigEndian32(header + 4);
    chunk.dataPos = pos + sizeof(header);
    if (chunk.dataEnd() > limit) fail(iff_errors::kSyntax);
    if (chunk.isGroup()) {
        if (chunk.length < 4) fail(iff_errors::kSyntax);
        unsigned char type[4];
        readExact(type, sizeof(type));
        chunk.type = bigEndian32(type);
    }
    return chunk;
}

const IffChunk& IffReader::readRoot() {
    requireOpen();
    groups_.clear();
    hasCurrent_ = false;
    if (fileSize_ < 8) fail(iff_errors::kFormat);
    seekTo(0);
    unsigned char header[4];
    readExact(header, sizeof(header));
    if (!isIffGroupId(bigEndian32(header))) fail(iff_errors::kFormat);
    // The file is the root's parent: a root reaching past the end is a truncated file.
    current_ = readHeaderAt(0, fileSize_);
    hasCurrent_ = true;
    return current_;
}

void IffReader::enterGroup() {
    requireOpen();
    if (!hasCurrent_ || !current_.isGroup()) fail(iff_errors::kFormat);
    groups_.push_back(current_);
    seekTo(current_.childrenPos());
}

bool IffReader::findChild(std::uint32_t id) {
    requireOpen();
    if (groups_.empty()) fail(iff_errors::kFormat);
    const IffChunk group = groups_.back();
    const std::uint64_t end = group.dataEnd();
    std::uint64_t pos = group.childrenPos();
    // Each step moves on by at least one 8-byte header, so this ends.
    while (pos < end) {
        if (end - pos < 8) fail(iff_errors::kSyntax);
        IffChunk child = readHeaderAt(pos, end);
        if (child.id == id) {
            current_ = child;
            hasCurrent_ = true;
            return true;
        }
        pos = child.nextPos();
    }
    current_ = group;
    hasCurrent_ = true;
    return false;
}

void IffReader::leaveGroup() {
    requireOpen();
    if (groups_.empty()) fail(iff_errors::kFormat);
    current_ = groups_.back();
    groups_.pop_back();
    hasCurrent_ = true;
    // Positioned after the group's type, as right after finding it.
    seekTo(current_.childrenPos());
}

const IffChunk& IffReader::current() const {
    requireOpen();
    return current_;
}

std::uint64_t IffReader::bytesLeft() const {
    requireOpen();
    if (!hasCurrent_ || pos_ < current_.dataPos || pos_ > current_.dataEnd()) return 0;
    return current_.dataEnd() - pos_;
}

void IffReader::read(void* dst, std::size_t n) {
    if (n > bytesLeft()) fail(iff_errors::kLoad);
    if (n == 0) return;
    readExact(dst, n);
}

void IffReader::skip(std::uint64_t n) {
    if (n > bytesLeft()) fail(iff_errors::kLoad);
    seekTo(pos_ + n);
}

}  // namespace io
}  // namespace tessaro
