#pragma once
// Files of the formats only Assimp reads here (FBX, 3MF, DXF, LWO, X3D and
// the rest of its list), through Debian's Assimp. Assimp can crash on
// damaged files and on some real ones, so the program runs it in a child
// process (see ImportSandbox.h); these functions are what the child runs.

#include "scene/ImportedScene.h"

#include <string>

// Whether Assimp has an importer for the name's extension (any case).
bool assimpTakesExtension(const std::string& extension);
// Every extension Assimp reads, lower case, without the dot, sorted.
std::vector<std::string> assimpExtensions();

// Reads the file with Assimp, its polygons cut into triangles: one mesh per
// Assimp mesh of every node (a mesh per material), placed by the nodes'
// transforms; the material's diffuse (or base) colour as the file colour;
// a file declaring +y up (FBX's UpAxis, or a format that is +y up by
// definition) turned to +z up. Points and lines are skipped. Assimp's own
// message becomes the reason when it refuses the file.
void readWithAssimp(const std::string& path, ImportedScene& out);
