// The header of a PLY file: its grammar, the scalar types and the parsed header record
// shared by the PLY reader and writer.
//
// A header is a text of lines ending in '\n' (a '\r' before it is dropped):
//     ply
//     format ascii|binary_little_endian|binary_big_endian 1.0
//     comment <text>                           (anywhere, any number)
//     obj_info <text>                          (anywhere, any number)
//     element <name> <count>
//     property <type> <name>                   (belongs to the last element)
//     property list <count type> <item type> <name>
//     end_header
// Types: char/int8, uchar/uint8, short/int16, ushort/uint16, int/int32, uint/uint32,
// float/float32, double/float64. A list's count type must be an integer type.
//
// parsePlyHeader refuses (Alg3dException "unknown file format.\n") anything else: a first
// line other than "ply", a missing, repeated or unknown format or a version other than
// 1.0, an unknown keyword or type, a property before the first element, a repeated
// element or property name, a count that is not a decimal number below 2^63, an element
// with a count but no properties, a header without end_header within kPlyMaxHeaderSize
// bytes. Cost: linear in the header's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {
namespace io {

enum class PlyEncoding { kAscii, kBinaryLittleEndian, kBinaryBigEndian };

enum class PlyType : unsigned char {
    kInt8,
    kUint8,
    kInt16,
    kUint16,
    kInt32,
    kUint32,
    kFloat32,
    kFloat64
};

inline constexpr PlyType kAllPlyTypes[] = {PlyType::kInt8,    PlyType::kUint8,  PlyType::kInt16,
                                           PlyType::kUint16,  PlyType::kInt32,  PlyType::kUint32,
                                           PlyType::kFloat32, PlyType::kFloat64};

// Bytes of one value of the type in a binary body.
std::size_t plyTypeSize(PlyType type);
// The name the writer uses: char, uchar, short, ushort, int, uint, float, double.
const char* plyTypeName(PlyType type);
// Either spelling of a type name; false for anything else.
bool plyTypeFromName(std::string_view name, PlyType& type);
bool plyTypeIsInteger(PlyType type);
// The smallest and largest value of an integer type.
double plyTypeMin(PlyType type);
double plyTypeMax(PlyType type);

struct PlyProperty {
    std::string name;
    PlyType type = PlyType::kFloat32;  // scalar type, or the item type of a list
    bool isList = false;
    PlyType countType = PlyType::kUint8;  // lists only
};

struct PlyElement {
    std::string name;
    std::uint64_t count = 0;
    std::vector<PlyProperty> properties;

    // Index of the property of this name, or -1.
    int find(std::string_view property) const;
};

struct PlyHeader {
    PlyEncoding encoding = PlyEncoding::kAscii;
    std::vector<PlyElement> elements;
    std::vector<std::string> comments;  // text after "comment ", in order
    std::vector<std::string> objInfo;   // text after "obj_info ", in order
    std::size_t bodyOffset = 0;         // first byte after the end_header line

    // Index of the element of this name, or -1.
    int find(std::string_view element) const;
};

inline constexpr std::size_t kPlyMaxHeaderSize = std::size_t(1) << 20;

// Parses the header at the start of `text` (the first bytes of a file; the body may
// follow). Throws as described above.
PlyHeader parsePlyHeader(std::string_view text);

// The header text for `header` (bodyOffset is not used). Comment and obj_info texts
// are written on one line each, line breaks in them replaced by blanks.
std::string formatPlyHeader(const PlyHeader& header);

}  // namespace io
}  // namespace tessaro
