#include "io/StlWriter.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "alg3D/matrix/Alg3dException.h"
#include "io/BinaryFile.h"
#include "io/JobOutput.h"
#include "io/StlFormat.h"

namespace tessaro {
namespace io {

const char kStlHeaderText[] = "created with Stelvane by Halvorsk";

namespace {

template <typename Point>
void writeTriangles(FileIOInfo& info, const std::vector<Point>& points) {
    const std::uint64_t triangles = points.size() / 3;
    if (triangles > std::numeric_limits<std::uint32_t>::max()) {
        alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
    }
    if (info.output != nullptr && info.output->bytesWritten() > 0) {
        throw std::invalid_argument("a binary STL file holds one mesh and takes no second part");
    }
    JobOutput output(info, false);
    auto fail = [&output]() {
        output.finish(true);
        alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
    };
    if (!output.open()) fail();

    unsigned char preamble[kStlPreambleSize] = {};
    std::memcpy(preamble, kStlHeaderText, sizeof kStlHeaderText - 1);
    storeU32le(preamble + kStlHeaderSize, static_cast<std::uint32_t>(triangles));
    if (!output.append(preamble, sizeof preamble)) fail();

    WriteProgress progress(info.progress, triangles);
    bool aborted = false;
    for (std::uint64_t t = 0; t < triangles; ++t) {
        if (info.abort.load(std::memory_order_relaxed)) {
            aborted = true;
            break;
        }
        const alg3D::Vec3d a = alg3D::coords(points[3 * t]);
        const alg3D::Vec3d b = alg3D::coords(points[3 * t + 1]);
        const alg3D::Vec3d c = alg3D::coords(points[3 * t + 2]);
        alg3D::Vec3d n = (b - a).cross(c - b);
        const double squared = n.squaredNorm();
        if (squared > 0) {
            n = n / std::sqrt(squared);
        } else {
            n = alg3D::Vec3d();
        }
        char* p = output.room(kStlTriangleSize);
        if (p == nullptr) fail();
        unsigned char* q = reinterpret_cast<unsigned char*>(p);
        const alg3D::Vec3d* const vectors[4] = {&n, &a, &b, &c};
        for (const alg3D::Vec3d* v : vectors) {
            storeF32le(q, static_cast<float>(v->x));
            storeF32le(q + 4, static_cast<float>(v->y));
            storeF32le(q + 8, static_cast<float>(v->z));
            q += 12;
        }
        q[0] = q[1] = 0;
        output.advance(p + kStlTriangleSize);
        progress.done(t);
    }
    if (!output.finish(aborted)) alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
    info.progress.store(100);
}

}  // namespace

void writeStl(FileIOInfo& info, const std::vector<alg3D::Vec3d>& points) {
    writeTriangles(info, points);
}

void writeStl(FileIOInfo& info, const std::vector<alg3D::GLPoint>& points) {
    writeTriangles(info, points);
}

}  // namespace io
}  // namespace tessaro
