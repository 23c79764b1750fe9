// PLY reader and writer: files built byte by byte here (independent of the writer),
// round trips through the writer for every type and encoding, and every class of bad
// input, which must end in the format error with nothing kept and nothing huge reserved.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "IoTestSupport.h"
#include "io/FileIOInfo.h"
#include "io/PlyReader.h"
#include "io/PlyWriter.h"

namespace {

using tessaro::io::PlyData;
using tessaro::io::PlyEncoding;
using tessaro::io::PlyScalarField;
using tessaro::io::PlySource;
using tessaro::io::PlyType;
using namespace io_test;

const std::string kFormatError = alg3dText("unknown file format.\n");

const char* encodingName(PlyEncoding e) {
    switch (e) {
        case PlyEncoding::kAscii:
            return "ascii";
        case PlyEncoding::kBinaryLittleEndian:
            return "binary_little_endian";
        default:
            return "binary_big_endian";
    }
}

// Appends one value of `type` to a body the way the format lays it out.
void putValue(std::string& body, double v, PlyType type, PlyEncoding e) {
    if (e == PlyEncoding::kAscii) {
        char text[64];
        if (type == PlyType::kFloat32 || type == PlyType::kFloat64) {
            std::snprintf(text, sizeof text, "%.17g ", v);
        } else {
            std::snprintf(text, sizeof text, "%lld ", static_cast<long long>(v));
        }
        body += text;
        return;
    }
    unsigned char bytes[8];
    std::size_t n = 0;
    auto copy = [&](const auto value) {
        n = sizeof value;
        std::memcpy(bytes, &value, n);
    };
    switch (type) {
        case PlyType::kInt8:
            copy(static_cast<std::int8_t>(v));
            break;
        case PlyType::kUint8:
            copy(static_cast<std::uint8_t>(v));
            break;
        case PlyType::kInt16:
            copy(static_cast<std::int16_t>(v));
            break;
        case PlyType::kUint16:
            copy(static_cast<std::uint16_t>(v));
            break;
        case PlyType::kInt32:
            copy(static_cast<std::int32_t>(v));
            break;
        case PlyType::kUint32:
            copy(static_cast<std::uint32_t>(v));
            break;
        case PlyType::kFloat32:
            copy(static_cast<float>(v));
            break;
        case PlyType::kFloat64:
            copy(v);
            break;
    }
    if (e == PlyEncoding::kBinaryBigEndian) std::reverse(bytes, bytes + n);  // tests run on LE
    body.append(reinterpret_cast<const char*>(bytes), n);
}

void endRecord(std::string& body, PlyEncoding e) {
    if (e == PlyEncoding::kAscii) body += "\n";
}

std::string header(PlyEncoding e, const std::string& declarations) {
    return std::string("ply\nformat ") + encodingName(e) + " 1.0\n" + declarations + "end_header\n";
}

struct Read {
    PlyData data;
    std::string error;
};

Read readBytes(const TempDir& dir, const std::string& bytes) {
    const std::string path = dir.file("in.ply");
    writeFile(path, bytes);
    tessaro::io::FileIOInfo info;
    info.fileName = path;
    info.type = tessaro::io::kReadPly;
    Read result;
    tessaro::io::readFileJob(&info, &result.data);
    EXPECT_EQ(info.progress.load(), 100);
    result.error = errorText(info);
    return result;
}

std::string writeSource(const std::string& path, const PlySource& source) {
    tessaro::io::FileIOInfo info;
    info.fileName = path;
    info.type = tessaro::io::kWritePly;
    tessaro::io::writeFileJob(&info, &source);
    EXPECT_EQ(info.progress.load(), 100);
    return errorText(info);
}

constexpr PlyEncoding kEncodings[] = {PlyEncoding::kAscii, PlyEncoding::kBinaryLittleEndian,
                                      PlyEncoding::kBinaryBigEndian};

// Values every type holds exactly, its extremes among them.
std::vector<double> valuesOf(PlyType type) {
    const double lo = tessaro::io::plyTypeMin(type), hi = tessaro::io::plyTypeMax(type);
    switch (type) {
        case PlyType::kFloat32:
            return {0.0, static_cast<double>(0.1f), -3.5, static_cast<double>(1e30f),
                    static_cast<double>(std::numeric_limits<float>::denorm_min())};
        case PlyType::kFloat64:
            return {0.0, 0.1, -1.0 / 3.0, 1e300, std::numeric_limits<double>::denorm_min()};
        default:
            return {0.0, lo, hi, 1.0, std::floor((lo + hi) / 3.0)};
    }
}

TEST(PlyReader, ReadsEveryScalarTypeInEveryEncoding) {
    TempDir dir;
    for (PlyEncoding e : kEncodings) {
        for (PlyType type : tessaro::io::kAllPlyTypes) {
            SCOPED_TRACE(std::string(encodingName(e)) + " " + tessaro::io::plyTypeName(type));
            const std::string t = tessaro::io::plyTypeName(type);
            std::string bytes =
                header(e, "element vertex 5\nproperty " + t + " x\nproperty " + t +
                              " y\nproperty " + t + " z\nproperty " + t + " value\n");
            const std::vector<double> values = valuesOf(type);
            for (double v : values) {
                for (int k = 0; k < 4; ++k)
                    putValue(bytes, v, type, e);
                endRecord(bytes, e);
            }
            const Read r = readBytes(dir, bytes);
            ASSERT_EQ(r.error, "");
            ASSERT_EQ(r.data.vertices.size(), values.size());
            ASSERT_EQ(r.data.scalars.size(), 1u);
            EXPECT_EQ(r.data.scalars[0].name, "value");
            EXPECT_EQ(r.data.scalars[0].type, type);
            EXPECT_EQ(r.data.encoding, e);
            for (std::size_t i = 0; i < values.size(); ++i) {
                EXPECT_EQ(r.data.vertices[i], alg3D::Vec3d(values[i], values[i], values[i]));
                EXPECT_EQ(r.data.scalars[0].values[i], values[i]);
            }
            EXPECT_TRUE(r.data.normals.empty());
            EXPECT_TRUE(r.data.colors.empty());
            EXPECT_FALSE(r.data.hasFaces);
        }
    }
}

PlyData richCloud() {
    PlyData data;
    data.vertices = {{1.0 / 3.0, -2e-7, 123456789.125},
                     {0, 0, 0},
                     {-1e10, 5.5, 1e-300},
                     {0.1, 0.2, 0.3},
                     {7, 8, 9}};
    data.normals = {{0, 0, 1}, {1, 0, 0}, {0.6f, 0.8f, 0}, {0, -1, 0}, {0.1f, 0.2f, 0.3f}};
    data.colors = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {1, 2, 3}, {128, 64, 32}};
    for (PlyType type : tessaro::io::kAllPlyTypes) {
        data.scalars.push_back(
            {std::string("v_") + tessaro::io::plyTypeName(type), type, valuesOf(type)});
    }
    data.comments = {tessaro::io::kPlyCommentText, "scanner: line 7", "unit mm"};
    data.objInfo = {"session 42"};
    return data;
}

