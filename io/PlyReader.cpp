#include "io/PlyReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "alg3D/matrix/Alg3dException.h"
#include "io/MemoryAdvice.h"

namespace tessaro {
namespace io {

namespace {

[[noreturn]] void throwFormat() {
    alg3D::throwAlg3dException(alg3D::errors::kUnknownFileFormat);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

constexpr bool kHostLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// Longest token of an ASCII body; a value needs far fewer characters.
constexpr std::size_t kMaxToken = 128;

// The body of the file, read front to back through a buffer.
class ByteSource {
  public:
    ByteSource(std::FILE* file, std::uint64_t bodySize) : file_(file), bodySize_(bodySize) {}

    // The next `n` bytes (n at most the buffer size), or null when the file ends first.
    const unsigned char* take(std::size_t n) {
        if (static_cast<std::size_t>(end_ - pos_) < n && !fill(n)) return nullptr;
        const unsigned char* p = pos_;
        pos_ += n;
        return p;
    }

    // Next token of an ASCII body (blank, tab, CR, LF separate); false at the end.
    bool token(std::string_view& out) {
        for (;;) {
            while (pos_ < end_ && isSeparator(*pos_))
                ++pos_;
            if (pos_ < end_) break;
            if (!fill(1)) return false;
        }
        fill(kMaxToken + 1);  // as much of the token as there is, up to the limit
        const unsigned char* p = pos_;
        while (p < end_ && !isSeparator(*p))
            ++p;
        const std::size_t length = static_cast<std::size_t>(p - pos_);
        if (length > kMaxToken) throwFormat();
        out = std::string_view(reinterpret_cast<const char*>(pos_), length);
        pos_ = p;
        return true;
    }

    std::uint64_t consumed() const { return offset_ + static_cast<std::uint64_t>(pos_ - begin()); }
    std::uint64_t remaining() const { return bodySize_ - std::min(bodySize_, consumed()); }
    std::uint64_t bodySize() const { return bodySize_; }

  private:
    static bool isSeparator(unsigned char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    }
    const unsigned char* begin() const { return buffer_.get(); }

    // Makes at least `n` unread bytes available if the file has them.
    bool fill(std::size_t n) {
        std::size_t rest = static_cast<std::size_t>(end_ - pos_);
        if (rest >= n) return true;
        if (buffer_) offset_ += static_cast<std::uint64_t>(pos_ - begin());
        if (!buffer_) buffer_.reset(new unsigned char[kBufferSize]);
        if (rest > 0) std::memmove(buffer_.get(), pos_, rest);
        unsigned char* const base = buffer_.get();
        pos_ = base;
        end_ = base + rest;
        while (rest < n) {
            const std::size_t got = std::fread(base + rest, 1, kBufferSize - rest, file_);
            if (got == 0) {
                if (std::ferror(file_)) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
                break;
            }
            rest += got;
            end_ = base + rest;
        }
        return rest >= n;
    }

    static constexpr std::size_t kBufferSize = std::size_t(1) << 20;
    std::FILE* file_;
    std::uint64_t bodySize_;
    std::unique_ptr<unsigned char[]> buffer_;
    const unsigned char* pos_ = nullptr;
    const unsigned char* end_ = nullptr;
    std::uint64_t offset_ = 0;  // body offset of the buffer's first byte
};

template <typename T>
T loadRaw(const unsigned char* p, bool swap) {
    unsigned char bytes[sizeof(T)];
    if (swap) {
        for (std::size_t i = 0; i < sizeof(T); ++i)
            bytes[i] = p[sizeof(T) - 1 - i];
    } else {
        std::memcpy(bytes, p, sizeof(T));
    }
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

double loadValue(const unsigned char* p, PlyType type, bool swap) {
    switch (type) {
        case PlyType::kInt8:
            return static_cast<double>(static_cast<std::int8_t>(p[0]));
        case PlyType::kUint8:
            return static_cast<double>(p[0]);
        case PlyType::kInt16:
            return static_cast<double>(loadRaw<std::int16_t>(p, swap));
        case PlyType::kUint16:
            return static_cast<double>(loadRaw<std::uint16_t>(p, swap));
        case PlyType::kInt32:
            return static_cast<double>(loadRaw<std::int32_t>(p, swap));
        case PlyType::kUint32:
            return static_cast<double>(loadRaw<std::uint32_t>(p, swap));
        case PlyType::kFloat32:
            return static_cast<double>(loadRaw<float>(p, swap));
        case PlyType::kFloat64:
            return loadRaw<double>(p, swap);
    }
    return 0.0;
}

// An ASCII value of the declared type: integers must be decimal integers within the
// type's range, float values are rounded to float.
double parseValue(std::string_view token, PlyType type) {
    const char* const first = token.data();
    const char* const last = first + token.size();
    if (plyTypeIsInteger(type)) {
        long long value = 0;
        const auto result = std::from_chars(first, last, value);
        if (result.ec != std::errc() || result.ptr != last) throwFormat();
        const double v = static_cast<double>(value);
        if (v < plyTypeMin(type) || v > plyTypeMax(type)) throwFormat();
        return v;
    }
    double value = 0.0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != last) throwFormat();
    if (type == PlyType::kFloat32) {
        if (std::isfinite(value) && std::fabs(value) > plyTypeMax(PlyType::kFloat32)) {
            throwFormat();
        }
        return static_cast<double>(static_cast<float>(value));
    }
    return value;
}

// What a property of a record is used for.
enum class Role : unsigned char {
    kX,
    kY,
    kZ,
    kNx,
    kNy,
    kNz,
    kRed,
    kGreen,
    kBlue,
    kScalar,    // one of data.scalars
    kSkip,      // a scalar that is not used
    kSkipList,  // a list that is not used
    kFaceList,  // the vertex indices of a face
};

struct Slot {
    Role role = Role::kSkip;
    const PlyProperty* property = nullptr;
    std::size_t scalar = 0;  // index into data.scalars for kScalar
};

unsigned char colorChannel(double v, PlyType type) {
    if (std::isnan(v)) return 0;
    switch (type) {
        case PlyType::kFloat32:
        case PlyType::kFloat64:
            v = std::round(v * 255.0);
            break;
        case PlyType::kUint16:
            v = std::round(v * 255.0 / 65535.0);
            break;
        default:
            break;
    }
    return static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
}

// Reads the body of one element.
class ElementReader {
  public:
    ElementReader(FileIOInfo& info, const PlyHeader& header, ByteSource& source, PlyData& data,
                  std::uint64_t vertexCount)
        : info_(info),
          source_(source),
          data_(data),
          ascii_(header.encoding == PlyEncoding::kAscii),
          swap_((header.encoding == PlyEncoding::kBinaryLittleEndian) != kHostLittleEndian),
          vertexCount_(vertexCount) {}

    // Returns false when the read was aborted.
    bool read(const PlyElement& element, const std::vector<Slot>& slots, bool isVertex) {
        if (isVertex && !ascii_ && onlyCoordinates(slots)) {
            return slots[0].property->type == PlyType::kFloat64
                       ? readCoordinates<double>(element.count)
                       : readCoordinates<float>(element.count);
        }
        std::uint64_t nextProgress = 0;
        for (std::uint64_t record = 0; record < element.count; ++record) {
            if (info_.abort.load(std::memory_order_relaxed)) return false;
            for (const Slot& slot : slots) {
                if (slot.role == Role::kSkipList || slot.role == Role::kFaceList) {
                    readList(slot);
                } else {
                    store(slot, scalar(slot.property->type));
                }
            }
            if (isVertex) finishVertex();
            if (source_.consumed() >= nextProgress) {
                const std::uint64_t size = std::max<std::uint64_t>(1, source_.bodySize());
                const std::uint64_t percent =
                    std::min<std::uint64_t>(99, source_.consumed() * 100 / size);
                info_.progress.store(static_cast<int>(percent), std::memory_order_relaxed);
                nextProgress = source_.consumed() + size / 100 + 1;
            }
        }
        return true;
    }

  private:
    // Vertices of x, y, z alone, in this order and of one float type: the layout most
    // scanners and this writer use, decoded in blocks of records.
    static bool onlyCoordinates(const std::vector<Slot>& slots) {
        if (slots.size() != 3) return false;
        const PlyType type = slots[0].property->type;
        if (type != PlyType::kFloat32 && type != PlyType::kFloat64) return false;
        const Role roles[3] = {Role::kX, Role::kY, Role::kZ};
        for (std::size_t k = 0; k < 3; ++k) {
            if (slots[k].role != roles[k] || slots[k].property->type != type) return false;
        }
        return true;
    }

    template <typename T>
    bool readCoordinates(std::uint64_t count) {
        constexpr std::size_t kRecord = 3 * sizeof(T);
        constexpr std::uint64_t kBlock = (std::size_t(1) << 19) / kRecord;
        const std::uint64_t size = std::max<std::uint64_t>(1, source_.bodySize());
        std::uint64_t done = 0;
        while (done < count) {
            if (info_.abort.load(std::memory_order_relaxed)) return false;
            const std::size_t n = static_cast<std::size_t>(std::min(count - done, kBlock));
            const unsigned char* p = source_.take(n * kRecord);
            if (p == nullptr) throwFormat();
            for (std::size_t i = 0; i < n; ++i, p += kRecord) {
                const double x = static_cast<double>(loadRaw<T>(p, swap_));
                const double y = static_cast<double>(loadRaw<T>(p + sizeof(T), swap_));
                const double z = static_cast<double>(loadRaw<T>(p + 2 * sizeof(T), swap_));
                if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) throwFormat();
                data_.vertices.emplace_back(x, y, z);
            }
            done += n;
            const std::uint64_t percent =
                std::min<std::uint64_t>(99, source_.consumed() * 100 / size);
            info_.progress.store(static_cast<int>(percent), std::memory_order_relaxed);
        }
        return true;
    }

    double scalar(PlyType type) {
        if (ascii_) {
            std::string_view token;
            if (!source_.token(token)) throwFormat();
            return parseValue(token, type);
        }
        const unsigned char* p = source_.take(plyTypeSize(type));
        if (p == nullptr) throwFormat();
        return loadValue(p, type, swap_);
    }

    void store(const Slot& slot, double v) {
        switch (slot.role) {
            case Role::kX:
                point_.x = v;
                break;
            case Role::kY:
                point_.y = v;
                break;
            case Role::kZ:
                point_.z = v;
                break;
            case Role::kNx:
                normal_.x = static_cast<float>(v);
                break;
            case Role::kNy:
                normal_.y = static_cast<float>(v);
                break;
            case Role::kNz:
                normal_.z = static_cast<float>(v);
                break;
            case Role::kRed:
                color_.r = colorChannel(v, slot.property->type);
                break;
            case Role::kGreen:
                color_.g = colorChannel(v, slot.property->type);
                break;
            case Role::kBlue:
                color_.b = colorChannel(v, slot.property->type);
                break;
            case Role::kScalar:
                data_.scalars[slot.scalar].values.push_back(v);
                break;
            default:
                break;
        }
    }

    void finishVertex() {
        if (!std::isfinite(point_.x) || !std::isfinite(point_.y) || !std::isfinite(point_.z)) {
            throwFormat();
        }
        data_.vertices.push_back(point_);
        if (withNormals_) data_.normals.push_back(normal_);
        if (withColors_) data_.colors.push_back(color_);
    }

    void readList(const Slot& slot) {
        const PlyProperty& property = *slot.property;
        const double countValue = scalar(property.countType);
        if (countValue < 0) throwFormat();
        const std::uint64_t count = static_cast<std::uint64_t>(countValue);
        // Every item takes bytes of the file: a count beyond what is left is a lie.
        const std::uint64_t itemBytes = ascii_ ? 2 : plyTypeSize(property.type);
        const std::uint64_t left = source_.remaining() + (ascii_ ? 1 : 0);
        if (count > left / itemBytes) throwFormat();
        if (slot.role == Role::kSkipList) {
            for (std::uint64_t i = 0; i < count; ++i)
                scalar(property.type);
            return;
        }
        std::uint64_t first = 0, previous = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            const double v = scalar(property.type);
            if (v < 0 || v >= static_cast<double>(vertexCount_)) throwFormat();
            const std::uint64_t index = static_cast<std::uint64_t>(v);
            if (i == 0) {
                first = index;
            } else if (i >= 2) {
                data_.triangles.push_back(first);
                data_.triangles.push_back(previous);
                data_.triangles.push_back(index);
            }
            previous = index;
        }
    }

