#pragma once
// OBJ materials for Materials from File: the "Kd" colours, "Ks"/"Ns"
// highlights, "d" opacity and "map_Kd" images of the .mtl libraries an
// OBJ file names, and the file's faces split by material.

#include "scene/ImportedScene.h"
#include "trimesh/TriMesh.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct ObjMaterialPart {
    std::unique_ptr<TriMesh> mesh; // the material's faces and the vertices they use
    bool colourKnown = false;      // the material has a Kd colour
    vec colour = vec(1.0f, 1.0f, 1.0f);
    // The rest of the material; its image's bytes are read (from inside
    // the OBJ file's folder only) when the part has texture coordinates.
    ImportedMaterial material;
    // Texture coordinates, two per vertex of `mesh` (vertices are split
    // where a corner's coordinates differ), when the material has an image
    // and the faces give them; empty otherwise.
    std::vector<float> uvs;
};

// When the mesh was read from an OBJ file that uses materials ("usemtl")
// and at least one of its "mtllib" files (beside `objFile`) can be read:
// one part per material in order of first use (faces before any "usemtl"
// first), and true. False, `parts` empty, otherwise.
bool splitByMaterial(const TriMesh& mesh, const QString& objFile,
                     std::vector<ObjMaterialPart>& parts);

// The bytes of image `name`, relative to `folder`, when it lies inside
// `root` (the model file's folder, links followed), is a regular file and
// is not larger than an image may be. A name leaving the folder is refused
// with "Kelvane: the image 'NAME' lies outside the model's folder: it is
// refused" on standard error and cleared; an image that cannot be read
// gives empty bytes (the scene then names it as missing).
std::string readModelImage(const QString& folder, QString& name, const QString& root);

// The files an OBJ file needs beside it: the .mtl libraries it names that
// exist and the map_Kd images they name inside the OBJ file's folder,
// absolute. Read as text, without the mesh.
QStringList objCompanionFiles(const QString& objFile);