void expectSame(const PlyData& a, const PlyData& b) {
    EXPECT_EQ(a.vertices, b.vertices);
    EXPECT_EQ(a.normals, b.normals);
    EXPECT_EQ(a.colors, b.colors);
    ASSERT_EQ(a.scalars.size(), b.scalars.size());
    for (std::size_t i = 0; i < a.scalars.size(); ++i) {
        EXPECT_EQ(a.scalars[i].name, b.scalars[i].name);
        EXPECT_EQ(a.scalars[i].type, b.scalars[i].type);
        EXPECT_EQ(a.scalars[i].values, b.scalars[i].values) << a.scalars[i].name;
    }
    EXPECT_EQ(a.hasFaces, b.hasFaces);
    EXPECT_EQ(a.triangles, b.triangles);
    EXPECT_EQ(a.comments, b.comments);
    EXPECT_EQ(a.objInfo, b.objInfo);
}

TEST(PlyWriter, CloudRoundTripsWithEveryTypeAndByteOrder) {
    TempDir dir;
    const PlyData original = richCloud();
    for (PlyEncoding e : kEncodings) {
        SCOPED_TRACE(encodingName(e));
        PlySource source = tessaro::io::plySourceOf(original);
        source.encoding = e;
        const std::string path = dir.file("out.ply");
        ASSERT_EQ(writeSource(path, source), "");
        const PlyData back = tessaro::io::readPlyFile(path);
        EXPECT_EQ(back.encoding, e);
        expectSame(back, original);
    }
}

