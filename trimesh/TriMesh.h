#pragma once
// TriMesh: the toolkit's triangle mesh. Plain growable arrays of per-vertex
// and per-face data; the reader fills the primary lists, the derived lists
// (connectivity, normals, curvature, strips) are filled on demand by the
// operations that compute them and stay empty until then.
//
// The toolkit uses the standard library only (no Qt, no OpenGL).
// Every diagnostic goes to standard error and is flushed at once.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "trimesh/Vec.h"

// One triangle: three vertex indices, plain int[3] layout so a face list can be
// filled or copied as one block of ints.
struct Face {
    int v[3];

    Face() : v{0, 0, 0} {}
    Face(int a, int b, int c) : v{a, b, c} {}

    int& operator[](int i) { return v[i]; }
    int operator[](int i) const { return v[i]; }
    friend bool operator==(const Face& a, const Face& b)
    {
        return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2];
    }
    friend bool operator!=(const Face& a, const Face& b) { return !(a == b); }
};
static_assert(sizeof(Face) == 3 * sizeof(int), "Face must be three packed ints");

// Per-vertex colour: red, green, blue bytes.
struct Color {
    unsigned char c[3];

    Color() : c{0, 0, 0} {}
    Color(unsigned char r, unsigned char g, unsigned char b) : c{r, g, b} {}

    unsigned char& operator[](int i) { return c[i]; }
    unsigned char operator[](int i) const { return c[i]; }
    friend bool operator==(const Color& a, const Color& b)
    {
        return a.c[0] == b.c[0] && a.c[1] == b.c[1] && a.c[2] == b.c[2];
    }
};
static_assert(sizeof(Color) == 3, "Color must be three packed bytes");

class TriMesh {
public:
    // Derivative of curvature at a vertex: components along (uuu, uuv, uvv, vvv).
    struct Dcurv {
        float d[4];
        Dcurv() : d{0.0f, 0.0f, 0.0f, 0.0f} {}
        float& operator[](int i) { return d[i]; }
        float operator[](int i) const { return d[i]; }
    };
    // Areas of one face assigned to its three corners.
    struct CornerAreas {
        float a[3];
        CornerAreas() : a{0.0f, 0.0f, 0.0f} {}
        float& operator[](int i) { return a[i]; }
        float operator[](int i) const { return a[i]; }
    };
    // Faces across the edges opposite corners 0, 1, 2; -1 for none.
    struct AcrossEdge {
        int f[3];
        AcrossEdge() : f{-1, -1, -1} {}
        int& operator[](int i) { return f[i]; }
        int operator[](int i) const { return f[i]; }
    };

    // Lists per vertex are empty or as long as `vertices`; lists per face
    // are as long as `faces`.
    std::vector<vec> vertices;
    std::vector<Face> faces;
    // Triangle strips, each stored as its length L followed by L vertex indices.
    std::vector<int> strips;
    std::vector<Color> colors;
    std::vector<float> confidences;
    std::vector<uint32_t> flags;
    uint32_t flagCurrent = 0;
    std::vector<vec> normals;
    std::vector<vec> majorDirections, minorDirections;
    std::vector<float> majorCurvatures, minorCurvatures;
    std::vector<Dcurv> dcurv;
    std::vector<CornerAreas> cornerAreas;
    std::vector<float> pointAreas;
    vec sphereCenter;
    float sphereRadius = 0.0f;
    bool sphereValid = false;
    std::vector<std::vector<int>> neighbors;
    std::vector<std::vector<int>> vertexFaces;
    std::vector<AcrossEdge> acrossEdge;

