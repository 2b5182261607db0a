#pragma once
// Reader of NPR model files: a bounding box, vertices, optional normals,
// coloured faces and polylines, as whitespace-separated text. Three forms:
// no header; "# NPR MODEL V 1" (adds normals and 9-value faces); and
// "# NPR MODEL V 2" (adds one ignored integer pair per line segment).
//
// Every failure prints the reader's line on standard error through lnError
// (for example "LnBoxyModel::LnBoxyModel-parse error 1\n") and returns false
// with a sentence for the user in `error`. Counts from the file are never
// trusted for allocation beyond what the remaining bytes can hold, and every
// face index is checked against the vertices and normals read before it.

#include "ln/LnBoxyMeshData.h"
#include "ln/LnPath.h"

#include <cstddef>
#include <string>

// Parses `size` bytes at `data` into an empty mesh and path list. On success
// the mesh holds vertices, normals (unit length; zero ones become (1, 0, 0)),
// faces, hasNormals and the box's bounding sphere; visible lines are appended
// to `paths` with kind 0 and strength 1 at every point.
bool readNprModel(const char* data, size_t size, LnBoxyMeshData& mesh, LnPathList& paths,
                  std::string& error);

// Reads a whole file into `bytes`. On failure prints
// " LnBoxyModel: failed to open '<path>'" and fills `error`.
bool readNprFileBytes(const char* path, std::string& bytes, std::string& error);