  public:
    bool withNormals_ = false;
    bool withColors_ = false;

  private:
    FileIOInfo& info_;
    ByteSource& source_;
    PlyData& data_;
    bool ascii_;
    bool swap_;
    std::uint64_t vertexCount_;
    alg3D::Vec3d point_;
    alg3D::Vec3f normal_;
    alg3D::Color color_{0, 0, 0};
};

// The fewest body bytes a record of the element takes.
std::uint64_t minimumRecordBytes(const PlyElement& element, PlyEncoding encoding) {
    std::uint64_t bytes = 0;
    for (const PlyProperty& property : element.properties) {
        if (encoding == PlyEncoding::kAscii) {
            bytes += 2;  // one character and a separator
        } else {
            bytes += plyTypeSize(property.isList ? property.countType : property.type);
        }
    }
    return bytes;
}

// Refuses counts the body cannot hold before anything is reserved for them.
void checkCounts(const PlyHeader& header, std::uint64_t bodySize) {
    // The last value of an ASCII body needs no separator after it.
    std::uint64_t budget = header.encoding == PlyEncoding::kAscii ? bodySize + 1 : bodySize;
    for (const PlyElement& element : header.elements) {
        if (element.count == 0) continue;
        const std::uint64_t record = minimumRecordBytes(element, header.encoding);
        if (record == 0 || element.count > budget / record) throwFormat();
        budget -= element.count * record;
    }
}

int propertyIndex(const PlyElement& element, std::string_view name,
                  std::string_view alternative = {}) {
    int index = element.find(name);
    if (index < 0 && !alternative.empty()) index = element.find(alternative);
    if (index >= 0 && element.properties[static_cast<std::size_t>(index)].isList) return -1;
    return index;
}

template <typename T>
void reserveFor(std::vector<T>& v, std::uint64_t count) {
    try {
        v.reserve(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
        alg3D::throwAlg3dException(alg3D::errors::kAllocatingMemory);
    } catch (const std::length_error&) {
        alg3D::throwAlg3dException(alg3D::errors::kAllocatingMemory);
    }
}

// The roles of the vertex element's properties; sets up normals, colours and scalars.
std::vector<Slot> vertexSlots(const PlyElement& element, PlyData& data, ElementReader& reader) {
    std::vector<Slot> slots(element.properties.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        slots[i].property = &element.properties[i];
        slots[i].role = element.properties[i].isList ? Role::kSkipList : Role::kScalar;
    }
    auto assign = [&](int index, Role role) { slots[static_cast<std::size_t>(index)].role = role; };
    const int x = propertyIndex(element, "x"), y = propertyIndex(element, "y"),
              z = propertyIndex(element, "z");
    if (x < 0 || y < 0 || z < 0) throwFormat();
    assign(x, Role::kX);
    assign(y, Role::kY);
    assign(z, Role::kZ);
    const int nx = propertyIndex(element, "nx"), ny = propertyIndex(element, "ny"),
              nz = propertyIndex(element, "nz");
    if (nx >= 0 && ny >= 0 && nz >= 0) {
        assign(nx, Role::kNx);
        assign(ny, Role::kNy);
        assign(nz, Role::kNz);
        reader.withNormals_ = true;
        reserveFor(data.normals, element.count);
    }
    const int r = propertyIndex(element, "red", "diffuse_red"),
              g = propertyIndex(element, "green", "diffuse_green"),
              b = propertyIndex(element, "blue", "diffuse_blue");
    if (r >= 0 && g >= 0 && b >= 0) {
        assign(r, Role::kRed);
        assign(g, Role::kGreen);
        assign(b, Role::kBlue);
        reader.withColors_ = true;
        reserveFor(data.colors, element.count);
    }
    for (Slot& slot : slots) {
        if (slot.role != Role::kScalar) continue;
        slot.scalar = data.scalars.size();
        data.scalars.push_back({slot.property->name, slot.property->type, {}});
        reserveFor(data.scalars.back().values, element.count);
    }
    reserveFor(data.vertices, element.count);
    adviseHugePages(data.vertices.data(), data.vertices.capacity() * sizeof(alg3D::Vec3d));
    return slots;
}

std::vector<Slot> faceSlots(const PlyElement& element, PlyData& data) {
    std::vector<Slot> slots(element.properties.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const PlyProperty& property = element.properties[i];
        slots[i].property = &property;
        slots[i].role = property.isList ? Role::kSkipList : Role::kSkip;
        if (property.isList &&
            (property.name == "vertex_indices" || property.name == "vertex_index")) {
            if (!plyTypeIsInteger(property.type) || data.hasFaces) throwFormat();
            slots[i].role = Role::kFaceList;
            data.hasFaces = true;
        }
    }
    // Most meshes are triangles: one triangle per face is the usual size.
    if (data.hasFaces) reserveFor(data.triangles, 3 * element.count);
    return slots;
}

std::vector<Slot> skippedSlots(const PlyElement& element) {
    std::vector<Slot> slots(element.properties.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        slots[i].property = &element.properties[i];
        slots[i].role = element.properties[i].isList ? Role::kSkipList : Role::kSkip;
    }
    return slots;
}

void readBody(FileIOInfo& info, PlyData& data) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(info.fileName.c_str(), "rb"));
    if (!file) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(info.fileName, ec);
    if (ec) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);

