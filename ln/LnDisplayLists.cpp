#include "ln/LnDisplayLists.h"

#include "ln/LnDiagnostics.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <utility>

LnDisplayLists::LnDisplayLists(std::function<void()> geometry, std::function<void()> shaded)
    : compileGeometry(std::move(geometry)), compileShaded(std::move(shaded))
{
}

LnDisplayLists::~LnDisplayLists() { release(); }

void LnDisplayLists::release()
{
    if (geometryList != -1) {
        glDeleteLists(static_cast<GLuint>(geometryList), 1);
        geometryList = -1;
    }
    if (shadedList != -1) {
        glDeleteLists(static_cast<GLuint>(shadedList), 1);
        shadedList = -1;
    }
    pending = false;
}

int LnDisplayLists::compile(const std::function<void()>& body)
{
    const GLuint name = glGenLists(1);
    if (name == 0) {
        return -1;
    }
    // The compile functions point the vertex arrays at the mesh's own (or
    // their temporary) memory; the pointers must not outlive the compile.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glNewList(name, GL_COMPILE);
    body();
    glEndList();
    glPopClientAttrib();
    return static_cast<int>(name);
}

void LnDisplayLists::build()
{
    release();
    // glGenLists answers 0 when no OpenGL context is current (a program
    // without a display): the lists are then built when first drawn.
    geometryList = compile(compileGeometry);
    pending = geometryList == -1;
    if (!pending) {
        shadedList = compile(compileShaded);
    }

    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        lnFatal("LnBoxyMesh::makeDisplayLists: %s\n",
                reinterpret_cast<const char*>(gluErrorString(error)));
    }
}

void LnDisplayLists::setFlat(bool flatShading)
{
    flat = flatShading;
    build();
}

void LnDisplayLists::drawGeometry()
{
    if (pending) {
        build();
    }
    if (geometryList != -1) {
        glCallList(static_cast<GLuint>(geometryList));
    }
}

void LnDisplayLists::drawShaded()
{
    if (pending) {
        build();
    }
    if (shadedList != -1) {
        glCallList(static_cast<GLuint>(shadedList));
    }
}
