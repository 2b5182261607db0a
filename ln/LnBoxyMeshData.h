#pragma once
// LnBoxyMeshData: the data of the library's own indexed, faceted triangle
// mesh, without any drawing: positions, optional normals, coloured faces,
// the bounding sphere and the connectivity tables. The NPR reader fills
// one; LnBoxyMesh draws one through OpenGL.

#include "trimesh/Vec.h"

#include <cstdint>
#include <vector>

struct LnFace {
    uint32_t a = 0, b = 0, c = 0;    // vertex indices
    uint32_t na = 0, nb = 0, nc = 0; // normal indices of corners a, b, c
    float red = 0.0f, green = 0.0f, blue = 0.0f;
};

struct LnBoxyMeshData {
    int numFaces() const { return static_cast<int>(faces.size()); }
    // True when every index of the face lies inside its array. Faces that
    // are not valid are left out of drawing and answer zero vectors.
    bool faceValid(int face) const;
    // Normal of the triangle's plane, (b - a) x (c - a) scaled to unit
    // length, or (1, 0, 0) for a degenerate (or invalid) triangle.
    vec faceNormal(int face) const;
    void getFaceVertices(int face, vec& a, vec& b, vec& c) const;
    // Per-corner normals when the mesh has normals, else the face normal at
    // all three corners.
    void getFaceNormals(int face, vec& a, vec& b, vec& c) const;
    // Fills neighbors, vertexFaces and acrossEdge from the valid faces.
    void computeConnectivity();
    // Writes positions and the valid faces' vertex indices (no normals, no
    // colours) as a triangle-mesh file; false on failure.
    bool write(const char* path) const;

    bool hasNormals = false;
    vec center;
    float radius = 0.0f;
    std::vector<vec> vertices;
    std::vector<vec> normals;
    std::vector<LnFace> faces;
    // Texture coordinates, u and v for each vertex, or empty. The corners
    // of the faces take those of their vertices.
    std::vector<float> uvs;
    bool hasUvs() const { return !vertices.empty() && uvs.size() == 2 * vertices.size(); }
    std::vector<std::vector<int>> neighbors;   // filled by computeConnectivity
    std::vector<std::vector<int>> vertexFaces; // filled by computeConnectivity
    std::vector<int> acrossEdge;               // 3 per face, -1 for none
};