TEST(PlyWriter, WritesTheDocumentedAsciiLayout) {
    TempDir dir;
    const std::vector<alg3D::GLPoint> points = {
        {alg3D::Vec3d(0.5, -1, 2), alg3D::Color(1, 2, 3)},
        {alg3D::Vec3d(0.1, 0, 1e20), alg3D::Color(255, 0, 7)}};
    PlySource source;
    source.coloredPoints = &points;
    source.encoding = PlyEncoding::kAscii;
    const std::string path = dir.file("c.ply");
    ASSERT_EQ(writeSource(path, source), "");
    EXPECT_EQ(readFile(path),
              "ply\nformat ascii 1.0\ncomment created with Stelvane Tessaro\nelement vertex 2\n"
              "property double x\nproperty double y\nproperty double z\nproperty uchar red\n"
              "property uchar green\nproperty uchar blue\nend_header\n"
              "0.5 -1 2 1 2 3\n0.1 0 1e+20 255 0 7\n");
}

TEST(PlyWriter, MeshWithSharedVerticesKeepsItsIndicesInEveryEncoding) {
    TempDir dir;
    PlyData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    mesh.hasFaces = true;
    mesh.triangles = {0, 1, 2, 0, 2, 3};  // the diagonal 0-2 is shared
    for (PlyEncoding e : kEncodings) {
        mesh.encoding = e;
        const std::string path = dir.file("m.ply");
        ASSERT_EQ(writeSource(path, tessaro::io::plySourceOf(mesh)), "");
        const PlyData back = tessaro::io::readPlyFile(path);
        EXPECT_EQ(back.vertices, mesh.vertices);
        EXPECT_TRUE(back.hasFaces);
        EXPECT_EQ(back.triangles, mesh.triangles);
    }
    // The binary layout: uchar count 3 and three little-endian uint indices per face.
    mesh.encoding = PlyEncoding::kBinaryLittleEndian;
    const std::string path = dir.file("m.ply");
    ASSERT_EQ(writeSource(path, tessaro::io::plySourceOf(mesh)), "");
    const std::string bytes = readFile(path);
    const std::string lastFace = bytes.substr(bytes.size() - 13);
    EXPECT_EQ(lastFace, std::string("\x03\0\0\0\0\x02\0\0\0\x03\0\0\0", 13));
}

TEST(PlyReader, FansPolygonsAndSkipsOtherFaceProperties) {
    TempDir dir;
    const Read r = readBytes(dir, header(PlyEncoding::kAscii,
                                         "element vertex 6\nproperty float x\nproperty float y\n"
                                         "property float z\nelement face 3\nproperty uchar flags\n"
                                         "property list uchar int vertex_index\n"
                                         "property list uchar float texcoord\n") +
                                      "0 0 0\n1 0 0\n1 1 0\n0 1 0\n2 0 0\n2 1 0\n"
                                      "9 4 0 1 2 3 0\n"
                                      "9 5 1 4 5 2 3 2 0.5 0.5\n"
                                      "9 2 0 1 0\n");
    ASSERT_EQ(r.error, "");
    EXPECT_TRUE(r.data.hasFaces);
    // Quad 0 1 2 3 -> (0 1 2)(0 2 3); pentagon 1 4 5 2 3 -> (1 4 5)(1 5 2)(1 2 3); the
    // two-corner face gives none.
    EXPECT_EQ(r.data.triangles,
              (std::vector<std::uint64_t>{0, 1, 2, 0, 2, 3, 1, 4, 5, 1, 5, 2, 1, 2, 3}));
}

