// Loading, describing and saving point-cloud and mesh files: the file layer's jobs run on
// a worker thread through runJob, with the format chosen by the file name's suffix.
//
// Load: .xyz, .xyzc, .pts, .psl, .scn, .stl, .ply and .asc (probed: more than 5 columns
// read as .xyzc, more than 2 as .xyz), suffixes compared case-insensitively. A .ply file
// with faces loads as a mesh, one with colours as a coloured cloud, else as a plain cloud
// (with its normals and further per-point values). Save: .xyz, .xyzc, binary .stl and .ply
// (binary little-endian unless SaveOptions asks for ASCII); the file layer writes to a temporary
// file and replaces the target only when complete, so a failed or aborted save leaves the previous
// file as it was.
//
// Errors: the file layer's exceptions pass on unchanged; an unsupported suffix gives
// "Unknown file format: " with the suffix (load) or "Unknown file format!" (save). A
// name that is not a regular file (folder, FIFO, device, also behind a link) is refused
// before anything is opened: kNotARegularFile followed by the name, for load and save.
// The temporary file of a save (see io/OutputFile.h), one a killed writer left too, is
// not data: loading it gives kUnfinishedSaveFile followed by the name.
// Cost: one pass over the file; describing data is one pass over the points.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"
#include "commands/JobRunner.h"
#include "io/PlyFormat.h"
#include "io/PlyReader.h"

namespace tessaro {
namespace commands {

inline const std::string kNotARegularFile = "Not a regular file: ";
inline const std::string kUnfinishedSaveFile = "Temporary file of an unfinished save: ";

// What a file held.
enum class DataKind {
    kPoints,         // plain point cloud, in `points`
    kColoredPoints,  // point cloud with colours, in `coloredPoints`
    kMesh,           // triangle soup, in `points`: three consecutive corners per triangle
};

struct LoadedData {
    DataKind kind = DataKind::kPoints;
    std::string format;                         // reader that ran: "xyz", "xyzc", "pts", ...
    std::vector<alg3D::Vec3d> points;           // kPoints and kMesh
    std::vector<alg3D::GLPoint> coloredPoints;  // kColoredPoints
    // Clouds read from PLY files: their normals (empty, or one per point) and further
    // per-point values by name (intensity, confidence, ...), each one value per point.
    std::vector<alg3D::Vec3f> normals;
    std::vector<io::PlyScalarField> scalarFields;
    // Meshes read from PLY files come indexed as well: `points` holds the triangle soup,
    // these the file's own vertices and three indices per triangle (empty otherwise).
    std::vector<alg3D::Vec3d> meshVertices;
    std::vector<std::uint64_t> meshIndices;

    std::size_t pointCount() const {
        return kind == DataKind::kColoredPoints ? coloredPoints.size() : points.size();
    }
    // The coordinates of point i of either kind.
    alg3D::Vec3d pointAt(std::size_t i) const {
        return kind == DataKind::kColoredPoints ? alg3D::coords(coloredPoints[i]) : points[i];
    }
};

// The suffix of a file name after its last dot, in lower case ("" when there is none;
// the dot that starts a hidden file's name does not begin a suffix).
std::string fileSuffix(const std::string& fileName);

// The file layer's read job code for a file (an .asc file is opened and analysed).
// Throws "ALG3D::can not open file.\n" for an .asc file that cannot be opened, and
// "Unknown file format: " + suffix when no reader fits.
int readJobForFile(const std::string& fileName);

// The name of the format a read job code reads ("xyz", "stl", "scn", "xyzc", "psl", "pts",
// "ply").
std::string formatName(int readJob);

// What a read job yields: a mesh for STL, coloured points for .xyzc and .pts, else points.
// For PLY the file's content decides; the answer is then kPoints, the least it can be.
DataKind kindForReadJob(int readJob);

// Reads a file into `data` on a worker thread. On an abort `data` is left empty.
JobStatus loadFile(const std::string& fileName, LoadedData& data,
                   const PollCallback& poll = neverAbort,
                   std::chrono::milliseconds interval = kDefaultPollInterval);

// Summary numbers of loaded data.
struct FileInfo {
    std::string file;
    std::string format;
    DataKind kind = DataKind::kPoints;
    std::size_t points = 0;                 // for meshes the corners as read, three per triangle
    std::size_t triangles = 0;              // meshes only
    std::vector<std::string> scalarFields;  // names of further per-point values (PLY)
    bool normals = false;                   // the file holds normals (PLY)
    // Axis-aligned bounding box and mean of the points; zero when there are no points.
    alg3D::Vec3d bboxMin, bboxMax, centroid;
};

FileInfo describeData(const std::string& fileName, const LoadedData& data);

// Loads a file and describes it. On an abort `info` is left untouched.
JobStatus fileInfo(const std::string& fileName, FileInfo& info,
                   const PollCallback& poll = neverAbort,
                   std::chrono::milliseconds interval = kDefaultPollInterval);

// The file layer's write job code for a file name: .xyz, .xyzc, .stl or .ply; anything
// else throws "Unknown file format!".
int writeJobForFile(const std::string& fileName);

// Throws unless data of this kind can be saved under this name: STL holds triangles, so
// only meshes are saved as STL ("Only meshes can be saved as STL."), and only a regular
// file (or a link to one) or a new name is replaced (kNotARegularFile).
void checkSavable(const std::string& fileName, DataKind kind);

struct SaveOptions {
    // Colour given to every point when data without colours is saved as .xyzc.
    alg3D::Color defaultColor{255, 255, 255};
    // Encoding of .ply files.
    io::PlyEncoding plyEncoding = io::PlyEncoding::kBinaryLittleEndian;
};

// Writes `data` on a worker thread in the format of the file name's suffix: .xyz and
// .xyzc with six decimals, .stl as binary STL, .ply with normals, colours and per-point
// values when the data has them (a mesh as indexed triangles); a mesh saved as .xyz or .xyzc writes
// its vertices, each distinct corner once in the order of first appearance. An empty cloud saved as
// .xyz gives an empty file. The target is replaced only after a run that completed without an
// abort; kAborted means it is exactly as it was.
JobStatus saveFile(const std::string& fileName, const LoadedData& data,
                   const PollCallback& poll = neverAbort, const SaveOptions& options = {},
                   std::chrono::milliseconds interval = kDefaultPollInterval);

}  // namespace commands
}  // namespace tessaro
