#pragma once
// LnBoxyMesh: the library's own indexed, faceted triangle mesh, drawn
// through OpenGL display lists. Producers (the NPR reader, the COLLADA
// importer, the scene's ground plane) fill the public arrays it inherits
// from LnBoxyMeshData and then build the display lists once with
// makeDisplayLists(); afterwards only setFlat rebuilds them.

#include "ln/LnBoxyMeshData.h"
#include "ln/LnDisplayLists.h"
#include "ln/LnModel.h"

class LnBoxyMesh : public LnMesh, public LnBoxyMeshData {
public:
    LnBoxyMesh() = default;
    ~LnBoxyMesh() override; // deletes the display lists that exist
    LnBoxyMesh(const LnBoxyMesh&) = delete;
    LnBoxyMesh& operator=(const LnBoxyMesh&) = delete;

    void drawGeometry() override;
    void refresh() override {}
    void drawShaded() override;
    int getNumFaces() override { return numFaces(); }
    void getFaceVertices(int face, vec& a, vec& b, vec& c) override;
    // See LnBoxyMeshData::getFaceNormals.
    void getFaceNormals(int face, vec& a, vec& b, vec& c) override;
    void drawFace(int face) override;
    void setFlat(bool flat) override;
    bool isFlat() override { return lists.isFlat(); }
    void getBoundingSphere(vec& center, float& radius) override;
    void computeConnectivity() override;
    bool write(const char* path) override;
    bool hasTextureCoordinates() override { return hasUvs(); }
    bool getFaceTextureCoordinates(int face, float* uv) override;

    // Builds (or rebuilds) the geometry and shaded display lists;
    // std::bad_alloc when the memory for them cannot be had. An OpenGL
    // error afterwards is fatal ("LnBoxyMesh::makeDisplayLists: %s\n").
    // Without a current OpenGL context nothing is built and the lists are
    // built by the first draw call instead.
    void makeDisplayLists() { lists.build(); }

    // The three normals the shaded list gives the corners of a face: the
    // per-corner normals when hasNormals is set and flat is not (each turned
    // round when it points against the face's winding), otherwise the face
    // normal three times. The writer's getFaceNormals keeps them as stored.
    void shadedNormals(int face, vec& a, vec& b, vec& c) const;

    int geometryListName() const { return lists.geometryName(); }
    int shadedListName() const { return lists.shadedName(); }

private:
    void compileGeometry() const;
    void compileShaded() const;

    LnDisplayLists lists{[this] { compileGeometry(); }, [this] { compileShaded(); },
                         [this] { return 3 * faces.size(); }};
};
