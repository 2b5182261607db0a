#pragma once
// PovTexture: a model's surface, either a pigment colour or a predefined
// POV-Ray texture (woods.inc, stones.inc), with a finish and an optional
// normal pattern, and its POV-Ray text.

#include "scene/ImportedScene.h"

#include <QString>

#include <memory>

struct PovImage;

class PovTexture {
public:
    PovTexture() = default;

    // Sets the pigment colour and makes the name null, so the texture prints
    // as a pigment; drops the file's image.
    void setColor(float r, float g, float b);
    void color(float& r, float& g, float& b) const;
    void setFinish(float diffuse, float specular, float ambient, float reflection, float roughness);
    void finish(float& diffuse, float& specular, float& ambient, float& reflection,
                float& roughness) const;
    void setNormal(const QString& pattern, float bumpSize, float normalScale);

    // The texture's POV-Ray text. `scale` is the radius of the scene's
    // bounding sphere: it sizes predefined textures and normal patterns.
    // With `srgb` the pigment colour is written as "color srgb <...>", for
    // scenes that work in linear light (assumed_gamma 1.0), so the colour
    // picked is the colour seen.
    QString povText(float scale, bool srgb = false) const;

    // Null selects the pigment colour; an empty (non-null) name is printed
    // as it stands.
    QString name;
    float red = 0.8f, green = 0.8f, blue = 0.8f;
    float diffuse = 0.7f;
    float specular = 0.3f;
    float ambient = 0.0f;
    float reflection = 0.3f;
    float roughness = 0.01f;
    bool metallic = false;
    QString normalPattern = QStringLiteral("smooth"); // "smooth": no normal block
    float bumpSize = 0.5f;
    float normalScale = 1.0f;

    // A file material's image, drawn on the model's texture coordinates in
    // place of the pigment colour (null: none). Only a texture with a null
    // name shows it; models without texture coordinates keep the colour.
    std::shared_ptr<const PovImage> image;
    // How the image continues outside [0, 1] along u and v.
    ImageWrap wrapU = ImageWrap::Repeat, wrapV = ImageWrap::Repeat;
    // The share of light passing through (1 - the file's opacity), written
    // as the pigment's transmit when above 0.
    float transmit = 0.0f;
    // The texture is its model's file material (documents record it).
    bool fromFile = false;
    // The model's file material, kept while the panel replaces it so that
    // "From File" brings it back; null when the file gave none.
    std::shared_ptr<const PovTexture> fileMaterial;
};
