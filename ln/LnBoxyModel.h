#pragma once
// LnBoxyModel: one boxy mesh plus the lines read with it.

#include "ln/LnBoxyMesh.h"

#include <string>

class LnBoxyModel : public LnModel {
public:
    // Takes ownership of a filled mesh (vertices, normals, faces, hasNormals),
    // sets its bounding sphere from the vertices' bounding box and builds its
    // display lists (needs the viewer's OpenGL context).
    explicit LnBoxyModel(LnBoxyMesh* mesh);
    ~LnBoxyModel() override;
    LnBoxyModel(const LnBoxyModel&) = delete;
    LnBoxyModel& operator=(const LnBoxyModel&) = delete;

    // Reads an NPR model file and builds its display lists. On failure the
    // reader's message is on standard error, *error (when given) holds a
    // sentence for the user, and the result is null.
    static LnBoxyModel* readNprFile(const char* path, std::string* error = nullptr);

    void getBoundingSphere(vec& center, float& radius) override;
    LnPathList& extractLines(const vec& viewpoint, const vec& lightDirection) override;
    LnExtractor* getExtractor() override { return nullptr; }
    LnPathList& getLines() override { return paths; }
    LnMesh* getMesh() override { return mesh; }
    LnMesh* getDisplayMesh() override { return mesh; }

    LnBoxyMesh* boxyMesh() { return mesh; }

private:
    LnBoxyModel() = default;

    LnBoxyMesh* mesh = nullptr;
    LnPathList paths;
};
