// TriMesh::invalidate: which derived lists each kind of change makes stale.

#include "trimesh/TriMesh.h"

void TriMesh::invalidate(unsigned changes)
{
    if (changes & Connectivity) {
        strips.clear();
        neighbors.clear();
        vertexFaces.clear();
        acrossEdge.clear();
    }
    if (changes & Positions) {
        normals.clear();
        majorDirections.clear();
        minorDirections.clear();
        majorCurvatures.clear();
        minorCurvatures.clear();
        dcurv.clear();
        flags.clear();
    }
    if (changes & (Connectivity | Positions)) {
        cornerAreas.clear();
        pointAreas.clear();
        sphereValid = false;
    }
}
