#include "commands/HullCommand.h"

#include <chrono>
#include <cstdio>

#include "alg3D/approximate/ConvexHull.h"
#include "alg3D/matrix/TimeMeasurement.h"

namespace tessaro {
namespace commands {

namespace {

template <class Point>
HullResult hullOf(const std::vector<Point>& points, const std::string& cloudName,
                  const alg3D::Color& cloudColor, const std::atomic<bool>* abort) {
    HullResult r;
    const auto start = std::chrono::steady_clock::now();
    {
        alg3D::TimeMeasurement watch(kHullTimerName);
        // The text goes back to the caller, which prints it (the command-line tool's JSON
        // must not be interrupted by a report line).
        watch.setReport(false);
        alg3D::approximate::ConvexHull hull;
        std::vector<alg3D::Vec3d> storage;
        alg3D::approximate::buildConvexHull(hull, points.data(), points.data() + points.size(),
                                            kHullTolerance, storage, abort);
        if (abort && abort->load()) {
            HullResult aborted;
            aborted.aborted = true;
            return aborted;
        }
        r.duration = watch.elapsedText();
        hull.extract(r.vertices, r.indices, false);
        r.console =
            r.duration + "\n" + kHullTimerName + " finished in " + watch.elapsedText() + "\n";
    }
    r.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    r.name = cloudName + "_hull";
    r.color = alg3D::Color(static_cast<unsigned char>(cloudColor.r * 0.5),
                           static_cast<unsigned char>(cloudColor.g * 0.5),
                           static_cast<unsigned char>(cloudColor.b * 0.5));
    return r;
}

}  // namespace

std::string HullResult::infoText() const {
    return "triangles:\t" + std::to_string(triangleCount()) + "      \n" + "vertices:\t" +
           std::to_string(vertices.size()) + "\n" + "duration:\t" + duration;
}

std::vector<alg3D::Vec3d> HullResult::triangleSoup() const {
    std::vector<alg3D::Vec3d> soup;
    soup.reserve(indices.size());
    for (const std::uint64_t i : indices)
        soup.push_back(vertices[i]);
    return soup;
}

HullResult runHullCommand(const std::vector<alg3D::Vec3d>& points, const std::string& cloudName,
                          const alg3D::Color& cloudColor, const std::atomic<bool>* abort) {
    return hullOf(points, cloudName, cloudColor, abort);
}

HullResult runHullCommand(const std::vector<alg3D::GLPoint>& points, const std::string& cloudName,
                          const alg3D::Color& cloudColor, const std::atomic<bool>* abort) {
    return hullOf(points, cloudName, cloudColor, abort);
}

}  // namespace commands
}  // namespace tessaro