    // Materials named by an OBJ file, as its reader found them: the names
    // given to "usemtl", each once, in order of first use; for each face
    // the index of its material in that list (-1 for faces before the
    // first "usemtl"), empty when the file uses no material; and the file
    // names given to "mtllib", as written. Nothing else fills or updates
    // them: they describe the faces as read.
    std::vector<std::string> materialNames;
    std::vector<int> faceMaterials;
    std::vector<std::string> materialLibraries;
    // Texture coordinates, as read like the materials: u, v pairs, and for
    // each face the pair of its three corners (-1 where a corner has none).
    // OBJ: one pair per "vt" line, the faces naming theirs. PLY: a pair per
    // face corner from a face "texcoord" list (the faces then name them),
    // or one pair per vertex from vertex properties (texture_u/texture_v,
    // s/t, u/v), `faceTexCoords` then staying empty. Empty when the file
    // gives none.
    std::vector<float> texCoords;
    std::vector<int> faceTexCoords;
    // The images a PLY file names in "comment TextureFile NAME" lines, as
    // written (without the blanks around them), in order.
    std::vector<std::string> textureFiles;

    // Reads a mesh file; the format is recognised by the first bytes
    // (PLY ascii / binary little- and big-endian, OFF, OBJ, the ray-tracer
    // form, SM, 3DS, ASCII STL) or, for binary STL, by the size its count
    // gives (84 + 50 bytes a triangle, whatever the header says), not by the
    // name. STL corners at exactly the same position become one vertex. "-" reads standard input (and closes
    // it). Returns a new mesh owned by the caller, or null on failure: null or
    // empty name (no message), an unopenable file (perror("fopen")), or a file
    // that cannot be parsed, which ends with "\nError reading file [%s]\n".
    // Progress ("Reading %s... ", ..., "Done.\n") goes to standard error.
    // Every face index of a returned mesh lies within `vertices`, and so does
    // every strip index; files counting from another base (such as 1) are
    // renumbered to count from 0.
    static TriMesh* read(const char* fileName);

    // The same reader over bytes already in memory; `displayName` stands for
    // the file name in the messages. The bytes are not kept.
    static TriMesh* readFromMemory(const void* data, size_t size, const char* displayName);

    // The same two readers, also handing over why a file was refused: on
    // failure `reason` holds one sentence for the user, without its final
    // full stop (such as "face 12 uses vertex 90, the file has 50 vertices"
    // or "the file cannot be read (No such file or directory)"); on
    // success it is empty. The standard-error messages are unchanged.
    static TriMesh* read(const char* fileName, std::string& reason);
    static TriMesh* readFromMemory(const void* data, size_t size, const char* displayName,
                                   std::string& reason);

    // A sampled median of the edge lengths (at most 333 faces sampled with
    // the toolkit's own program-wide random sequence); 0 for fewer than two
    // faces. Face indices must be valid.
    float medianEdgeLength();

    // Removes long slivers left by range-grid triangulation (faces with an
    // edge longer than 4 median edge lengths and a smallest angle whose
    // squared cosine is at least 0.85). Writes "Removing faces... " and
    // "None removed.\n" or "%d faces removed... Done.\n"; then drops what a
    // change of connectivity makes stale (see invalidate).
    void removeLongSlivers();

    // ---- What a change makes stale -----------------------------------------
    // Every operation that changes the mesh itself calls invalidate() with
    // what it changed, and the lists computed from that are dropped (and
    // recomputed by the functions below when next needed):
    //   Connectivity (`faces` changed, the vertex list kept): `strips`,
    //     `neighbors`, `vertexFaces`, `acrossEdge`, `cornerAreas`,
    //     `pointAreas`, and the bounding sphere (`sphereValid` cleared).
    //     The per-vertex values stay: normals may be the file's own, and
    //     curvatures are recomputed only for a new vertex count.
    //   Positions (vertices moved, added or renumbered): `normals`,
    //     `majorDirections`, `minorDirections`, `majorCurvatures`,
    //     `minorCurvatures`, `dcurv`, `cornerAreas`, `pointAreas`, the visit
    //     marks in `flags`, and the bounding sphere.
    // Smoothing replaces normals, curvatures or their derivatives in place
    // and drops nothing: what was computed from the values before stays
    // (smoothing normals keeps the curvatures as they were).
    enum Change : unsigned { Connectivity = 1u, Positions = 2u };
    void invalidate(unsigned changes);

