#include "io/PlyWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "alg3D/matrix/Alg3dException.h"
#include "io/JobOutput.h"

namespace tessaro {
namespace io {

const char kPlyCommentText[] = "created with Stelvane Tessaro";

namespace {

constexpr bool kHostLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// Longest text of one value and its separator.
constexpr std::size_t kMaxValueText = 40;

bool isReservedName(const std::string& name) {
    static const char* const kNames[] = {"x", "y", "z", "nx", "ny", "nz", "red", "green", "blue"};
    for (const char* reserved : kNames)
        if (name == reserved) return true;
    return false;
}

void checkSource(const PlySource& source, std::size_t count) {
    auto fail = [](const char* what) { throw std::invalid_argument(std::string("PLY: ") + what); };
    if ((source.points == nullptr) == (source.coloredPoints == nullptr)) {
        fail("exactly one point list is needed");
    }
    if (source.colors && source.colors->size() != count) fail("one colour per point is needed");
    if (source.normals && source.normals->size() != count) fail("one normal per point is needed");
    if (source.scalars) {
        for (std::size_t i = 0; i < source.scalars->size(); ++i) {
            const PlyScalarField& field = (*source.scalars)[i];
            if (field.values.size() != count) fail("one value per point is needed");
            if (field.name.empty() || field.name.find_first_of(" \t\r\n") != std::string::npos ||
                isReservedName(field.name)) {
                fail("a per-point value needs a name of its own without blanks");
            }
            for (std::size_t j = 0; j < i; ++j)
                if ((*source.scalars)[j].name == field.name) fail("per-point value names repeat");
        }
    }
    if (source.triangles) {
        if (source.triangles->size() % 3 != 0) fail("three indices per triangle are needed");
        for (std::uint64_t index : *source.triangles)
            if (index >= count) fail("a triangle index lies beyond the points");
    }
}

PlyHeader headerFor(const PlySource& source, std::size_t count) {
    PlyHeader header;
    header.encoding = source.encoding;
    header.comments.push_back(kPlyCommentText);
    for (const std::string& comment : source.comments)
        if (comment != kPlyCommentText) header.comments.push_back(comment);
    header.objInfo = source.objInfo;
    PlyElement vertex;
    vertex.name = "vertex";
    vertex.count = count;
    for (const char* name : {"x", "y", "z"})
        vertex.properties.push_back({name, PlyType::kFloat64, false, PlyType::kUint8});
    if (source.normals) {
        for (const char* name : {"nx", "ny", "nz"})
            vertex.properties.push_back({name, PlyType::kFloat32, false, PlyType::kUint8});
    }
    if (source.colors || source.coloredPoints) {
        for (const char* name : {"red", "green", "blue"})
            vertex.properties.push_back({name, PlyType::kUint8, false, PlyType::kUint8});
    }
    if (source.scalars) {
        for (const PlyScalarField& field : *source.scalars)
            vertex.properties.push_back({field.name, field.type, false, PlyType::kUint8});
    }
    header.elements.push_back(std::move(vertex));
    if (source.triangles) {
        PlyElement face;
        face.name = "face";
        face.count = source.triangles->size() / 3;
        face.properties.push_back({"vertex_indices", PlyType::kUint32, true, PlyType::kUint8});
        header.elements.push_back(std::move(face));
    }
    return header;
}

// Writes values of one record into the output's buffer.
class ValueWriter {
  public:
    ValueWriter(JobOutput& output, PlyEncoding encoding)
        : output_(output),
          ascii_(encoding == PlyEncoding::kAscii),
          swap_((encoding == PlyEncoding::kBinaryLittleEndian) != kHostLittleEndian) {}

    // Starts a record of at most `values` values; false when the output failed.
    bool begin(std::size_t values) {
        start_ = output_.room(values * kMaxValueText + 1);
        p_ = start_;
        return start_ != nullptr;
    }
    void end() {
        if (ascii_) {
            if (p_ != start_) --p_;  // the blank after the last value
            *p_++ = '\n';
        }
        output_.advance(p_);
    }

    void put(double v, PlyType type) {
        if (ascii_) {
            putText(v, type);
        } else {
            putBinary(v, type);
        }
    }

  private:
    template <typename T>
    void raw(T value) {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        if (swap_) std::reverse(bytes, bytes + sizeof(T));
        std::memcpy(p_, bytes, sizeof(T));
        p_ += sizeof(T);
    }

    static double clampTo(double v, PlyType type) {
        if (std::isnan(v)) return 0.0;
        return std::clamp(std::round(v), plyTypeMin(type), plyTypeMax(type));
    }

    void putBinary(double v, PlyType type) {
        switch (type) {
            case PlyType::kInt8:
                raw(static_cast<std::int8_t>(clampTo(v, type)));
                break;
            case PlyType::kUint8:
                raw(static_cast<std::uint8_t>(clampTo(v, type)));
                break;
            case PlyType::kInt16:
                raw(static_cast<std::int16_t>(clampTo(v, type)));
                break;
            case PlyType::kUint16:
                raw(static_cast<std::uint16_t>(clampTo(v, type)));
                break;
            case PlyType::kInt32:
                raw(static_cast<std::int32_t>(clampTo(v, type)));
                break;
            case PlyType::kUint32:
                raw(static_cast<std::uint32_t>(clampTo(v, type)));
                break;
            case PlyType::kFloat32:
                raw(toFloat(v));
                break;
            case PlyType::kFloat64:
                raw(v);
                break;
        }
    }

