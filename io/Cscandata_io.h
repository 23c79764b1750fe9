// Reader of scan data files (.scn): the measurement of a line scanner with its scan
// information, scanner/sensor/sample records and the measured points in point lists.
//
// Two encodings, told apart by the first four bytes:
//  - "SCNB": the flat SCNBIN encoding (little-endian; strings are a 32-bit length and
//    that many bytes). Header "SCNBIN", version <= 2, mark 0x10203040, scan value;
//    then info strings, named entries, fixed records, point lists, value lists and
//    positions. Only the info strings and point lists are kept; the other sections
//    are checked and stepped over (this system has no use for them, and no mapping
//    onto the scanner records is defined), so the scanner records stay empty.
//  - anything else: an IFF-85 file (IffReader) whose root is a FORM of type "SCN ".
//    Its children SCDI, SCDO, SCDP and SCNS are looked up in this order; reading stops
//    quietly at the first one missing and the record keeps what was read. Payload
//    fields are little-endian, except that an SCDO byte-order flag of 1 marks the
//    sample counts A, B and their values as big-endian.
//
// Corrupt counts: before anything is allocated or looped over, every count (strings,
// records, lists, points, values) is checked against the bytes left in the enclosing
// chunk (IFF) or in the file (SCNBIN), at the smallest size one element can occupy.
// A count that cannot fit gives kDataFormatError, so the memory taken stays within a
// small multiple of the file size and every loop consumes file bytes as it goes.
//
// Errors (std::runtime_error, never alg3D::Alg3dException): the iff_errors texts of
// IffReader.h (open, read, IFF structure), kOldFormatError (SCNBIN header), and
// kDataFormatError (wrong IFF root, a count or field that does not fit, a string
// without its terminator, a truncated SCNBIN file).
//
// Ownership: the scan record is shared through std::shared_ptr. Its reference count
// is the shared_ptr's use count: 1 while the loader holds it, and the record is
// deleted when the last holder lets go (use count 0) — also when an exception leaves
// the reader half way, so no error path leaks.
//
// Cost: one pass over the file; point payloads are read in blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "alg3D/matrix/Matrix.h"

namespace tessaro {
namespace io {

// Header of an SCNBIN file that this reader does not know (signature, version, mark).
inline constexpr const char* kOldFormatError = "old scn format not longer supprted";
// Content of a scan data file that does not fit its structure.
inline constexpr const char* kDataFormatError =
    "Cscandata_io::read_bin: Datei hat (allg.) Datenformatfehler.";

// One sample of a sensor. Field meanings belong to the scanner; kept as stored.
struct SampleRecord {
    double values[6] = {0, 0, 0, 0, 0, 0};
    std::uint32_t ints[3] = {0, 0, 0};
    std::vector<double> listA;  // count A and A values
    std::vector<double> listB;  // count B and B values
};

struct SensorRecord {
    std::uint16_t value1 = 0;
    std::uint16_t value2 = 0;
    std::vector<SampleRecord> samples;
};

struct ScannerRecord {
    std::string name;
    std::uint16_t value = 0;
    std::vector<SensorRecord> sensors;
};

// The scan record: everything read from one file.
struct ScanData {
    std::vector<ScannerRecord> scanners;                // chunk SCDO
    std::int64_t scanValue = 0;                         // chunk SCDI, or the SCNBIN header
    std::vector<std::string> infoStrings;               // chunk SCDI, or SCNBIN section 2
    std::vector<std::vector<alg3D::Vec3d>> pointLists;  // chunk SCDP, or SCNBIN section 5
    std::string name;                                   // chunk SCNS
};

using ScanDataPtr = std::shared_ptr<ScanData>;

class Cscandata_io {
  public:
    // Reads a scan data file into a new scan record (use count 1 on return).
    // `abort`, when given, is tested between chunks, point lists and blocks of points;
    // once set, reading stops and the record holds what was read until then.
    // The 32-bit scan value of an SCDI chunk of version <= 2 and of the SCNBIN header
    // is taken as signed and widened.
    static ScanDataPtr read_bin(const std::string& fileName,
                                const std::atomic<bool>* abort = nullptr);
};

}  // namespace io
}  // namespace tessaro
