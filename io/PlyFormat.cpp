#include "io/PlyFormat.h"

#include <charconv>
#include <limits>

#include "alg3D/matrix/Alg3dException.h"

namespace tessaro {
namespace io {

namespace {

[[noreturn]] void throwFormat() {
    alg3D::throwAlg3dException(alg3D::errors::kUnknownFileFormat);
}

struct TypeName {
    const char* name;
    PlyType type;
};

// The writer's names come first.
constexpr TypeName kTypeNames[] = {
    {"char", PlyType::kInt8},       {"uchar", PlyType::kUint8},    {"short", PlyType::kInt16},
    {"ushort", PlyType::kUint16},   {"int", PlyType::kInt32},      {"uint", PlyType::kUint32},
    {"float", PlyType::kFloat32},   {"double", PlyType::kFloat64}, {"int8", PlyType::kInt8},
    {"uint8", PlyType::kUint8},     {"int16", PlyType::kInt16},    {"uint16", PlyType::kUint16},
    {"int32", PlyType::kInt32},     {"uint32", PlyType::kUint32},  {"float32", PlyType::kFloat32},
    {"float64", PlyType::kFloat64},
};

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

// Splits a header line into its words.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> result;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSpace(line[i]))
            ++i;
        const std::size_t begin = i;
        while (i < line.size() && !isSpace(line[i]))
            ++i;
        if (i > begin) result.push_back(line.substr(begin, i - begin));
    }
    return result;
}

// The text after the keyword and one separator.
std::string restAfter(std::string_view line, std::string_view keyword) {
    std::size_t i = line.find(keyword) + keyword.size();
    if (i < line.size() && isSpace(line[i])) ++i;
    return std::string(line.substr(i));
}

std::uint64_t parseCount(std::string_view text) {
    std::uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        throwFormat();
    }
    return value;
}

