#include "commands/FitResultFile.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "alg3D/matrix/Alg3dException.h"

namespace tessaro {
namespace commands {
namespace {

using nlohmann::json;

bool finiteNumber(const json& v) {
    return v.is_number() && std::isfinite(v.get<double>());
}

bool readVector(const json& v, alg3D::Vec3d& out) {
    if (!v.is_array() || v.size() != 3) return false;
    for (std::size_t k = 0; k < 3; ++k) {
        if (!finiteNumber(v[k])) return false;
        out[k] = v[k].get<double>();
    }
    return true;
}

[[noreturn]] void invalidParameter(const std::string& key) {
    throw std::runtime_error("missing or invalid parameter \"" + key + "\"");
}

}  // namespace

FitResultFile parseFitResult(const std::string& text) {
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception&) {
        throw std::runtime_error("not a fit result (invalid JSON)");
    }
    if (!j.is_object() || !j.contains("shape") || !j["shape"].is_string())
        throw std::runtime_error("not a fit result (no \"shape\")");
    FitResultFile result;
    result.shapeName = j["shape"].get<std::string>();
    result.shape = fitShapeFromName(result.shapeName);
    if (!result.shape) return result;
    if (!j.contains("parameters") || !j["parameters"].is_object())
        throw std::runtime_error("not a fit result (no \"parameters\")");
    const json& p = j["parameters"];
    FitGeometry& g = result.geometry;
    // The keys fitParameters() writes, shape by shape.
    for (const FitParameter& parameter : fitParameters(*result.shape, {})) {
        const std::string& k = parameter.key;
        if (!p.contains(k)) invalidParameter(k);
        const json& v = p[k];
        if (parameter.isVector) {
            alg3D::Vec3d vector;
            if (!readVector(v, vector)) invalidParameter(k);
            if (k == "point" || k == "center") {
                g.point = vector;
            } else {
                g.direction = vector;
            }
            continue;
        }
        if (!finiteNumber(v)) invalidParameter(k);
        const double x = v.get<double>();
        if (k == "radius" || k == "a" || k == "r1") {
            g.radius = x;
        } else if (k == "b" || k == "r2") {
            g.radius2 = x;
        } else if (k == "angle") {
            g.angle = x;
        } else if (k == "factor") {
            g.factor = x;
        } else if (k == "d") {
            g.d = x;
        }
    }
    if (g.direction.norm() == 0.0 && *result.shape != FitShape::kSphere)
        throw std::runtime_error("the direction of the primitive is the zero vector");
    if (j.contains("bottom") || j.contains("height")) {
        if (!j.contains("bottom") || !j.contains("height") ||
            !readVector(j["bottom"], result.bottom) || !finiteNumber(j["height"]) ||
            j["height"].get<double>() < 0)
            throw std::runtime_error("invalid \"bottom\" or \"height\"");
        result.height = j["height"].get<double>();
        result.hasExtent = true;
    }
    return result;
}

FitResultFile readFitResultFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) alg3D::throwAlg3dException(alg3D::errors::kCanNotOpenFile);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parseFitResult(text);
}

}  // namespace commands
}  // namespace tessaro