    // ---- Derived data, computed on demand and cached --------------------
    // Each function below returns at once, writing nothing, when its data is
    // already there; otherwise it writes its progress line, computes, and
    // writes "Done.\n" (all on standard error, flushed). Face and strip
    // indices must lie within `vertices` (the reader guarantees this).
    // Those that need faces unpack the strips first when the mesh has
    // strips and no faces.

    // `neighbors`: for each vertex its neighbouring vertices, each once, in
    // order of first appearance over the faces. Fills it if empty.
    // "Finding vertex neighbors... "
    void findNeighbors();

    // `vertexFaces`: for each vertex the faces using it, in face order (a face
    // using a vertex twice is listed twice). Fills it if empty.
    // "Finding vertex to triangle maps... "
    void findVertexFaces();

    // `acrossEdge`: for each face and corner j, the face across the edge
    // opposite corner j (from corner j+1 to j+2), -1 for none. Only faces in
    // which the shared edge runs the other way are linked; an edge shared by
    // more than two faces links to the first such face. Fills it if empty
    // (after findVertexFaces). "Finding across-edge maps... "
    void findAcrossEdge();

    // `normals`: one unit normal per vertex, unless it already has one entry
    // per vertex. With faces: the sum of the face normals weighted per corner
    // by 1 / (product of the squared lengths of the corner's two edges);
    // corners whose weight is not finite (a zero-length edge) add nothing. A
    // vertex used by no face gets (1, 0, 0). Without faces (a point set): the
    // normal of the plane through each point's 12 nearest neighbours, facing
    // +z; a point with fewer than 3 neighbours gets (0, 0, 1) and
    // "Warning: not enough points for vertex %d\n". "Computing normals... "
    void computeNormals();

    // Normals for drawing a mesh whose stored normals (read from a file) may
    // point against the winding of their faces, as some exporters write
    // them. Fills `out` with `normals`, each one turned round whose vertex's
    // faces (weighted as computeNormals weighs them, from `faces`) wind the
    // other way, and returns true; returns false with `out` empty when no
    // normal needs turning, or when there are no faces or not one normal
    // per vertex. `normals` itself is left as it is.
    bool windingNormals(std::vector<vec>& out) const;

    // `sphereCenter`, `sphereRadius`: the smallest sphere enclosing all
    // vertices (see boundingSphere in BoundingSphere.h), leaving out any
    // vertex that is not finite; sets `sphereValid`.
    // Does nothing, writing nothing, when `sphereValid` is set or there are
    // no vertices. "Computing bounding sphere... ", then
    // "Done.\n  center = (%g, %g, %g), radius = %g\n".
    void computeBoundingSphere();

    // `strips` from `faces` by greedy strip growing along `acrossEdge` (which
    // it fills). Does nothing, writing nothing, unless the mesh has faces and
    // no strips. Faces stay. Every face appears in exactly one strip with its
    // orientation. "Building triangle strips... ", then
    // "Done.\n  %d strips (Avg. length %.1f)\n" (triangles per strip).
    void buildStrips();

    // `faces` from `strips`. Does nothing, writing nothing, unless the mesh has
    // strips and no faces. Strips stay. A strip of length L gives L - 2
    // triangles, every other one flipped so all keep the first's orientation;
    // strips shorter than 3 give none; a negative length, or one running past
    // the end of the list, ends the list (see forEachStrip in Strips.h).
    // "Unpacking triangle strips... ", then "Done.\n  %d triangles\n".
    void unpackStrips();

    // Refines the mesh once by Loop-style approximating subdivision (scheme
    // 1): every triangle becomes four, with a new vertex on each edge
    // (3/8, 3/8, 1/8, 1/8 of the edge's ends and the two opposite corners
    // inside, the midpoint on a boundary), and every old vertex moves towards
    // the mean of its neighbours (0.75 of itself on a boundary; 0.3438,
    // 0.4625, 0.5625 for 3, 4, 5 faces, 0.625 otherwise), computed from the
    // old positions only. Face i becomes the middle triangle of old face i;
    // the corner triangles follow, three per old face, in order; orientation
    // is kept. Colours and confidences that cover every vertex are averaged
    // onto the edge vertices. Unpacks strips first; drops what a change of
    // positions and of connectivity makes stale (see invalidate): strips,
    // neighbours, vertex faces, across-edge table, normals, flags, curvature
    // data, areas and the sphere. Writes the connectivity progress lines, then
    // "Subdividing mesh... " and "Done.\n". Any other scheme changes nothing
    // and writes "Subdivision scheme %d is not supported; mesh left unchanged\n".
    void subdivide(int scheme = 1);

