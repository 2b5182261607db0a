#include "viewer/GLSwatches.h"

#include "scene/PovSwatch.h"

#include <algorithm>
#include <cmath>
#include <limits>

const GLSwatchSet::Box& GLSwatchSet::boxOf(LnMesh* mesh)
{
    Box& box = boxes[mesh];
    const int faces = mesh->getNumFaces();
    if (box.faces == faces) {
        return box;
    }
    box.faces = faces;
    const float most = std::numeric_limits<float>::max();
    vec low(most, most, most), high(-most, -most, -most);
    for (int j = 0; j < faces; ++j) {
        vec corners[3];
        mesh->getFaceVertices(j, corners[0], corners[1], corners[2]);
        for (const vec& c : corners) {
            if (std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2])) {
                for (int k = 0; k < 3; ++k) {
                    low[k] = std::min(low[k], c[k]);
                    high[k] = std::max(high[k], c[k]);
                }
            }
        }
    }
    box.half = 0.0f;
    if (low[0] <= high[0]) {
        box.centre = (low + high) * 0.5f;
        const vec extent = high - low;
        box.half = 0.51f * std::max({extent[0], extent[1], extent[2]});
    }
    return box;
}

bool GLSwatchSet::bind(PovSwatches& swatches, const PovScene& scene, int i, float box[4])
{
    const PovTexture& texture = scene.textures[size_t(i)];
    if (texture.name.isNull()) {
        return false;
    }
    const Box& cube = boxOf(scene.models[size_t(i)]->getMesh());
    if (!(cube.half > 0.0f) || !std::isfinite(cube.half)) {
        return false;
    }
    const QString key = povSwatchScene(texture, scene.radius, cube.centre, cube.half);
    GLuint name = textures.value(key, 0);
    if (name == 0) {
        const QImage image = swatches.swatch(key);
        if (image.isNull()) {
            return false;
        }
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16, image.width(), image.height(), 0, GL_RGBA,
                     GL_UNSIGNED_SHORT, image.constBits());
        textures.insert(key, name);
    } else {
        glBindTexture(GL_TEXTURE_2D, name);
    }
    used.insert(key);
    box[0] = cube.centre[0];
    box[1] = cube.centre[1];
    box[2] = cube.centre[2];
    box[3] = cube.half;
    return true;
}

void GLSwatchSet::dropUnused()
{
    for (auto it = textures.begin(); it != textures.end();) {
        if (used.contains(it.key())) {
            ++it;
        } else {
            glDeleteTextures(1, &it.value());
            it = textures.erase(it);
        }
    }
    used.clear();
}
