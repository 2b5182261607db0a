#pragma once
// ImportedScene: what the importers of glTF, 3MF and the Assimp formats
// hand over, as plain data (no Qt, no OpenGL): meshes already placed in the
// scene's frame (+z up), each with its file colour, and an optional camera.
// The scene turns the meshes into models (see PovImporter.h).
//
// It also travels as bytes from an importer run in a child process back to
// the program (serialize / deserialize).

#include "trimesh/Vec.h"

#include <cstdint>
#include <string>
#include <vector>

// What a file says about a mesh's surface beyond its colour: the image its
// base colour comes from (the encoded bytes as the file holds them, PNG,
// JPEG or another format Qt decodes, and a name for messages) and the
// factors that shape the render's finish. The importer reads an image only
// from inside the archive or the model's folder.
// How an image continues outside [0, 1] along u or v: repeated, its edge
// pixels stretched (clamp to edge), or repeated mirrored every other time.
enum class ImageWrap : uint8_t { Repeat = 0, Clamp = 1, Mirror = 2 };

struct ImportedMaterial {
    std::string imageName;  // the image's name in the file; empty without an image
    std::string imageBytes; // its encoded bytes; empty when they could not be had
    bool pbr = false;       // metallic and roughness given (glTF)
    float metallic = 0.0f, roughness = 1.0f;
    bool phong = false; // specular and shininess given (OBJ Ks/Ns, COLLADA)
    float specular = 0.0f, shininess = 0.0f;
    float opacity = 1.0f; // 0 clear .. 1 opaque
    ImageWrap wrapU = ImageWrap::Repeat, wrapV = ImageWrap::Repeat;
};

struct ImportedMesh {
    std::vector<vec> positions;
    // One per position, or empty (the faces' own normals are then used).
    std::vector<vec> normals;
    // Three position indices a triangle; every index below positions.size().
    std::vector<uint32_t> triangles;
    bool colourKnown = false;
    vec colour = vec(1.0f, 1.0f, 1.0f); // 0..1
    // Texture coordinates, u and v for each position (origin at the image's
    // bottom left, v upwards, as OpenGL and POV-Ray take them), or empty.
    std::vector<float> uvs;
    ImportedMaterial material;
};

struct ImportedScene {
    std::vector<ImportedMesh> meshes;
    // The camera's world matrix (column by column, element (r, c) at 4c + r;
    // the camera looks along its -z with +y up), when the file places one.
    bool cameraKnown = false;
    double camera[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    // Why nothing could be read, as a sentence without its full stop; empty
    // when the file was read.
    std::string reason;

    // Limits every importer keeps to: a file that would need more is
    // refused (or cut, with a line) rather than exhausting memory.
    static constexpr uint64_t maxTriangles = 1ull << 26;
    static constexpr uint64_t maxPositions = 1ull << 26;
    // Encoded image bytes a material may carry.
    static constexpr uint64_t maxImageBytes = 64ull << 20;

    uint64_t triangleCount() const;
    uint64_t positionCount() const;

    // Little-endian bytes of the whole scene, and back. deserialize checks
    // every count against the bytes and every index against its mesh and
    // the limits above; false (the scene left empty) when they disagree.
    std::string serialize() const;
    bool deserialize(const std::string& bytes);
};

// Turns a y-up position or direction into the scene's +z-up frame:
// (x, y, z) becomes (x, -z, y), as for COLLADA documents declared Y_UP.
inline vec yUpToZUp(const vec& v) { return vec(v[0], -v[2], v[1]); }
