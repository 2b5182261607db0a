#pragma once
// PLY textures for Materials from File: the image a PLY file names in its
// "comment TextureFile NAME" line, laid on the texture coordinates its
// vertices or face corners give.

#include "scene/ObjMaterials.h"

#include <QString>
#include <QStringList>

// When `mesh` (read from `plyFile`) names an image and gives texture
// coordinates: `part` holds the faces with their vertices split where a
// corner's coordinates differ, two coordinates per vertex (those that are
// not finite read as 0), and the image's bytes (read from inside the PLY
// file's folder only) with a matte finish, and true. The first image is
// taken when the file names several ("Kelvane: the PLY file names N
// images; every face takes the first, 'NAME'"). False when the file names
// no image, gives no coordinates, or names an image outside its folder
// (refused with a line). Strips are unpacked into faces first.
bool plyTexturedPart(TriMesh& mesh, const QString& plyFile, ObjMaterialPart& part);

// The images a PLY file names in its header that exist inside its folder,
// absolute. Reads the header only.
QStringList plyCompanionFiles(const QString& plyFile);