TEST(PlyReader, KeepsExtraPropertiesCommentsAndFloatColours) {
    TempDir dir;
    const Read r = readBytes(
        dir,
        "ply\r\nformat ascii 1.0\r\ncomment first comment\r\nobj_info made by hand\r\n"
        "element vertex 2\r\nproperty double x\r\nproperty double y\r\nproperty double z\r\n"
        "property float diffuse_red\r\nproperty float diffuse_green\r\n"
        "property float diffuse_blue\r\ncomment between properties\r\n"
        "property ushort intensity\r\nproperty list uchar int neighbours\r\n"
        "property float nx\r\nproperty float ny\r\nelement camera 1\r\nproperty float fov\r\n"
        "end_header\r\n"
        "1.5 2.5 3.5 1 0.5 0 1000 2 7 8 0.25 0.5\r\n"
        "-1 -2 -3 0 0.2 1.0 65535 0 1 0\r\n60\r\n");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.data.vertices, (std::vector<alg3D::Vec3d>{{1.5, 2.5, 3.5}, {-1, -2, -3}}));
    EXPECT_EQ(r.data.colors, (std::vector<alg3D::Color>{{255, 128, 0}, {0, 51, 255}}));
    EXPECT_TRUE(r.data.normals.empty());  // nz is missing: nx and ny stay per-point values
    ASSERT_EQ(r.data.scalars.size(), 3u);
    EXPECT_EQ(r.data.scalars[0].name, "intensity");
    EXPECT_EQ(r.data.scalars[0].values, (std::vector<double>{1000, 65535}));
    EXPECT_EQ(r.data.scalars[1].name, "nx");
    EXPECT_EQ(r.data.scalars[2].values, (std::vector<double>{0.5, 0.0}));
    EXPECT_EQ(r.data.comments, (std::vector<std::string>{"first comment", "between properties"}));
    EXPECT_EQ(r.data.objInfo, std::vector<std::string>{"made by hand"});
}

TEST(PlyReader, ReadsTheSeedFiles) {
    const std::string folder = std::string(TESSARO_TESTDATA_DIR) + "/ply/";
    const PlyData a = tessaro::io::readPlyFile(folder + "cloud_ascii.ply");
    EXPECT_EQ(a.vertices.size(), 4u);
    EXPECT_EQ(a.normals.size(), 4u);
    ASSERT_EQ(a.scalars.size(), 1u);
    EXPECT_EQ(a.scalars[0].values, (std::vector<double>{10, 20, 30, 40}));
    const PlyData b = tessaro::io::readPlyFile(folder + "cloud_colors_le.ply");
    EXPECT_EQ(b.vertices[2], alg3D::Vec3d(1e3, 2e3, 3e3));
    EXPECT_EQ(b.colors[1], alg3D::Color(0, 255, 0));
    const PlyData c = tessaro::io::readPlyFile(folder + "mesh_be.ply");
    EXPECT_EQ(c.vertices[2], alg3D::Vec3d(1, 1, 0));
    EXPECT_EQ(c.triangles, (std::vector<std::uint64_t>{0, 1, 2, 0, 2, 3}));
    const PlyData d = tessaro::io::readPlyFile(folder + "mesh_polygons_ascii.ply");
    EXPECT_EQ(d.triangles.size(), 3u * 5u);
}

struct BadCase {
    const char* name;
    std::string bytes;
};

const std::string kXyz = "element vertex 1\nproperty float x\nproperty float y\nproperty float z\n";

std::string floats(std::initializer_list<float> values,
                   PlyEncoding e = PlyEncoding::kBinaryLittleEndian) {
    std::string body;
    for (float v : values)
        putValue(body, v, PlyType::kFloat32, e);
    return body;
}

