// Forward declarations of the nine fit objects, for headers that only pass them on.
#pragma once

namespace alg3D {
namespace approximate {
class FitObjLine3D;
class FitObjPlane;
class FitObjCircle3D;
class FitObjEllipse3D;
class FitObjSuperEllipse3D;
class FitObjSphere;
class FitObjCylinder;
class FitObjCone;
class FitObjTorus;
}  // namespace approximate
}  // namespace alg3D
