#include "viewer/GLSurfaceImages.h"

#include "scene/PovFileMaterial.h"

#include <GL/gl.h>

#ifndef GL_GENERATE_MIPMAP
#define GL_GENERATE_MIPMAP 0x8191
#endif
#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_MIRRORED_REPEAT
#define GL_MIRRORED_REPEAT 0x8370
#endif

namespace {

// The texture's wrap along one axis; images shared by textures that wrap
// differently are set again at each bind.
void setWrap(GLenum axis, ImageWrap wrap)
{
    glTexParameteri(GL_TEXTURE_2D, axis,
                    wrap == ImageWrap::Clamp    ? GL_CLAMP_TO_EDGE
                    : wrap == ImageWrap::Mirror ? GL_MIRRORED_REPEAT
                                                : GL_REPEAT);
}

} // namespace

GLSurfaceImages::~GLSurfaceImages()
{
    for (auto& t : textures) {
        glDeleteTextures(1, &t.second.name);
    }
}

void GLSurfaceImages::purge()
{
    for (auto it = textures.begin(); it != textures.end();) {
        if (it->second.image.expired()) {
            glDeleteTextures(1, &it->second.name);
            it = textures.erase(it);
        } else {
            ++it;
        }
    }
}

bool GLSurfaceImages::bind(const std::shared_ptr<const PovImage>& image, ImageWrap wrapU,
                           ImageWrap wrapV)
{
    if (!image || image->image.isNull()) {
        return false;
    }
    auto found = textures.find(image.get());
    // An address reused by another image after the first was freed.
    if (found != textures.end() && found->second.image.lock() != image) {
        glDeleteTextures(1, &found->second.name);
        textures.erase(found);
        found = textures.end();
    }
    glActiveTexture(GL_TEXTURE0);
    if (found != textures.end()) {
        glBindTexture(GL_TEXTURE_2D, found->second.name);
        setWrap(GL_TEXTURE_WRAP_S, wrapU);
        setWrap(GL_TEXTURE_WRAP_T, wrapV);
        return true;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) {
        return false;
    }
    glBindTexture(GL_TEXTURE_2D, name);
    // Texture coordinates have v upwards from the image's bottom row, which
    // OpenGL takes as the first row it is given.
    const QImage rows = image->image.mirrored();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    setWrap(GL_TEXTURE_WRAP_S, wrapU);
    setWrap(GL_TEXTURE_WRAP_T, wrapV);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, rows.width(), rows.height(), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, rows.constBits());
    if (glGetError() != GL_NO_ERROR) {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &name);
        return false;
    }
    textures[image.get()] = Entry{image, name};
    return true;
}

void GLSurfaceImages::release()
{
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
}