std::vector<BadCase> badHeaders() {
    const PlyEncoding a = PlyEncoding::kAscii;
    return {
        {"empty file", ""},
        {"not ply", "plx\nformat ascii 1.0\n" + kXyz + "end_header\n0 0 0\n"},
        {"no end_header", "ply\nformat ascii 1.0\n" + kXyz},
        {"no format", "ply\n" + kXyz + "end_header\n0 0 0\n"},
        {"two formats", "ply\nformat ascii 1.0\nformat ascii 1.0\n" + kXyz + "end_header\n0 0 0\n"},
        {"unknown encoding", "ply\nformat binary 1.0\n" + kXyz + "end_header\n"},
        {"version 2.0", "ply\nformat ascii 2.0\n" + kXyz + "end_header\n0 0 0\n"},
        {"unknown keyword", header(a, kXyz + "texture file.png\n") + "0 0 0\n"},
        {"property before element", header(a, "property float w\n" + kXyz) + "0 0 0 0\n"},
        {"unknown type", header(a, kXyz + "property float128 w\n") + "0 0 0 0\n"},
        {"list of float count", header(a, kXyz + "property list float int w\n") + "0 0 0 0\n"},
        {"property without a name", header(a, kXyz + "property float\n") + "0 0 0\n"},
        {"repeated property", header(a, kXyz + "property float x\n") + "0 0 0 0\n"},
        {"repeated element", header(a, kXyz + kXyz) + "0 0 0\n0 0 0\n"},
        {"negative count", header(a,
                                  "element vertex -1\nproperty float x\nproperty float y\n"
                                  "property float z\n")},
        {"count not a number", header(a,
                                      "element vertex 1e3\nproperty float x\nproperty float y\n"
                                      "property float z\n")},
        {"count beyond 64 bits", header(a,
                                        "element vertex 99999999999999999999\nproperty float x\n"
                                        "property float y\nproperty float z\n")},
        {"element without properties", header(a, kXyz + "element extra 5\n") + "0 0 0\n"},
        {"NUL in header", std::string("ply\nformat ascii 1.0\ncomment a\0b\n",
                                      sizeof("ply\nformat ascii 1.0\ncomment a\0b\n") - 1) +
                              kXyz + "end_header\n0 0 0\n"},
        {"no vertex element", header(a, "element point 1\nproperty float x\n") + "1\n"},
        {"vertex without z",
         header(a, "element vertex 1\nproperty float x\nproperty float y\n") + "0 0\n"},
        {"float vertex indices", header(a, kXyz + "element face 1\nproperty list uchar float "
                                                  "vertex_indices\n") +
                                     "0 0 0\n3 0 0 0\n"},
    };
}

std::vector<BadCase> badBodies() {
    const PlyEncoding a = PlyEncoding::kAscii, le = PlyEncoding::kBinaryLittleEndian;
    const std::string face = "element face 1\nproperty list uchar int vertex_indices\n";
    auto faceRecord = [](std::initializer_list<double> values, PlyType countType, PlyType type) {
        std::string body;
        bool first = true;
        for (double v : values) {
            putValue(body, v, first ? countType : type, PlyEncoding::kBinaryLittleEndian);
            first = false;
        }
        return body;
    };
    return {
        {"binary body one byte short", header(le, kXyz) + floats({1, 2, 3}).substr(0, 11)},
        {"binary list cut off", header(le, kXyz + face) + floats({1, 2, 3}) +
                                    faceRecord({3, 0, 0}, PlyType::kUint8, PlyType::kInt32)},
        {"list count beyond the file",
         header(le, kXyz + "element face 1\nproperty list uint int vertex_indices\n") +
             floats({1, 2, 3}) +
             faceRecord({4294967295.0, 0, 0, 0}, PlyType::kUint32, PlyType::kInt32)},
        {"negative list count",
         header(le, kXyz + "element face 1\nproperty list char int vertex_indices\n") +
             floats({1, 2, 3}) + faceRecord({-1, 0, 0, 0}, PlyType::kInt8, PlyType::kInt32)},
        {"index beyond the vertices",
         header(le, kXyz + face) + floats({1, 2, 3}) +
             faceRecord({3, 0, 0, 1}, PlyType::kUint8, PlyType::kInt32)},
        {"negative index", header(a, kXyz + face) + "1 2 3\n3 0 -1 0\n"},
        {"ascii value missing", header(a, kXyz) + "1 2\n"},
        {"ascii list cut off", header(a, kXyz + face) + "1 2 3\n3 0 0\n"},
        {"ascii letters", header(a, kXyz) + "1 two 3\n"},
        {"ascii fraction for an integer", header(a, kXyz + "property uchar w\n") + "1 2 3 1.5\n"},
        {"ascii value beyond its type", header(a, kXyz + "property uchar w\n") + "1 2 3 256\n"},
        {"ascii float beyond float", header(a, kXyz) + "1 2 1e39\n"},
        {"ascii endless token", header(a, kXyz) + "1 2 " + std::string(100000, '7') + "\n"},
        {"non-finite coordinate", header(a, kXyz) + "1 nan 3\n"},
        {"binary infinite coordinate",
         header(le, kXyz) + floats({1, std::numeric_limits<float>::infinity(), 3})},
        {"huge vertex count", header(le,
                                     "element vertex 4000000000000000000\nproperty float x\n"
                                     "property float y\nproperty float z\n") +
                                  floats({1, 2, 3})},
        {"huge face count", header(le, kXyz + "element face 1000000000000\nproperty list uchar "
                                              "int vertex_indices\n") +
                                floats({1, 2, 3}) +
                                faceRecord({3, 0, 0, 0}, PlyType::kUint8, PlyType::kInt32)},
        {"huge ascii count", header(a,
                                    "element vertex 100000000\nproperty float x\n"
                                    "property float y\nproperty float z\n") +
                                 "1 2 3\n"},
    };
}

