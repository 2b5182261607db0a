#include "scene/PovFileMaterial.h"

#include "scene/ImportedScene.h"
#include "scene/PovScene.h"
#include "scene/SaveFile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

void say(const QString& line)
{
    std::fprintf(stderr, "Kelvane: %s\n", qPrintable(line));
    std::fflush(stderr);
}

float clamp01(float v) { return std::isfinite(v) ? std::min(1.0f, std::max(0.0f, v)) : 0.0f; }

} // namespace

std::shared_ptr<const PovImage> decodeFileImage(const QString& name, const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        say(QStringLiteral("the image '%1' is missing; the model keeps its base colour").arg(name));
        return nullptr;
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QByteArray format = reader.format();
    const QSize size = reader.size();
    QString why;
    QImage image;
    if (!size.isValid() || size.isEmpty()) {
        why = QStringLiteral("not an image Kelvane reads");
    } else if (qint64(size.width()) * size.height() > maxImagePixels) {
        why = QStringLiteral("%1 x %2 pixels, more than Kelvane decodes")
                  .arg(size.width())
                  .arg(size.height());
    } else if (!reader.read(&image) || image.isNull()) {
        why = reader.errorString();
    }
    if (!why.isEmpty()) {
        say(QStringLiteral("the image '%1' cannot be decoded (%2); the model keeps its base colour")
                .arg(name, why));
        return nullptr;
    }
    auto out = std::make_shared<PovImage>();
    out->name = name;
    out->image = image.convertToFormat(QImage::Format_RGBA8888);
    if (format == "png" || format == "jpeg" || format == "jpg") {
        // POV-Ray reads these as they are.
        out->bytes = bytes;
        out->format = format == "png" ? QByteArray("png") : QByteArray("jpeg");
    } else {
        QBuffer png(&out->bytes);
        png.open(QIODevice::WriteOnly);
        out->image.save(&png, "PNG");
        out->format = "png";
    }
    const QByteArray digest =
        QCryptographicHash::hash(out->bytes, QCryptographicHash::Sha1).toHex().left(16);
    out->fileName = QStringLiteral("kelvane-image-") + QString::fromLatin1(digest) +
                    (out->format == "png" ? QStringLiteral(".png") : QStringLiteral(".jpg"));
    return out;
}

PovTexture fileTexture(const vec& colour, const ImportedMaterial& material,
                       std::shared_ptr<const PovImage> image)
{
    PovTexture t;
    t.setColor(clamp01(colour[0]), clamp01(colour[1]), clamp01(colour[2]));
    if (material.pbr) {
        // Metallic and roughness (glTF): a smooth surface gets a bright,
        // tight highlight, a metal a mirror share and the metallic tint.
        const float metal = clamp01(material.metallic);
        const float rough = clamp01(material.roughness);
        t.diffuse = 0.7f * (1.0f - 0.5f * metal);
        t.specular = 0.05f + 0.6f * (1.0f - rough) * (1.0f - rough);
        t.roughness = std::max(0.001f, 0.1f * rough * rough);
        t.reflection = 0.5f * metal * (1.0f - rough);
        t.metallic = metal >= 0.5f;
    } else if (material.phong) {
        // Specular colour and shininess (OBJ Ks and Ns, COLLADA).
        // A shininess of 1 or less is no highlight to speak of.
        const float shininess = std::isfinite(material.shininess) ? material.shininess : 0.0f;
        t.specular = shininess > 1.0f ? 0.6f * clamp01(material.specular) : 0.0f;
        t.roughness = shininess > 1.0f ? std::max(0.001f, std::min(0.2f, 1.0f / shininess)) : 0.2f;
        t.reflection = 0.0f;
    }
    const float opacity = std::isfinite(material.opacity) ? clamp01(material.opacity) : 1.0f;
    t.transmit = 1.0f - opacity;
    t.image = std::move(image);
    t.wrapU = material.wrapU;
    t.wrapV = material.wrapV;
    t.fromFile = true;
    return t;
}

bool writeSceneImages(const PovScene& scene, const QString& folder, QString* error)
{
    QSet<QString> written;
    const QDir dir(folder);
    for (const PovTexture& t : scene.textures) {
        if (!t.image || !t.name.isNull() || written.contains(t.image->fileName)) {
            continue;
        }
        written.insert(t.image->fileName);
        const QString path = dir.filePath(t.image->fileName);
        QFileInfo info(path);
        if (info.isFile() && info.size() == t.image->bytes.size()) {
            continue; // named by its digest: the same bytes
        }
        QString reason;
        if (!saveBytes(path, t.image->bytes, &reason)) {
            if (error) {
                *error = QStringLiteral("cannot write '%1': %2").arg(path, reason);
            }
            return false;
        }
    }
    return true;
}

QStringList sceneImageFiles(const PovScene& scene)
{
    QStringList names;
    for (const PovTexture& t : scene.textures) {
        if (t.image && t.name.isNull() && !names.contains(t.image->fileName)) {
            names << t.image->fileName;
        }
    }
    return names;
}
