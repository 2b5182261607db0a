#pragma once
// LnSmoothModel: a smooth mesh read from an OFF, PLY or OBJ file (any
// format the toolkit reads), its line drawing and its line extractor.

#include "ln/LnSmoothExtractor.h"
#include "ln/LnSmoothMesh.h"

#include <string>

class LnSmoothModel : public LnModel {
public:
    // Reads the file with the toolkit, prepares the mesh (normals, sphere,
    // display lists) and creates the line extractor. The curvatures, their
    // derivatives and the across-edge table are computed when lines are
    // first extracted or the mesh is first smoothed or subdivided, the
    // strips when first drawn (see LnSmoothMesh). On failure the toolkit's
    // messages are on standard error, *error (when given) holds a sentence for the user, and the
    // result is null.
    static LnSmoothModel* readFile(const char* path, std::string* error = nullptr);
    // The same for a mesh already read, which the model takes over.
    static LnSmoothModel* fromMesh(TriMesh* triMesh);

    ~LnSmoothModel() override;
    LnSmoothModel(const LnSmoothModel&) = delete;
    LnSmoothModel& operator=(const LnSmoothModel&) = delete;

    void getBoundingSphere(vec& center, float& radius) override;
    // Clears the path list and extracts the lines seen from `viewpoint`
    // with the given light direction (under the mesh's lock).
    LnPathList& extractLines(const vec& viewpoint, const vec& lightDirection) override;
    void prepareLines() override;
    LnExtractor* getExtractor() override { return extractor; }
    LnPathList& getLines() override { return paths; }
    LnMesh* getMesh() override { return mesh; }
    LnMesh* getDisplayMesh() override { return mesh; }

    LnSmoothMesh* smoothMesh() { return mesh; }

private:
    explicit LnSmoothModel(LnSmoothMesh* mesh);
    // After running out of memory while computing them.
    void dropCurvatures();

    LnSmoothMesh* mesh;
    LnPathList paths;
    LnSmoothExtractor* extractor = nullptr;
};
