#pragma once
// The glTF 2.0 reader (.gltf with its buffers and images, .glb, data URIs).
// Standard library only, so its fuzz target needs neither Qt nor OpenGL.

#include "scene/ImportedScene.h"

#include <cstddef>
#include <string>

// Reads the file's default scene (or its first; without scenes, every node
// that is no node's child): one mesh per material of every mesh instance,
// its positions and normals placed by the node's world matrix and turned
// to +z up; triangle lists, strips and fans (points and lines are skipped
// with a line on standard error). The colour is the material's base colour
// factor times the average colour of its base colour image. The first
// camera met places the view. Sparse accessors, morph targets, skins and
// animations are ignored with a line. A damaged file (unreadable JSON or
// GLB, a buffer that is missing or short, an accessor past its buffer, an
// index outside its vertices, a name of something that does not exist)
// leaves `out` without meshes and with the reason.
void readGltf(const std::string& path, ImportedScene& out);

// The same for a document held in memory: a .glb (told by its "glTF"
// magic) or .gltf JSON. Its buffers and images must be inside it (the GLB
// binary chunk or data URIs): nothing is read from the file system, and a
// reference to another file refuses the document with the reason.
void readGltfFromMemory(const void* data, size_t size, ImportedScene& out);
