#include "ln/LnDisplayLists.h"

#include "ln/LnDiagnostics.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdlib>
#include <limits>
#include <new>
#include <utility>

LnDisplayLists::LnDisplayLists(std::function<void()> geometry, std::function<void()> shaded,
                               std::function<size_t()> vertices)
    : compileGeometry(std::move(geometry)), compileShaded(std::move(shaded)),
      vertexCount(std::move(vertices))
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

void LnDisplayLists::defer()
{
    release();
    pending = true;
}

void LnDisplayLists::compile(GLuint name, const std::function<void()>& body)
{
    // The compile functions point the vertex arrays at the mesh's own (or
    // their temporary) memory; the pointers must not outlive the compile.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glNewList(name, GL_COMPILE);
    body();
    glEndList();
    glPopClientAttrib();
}

void LnDisplayLists::build()
{
    release();
    // glGenLists answers 0 when no OpenGL context is current (a program
    // without a display): the lists are then built when first drawn.
    const GLuint names = glGenLists(2);
    pending = names == 0;
    if (pending) {
        return;
    }
    // Asked for and given back at once: an address space too small for the
    // lists refuses this request, where the library would crash.
    const size_t vertices = vertexCount();
    void* room = vertices <= std::numeric_limits<size_t>::max() / bytesPerVertex
                     ? std::malloc(vertices * bytesPerVertex)
                     : nullptr;
    if (!room && vertices > 0) {
        glDeleteLists(names, 2);
        throw std::bad_alloc();
    }
    std::free(room);
    compile(names, compileGeometry);
    compile(names + 1, compileShaded);
    geometryList = static_cast<int>(names);
    shadedList = static_cast<int>(names + 1);

    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        lnFatal("LnBoxyMesh::makeDisplayLists: %s\n",
                reinterpret_cast<const char*>(gluErrorString(error)));
    }
}

void LnDisplayLists::setFlat(bool flatShading, bool deferred)
{
    flat = flatShading;
    if (deferred) {
        defer();
    } else {
        build();
    }
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
