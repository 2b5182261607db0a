#include "ln/LnBoxyMesh.h"

#include "ln/LnFaceNormal.h"
#include "trimesh/TriMesh.h"

#include <GL/gl.h>

#include <algorithm>

LnBoxyMesh::~LnBoxyMesh() = default;

bool LnBoxyMesh::faceValid(int face) const
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

vec LnBoxyMesh::faceNormal(int face) const
{
    if (!faceValid(face)) {
        return vec(1.0f, 0.0f, 0.0f);
    }
    const LnFace& f = faces[face];
    return lnFaceNormal(vertices[f.a], vertices[f.b], vertices[f.c]);
}

void LnBoxyMesh::shadedNormals(int face, vec& a, vec& b, vec& c) const
{
    if (hasNormals && !lists.isFlat() && faceValid(face)) {
        const LnFace& f = faces[face];
        a = normals[f.na];
        b = normals[f.nb];
        c = normals[f.nc];
        // A corner normal that points against the face's winding is turned
        // round, so that two-sided lighting lights the face from the side
        // the eye sees, as the ray tracer does. A face without area has no
        // winding to follow.
        const vec w = cross(vertices[f.b] - vertices[f.a], vertices[f.c] - vertices[f.a]);
        if (len2(w) > 0.0f) {
            for (vec* n : {&a, &b, &c}) {
                if (dot(*n, w) < 0.0f) {
                    *n = -*n;
                }
            }
        }
    } else {
        a = b = c = faceNormal(face);
    }
}

void LnBoxyMesh::getFaceVertices(int face, vec& a, vec& b, vec& c)
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

void LnBoxyMesh::getFaceNormals(int face, vec& a, vec& b, vec& c)
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

void LnBoxyMesh::drawGeometry() { lists.drawGeometry(); }

void LnBoxyMesh::drawShaded() { lists.drawShaded(); }

void LnBoxyMesh::drawFace(int face)
{
    if (!faceValid(face)) {
        return;
    }
    const LnFace& f = faces[face];
    glBegin(GL_TRIANGLES);
    glVertex3fv(vertices[f.a].data());
    glVertex3fv(vertices[f.b].data());
    glVertex3fv(vertices[f.c].data());
    glEnd();
}

void LnBoxyMesh::setFlat(bool flatShading) { lists.setFlat(flatShading); }

void LnBoxyMesh::getBoundingSphere(vec& c, float& r)
{
    c = center;
    r = radius;
}

void LnBoxyMesh::compileGeometry() const
{
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < static_cast<int>(faces.size()); ++i) {
        if (!faceValid(i)) {
            continue;
        }
        const LnFace& f = faces[i];
        glVertex3fv(vertices[f.a].data());
        glVertex3fv(vertices[f.b].data());
        glVertex3fv(vertices[f.c].data());
    }
    glEnd();
}

void LnBoxyMesh::compileShaded() const
{
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < static_cast<int>(faces.size()); ++i) {
        if (!faceValid(i)) {
            continue;
        }
        const LnFace& f = faces[i];
        vec na, nb, nc;
        shadedNormals(i, na, nb, nc);
        glColor3f(f.red, f.green, f.blue);
        glNormal3fv(na.data());
        glVertex3fv(vertices[f.a].data());
        glNormal3fv(nb.data());
        glVertex3fv(vertices[f.b].data());
        glNormal3fv(nc.data());
        glVertex3fv(vertices[f.c].data());
    }
    glEnd();
}

void LnBoxyMesh::computeConnectivity()
{
    const size_t nv = vertices.size();
    const int nf = getNumFaces();

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

bool LnBoxyMesh::write(const char* path)
{
    // Positions and vertex indices only: no normals, no colours.
    TriMesh mesh;
    mesh.vertices = vertices;
    mesh.faces.reserve(faces.size());
    for (int i = 0; i < getNumFaces(); ++i) {
        if (faceValid(i)) {
            const LnFace& f = faces[i];
            mesh.faces.push_back(Face(int(f.a), int(f.b), int(f.c)));
        }
    }
    return mesh.write(path);
}