    // ---- Curvature and smoothing ------------------------------------------
    // Each "need" function computes its arrays only when their length differs
    // from the vertex (or face) count, so repeated calls are free and a mesh
    // whose vertex count changed recomputes. Nothing recomputes them when
    // normals change. Faces are unpacked from strips first when needed.

    // `pointAreas` (per vertex) and `cornerAreas` (per face): each face's
    // area split among its corners (by the circumcentric rule, or halves and
    // quarters for an obtuse face); a vertex's area is the sum of its corner
    // areas. Faces without area give nothing. "Computing point areas... "
    void needPointAreas();

    // `majorDirections`, `minorDirections`, `majorCurvatures`,
    // `minorCurvatures`: principal curvatures per vertex (|major| >= |minor|,
    // signed, positive where the surface bends away from its normal as on an
    // outward-facing sphere) and unit directions tangent to the normal with
    // minor = normal x major. Makes sure of normals and point areas first.
    // Degenerate faces are left out; a vertex no usable face touches gets
    // curvature 0. "Computing curvatures... "
    void needCurvatures();

    // `dcurv`: derivative of the curvature tensor per vertex in its (major,
    // minor) frame. Makes sure of curvatures first. "Computing dcurv... "
    void needCurvatureDerivatives();

    // One Gaussian smoothing pass of width `width` (same length unit as the
    // vertices) over normals, over curvatures (principal values and
    // directions), or over curvature derivatives. Each vertex gets the mean of
    // its own value and those of the vertices reachable from it through
    // neighbours lying within three widths and facing the same side
    // (positive normal dot product), weighted by point area, normal agreement
    // and the Gaussian. Makes sure of normals, point areas, neighbours (and
    // curvatures, derivatives) first; uses `flags` and `flagCurrent` as visit
    // marks. Writes "\rSmoothing normals... " (curvatures..., curvature
    // derivatives...) and "Done.  Filtering took %f sec.\n". A width that is
    // not positive (or not a number) changes nothing and writes
    // "Smoothing width %g is not positive; <what> left unchanged\n" once.
    void diffuseNormals(float width);
    void diffuseCurvatures(float width);
    void diffuseCurvatureDerivatives(float width);

    // ---- Writing ------------------------------------------------------------
    // Writes the mesh. The form comes from a prefix of the name (after an
    // optional "norm:", which asks for vertex normals): "ply:", "ply_binary:",
    // "ply_binary_le:", "le:" binary little-endian PLY; "ply_binary_be:",
    // "be:" big-endian; "ply_ascii:", "ply_asc:", "ascii:", "asc:" ASCII PLY;
    // "ray:", "obj:", "off:", "sm:", "stl:" (binary STL); failing that from the
    // extension (".ray", ".obj", ".off", ".sm", ".stl", ".c..." for source code
    // that rebuilds the mesh,
    // anything else binary little-endian PLY). "-" is standard output (flushed,
    // left open). Writes "Writing %s... " and "Done.\n"; an empty mesh gives
    // "Empty mesh - nothing to write!\n" and no file; an unopenable file gives
    // perror("fopen") and "Error opening %s for writing.\n"; a failed write
    // ends with "\nError writing file [%s]\n" instead of "Done.\n". A null or
    // empty name does nothing. Strips are written as strips to PLY and unpacked
    // into faces for every other form; normals are computed for "norm:" PLY and
    // source code and always for the ray-tracer form. Otherwise the mesh is not
    // changed (indices and byte order are converted on the way out).
    // Returns true when the whole mesh was written.
    bool write(const char* fileName);
};