PlyType parseType(std::string_view name) {
    PlyType type;
    if (!plyTypeFromName(name, type)) throwFormat();
    return type;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

std::size_t plyTypeSize(PlyType type) {
    switch (type) {
        case PlyType::kInt8:
        case PlyType::kUint8:
            return 1;
        case PlyType::kInt16:
        case PlyType::kUint16:
            return 2;
        case PlyType::kInt32:
        case PlyType::kUint32:
        case PlyType::kFloat32:
            return 4;
        case PlyType::kFloat64:
            return 8;
    }
    return 8;
}

const char* plyTypeName(PlyType type) {
    for (const TypeName& entry : kTypeNames)
        if (entry.type == type) return entry.name;
    return "double";
}

bool plyTypeFromName(std::string_view name, PlyType& type) {
    for (const TypeName& entry : kTypeNames) {
        if (name == entry.name) {
            type = entry.type;
            return true;
        }
    }
    return false;
}

bool plyTypeIsInteger(PlyType type) {
    return type != PlyType::kFloat32 && type != PlyType::kFloat64;
}

double plyTypeMin(PlyType type) {
    switch (type) {
        case PlyType::kInt8:
            return -128.0;
        case PlyType::kInt16:
            return -32768.0;
        case PlyType::kInt32:
            return -2147483648.0;
        case PlyType::kFloat32:
            return -static_cast<double>(std::numeric_limits<float>::max());
        case PlyType::kFloat64:
            return -std::numeric_limits<double>::max();
        default:
            return 0.0;
    }
}

double plyTypeMax(PlyType type) {
    switch (type) {
        case PlyType::kInt8:
            return 127.0;
        case PlyType::kUint8:
            return 255.0;
        case PlyType::kInt16:
            return 32767.0;
        case PlyType::kUint16:
            return 65535.0;
        case PlyType::kInt32:
            return 2147483647.0;
        case PlyType::kUint32:
            return 4294967295.0;
        case PlyType::kFloat32:
            return static_cast<double>(std::numeric_limits<float>::max());
        case PlyType::kFloat64:
            return std::numeric_limits<double>::max();
    }
    return 0.0;
}

int PlyElement::find(std::string_view property) const {
    for (std::size_t i = 0; i < properties.size(); ++i)
        if (properties[i].name == property) return static_cast<int>(i);
    return -1;
}

int PlyHeader::find(std::string_view element) const {
    for (std::size_t i = 0; i < elements.size(); ++i)
        if (elements[i].name == element) return static_cast<int>(i);
    return -1;
}

PlyHeader parsePlyHeader(std::string_view text) {
    PlyHeader header;
    bool haveFormat = false;
    std::size_t pos = 0;
    int lineNumber = 0;
    for (;;) {
        const std::size_t newline = text.find('\n', pos);
        if (newline == std::string_view::npos || newline >= kPlyMaxHeaderSize) throwFormat();
        std::string_view line = text.substr(pos, newline - pos);
        pos = newline + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find('\0') != std::string_view::npos) throwFormat();
        ++lineNumber;
        if (lineNumber == 1) {
            if (line != "ply") throwFormat();
            continue;
        }
        const std::vector<std::string_view> w = words(line);
        if (w.empty()) throwFormat();
        const std::string_view keyword = w[0];
        if (keyword == "comment") {
            header.comments.push_back(restAfter(line, keyword));
        } else if (keyword == "obj_info") {
            header.objInfo.push_back(restAfter(line, keyword));
        } else if (keyword == "format") {
            if (haveFormat || w.size() != 3 || w[2] != "1.0") throwFormat();
            if (w[1] == "ascii") {
                header.encoding = PlyEncoding::kAscii;
            } else if (w[1] == "binary_little_endian") {
                header.encoding = PlyEncoding::kBinaryLittleEndian;
            } else if (w[1] == "binary_big_endian") {
                header.encoding = PlyEncoding::kBinaryBigEndian;
            } else {
                throwFormat();
            }
            haveFormat = true;
        } else if (keyword == "element") {
            if (!haveFormat || w.size() != 3 || header.find(w[1]) >= 0) throwFormat();
            PlyElement element;
            element.name = std::string(w[1]);
            element.count = parseCount(w[2]);
            header.elements.push_back(std::move(element));
        } else if (keyword == "property") {
            if (header.elements.empty()) throwFormat();
            PlyElement& element = header.elements.back();
            PlyProperty property;
            if (w.size() == 3) {
                property.type = parseType(w[1]);
                property.name = std::string(w[2]);
            } else if (w.size() == 5 && w[1] == "list") {
                property.isList = true;
                property.countType = parseType(w[2]);
                if (!plyTypeIsInteger(property.countType)) throwFormat();
                property.type = parseType(w[3]);
                property.name = std::string(w[4]);
            } else {
                throwFormat();
            }
            if (element.find(property.name) >= 0) throwFormat();
            element.properties.push_back(std::move(property));
        } else if (keyword == "end_header") {
            if (!haveFormat || w.size() != 1) throwFormat();
            break;
        } else {
            throwFormat();
        }
    }
    for (const PlyElement& element : header.elements) {
        if (element.count > 0 && element.properties.empty()) throwFormat();
    }
    header.bodyOffset = pos;
    return header;
}

std::string formatPlyHeader(const PlyHeader& header) {
    std::string text = "ply\nformat ";
    switch (header.encoding) {
        case PlyEncoding::kAscii:
            text += "ascii";
            break;
        case PlyEncoding::kBinaryLittleEndian:
            text += "binary_little_endian";
            break;
        case PlyEncoding::kBinaryBigEndian:
            text += "binary_big_endian";
            break;
    }
    text += " 1.0\n";
    for (const std::string& comment : header.comments)
        text += "comment " + oneLine(comment) + "\n";
    for (const std::string& info : header.objInfo)
        text += "obj_info " + oneLine(info) + "\n";
    for (const PlyElement& element : header.elements) {
        text += "element " + element.name + " " + std::to_string(element.count) + "\n";
        for (const PlyProperty& property : element.properties) {
            text += "property ";
            if (property.isList) {
                text += std::string("list ") + plyTypeName(property.countType) + " ";
            }
            text += std::string(plyTypeName(property.type)) + " " + property.name + "\n";
        }
    }
    text += "end_header\n";
    return text;
}

}  // namespace io
}  // namespace tessaro
