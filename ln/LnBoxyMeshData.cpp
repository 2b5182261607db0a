#include "ln/LnBoxyMeshData.h"

#include "ln/LnFaceNormal.h"
#include "trimesh/TriMesh.h"

#include <algorithm>

bool LnBoxyMeshData::faceValid(int face) const
{
    if (face < 0 || face >= static_cast<int>(faces.size())) {
        return false;
    }
    const LnFace& f = faces[face];
    const size_t nv = vertices.size();
    if (f.a >= nv || f.b >= nv || f.c >= nv) {
        return false;
    }
    if (hasNormals) {
        const size_t nn = normals.size();
        if (f.na >= nn || f.nb >= nn || f.nc >= nn) {
            return false;
        }
    }
    return true;
}

vec LnBoxyMeshData::faceNormal(int face) const
{
    if (!faceValid(face)) {
        return vec(1.0f, 0.0f, 0.0f);
    }
    const LnFace& f = faces[face];
    return lnFaceNormal(vertices[f.a], vertices[f.b], vertices[f.c]);
}

void LnBoxyMeshData::getFaceVertices(int face, vec& a, vec& b, vec& c) const
{
    if (!faceValid(face)) {
        a = b = c = vec();
        return;
    }
    const LnFace& f = faces[face];
    a = vertices[f.a];
    b = vertices[f.b];
    c = vertices[f.c];
}

void LnBoxyMeshData::getFaceNormals(int face, vec& a, vec& b, vec& c) const
{
    if (!faceValid(face)) {
        a = b = c = vec();
        return;
    }
    if (hasNormals) {
        const LnFace& f = faces[face];
        a = normals[f.na];
        b = normals[f.nb];
        c = normals[f.nc];
    } else {
        a = b = c = faceNormal(face);
    }
}

void LnBoxyMeshData::computeConnectivity()
{
    const size_t nv = vertices.size();
    const int nf = numFaces();

    // Corners per vertex, to size the per-vertex lists once.
    std::vector<int> cornerCount(nv, 0);
    for (int i = 0; i < nf; ++i) {
        if (!faceValid(i)) {
            continue;
        }
        const LnFace& f = faces[i];
        ++cornerCount[f.a];
        ++cornerCount[f.b];
        ++cornerCount[f.c];
    }

    neighbors.assign(nv, {});
    for (size_t v = 0; v < nv; ++v) {
        neighbors[v].reserve(cornerCount[v] + 2);
    }
    for (int i = 0; i < nf; ++i) {
        if (!faceValid(i)) {
            continue;
        }
        const LnFace& f = faces[i];
        const int corner[3] = {int(f.a), int(f.b), int(f.c)};
        for (int j = 0; j < 3; ++j) {
            std::vector<int>& list = neighbors[corner[j]];
            for (int step = 1; step <= 2; ++step) {
                int other = corner[(j + step) % 3];
                if (std::find(list.begin(), list.end(), other) == list.end()) {
                    list.push_back(other);
                }
            }
        }
    }

    vertexFaces.assign(nv, {});
    for (size_t v = 0; v < nv; ++v) {
        vertexFaces[v].reserve(cornerCount[v]);
    }
    for (int i = 0; i < nf; ++i) {
        if (!faceValid(i)) {
            continue;
        }
        const LnFace& f = faces[i];
        vertexFaces[f.a].push_back(i);
        vertexFaces[f.b].push_back(i);
        vertexFaces[f.c].push_back(i);
    }

    acrossEdge.assign(3 * size_t(nf), -1);
    for (int i = 0; i < nf; ++i) {
        if (!faceValid(i)) {
            continue;
        }
        const LnFace& fi = faces[i];
        const int ci[3] = {int(fi.a), int(fi.b), int(fi.c)};
        for (int j = 0; j < 3; ++j) {
            if (acrossEdge[3 * i + j] != -1) {
                continue;
            }
            const int p = ci[(j + 1) % 3];
            const int q = ci[(j + 2) % 3];
            const std::vector<int>& aroundQ = vertexFaces[q];
            for (int f : vertexFaces[p]) {
                if (f == i || std::find(aroundQ.begin(), aroundQ.end(), f) == aroundQ.end()) {
                    continue;
                }
                const LnFace& ff = faces[f];
                const int cf[3] = {int(ff.a), int(ff.b), int(ff.c)};
                int m = cf[0] == p ? 0 : (cf[1] == p ? 1 : 2);
                int k = (m + 1) % 3;
                if (cf[(k + 1) % 3] == q) {
                    acrossEdge[3 * i + j] = f;
                    acrossEdge[3 * f + k] = i;
                    break;
                }
            }
        }
    }
}

bool LnBoxyMeshData::write(const char* path) const
{
    // Positions and vertex indices only: no normals, no colours.
    TriMesh mesh;
    mesh.vertices = vertices;
    mesh.faces.reserve(faces.size());
    for (int i = 0; i < numFaces(); ++i) {
        if (faceValid(i)) {
            const LnFace& f = faces[i];
            mesh.faces.push_back(Face(int(f.a), int(f.b), int(f.c)));
        }
    }
    return mesh.write(path);
}
