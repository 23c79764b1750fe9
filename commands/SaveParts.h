// Saving several clouds or meshes into one file: the workbench saves every selected
// object into the one file the user named, in scene order.
//
// Inputs: the target name (its suffix picks the format as in saveFile) and the parts,
// each a plain cloud, a coloured cloud or a mesh (triangle soup, three corners each).
// Output: one file holding all parts one after another; a mesh goes into .stl as its
// triangles and into .xyz or .xyzc as its vertices (meshVertices: each corner once). The first part
// starts a temporary file beside the target, the others append to it, and the target is replaced
// once, after the last part was written; a failure or an abort in any part leaves the
// previous file exactly as it was. An empty list writes nothing. A .ply file takes one
// part only ("A PLY file holds one cloud or mesh; select only one object.").
// Errors: as saveFile ("Unknown file format!", "Only meshes can be saved as STL.", the
// writers' texts). Cost: one pass over all points (for a mesh in a point file, one more
// through a hash map of its vertices).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "commands/FileCommands.h"
#include "commands/JobRunner.h"

namespace tessaro {
namespace commands {

struct SavePart {
    DataKind kind = DataKind::kPoints;
    const std::vector<alg3D::Vec3d>* points = nullptr;           // kPoints and kMesh
    const std::vector<alg3D::GLPoint>* coloredPoints = nullptr;  // kColoredPoints
    // Colour of every point when a part without colours goes into an .xyzc file.
    alg3D::Color color{255, 255, 255};
    // Colours shown instead of the part's own (a colour coding), one per point; in an
    // .xyzc file they take the place of `color` and of coloured points' colours. Ignored
    // when null or of another length.
    const std::vector<alg3D::Color>* shownColors = nullptr;
    // PLY only: normals and further per-point values written with the points (ignored
    // when null or of another length), and the encoding.
    const std::vector<alg3D::Vec3f>* normals = nullptr;
    const std::vector<io::PlyScalarField>* scalarFields = nullptr;
    io::PlyEncoding plyEncoding = io::PlyEncoding::kBinaryLittleEndian;
};

// Writes the parts in order; the poll callback sees each part's progress in turn.
JobStatus saveParts(const std::string& fileName, const std::vector<SavePart>& parts,
                    const PollCallback& poll = neverAbort,
                    std::chrono::milliseconds interval = kDefaultPollInterval);

}  // namespace commands
}  // namespace tessaro
