#pragma once
// A simplified copy of a triangle mesh, for drawing or rendering a mesh with
// far more triangles than a picture can show. Edge collapses chosen by
// quadric error (meshoptimizer) keep a subset of the original vertices, so
// each kept vertex keeps its own position; its normal is the mean of the
// original normals close around it, so that the copy shades like the
// original around each of its vertices, rough surfaces included. Borders
// and seams stay in place.

#include "trimesh/TriMesh.h"

#include <cstddef>
#include <vector>

struct SimplifiedMesh {
    std::vector<vec> vertices;
    std::vector<vec> normals; // parallel to vertices; empty when none were given
    std::vector<Face> faces;
    std::vector<int> original; // for each vertex, its index in the mesh it was made from
};

// Collapses edges of the mesh until it has at most `targetFaces` faces or
// the next collapse would move the surface by more than `maxError` (in the
// mesh's own units), whichever comes first; but never keeps more than four
// times `targetFaces` for the bound's sake (a mesh simplified in pieces, a
// piece's share of it). `normals` may be empty, or one
// per vertex (a vertex on a border, or on a cut between pieces, keeps its
// own). Faces with an index outside the vertices are left out.
// A mesh of 400,000 faces or more is simplified in pieces of neighbouring
// faces, each keeping the cuts among them (and its borders) in place, on
// `threads` threads (0: one per core, up to 8); the result depends on the
// mesh alone.
// Throws std::bad_alloc when the memory is not there.
SimplifiedMesh simplifyMesh(const std::vector<vec>& vertices, const std::vector<vec>& normals,
                            const std::vector<Face>& faces, size_t targetFaces, float maxError,
                            unsigned threads = 0);

// A rough copy of at most about `targetFaces` faces, made by joining the
// vertices that share a cell of a grid (meshoptimizer's sloppy simplifier):
// many times quicker than simplifyMesh and with little memory of its own,
// but it may close small holes and join nearby sheets. For what is seen only
// in motion. Each kept vertex is one of the mesh's own, with its normal.
SimplifiedMesh simplifyMeshRoughly(const std::vector<vec>& vertices,
                                   const std::vector<vec>& normals, const std::vector<Face>& faces,
                                   size_t targetFaces);
