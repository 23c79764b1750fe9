// Tells ASCII from binary STL before a mesh is read (job 2).
//
// A file whose size is exactly 84 + 50·T for the triangle count T stored at byte 80
// is binary, whatever its header says (CAD programs often begin binary headers with
// "solid"). Otherwise the first token (delimiters blank, tab, semicolon) of each of
// the first lines decides: one that begins with "solid" makes the file ASCII; two
// lines without it, or the end of the file, make it binary. A line longer than 64 KiB
// counts as one without it after its first 64 KiB.
// Errors: Alg3dException "can not open file.\n" when the file cannot be opened or
// read. Cost: reads 84 bytes and at most two lines of at most 64 KiB each.
#pragma once

#include <string>

namespace tessaro {
namespace io {

enum class StlEncoding { kAscii, kBinary };

StlEncoding detectStlEncoding(const std::string& fileName);

constexpr std::size_t kStlHeaderSize = 80;
constexpr std::size_t kStlTriangleSize = 50;
constexpr std::size_t kStlPreambleSize = kStlHeaderSize + 4;

}  // namespace io
}  // namespace tessaro