TEST(PlyReader, RefusesEveryMalformedHeaderAndBody) {
    TempDir dir;
    std::vector<BadCase> cases = badHeaders();
    for (BadCase& c : badBodies())
        cases.push_back(std::move(c));
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Read r = readBytes(dir, c.bytes);
        EXPECT_EQ(r.error, kFormatError);
        EXPECT_TRUE(r.data.vertices.empty());
        EXPECT_TRUE(r.data.triangles.empty());
        EXPECT_TRUE(r.data.scalars.empty());
        EXPECT_EQ(r.data.vertices.capacity(), 0u);
    }
}

TEST(PlyReader, EveryTruncationOfAValidFileFailsCleanly) {
    TempDir dir;
    PlyData mesh;
    mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    mesh.hasFaces = true;
    mesh.triangles = {0, 1, 2};
    for (PlyEncoding e : {PlyEncoding::kBinaryLittleEndian, PlyEncoding::kBinaryBigEndian}) {
        mesh.encoding = e;
        const std::string path = dir.file("whole.ply");
        ASSERT_EQ(writeSource(path, tessaro::io::plySourceOf(mesh)), "");
        const std::string bytes = readFile(path);
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            const Read r = readBytes(dir, bytes.substr(0, length));
            EXPECT_EQ(r.error, kFormatError) << "length " << length;
        }
    }
}

TEST(PlyReader, UnknownAndMissingFiles) {
    TempDir dir;
    tessaro::io::FileIOInfo info;
    info.fileName = dir.file("missing.ply");
    info.type = tessaro::io::kReadPly;
    PlyData data;
    tessaro::io::readFileJob(&info, &data);
    EXPECT_EQ(errorText(info), alg3dText("can not open file.\n"));
    EXPECT_EQ(tessaro::io::fileTypeForName("Scan.PLY"), tessaro::io::kReadPly);
}

TEST(PlyReader, AbortReturnsWhatWasRead) {
    TempDir dir;
    const std::string path = dir.file("a.ply");
    writeFile(path, header(PlyEncoding::kAscii, kXyz) + "1 2 3\n");
    tessaro::io::FileIOInfo info;
    info.fileName = path;
    info.abort = true;
    PlyData data;
    tessaro::io::readPly(info, data);
    EXPECT_TRUE(data.vertices.empty());
    EXPECT_EQ(info.progress.load(), 100);
}

TEST(PlyWriter, FailedOrAbortedWritesKeepTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("keep.ply");
    writeFile(path, "old");
    const std::vector<alg3D::Vec3d> points(1000, alg3D::Vec3d(1, 2, 3));
    const std::vector<std::uint64_t> badTriangles = {0, 1, 1000};
    PlySource source;
    source.points = &points;
    source.triangles = &badTriangles;
    EXPECT_NE(writeSource(path, source), "");  // index beyond the points
    const std::vector<alg3D::Color> shortColors(3);
    source.triangles = nullptr;
    source.colors = &shortColors;
    EXPECT_NE(writeSource(path, source), "");
    EXPECT_EQ(readFile(path), "old");

    source.colors = nullptr;
    tessaro::io::FileIOInfo info;
    info.fileName = path;
    info.abort = true;
    tessaro::io::writePly(info, source);
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"keep.ply"});
    EXPECT_EQ(writeSource(dir.file("no/such/folder/x.ply"), source),
              alg3dText("can not write destination file.\n"));
}

}  // namespace
