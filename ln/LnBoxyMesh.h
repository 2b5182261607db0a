#pragma once
// LnBoxyMesh: the library's own indexed, faceted triangle mesh. Producers
// (the NPR reader, the COLLADA importer, the scene's ground plane) fill the
// public arrays and then build the display lists once with makeDisplayLists();
// afterwards only setFlat rebuilds them.

#include "ln/LnDisplayLists.h"
#include "ln/LnModel.h"

#include <cstdint>
#include <vector>

struct LnFace {
    uint32_t a = 0, b = 0, c = 0;    // vertex indices
    uint32_t na = 0, nb = 0, nc = 0; // normal indices of corners a, b, c
    float red = 0.0f, green = 0.0f, blue = 0.0f;
};

class LnBoxyMesh : public LnMesh {
public:
    LnBoxyMesh() = default;
    ~LnBoxyMesh() override; // deletes the display lists that exist
    LnBoxyMesh(const LnBoxyMesh&) = delete;
    LnBoxyMesh& operator=(const LnBoxyMesh&) = delete;

    void drawGeometry() override;
    void refresh() override {}
    void drawShaded() override;
    int getNumFaces() override { return static_cast<int>(faces.size()); }
    void getFaceVertices(int face, vec& a, vec& b, vec& c) override;
    // Per-corner normals when the mesh has normals, else the face normal at
    // all three corners.
    void getFaceNormals(int face, vec& a, vec& b, vec& c) override;
    void drawFace(int face) override;
    void setFlat(bool flat) override;
    bool isFlat() override { return lists.isFlat(); }
    void getBoundingSphere(vec& center, float& radius) override;
    void computeConnectivity() override;
    bool write(const char* path) override;

    // Builds (or rebuilds) the geometry and shaded display lists. An OpenGL
    // error afterwards is fatal ("LnBoxyMesh::makeDisplayLists: %s\n").
    // Without a current OpenGL context nothing is built and the lists are
    // built by the first draw call instead.
    void makeDisplayLists() { lists.build(); }

    // Pure helpers the display lists are compiled from.
    // Normal of the triangle's plane, (b - a) x (c - a) scaled to unit
    // length, or (1, 0, 0) for a degenerate triangle.
    vec faceNormal(int face) const;
    // The three normals the shaded list gives the corners of a face: the
    // per-corner normals when hasNormals is set and flat is not (each turned
    // round when it points against the face's winding), otherwise the face
    // normal three times. The writer's getFaceNormals keeps them as stored.
    void shadedNormals(int face, vec& a, vec& b, vec& c) const;
    // True when every index of the face lies inside its array. Faces that
    // are not valid are left out of drawing and answer zero vectors.
    bool faceValid(int face) const;

    int geometryListName() const { return lists.geometryName(); }
    int shadedListName() const { return lists.shadedName(); }

    bool hasNormals = false;
    vec center;
    float radius = 0.0f;
    std::vector<vec> vertices;
    std::vector<vec> normals;
    std::vector<LnFace> faces;
    std::vector<std::vector<int>> neighbors;   // filled by computeConnectivity
    std::vector<std::vector<int>> vertexFaces; // filled by computeConnectivity
    std::vector<int> acrossEdge;               // 3 per face, -1 for none

private:
    void compileGeometry() const;
    void compileShaded() const;

    LnDisplayLists lists{[this] { compileGeometry(); }, [this] { compileShaded(); }};
};
