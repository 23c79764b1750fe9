// The registration command without its dialogs: moves a data cloud (or the corners of a
// data mesh) onto a reference cloud or STL mesh by ICP on a worker thread, then applies
// the transform to the data. The GUI's registration panel and `tessaro-cli register`
// both call runRegisterCommand.
//
// A run: refuses two meshes ("STL meshes can not be registered to eachother!"; data with
// fewer than 3 points or a reference without points end with code 3); builds the
// reference's k-d tree (points or triangle proxies); optional centre pre-alignment (onto
// the mean of the reference's points, for a mesh of its vertices each taken once); the
// registration through the job runner (Chebyshev, mesh Gauss, point Gauss or
// point-to-plane, whose reference normals come from the mesh's faces, from the caller or
// from the k nearest reference points, each computed when a pair first needs it); the transform
// applied to every data point; the statistics text and the transform text. While the run goes on,
// an optional live callback receives the last accepted transform on the calling thread (from the
// poll loop, before the poll callback), and once more with the final transform after the worker was
// joined, so a window can show the data moving. Errors: the texts above, kRegistrationMethods for
// Chebyshev with point-to-plane, kNormalsNeighbours for fewer than 3 normal neighbours, the tree's
// build errors, the registration's own ("geometry approximation failed.\n" of a failed Chebyshev
// step). An abort applies the last accepted transform and returns kAborted. Cost: the tree O(n_ref
// log n_ref), each iteration O(m log n_ref) (m sampled points).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "alg3D/algorithm/IcpRegistration.h"
#include "alg3D/algorithm/RegisterPointToPlane.h"
#include "commands/DistancesCommand.h"
#include "commands/FileCommands.h"
#include "commands/JobRunner.h"

namespace tessaro {
namespace commands {

inline constexpr const char* kMeshesCanNotBeRegistered =
    "STL meshes can not be registered to eachother!";
inline constexpr const char* kRegistrationTitle = "Registration";
inline constexpr const char* kRegistrationWithPrimitives =
    "Registration with primitives is not supported!";
inline constexpr const char* kRegistrationMethods =
    "Chebyshev and point to plane registration can not be combined.";
inline constexpr const char* kNormalsNeighbours =
    "The normals need at least 3 neighbouring points.";

// The warning for a selection of the registration command (reference first, data
// second), nullptr when it can be registered. In this order: not exactly two objects
// kSelectTwoObjects; a primitive among them kRegistrationWithPrimitives; two meshes
// kMeshesCanNotBeRegistered; an object of another kind kUnsupportedDataTypes.
const char* registrationSelectionProblem(const std::vector<DistanceOperand>& selection);

struct RegisterOptions {
    bool chebyshev = false;
    // Minimise the distances to the reference's tangent planes (not with chebyshev).
    bool pointToPlane = false;
    unsigned normalsK = 30;                         // neighbours of computed normals
    int robust = alg3D::algorithm::kIcpRobustNone;  // point-to-plane weighting
    // Normals of the reference points (one per point, not owned) used instead of computed
    // ones; ignored when null, for a mesh, or when the count differs.
    const std::vector<alg3D::Vec3f>* referenceNormals = nullptr;
    unsigned freedom = alg3D::algorithm::kIcpRigid;  // bits Rx Ry Rz Tx Ty Tz S
    bool alignCenters = false;
    bool rotateAboutOrigin = false;  // "Is origin"
    std::uint64_t maxIterations = 100;
    double tolerance = 0.0;
    double searchRadius = 0.0;  // 0 = automatic (unbounded)
    int samples = 2000;         // 0 = all points
    int threads = 0;            // OpenMP threads; 0 = all processors
    // Whether the run moves `data` by the result (also after an abort). A caller that moves
    // its own objects by result.transform saves a pass over the points.
    bool moveData = true;
};

struct RegisterResult {
    std::string method;  // "gauss", "chebyshev" or "point-to-plane"
    int code = alg3D::algorithm::kIcpIterationLimit;
    std::uint64_t iterations = 0;
    alg3D::algorithm::IcpStatistics stats;
    alg3D::algorithm::IcpTransform transform;
    std::string duration;       // of the run
    double milliseconds = 0.0;  // of the run
    std::string statistics;     // the statistics text
    std::string transformText;  // the transform text of the message box
    std::string console;        // "ICP-Registration finished in …\n"
    // Point-to-plane: the freedom bits the data could not fix, and the plane residuals.
    unsigned unobservable = 0;
    double planeMean = 0.0;
    double planeRms = 0.0;
};

// The method's name in results: "gauss", "chebyshev" or "point-to-plane".
const char* registrationMethodName(const RegisterOptions& options);

// Receives the last accepted transform while a registration runs.
using LiveTransform = std::function<void(const alg3D::algorithm::IcpTransform&)>;

// Refuses two STL meshes by their file names alone, so that nothing is loaded for a
// registration that cannot run ("STL meshes can not be registered to eachother!").
// runRegisterCommand checks the loaded data again.
void checkRegistrationFiles(const std::string& dataFile, const std::string& referenceFile);

// Registers `data` onto `reference` and transforms `data` in place. `live`, when set, is
// called on the calling thread only (see above); its last call has result.transform.
JobStatus runRegisterCommand(LoadedData& data, const LoadedData& reference,
                             const RegisterOptions& options, RegisterResult& result,
                             const PollCallback& poll = neverAbort,
                             std::chrono::milliseconds interval = kDefaultPollInterval,
                             const LiveTransform& live = {});

}  // namespace commands
}  // namespace tessaro
