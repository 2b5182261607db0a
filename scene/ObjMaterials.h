#pragma once
// OBJ materials for Colours from File: the "Kd" colours of the .mtl
// libraries an OBJ file names, and the file's faces split by material.

#include "trimesh/TriMesh.h"

#include <QString>

#include <memory>
#include <vector>

struct ObjMaterialPart {
    std::unique_ptr<TriMesh> mesh; // the material's faces and the vertices they use
    bool colourKnown = false;      // the material has a Kd colour
    vec colour = vec(1.0f, 1.0f, 1.0f);
};

// When the mesh was read from an OBJ file that uses materials ("usemtl")
// and at least one of its "mtllib" files (beside `objFile`) can be read:
// one part per material in order of first use (faces before any "usemtl"
// first), and true. False, `parts` empty, otherwise.
bool splitByMaterial(const TriMesh& mesh, const QString& objFile,
                     std::vector<ObjMaterialPart>& parts);
