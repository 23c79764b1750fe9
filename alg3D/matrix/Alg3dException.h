// The library's only exception type. Its message is always "ALG3D::" followed by
// the text given at the throw site; every throw goes through throwAlg3dException.
#pragma once

#include <stdexcept>
#include <string>

namespace alg3D {

class Alg3dException : public std::runtime_error {
  public:
    explicit Alg3dException(const std::string& message) : std::runtime_error(message) {}
};

// Recurring texts of the library.
namespace errors {
inline constexpr const char* kInvalidCharacter = "invalid character found.\n";
inline constexpr const char* kCanNotOpenFile = "can not open file.\n";
inline constexpr const char* kAllocatingMemory = "error allocating memory.\n";
inline constexpr const char* kApproximationFailed = "geometry approximation failed.\n";
inline constexpr const char* kNotEnoughData = "not enough data for geometry approximation.\n";
inline constexpr const char* kWrongDimensions = "matrices have wrong dimensions.\n";
inline constexpr const char* kCanNotWriteFile = "can not write destination file.\n";
inline constexpr const char* kUnknownFileFormat = "unknown file format.\n";
inline constexpr const char* kFileIsEmpty = "file is empty.\n";
// A maximum inscribing element of points that do not surround its centre or axis.
inline constexpr const char* kNotEnclosing = "The points do not enclose an inscribed element.\n";
}  // namespace errors

inline constexpr const char* kExceptionPrefix = "ALG3D::";

// Throws Alg3dException with "ALG3D::" put in front of the text.
[[noreturn]] void throwAlg3dException(const std::string& text);

}  // namespace alg3D
