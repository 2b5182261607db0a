#pragma once
// 3MF files through lib3mf (Debian's lib3mf): what the build places. Run in
// a child process by the importer, like Assimp (see ImportSandbox.h).

#include "scene/ImportedScene.h"

#include <string>

// One mesh per mesh object each build item places, components followed
// (with their transforms) to meshObject depth 64. 3MF is +z up already.
// lib3mf's message becomes the reason when it refuses the file.
void read3mf(const std::string& path, ImportedScene& out);
