#pragma once
// CdaGeometry: one COLLADA <geometry> decoded into flat lists.
//
// Decoding::TrianglesOnly (the layout of archives with a "Model" node): only
// the first <mesh>'s <triangles> primitives are decoded; <linestrips>,
// <polygons>, <polylist>, <trifans> and <tristrips> are reported, not read.
// Normals are the file's, unchanged; indices are kept exactly as read and
// are not checked against the lists (see indicesInRange).
//
// Decoding::AllSurfaces (any other document): every surface primitive of
// the first <mesh> (<triangles>, <polylist>, <polygons>, <tristrips>,
// <trifans>) becomes one triangle group, each read with its own inputs.
// Polygons are cut into triangles by ear clipping; holes of <polygons> are
// dropped with a line. Triangles whose corners index outside the lists are
// dropped. A primitive without normals gets one flat normal per triangle.

#include "collada/Matrix4.h"
#include "trimesh/Vec.h"

#include <QDomElement>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class CdaTriangle {
public:
    int32_t vertex[3] = {0, 0, 0};   // into positions
    int32_t normal[3] = {0, 0, 0};   // into normals
    int32_t texCoord[3] = {0, 0, 0}; // into texture coordinates
};

class CdaGeometry {
public:
    enum class Decoding { TrianglesOnly, AllSurfaces };

    CdaGeometry() = default;
    // Decodes one <geometry> element; never fails. Writes
    // "CdaGeometry: geometry %s has unrecognized geometry type %s\n" when the
    // mesh holds an unsupported primitive (the last of linestrips, polygons,
    // polylist, trifans, tristrips found). A float_array or triangles count
    // larger than its text could hold is cut to what the text can hold
    // (plus a small allowance read as zeros) with a "CdaGeometry: " line.
    // With AllSurfaces, writes "CdaGeometry: geometry %s has %s, which are
    // not surfaces; skipped\n" for <lines> and <linestrips>, and
    // "CdaGeometry: polygons of geometry %s have holes; the holes are left
    // out\n" once per geometry.
    explicit CdaGeometry(const QDomElement& element, Decoding decoding = Decoding::TrianglesOnly);

    // Empties every list and the id and type.
    void clear();
    // Positions by the matrix, normals by its normal matrix (no
    // renormalisation; a singular matrix leaves them as they are).
    // Texture coordinates are unchanged.
    void transform(const Matrix4& matrix);
    // Appends every triangle of `other` to this geometry's single triangle
    // group, with this geometry's list sizes (before the append) added to
    // the vertex, normal and texture-coordinate indices, then appends the
    // lists. An index whose sum leaves the 32-bit range becomes -1.
    void append(const CdaGeometry& other);

    int triangleCount() const;
    // True when every vertex index lies inside positions and every normal
    // index inside normals.
    bool indicesInRange() const;

    QString id;
    // "triangles" when a <triangles> element was decoded (AllSurfaces: any
    // surface primitive)
    QString type;
    std::vector<vec> positions;
    std::vector<vec> normals;
    std::vector<vec> texCoords;  // (s, t, 0) or (s, t, p)
    QStringList materialSymbols; // one per decoded primitive element
    std::vector<std::vector<CdaTriangle>> groups;

private:
    void decodeTriangles(const QDomElement& mesh);
    void decodeAllSurfaces(const QDomElement& mesh);
};
