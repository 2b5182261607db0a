#pragma once
// The model library's abstract interfaces. A model is one mesh plus its line
// drawing; a mesh draws itself through two OpenGL display lists and answers
// geometric queries; an extractor computes feature lines of a mesh.
//
// Creating, rebuilding (setFlat, subdivide) and destroying a mesh touch its
// display lists, so they need the viewer's OpenGL context to be current.

#include "ln/LnPath.h"
#include "trimesh/Vec.h"

class LnMesh;
class LnExtractor;

class LnModel {
public:
    virtual ~LnModel() = default;
    virtual void getBoundingSphere(vec& center, float& radius) = 0;
    // Smooth models extract anew for the viewpoint and light direction;
    // boxy models ignore both and return the paths read from their file.
    virtual LnPathList& extractLines(const vec& viewpoint, const vec& lightDirection) = 0;
    // Computes now what the first extraction would compute once for all
    // viewpoints (a smooth mesh's curvatures), so that an extraction's own
    // time can be measured. Nothing to do for boxy models.
    virtual void prepareLines() {}
    virtual LnExtractor* getExtractor() = 0; // null for boxy models
    virtual LnPathList& getLines() = 0;
    virtual LnMesh* getMesh() = 0;
    virtual LnMesh* getDisplayMesh() = 0;
};

class LnMesh {
public:
    virtual ~LnMesh() = default;
    virtual void drawGeometry() = 0; // positions only
    virtual void refresh() = 0;
    virtual void drawShaded() = 0; // colours and normals
    virtual int getNumFaces() = 0;
    virtual void getFaceVertices(int face, vec& a, vec& b, vec& c) = 0;
    virtual void getFaceNormals(int face, vec& a, vec& b, vec& c) = 0;
    virtual void drawFace(int face) = 0;
    // Stores the choice and rebuilds both display lists.
    virtual void setFlat(bool flat) = 0;
    virtual bool isFlat() = 0;
    virtual void smoothNormals() {}
    virtual void smoothCurvatures() {}
    virtual void smoothCurvatureDerivatives() {}
    virtual void subdivide() {}
    virtual bool isSmooth() { return false; }
    virtual void getBoundingSphere(vec& center, float& radius) = 0;
    virtual void computeConnectivity() = 0;
    // Writes the mesh as a triangle-mesh file; returns false on failure.
    virtual bool write(const char* path) = 0;
    // Texture coordinates (u, v for corners a, b, c, v upwards from the
    // image's bottom row) when the mesh has them; false otherwise.
    virtual bool hasTextureCoordinates() { return false; }
    virtual bool getFaceTextureCoordinates(int, float*) { return false; }
};

class LnExtractor {
public:
    virtual ~LnExtractor() = default;
    virtual void setContours(bool on) = 0;
    virtual void setSuggestiveContours(bool on) = 0;
    virtual void setIsophotes(bool on, int count) = 0;
    virtual void setSpareFlag(bool on) = 0;
    virtual void setRidges(bool on) = 0;
    virtual void setValleys(bool on) = 0;
    virtual void extract(LnPathList& out) = 0;
    virtual void setDerivativeThreshold(float threshold) = 0;
    virtual void setContourTest(bool on) = 0;
    virtual void setViewOffset(float offset) = 0;
    virtual void setRidgeThreshold(float threshold) = 0;
};

// File-type tests: case-sensitive substring tests anywhere in the path (a
// folder named "a.off" counts). The NPR test wins when both hold.
bool isBoxyModelFile(const char* path);   // contains ".npr"
bool isSmoothModelFile(const char* path); // contains ".off", ".ply" or ".obj"