    static float toFloat(double v) {
        const double limit = plyTypeMax(PlyType::kFloat32);
        if (std::isfinite(v) && std::fabs(v) > limit) {
            return v > 0 ? std::numeric_limits<float>::infinity()
                         : -std::numeric_limits<float>::infinity();
        }
        return static_cast<float>(v);
    }

    void putText(double v, PlyType type) {
        char* const limit = p_ + kMaxValueText - 1;
        if (plyTypeIsInteger(type)) {
            p_ = std::to_chars(p_, limit, static_cast<long long>(clampTo(v, type))).ptr;
        } else if (type == PlyType::kFloat32) {
            p_ = std::to_chars(p_, limit, toFloat(v)).ptr;
        } else {
            p_ = std::to_chars(p_, limit, v).ptr;
        }
        *p_++ = ' ';
    }

    JobOutput& output_;
    bool ascii_;
    bool swap_;
    char* start_ = nullptr;
    char* p_ = nullptr;
};

template <typename Point>
void writeBody(FileIOInfo& info, const PlySource& source, const std::vector<Point>& points) {
    const std::size_t count = points.size();
    checkSource(source, count);
    if (source.triangles && count > std::numeric_limits<std::uint32_t>::max()) {
        alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
    }
    if (info.output != nullptr && info.output->bytesWritten() > 0) {
        throw std::invalid_argument("a PLY file holds one cloud or mesh and takes no second part");
    }
    JobOutput output(info, false);
    auto fail = [&output]() {
        output.finish(true);
        alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
    };
    if (!output.open()) fail();
    const std::string headerText = formatPlyHeader(headerFor(source, count));
    if (!output.append(headerText.data(), headerText.size())) fail();

    const std::size_t triangles = source.triangles ? source.triangles->size() / 3 : 0;
    const std::size_t scalars = source.scalars ? source.scalars->size() : 0;
    const std::size_t valuesPerVertex = 3 + (source.normals ? 3 : 0) + 3 + scalars;
    WriteProgress progress(info.progress, static_cast<std::uint64_t>(count + triangles));
    ValueWriter values(output, source.encoding);
    bool aborted = false;
    for (std::size_t i = 0; i < count && !aborted; ++i) {
        if (info.abort.load(std::memory_order_relaxed)) {
            aborted = true;
            break;
        }
        if (!values.begin(valuesPerVertex)) fail();
        const Point& p = points[i];
        values.put(p[0], PlyType::kFloat64);
        values.put(p[1], PlyType::kFloat64);
        values.put(p[2], PlyType::kFloat64);
        if (source.normals) {
            const alg3D::Vec3f& n = (*source.normals)[i];
            values.put(n.x, PlyType::kFloat32);
            values.put(n.y, PlyType::kFloat32);
            values.put(n.z, PlyType::kFloat32);
        }
        if (source.coloredPoints) {
            const alg3D::GLPoint& c = (*source.coloredPoints)[i];
            values.put(c.r, PlyType::kUint8);
            values.put(c.g, PlyType::kUint8);
            values.put(c.b, PlyType::kUint8);
        } else if (source.colors) {
            const alg3D::Color& c = (*source.colors)[i];
            values.put(c.r, PlyType::kUint8);
            values.put(c.g, PlyType::kUint8);
            values.put(c.b, PlyType::kUint8);
        }
        for (std::size_t k = 0; k < scalars; ++k) {
            const PlyScalarField& field = (*source.scalars)[k];
            values.put(field.values[i], field.type);
        }
        values.end();
        progress.done(i);
    }
    for (std::size_t t = 0; t < triangles && !aborted; ++t) {
        if (info.abort.load(std::memory_order_relaxed)) {
            aborted = true;
            break;
        }
        if (!values.begin(4)) fail();
        values.put(3, PlyType::kUint8);
        for (std::size_t k = 0; k < 3; ++k) {
            values.put(static_cast<double>((*source.triangles)[3 * t + k]), PlyType::kUint32);
        }
        values.end();
        progress.done(count + t);
    }
    if (!output.finish(aborted)) alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
    info.progress.store(100);
}

}  // namespace

void writePly(FileIOInfo& info, const PlySource& source) {
    if (source.coloredPoints != nullptr && source.points == nullptr) {
        writeBody(info, source, *source.coloredPoints);
    } else if (source.points != nullptr) {
        writeBody(info, source, *source.points);
    } else {
        throw std::invalid_argument("PLY: exactly one point list is needed");
    }
}

void writeFileJob(FileIOInfo* info, const PlySource* source) {
    runFileJobFrame(info, [&] {
        if (info->type == kWritePly) writePly(*info, *source);
    });
}

PlySource plySourceOf(const PlyData& data) {
    PlySource source;
    source.points = &data.vertices;
    if (!data.colors.empty()) source.colors = &data.colors;
    if (!data.normals.empty()) source.normals = &data.normals;
    if (!data.scalars.empty()) source.scalars = &data.scalars;
    if (data.hasFaces) source.triangles = &data.triangles;
    source.comments = data.comments;
    source.objInfo = data.objInfo;
    source.encoding = data.encoding;
    return source;
}

}  // namespace io
}  // namespace tessaro
