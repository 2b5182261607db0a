#pragma once
// CdaEffect: one <effect> of library_effects, its profile_COMMON technique
// read into colours and factors. Read and linked; the colours do not reach
// the models, which get default textures.

#include <QDomElement>
#include <QString>

class CdaEffect {
public:
    // T = profile_COMMON/technique's first element; its tag name is the
    // shading model. A colour property present in T becomes (1, 1, 1, 1),
    // then takes four numbers from its <color> child when there is one (so a
    // texture reference reads as white). A float property present in T reads
    // its <float> child (0 when missing or not a number).
    explicit CdaEffect(const QDomElement& element);

    QString id;
    QString shadingModel; // e.g. "phong", "lambert"
    float emission[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float ambient[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float diffuse[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float specular[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float shininess = 1.0f;
    float reflective[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float reflectivity = 0.0f;
    float transparent[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float transparency = 0.0f;
    float indexOfRefraction = 1.0f;
    // The image a textured diffuse samples: the id its <texture> names,
    // followed through the profile's sampler and surface parameters to the
    // image id; empty when the diffuse is not a texture.
    QString diffuseImage;
};
