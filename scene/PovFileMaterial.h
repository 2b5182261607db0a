#pragma once
// File materials: what a model's file says about its surface, turned into
// the scene's texture. An image the file gives for the base colour is
// decoded here (its size checked before any pixel is made), kept decoded
// for the view and encoded as POV-Ray reads it (PNG or JPEG) for the
// render, which finds it in its working folder by imageFileName().

#include "scene/PovTexture.h"
#include "trimesh/Vec.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>
#include <string>

struct ImportedMaterial;

struct PovImage {
    QString name;      // as the model's file names it, for messages
    QByteArray bytes;  // PNG or JPEG bytes, as written for the render
    QByteArray format; // "png" or "jpeg"
    QImage image;      // decoded, top row first, for the view
    // The name the render's working folder holds it under, made from a
    // digest of the bytes ("kelvane-image-<digest>.png").
    QString fileName;
};

// Images larger than this (in pixels) are not decoded.
constexpr qint64 maxImagePixels = 8192ll * 8192;

// The image of `bytes`, named `name` in the model's file; null, with
// "Kelvane: the image 'NAME' cannot be decoded (REASON); the model keeps its
// base colour" on standard error, when the bytes are no image Qt reads or
// the image is too large. Empty bytes (an image that could not be had) give
// null with "Kelvane: the image 'NAME' is missing; the model keeps its base
// colour".
std::shared_ptr<const PovImage> decodeFileImage(const QString& name, const QByteArray& bytes);

// The texture a model takes from its file: pigment `colour` (or the image
// on the model's texture coordinates, when `image` is given), with a finish
// derived from the material's factors (see README, "Materials from File").
PovTexture fileTexture(const vec& colour, const ImportedMaterial& material,
                       std::shared_ptr<const PovImage> image);

// Writes the images the scene's textures use into `folder` (those already
// there are left); false, with a sentence in `error`, when one cannot be
// written.
class PovScene;
bool writeSceneImages(const PovScene& scene, const QString& folder, QString* error = nullptr);
// The file names the scene's textures' images take in the working folder.
QStringList sceneImageFiles(const PovScene& scene);
