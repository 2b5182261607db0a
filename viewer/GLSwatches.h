#pragma once
// The view's side of the preset swatches (scene/PovSwatch.h): for a model
// with a predefined POV-Ray texture, the cube around it, the swatch's
// scene and the OpenGL texture made from the swatch once it is ready.

#include "scene/PovScene.h"

#include <QHash>
#include <QSet>

#include <GL/gl.h>

#include <map>

class PovSwatches;

class GLSwatchSet {
public:
    // Binds model i's swatch to texture unit 0 and gives the cube it covers
    // (centre and half-size, in the model's coordinates) when the model has
    // a named texture whose swatch is ready; false otherwise (the model is
    // drawn in its plain colour meanwhile). Needs the view's context.
    bool bind(PovSwatches& swatches, const PovScene& scene, int i, float box[4]);
    // Deletes the textures no bind() used since the last call (a preset
    // replaced, a model gone): call after each draw.
    void dropUnused();

private:
    struct Box {
        int faces = -1;
        vec centre;
        float half = 0.0f;
    };
    // The cube around the mesh: its bounding box made square, a little
    // larger so no corner lies on its edge; zero half-size when the mesh
    // has no finite corner.
    const Box& boxOf(LnMesh* mesh);
    std::map<LnMesh*, Box> boxes;
    QHash<QString, GLuint> textures; // by swatch scene
    QSet<QString> used;
};
