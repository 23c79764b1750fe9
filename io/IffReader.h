// Reader of IFF-85 chunk files: walks the chunk tree of a file and hands out the
// payload bytes of one chunk at a time.
//
// A chunk is a 4-character identifier and a 32-bit length, both big-endian, then
// `length` data bytes and one pad byte when the length is odd. The group chunks
// FORM, LIST, "CAT " and PROP begin their data with a 4-character type; their
// children follow the type. The reader keeps the chain of groups it has stepped
// into, so a caller can enter a group, find a direct child by identifier, read its
// data, and step back out.
//
// Bounds: the root chunk must fit into the file and every child into its parent;
// payload reads never leave the current chunk. Every loop over children advances by
// at least one header, so a corrupt file ends in an error, never in a hang.
//
// Errors are std::runtime_error with the texts in `iff_errors` below.
// Cost: headers only are read while searching; one seek per visited chunk.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {
namespace io {

namespace iff_errors {
// A child chunk extends past its parent (or the root past the file).
inline constexpr const char* kSyntax = "Syntax-Fehler in IFF-Struktur.";
// A read or seek failed.
inline constexpr const char* kLoad = "Fehler beim Laden einer Datei.";
// The first chunk of the file is not a group chunk.
inline constexpr const char* kFormat = "Formatfehler in Datei.";
// The file cannot be opened.
inline constexpr const char* kOpen = "Datei konnte nicht geöffnet werden.";
// An operation on a reader without an open file.
inline constexpr const char* kStreamHandle = "Ungültiges Stream-Handle.";
}  // namespace iff_errors

// Chunk identifier from its four characters, first character in the high byte (the
// big-endian value of the identifier as it stands in the file).
constexpr std::uint32_t makeIffId(char a, char b, char c, char d) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

// Positions in the identifier table.
enum IffIdIndex : std::size_t {
    kIffForm = 0,
    kIffList,
    kIffCat,
    kIffProp,
    kIffBlank,  // four spaces: the filler identifier
    kIffScn,    // form type of scan data files
    kIffScdi,   // scan information
    kIffScdo,   // scanner records
    kIffScdp,   // point lists
    kIffScdq,   // known, not read
    kIffScns,   // scan name
    kIffIdCount
};

// The identifiers this system knows, in table order.
inline constexpr std::array<std::uint32_t, kIffIdCount> kIffIdTable = {
    makeIffId('F', 'O', 'R', 'M'), makeIffId('L', 'I', 'S', 'T'), makeIffId('C', 'A', 'T', ' '),
    makeIffId('P', 'R', 'O', 'P'), makeIffId(' ', ' ', ' ', ' '), makeIffId('S', 'C', 'N', ' '),
    makeIffId('S', 'C', 'D', 'I'), makeIffId('S', 'C', 'D', 'O'), makeIffId('S', 'C', 'D', 'P'),
    makeIffId('S', 'C', 'D', 'Q'), makeIffId('S', 'C', 'N', 'S')};

// True for FORM, LIST, "CAT " and PROP.
bool isIffGroupId(std::uint32_t id);

// One chunk as found in the file.
struct IffChunk {
    std::uint32_t id = 0;
    std::uint32_t type = 0;     // group chunks: the type after the header; else 0
    std::uint32_t length = 0;   // data length as stored (for groups including the type)
    std::uint64_t dataPos = 0;  // file offset of the first data byte (of the type for groups)

    bool isGroup() const { return isIffGroupId(id); }
    std::uint64_t dataEnd() const { return dataPos + length; }
    // Offset of the next chunk: the data end rounded up to even.
    std::uint64_t nextPos() const { return dataEnd() + (length & 1u); }
    // First child of a group.
    std::uint64_t childrenPos() const { return dataPos + 4; }
};

class IffReader {
  public:
    IffReader() = default;
    IffReader(const IffReader&) = delete;
    IffReader& operator=(const IffReader&) = delete;
    ~IffReader() = default;

    // Opens the file in binary mode; any previous file is closed first.
    // Throws kOpen when it cannot be opened or its size cannot be determined.
    void open(const std::string& fileName);
    void close();
    bool isOpen() const { return file_ != nullptr; }
    std::uint64_t fileSize() const { return fileSize_; }

    // Reads the first chunk of the file and makes it the current chunk. Throws kFormat
    // when the file does not begin with a complete group chunk header, kSyntax when the
    // group does not fit into the file or is too short for its type.
    const IffChunk& readRoot();

    // Steps into the current chunk, which must be a group (kFormat otherwise). The
    // group stays current until a child is found.
    void enterGroup();

    // Looks for the first direct child with identifier `id` in the innermost entered
    // group, from the group's start. On success the child is current and positioned at
    // its first data byte (group children: at the byte after their type). Throws
    // kSyntax when a child header does not fit or a child extends past the group.
    bool findChild(std::uint32_t id);

    // Steps out of the innermost group, which becomes the current chunk again.
    void leaveGroup();

    // Number of entered groups.
    std::size_t depth() const { return groups_.size(); }

    const IffChunk& current() const;

    // Payload of the current chunk: bytes not read yet, reading, skipping. A read or
    // skip past the chunk's data end, or a failed read or seek, throws kLoad.
    std::uint64_t bytesLeft() const;
    void read(void* dst, std::size_t n);
    void skip(std::uint64_t n);

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const {
            if (f) std::fclose(f);
        }
    };

    void requireOpen() const;
    void seekTo(std::uint64_t pos);
    void readExact(void* dst, std::size_t n);
    // Reads a chunk header (and a group's type) at `pos`; the caller checks bounds.
    IffChunk readHeaderAt(std::uint64_t pos, std::uint64_t limit);

    std::unique_ptr<std::FILE, FileCloser> file_;
    std::uint64_t fileSize_ = 0;
    std::uint64_t pos_ = 0;         // current file offset
    std::vector<IffChunk> groups_;  // entered groups, innermost last
    IffChunk current_;
    bool hasCurrent_ = false;
};

}  // namespace io
}  // namespace tessaro
