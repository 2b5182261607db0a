#include "ln/LnBoxyMesh.h"

#include <GL/gl.h>

LnBoxyMesh::~LnBoxyMesh() = default;

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

void LnBoxyMesh::getFaceVertices(int face, vec& a, vec& b, vec& c)
{
    LnBoxyMeshData::getFaceVertices(face, a, b, c);
}

void LnBoxyMesh::getFaceNormals(int face, vec& a, vec& b, vec& c)
{
    LnBoxyMeshData::getFaceNormals(face, a, b, c);
}

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
    const bool textured = hasUvs();
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < static_cast<int>(faces.size()); ++i) {
        if (!faceValid(i)) {
            continue;
        }
        const LnFace& f = faces[i];
        vec na, nb, nc;
        shadedNormals(i, na, nb, nc);
        glColor3f(f.red, f.green, f.blue);
        if (textured) {
            glTexCoord2fv(&uvs[2 * size_t(f.a)]);
        }
        glNormal3fv(na.data());
        glVertex3fv(vertices[f.a].data());
        if (textured) {
            glTexCoord2fv(&uvs[2 * size_t(f.b)]);
        }
        glNormal3fv(nb.data());
        glVertex3fv(vertices[f.b].data());
        if (textured) {
            glTexCoord2fv(&uvs[2 * size_t(f.c)]);
        }
        glNormal3fv(nc.data());
        glVertex3fv(vertices[f.c].data());
    }
    glEnd();
}

bool LnBoxyMesh::getFaceTextureCoordinates(int face, float* uv)
{
    if (!hasUvs() || !faceValid(face)) {
        return false;
    }
    const LnFace& f = faces[size_t(face)];
    const uint32_t corners[3] = {f.a, f.b, f.c};
    for (int k = 0; k < 3; ++k) {
        uv[2 * k] = uvs[2 * size_t(corners[k])];
        uv[2 * k + 1] = uvs[2 * size_t(corners[k]) + 1];
    }
    return true;
}

void LnBoxyMesh::computeConnectivity() { LnBoxyMeshData::computeConnectivity(); }

bool LnBoxyMesh::write(const char* path) { return LnBoxyMeshData::write(path); }
