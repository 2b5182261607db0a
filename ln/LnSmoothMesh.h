#pragma once
// LnSmoothMesh: a triangle mesh read by the toolkit, with per-vertex normals
// and optional per-vertex colours, drawn from triangle strips through vertex
// arrays (or, flat-shaded, face by face). It can be subdivided and smoothed.
//
// Construction, setFlat, subdivide and destruction build or delete display
// lists: the viewer's OpenGL context must be current (without one, the lists
// are built by the first draw instead). A mesh of largeFaces faces or more
// builds them only when first drawn, as a view may draw it from vertex
// buffers instead (see triMesh()) and never need them.
//
// Derived data is computed when first needed: the strips when the smooth
// display lists are compiled (or the mesh is written), curvatures by the
// smoothing filters and the line extractor. A program that only exports the
// mesh never computes them. Every such computation, and every change to the
// mesh, runs under derivedDataLock(), so a second thread reading the mesh
// takes the same lock.

#include "ln/LnDisplayLists.h"
#include "ln/LnModel.h"

#include <functional>
#include <mutex>
#include <string>

class TriMesh;

class LnSmoothMesh : public LnMesh {
public:
    // Takes ownership of a mesh read by the toolkit; makes sure of its faces
    // (unpacked from strips), normals and bounding sphere, sets the smoothing
    // width to half the median edge length and builds the display lists.
    explicit LnSmoothMesh(TriMesh* mesh);
    ~LnSmoothMesh() override;
    LnSmoothMesh(const LnSmoothMesh&) = delete;
    LnSmoothMesh& operator=(const LnSmoothMesh&) = delete;

    void drawGeometry() override;
    void refresh() override {}
    void drawShaded() override;
    int getNumFaces() override;
    void getFaceVertices(int face, vec& a, vec& b, vec& c) override;
    // The vertex normals of the face's three vertices.
    void getFaceNormals(int face, vec& a, vec& b, vec& c) override;
    void drawFace(int face) override;
    void setFlat(bool flat) override;
    bool isFlat() override { return lists.isFlat(); }
    // The three smoothing filters use smoothingWidth and then widen it by
    // 1.2. None of them rebuilds the display lists. A width of 0 (a mesh
    // without usable faces) smooths nothing.
    void smoothNormals() override;
    void smoothCurvatures() override;
    void smoothCurvatureDerivatives() override;
    // Subdivides once, recomputes normals, strips and sphere, rebuilds the
    // display lists.
    void subdivide() override;
    bool isSmooth() override { return true; }
    void getBoundingSphere(vec& center, float& radius) override;
    void computeConnectivity() override;
    bool write(const char* path) override;

    // Builds the display lists, or leaves them to the first draw for a
    // large mesh.
    void makeDisplayLists();
    static constexpr size_t largeFaces = 300000;

    // The triangle strips, built unless they are there.
    void needStrips() const;
    // Called (under the lock) before smoothing or subdivision changes the
    // mesh, so that what is computed on demand from the mesh as loaded
    // (the line extractor's feature size) can be computed first.
    void setBeforeChange(std::function<void()> hook) { beforeChange = std::move(hook); }
    std::recursive_mutex& derivedDataLock() const { return derivedLock; }

    TriMesh* triMesh() { return mesh; }
    float smoothingWidth() const { return width; }
    int geometryListName() const { return lists.geometryName(); }
    int shadedListName() const { return lists.shadedName(); }

private:
    void compileGeometry() const;
    void compileShaded() const;
    void drawStrips() const;

    TriMesh* mesh;
    float width = 0.0f;
    std::function<void()> beforeChange;
    // Recursive: subdivision compiles the display lists, which need strips.
    mutable std::recursive_mutex derivedLock;
    // The vertices the lists are sent: the strips', or the corners of the
    // faces drawn flat.
    size_t listVertices() const;

    LnDisplayLists lists{[this] { compileGeometry(); }, [this] { compileShaded(); },
                         [this] { return listVertices(); }};
};
