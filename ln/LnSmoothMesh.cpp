#include "ln/LnSmoothMesh.h"

#include "ln/LnFaceNormal.h"
#include "trimesh/Strips.h"
#include "trimesh/TriMesh.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

LnSmoothMesh::LnSmoothMesh(TriMesh* triMesh) : mesh(triMesh)
{
    // The mesh is this object's from the start: a failure here (memory
    // that cannot be had) deletes it, as the destructor would. Faces come
    // first: the export and the picking read them, and a file may hold
    // strips only. The strips themselves wait for the first draw.
    try {
        mesh->unpackStrips();
        mesh->computeNormals();
        mesh->computeBoundingSphere();
        width = 0.5f * mesh->medianEdgeLength();
        makeDisplayLists();
    } catch (...) {
        lists.release();
        delete mesh;
        throw;
    }
}

void LnSmoothMesh::makeDisplayLists()
{
    if (mesh->faces.size() >= largeFaces) {
        lists.defer();
    } else {
        lists.build();
    }
}

void LnSmoothMesh::needStrips() const
{
    std::lock_guard<std::recursive_mutex> guard(derivedLock);
    mesh->buildStrips();
}

LnSmoothMesh::~LnSmoothMesh()
{
    lists.release();
    delete mesh;
}

int LnSmoothMesh::getNumFaces() { return int(mesh->faces.size()); }

void LnSmoothMesh::getFaceVertices(int face, vec& a, vec& b, vec& c)
{
    if (face < 0 || face >= getNumFaces()) {
        a = b = c = vec();
        return;
    }
    const Face& f = mesh->faces[face];
    a = mesh->vertices[f[0]];
    b = mesh->vertices[f[1]];
    c = mesh->vertices[f[2]];
}

void LnSmoothMesh::getFaceNormals(int face, vec& a, vec& b, vec& c)
{
    if (face < 0 || face >= getNumFaces() || mesh->normals.size() != mesh->vertices.size()) {
        a = b = c = vec();
        return;
    }
    const Face& f = mesh->faces[face];
    a = mesh->normals[f[0]];
    b = mesh->normals[f[1]];
    c = mesh->normals[f[2]];
}

void LnSmoothMesh::drawFace(int face)
{
    if (face < 0 || face >= getNumFaces()) {
        return;
    }
    const Face& f = mesh->faces[face];
    const bool withNormals = mesh->normals.size() == mesh->vertices.size();
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 3; ++k) {
        if (withNormals) {
            glNormal3fv(mesh->normals[f[k]].data());
        }
        glVertex3fv(mesh->vertices[f[k]].data());
    }
    glEnd();
}

void LnSmoothMesh::setFlat(bool flatShading)
{
    lists.setFlat(flatShading, mesh->faces.size() >= largeFaces);
}

void LnSmoothMesh::smoothNormals()
{
    if (width <= 0.0f) {
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(derivedLock);
    if (beforeChange) {
        beforeChange();
    }
    mesh->diffuseNormals(width);
    mesh->needCurvatures();
    mesh->needCurvatureDerivatives();
    width *= 1.2f;
}

void LnSmoothMesh::smoothCurvatures()
{
    if (width <= 0.0f) {
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(derivedLock);
    if (beforeChange) {
        beforeChange();
    }
    mesh->diffuseCurvatures(width);
    mesh->needCurvatureDerivatives();
    width *= 1.2f;
}

void LnSmoothMesh::smoothCurvatureDerivatives()
{
    if (width <= 0.0f) {
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(derivedLock);
    if (beforeChange) {
        beforeChange();
    }
    mesh->diffuseCurvatureDerivatives(width);
    width *= 1.2f;
}

void LnSmoothMesh::subdivide()
{
    std::lock_guard<std::recursive_mutex> guard(derivedLock);
    if (beforeChange) {
        beforeChange();
    }
    lists.release();
    mesh->subdivide(1);
    mesh->computeNormals();
    mesh->computeBoundingSphere();
    makeDisplayLists();
}

void LnSmoothMesh::getBoundingSphere(vec& center, float& radius)
{
    mesh->computeBoundingSphere();
    center = mesh->sphereCenter;
    radius = mesh->sphereRadius;
}

void LnSmoothMesh::computeConnectivity()
{
    std::lock_guard<std::recursive_mutex> guard(derivedLock);
    mesh->findNeighbors();
    mesh->findVertexFaces();
    mesh->findAcrossEdge();
}

bool LnSmoothMesh::write(const char* path)
{
    // PLY keeps the strips, as it always has.
    needStrips();
    return mesh->write(path);
}

size_t LnSmoothMesh::listVertices() const
{
    return std::max(mesh->strips.size(), 3 * mesh->faces.size());
}

void LnSmoothMesh::drawGeometry() { lists.drawGeometry(); }

void LnSmoothMesh::drawShaded() { lists.drawShaded(); }

// Draws the strip list as indexed triangle strips from the arrays already
// enabled; a damaged length ends the walk (see Strips.h).
void LnSmoothMesh::drawStrips() const
{
    needStrips();
    forEachStrip(mesh->strips, [](const int* indices, size_t length) {
        if (length > 0) {
            glDrawElements(GL_TRIANGLE_STRIP, GLsizei(length), GL_UNSIGNED_INT, indices);
        }
    });
}

void LnSmoothMesh::compileGeometry() const
{
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 12, mesh->vertices.data());
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    drawStrips();
}

void LnSmoothMesh::compileShaded() const
{
    const bool withNormals = !mesh->normals.empty();
    const bool withColors = !mesh->colors.empty();
    if (lists.isFlat()) {
        glBegin(GL_TRIANGLES);
        for (const Face& f : mesh->faces) {
            const vec& a = mesh->vertices[f[0]];
            const vec& b = mesh->vertices[f[1]];
            const vec& c = mesh->vertices[f[2]];
            if (withColors) {
                const Color& color = mesh->colors[f[0]];
                glColor3ub(color[0], color[1], color[2]);
            } else {
                glColor3f(1.0f, 1.0f, 1.0f);
            }
            const vec n = lnFaceNormal(a, b, c);
            glNormal3fv(n.data());
            glVertex3fv(a.data());
            glVertex3fv(b.data());
            glVertex3fv(c.data());
        }
        glEnd();
    } else {
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 12, mesh->vertices.data());
        // Normals read from a file may point against their faces' winding;
        // the view draws them turned to agree, and the writer keeps them.
        std::vector<vec> turned;
        if (withNormals) {
            const bool anyTurned = mesh->windingNormals(turned);
            glEnableClientState(GL_NORMAL_ARRAY);
            glNormalPointer(GL_FLOAT, 12, anyTurned ? turned.data() : mesh->normals.data());
        } else {
            glDisableClientState(GL_NORMAL_ARRAY);
        }
        if (withColors) {
            glEnableClientState(GL_COLOR_ARRAY);
            glColorPointer(3, GL_UNSIGNED_BYTE, 3, mesh->colors.data());
        } else {
            glDisableClientState(GL_COLOR_ARRAY);
            glColor3f(1.0f, 1.0f, 1.0f);
        }
        drawStrips();
    }
}
