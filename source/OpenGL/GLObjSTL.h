// Triangle mesh scene object: unique vertices plus three vertex numbers per triangle,
// drawn flat-shaded with a barycentric marker per corner for the edge display.
//
// Filling: setMesh(vertices, indices), usually after mergeCoincidentCorners turned the
// STL reader's triangle soup into that form (setTriangles does both).
// GPU data, per corner (non-indexed drawing): location 0 the vertex position relative to
// the upload offset (the bounding-box centre) in floats, 1 the face normal (B - A) x (C - A)
// not normalised, 2 the corner colour (bytes, normalised), 3 the barycentric marker
// (1,0,0), (0,1,0), (0,0,1) as bytes, not normalised.
// Drawing: once; with alpha below 255 twice with blending, front faces culled first and
// back faces then, so the far side of a closed mesh shows through the near side.
// nearestPoint: closest point of the surface over the merged triangles, the first of equal
// distances in triangle order; the zero vector with fewer than three vertices. The first
// query is answered by a scan over the triangles and starts building a k-d tree of them
// on a worker thread; later queries use the tree once it is there. Every change of the
// geometry drops it.
// Cost: uploads, normals and the transform are parallel loops over the corners.
#pragma once

#include <cstdint>
#include <vector>

#include "OpenGL/BackgroundIndex.h"
#include "OpenGL/GLBaseObject.h"
#include "OpenGL/GLObjBox.h"

class GLObjSTL : public GLBaseObject {
  public:
    GLObjSTL();
    ~GLObjSTL() override;

    // Takes over both vectors (the sources are left empty). A trailing partial triangle
    // is dropped; a vertex number beyond the vertices throws std::invalid_argument.
    void setMesh(std::vector<alg3D::Vec3d>&& vertices, std::vector<std::uint64_t>&& indices);
    // Merges the coincident corners of a triangle soup (three corners per triangle) and
    // takes the result as with setMesh; the soup is left empty.
    void setTriangles(std::vector<alg3D::Vec3d>&& soup);

    const std::vector<alg3D::Vec3d>& getPoints() const { return points; }
    const std::vector<std::uint64_t>& getTriangleIndices() const { return triangleIndices; }
    const std::vector<alg3D::Color>& getCornerColors() const { return cornerColors; }
    std::size_t triangleCount() const { return triangleIndices.size() / 3; }
    // The mesh as a triangle soup again (three corners per triangle), for the writers.
    std::vector<alg3D::Vec3d> corners() const;

    bool isEmpty() const override { return points.empty(); }
    void updateColors() override;
    void computeObjParam() override;
    void draw() override;
    GLObjBox* boundingBox() override { return &bbox; }
    void initGL() override;
    alg3D::Vec3d nearestPoint(const alg3D::Vec3d& q) const override;
    void applyTransform() override;

    // The closest surface point by a scan over all triangles (what the tree must answer).
    alg3D::Vec3d nearestPointByScan(const alg3D::Vec3d& q) const;
    // Whether the triangle tree of nearestPoint is ready (asked for by the first query).
    bool hasSearchTree() const;
    // Waits for a build of the tree that runs; whether the tree is ready then.
    bool waitForSearchTree() const;

  private:
    void uploadPositionsAndNormals();
    void uploadBarycentric();
    void uploadColors();
    void dropSearchTree();

    GLObjBox bbox;
    std::vector<alg3D::Vec3d> points;
    std::vector<std::uint64_t> triangleIndices;
    std::vector<alg3D::Color> cornerColors;
    unsigned int vboBarycentric = 0;

    // The triangle tree and its proxies (pointing into `points`), built on demand.
    struct SearchIndex;
    mutable BackgroundIndex<SearchIndex> searchIndex_;
};