    std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kPlyMaxHeaderSize)),
                     '\0');
    if (std::fread(head.data(), 1, head.size(), file.get()) != head.size()) {
        alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
    }
    const PlyHeader header = parsePlyHeader(head);
    head = std::string();
    const std::uint64_t bodySize = size - header.bodyOffset;
    checkCounts(header, bodySize);
    const int vertexIndex = header.find("vertex");
    if (vertexIndex < 0) throwFormat();
    const std::uint64_t vertexCount = header.elements[static_cast<std::size_t>(vertexIndex)].count;

    data.encoding = header.encoding;
    data.comments = header.comments;
    data.objInfo = header.objInfo;

    if (std::fseek(file.get(), static_cast<long>(header.bodyOffset), SEEK_SET) != 0) {
        alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
    }
    ByteSource source(file.get(), bodySize);
    ElementReader reader(info, header, source, data, vertexCount);
    for (const PlyElement& element : header.elements) {
        std::vector<Slot> slots;
        const bool isVertex = element.name == "vertex";
        if (isVertex) {
            slots = vertexSlots(element, data, reader);
        } else if (element.name == "face") {
            slots = faceSlots(element, data);
        } else {
            slots = skippedSlots(element);
        }
        if (!reader.read(element, slots, isVertex)) return;
    }
}

}  // namespace

void readPly(FileIOInfo& info, PlyData& data) {
    data.clear();
    try {
        readBody(info, data);
    } catch (...) {
        data.clear();
        throw;
    }
    info.progress.store(100);
}

void readFileJob(FileIOInfo* info, PlyData* data) {
    runFileJobFrame(info, [&] {
        if (info->type == kReadPly) readPly(*info, *data);
    });
}

PlyData readPlyFile(const std::string& fileName) {
    FileIOInfo info;
    info.fileName = fileName;
    info.type = kReadPly;
    PlyData data;
    readPly(info, data);
    return data;
}

}  // namespace io
}  // namespace tessaro
