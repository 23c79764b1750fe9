#include "OpenGL/GLPrimitiveFactory.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "OpenGL/GLObjFlatPrimitives.h"
#include "OpenGL/GLObjSolidPrimitives.h"

using alg3D::Vec3d;
using tessaro::commands::FitGeometry;
using tessaro::commands::FitShape;

namespace {

// Extent of an axis when none is known: centred on the point.
void defaultExtent(const FitGeometry& g, double length, Vec3d& start, double& height) {
    height = length;
    start = g.point - g.direction.normalized() * (length / 2);
}

}  // namespace

std::unique_ptr<GLObjPrimitive> makePrimitiveObject(FitShape shape, const FitGeometry& g,
                                                    const PrimitiveExtent& extent) {
    Vec3d start = extent.start;
    double length = extent.length;
    switch (shape) {
        case FitShape::kLine: {
            if (!extent.known) defaultExtent(g, 1.0, start, length);
            auto line = std::make_unique<GLObjLine>();
            line->setLine(start, g.direction, length);
            return line;
        }
        case FitShape::kPlane: {
            auto plane = std::make_unique<GLObjPlane>();
            plane->setPlane(g.point, g.direction, extent.planeSize);
            return plane;
        }
        case FitShape::kCircle: {
            auto circle = std::make_unique<GLObjCircle>();
            circle->setCircle(g.point, g.direction, g.radius);
            return circle;
        }
        case FitShape::kEllipse: {
            auto ellipse = std::make_unique<GLObjEllipse>();
            ellipse->setEllipse(g.point, g.direction, g.radius, g.radius2, g.angle);
            return ellipse;
        }
        case FitShape::kSuperEllipse: {
            auto superEllipse = std::make_unique<GLObjSuperEllipse>();
            superEllipse->setSuperEllipse(g.point, g.direction, g.radius, g.radius2, g.angle,
                                          g.factor);
            return superEllipse;
        }
        case FitShape::kSphere: {
            auto sphere = std::make_unique<GLObjSphere>();
            sphere->setSphere(g.point, g.radius);
            return sphere;
        }
        case FitShape::kCylinder: {
            if (!extent.known) defaultExtent(g, g.radius > 0 ? 2 * g.radius : 1.0, start, length);
            auto cylinder = std::make_unique<GLObjCylinder>();
            cylinder->setCylinder(g.point, g.direction, g.radius, start, length);
            return cylinder;
        }
        case FitShape::kCone: {
            const double r = std::abs(g.radius);
            if (!extent.known) defaultExtent(g, r > 0 ? 2 * r : 1.0, start, length);
            auto cone = std::make_unique<GLObjCone>();
            cone->setCone(g.angle, g.radius, g.point, g.direction, start, length);
            return cone;
        }
        case FitShape::kTorus: {
            auto torus = std::make_unique<GLObjTorus>();
            torus->setTorus(g.point, g.direction, g.radius, g.radius2);
            return torus;
        }
    }
    return nullptr;
}

std::unique_ptr<GLObjPrimitive> makePrimitiveObject(const tessaro::commands::FitResult& result,
                                                    const Vec3d* begin, const Vec3d* end) {
    PrimitiveExtent extent;
    extent.known = result.shape == FitShape::kLine || result.shape == FitShape::kCylinder ||
                   result.shape == FitShape::kCone;
    extent.start = result.extentStart;
    extent.length = result.extentLength;
    if (result.shape == FitShape::kPlane && result.planeRadius > 0) {
        extent.planeSize = 2 * result.planeRadius;
    } else if (result.shape == FitShape::kPlane && begin != end) {
        const Vec3d& c = result.geometry.point;
        const Vec3d n = result.geometry.direction.normalized();
        double largest = 0;
        for (const Vec3d* p = begin; p != end; ++p) {
            const Vec3d v = *p - c;
            largest = std::max(largest, (v - n * v.dot(n)).norm());
        }
        if (largest > 0) extent.planeSize = 2 * largest;
    }
    return makePrimitiveObject(result.shape, result.geometry, extent);
}

std::unique_ptr<GLObjPrimitive> makePrimitiveObject(const tessaro::commands::FitResultFile& file) {
    if (!file.shape) throw std::runtime_error("unknown shape \"" + file.shapeName + "\"");
    PrimitiveExtent extent;
    extent.known = file.hasExtent;
    extent.start = file.bottom;
    extent.length = file.height;
    return makePrimitiveObject(*file.shape, file.geometry, extent);
}

std::unique_ptr<GLObjPrimitive> loadPrimitiveObject(const std::string& fileName) {
    return makePrimitiveObject(tessaro::commands::readFitResultFile(fileName));
}

bool primitiveGeometryOf(const GLBaseObject& object, FitShape& shape, FitGeometry& g) {
    g = FitGeometry();
    if (const auto* line = dynamic_cast<const GLObjLine*>(&object)) {
        shape = FitShape::kLine;
        g.point = line->point();
        g.direction = line->direction();
    } else if (const auto* plane = dynamic_cast<const GLObjPlane*>(&object)) {
        shape = FitShape::kPlane;
        g.point = plane->center();
        g.direction = plane->normal();
        g.d = -g.direction.dot(g.point);
    } else if (const auto* circle = dynamic_cast<const GLObjCircle*>(&object)) {
        shape = FitShape::kCircle;
        g.point = circle->center();
        g.direction = circle->normal();
        g.radius = circle->radius();
    } else if (const auto* ellipse = dynamic_cast<const GLObjEllipse*>(&object)) {
        const auto* superEllipse = dynamic_cast<const GLObjSuperEllipse*>(&object);
        shape = superEllipse ? FitShape::kSuperEllipse : FitShape::kEllipse;
        g.point = ellipse->center();
        g.direction = ellipse->normal();
        g.radius = ellipse->a();
        g.radius2 = ellipse->b();
        g.angle = ellipse->angle();
        if (superEllipse) g.factor = superEllipse->eps();
    } else if (const auto* sphere = dynamic_cast<const GLObjSphere*>(&object)) {
        shape = FitShape::kSphere;
        g.point = sphere->center();
        g.radius = sphere->radius();
    } else if (const auto* cylinder = dynamic_cast<const GLObjCylinder*>(&object)) {
        shape = FitShape::kCylinder;
        g.point = cylinder->center();
        g.direction = cylinder->axis();
        g.radius = cylinder->radius();
    } else if (const auto* cone = dynamic_cast<const GLObjCone*>(&object)) {
        shape = FitShape::kCone;
        g.point = cone->center();
        g.direction = cone->axis();
        g.radius = cone->radius();
        g.angle = cone->psi();
    } else if (const auto* torus = dynamic_cast<const GLObjTorus*>(&object)) {
        shape = FitShape::kTorus;
        g.point = torus->center();
        g.direction = torus->axis();
        g.radius = torus->r1();
        g.radius2 = torus->r2();
    } else {
        return false;
    }
    return true;
}
