#pragma once
// GLSurfaceImages: the OpenGL textures of the file materials' images the
// view draws on models, one per image, made (with mipmaps) when first
// drawn and deleted once no texture of the scene holds the image any more.
// Every call needs the view's OpenGL context current.

#include "scene/ImportedScene.h"

#include <map>
#include <memory>

struct PovImage;

class GLSurfaceImages {
public:
    GLSurfaceImages() = default;
    ~GLSurfaceImages(); // deletes the textures that exist
    GLSurfaceImages(const GLSurfaceImages&) = delete;
    GLSurfaceImages& operator=(const GLSurfaceImages&) = delete;

    // Binds the image's texture to unit 0, making it first, continued
    // beyond [0, 1] as `wrapU` and `wrapV` say; false (nothing bound) when
    // the image is null or cannot be made.
    bool bind(const std::shared_ptr<const PovImage>& image, ImageWrap wrapU = ImageWrap::Repeat,
              ImageWrap wrapV = ImageWrap::Repeat);
    // Unbinds unit 0's texture.
    static void release();
    // Deletes the textures of images nobody holds any more.
    void purge();
    // Forgets every texture without deleting it (its context is gone).
    void forget() { textures.clear(); }

private:
    struct Entry {
        std::weak_ptr<const PovImage> image;
        unsigned int name = 0;
    };
    std::map<const PovImage*, Entry> textures;
};
