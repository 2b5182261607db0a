#include "scene/PovSceneFiles.h"

#include "scene/ObjMaterials.h"
#include "scene/PlyTexture.h"
#include "scene/PovSceneDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUrl>

namespace {

// The files beside a model file that its materials and data need: an OBJ
// file's .mtl libraries and their images; a PLY file's image; a .gltf file's buffers and images
// that are files of their own. Only those inside the model's folder.
QStringList companionFiles(const QString& model)
{
    const QString suffix = QFileInfo(model).suffix().toLower();
    if (suffix == QLatin1String("obj")) {
        return objCompanionFiles(model);
    }
    if (suffix == QLatin1String("ply")) {
        return plyCompanionFiles(model);
    }
    QStringList files;
    QFile file(model);
    if (suffix != QLatin1String("gltf") || file.size() > 64ll * 1024 * 1024 ||
        !file.open(QIODevice::ReadOnly)) {
        return files;
    }
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    const QDir folder = QFileInfo(model).absoluteDir();
    const QString base = folder.canonicalPath();
    for (const char* list : {"buffers", "images"}) {
        for (const QJsonValue item : root.value(QLatin1String(list)).toArray()) {
            const QString uri = item.toObject().value(QStringLiteral("uri")).toString();
            if (uri.isEmpty() || uri.startsWith(QLatin1String("data:"))) {
                continue;
            }
            const QString path =
                QDir::cleanPath(folder.absoluteFilePath(QUrl::fromPercentEncoding(uri.toUtf8())));
            const QString real = QFileInfo(path).canonicalFilePath();
            if (!real.isEmpty() && real.startsWith(base + QLatin1Char('/')) &&
                QFileInfo(path).isFile() && !files.contains(path)) {
                files << path;
            }
        }
    }
    return files;
}

} // namespace

QStringList sceneFiles(const QString& scene, QString* error)
{
    const QFileInfo info(scene);
    if (!info.isFile()) {
        if (error) {
            *error = QStringLiteral("no such file: '%1'").arg(scene);
        }
        return {};
    }
    // Model files (NPR, OFF, PLY) and KMZ archives hold everything they
    // show; OBJ and .gltf files bring the files beside them that they name;
    // a scene document names its model files, which it is read (and
    // checked) to find.
    if (PovSceneDocument::isDocumentFile(scene)) {
        PovScene loaded;
        PovSceneDocument document;
        if (!document.open(scene, loaded, nullptr)) {
            if (error) {
                *error = QStringLiteral("cannot open the scene document '%1': %2")
                             .arg(scene, document.error());
            }
            return {};
        }
        QStringList files{info.absoluteFilePath()};
        for (const QString& model : document.modelFiles()) {
            files << model << companionFiles(model);
        }
        if (!document.environmentFile().isEmpty()) {
            files << document.environmentFile();
        }
        files.removeDuplicates();
        return files;
    }
    return QStringList{info.absoluteFilePath()} + companionFiles(info.absoluteFilePath());
}

QString escapedFileName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        const ushort u = c.unicode();
        if (c == QLatin1Char('\\')) {
            out += QLatin1String("\\\\");
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("\\r");
        } else if (c == QLatin1Char('\t')) {
            out += QLatin1String("\\t");
        } else if (u < 0x20 || u == 0x7f) {
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

bool copyScene(const QString& scene, const QString& folder, QString* copied, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    QString why;
    const QStringList files = sceneFiles(scene, &why);
    if (files.isEmpty()) {
        return fail(why);
    }
    // The deepest folder holding them all; the copies keep their paths
    // below it.
    QString common = QFileInfo(files[0]).absolutePath();
    for (const QString& f : files) {
        while (
            !f.startsWith(common.endsWith(QLatin1Char('/')) ? common : common + QLatin1Char('/'))) {
            common = QFileInfo(common).absolutePath();
        }
    }
    const QDir base(common);
    const QDir target(QFileInfo(folder).absoluteFilePath());
    if (QFileInfo::exists(target.path()) || QFileInfo(target.path()).isSymLink()) {
        return fail(QStringLiteral("'%1' exists already").arg(folder));
    }
    if (!QDir().mkdir(target.path())) {
        return fail(QStringLiteral("the folder '%1' cannot be made").arg(folder));
    }
    const bool document = PovSceneDocument::isDocumentFile(scene);
    for (int i = 0; i < files.size(); ++i) {
        const QString relative = base.relativeFilePath(files[i]);
        const QString copy = target.filePath(relative);
        if (!QDir().mkpath(QFileInfo(copy).absolutePath())) {
            return fail(QStringLiteral("the folder for '%1' cannot be made").arg(copy));
        }
        if (i == 0 && document) {
            // The document as written, with only its model named anew,
            // relative to the document (the copies keep their places).
            QFile original(files[0]);
            if (!original.open(QIODevice::ReadOnly)) {
                return fail(QStringLiteral("'%1' cannot be read: %2")
                                .arg(files[0], original.errorString()));
            }
            QJsonObject json = QJsonDocument::fromJson(original.readAll()).object();
            const QDir folder = QFileInfo(files[0]).absoluteDir();
            if (json.contains(QStringLiteral("files"))) {
                QJsonArray entries = json.value(QStringLiteral("files")).toArray();
                for (int k = 0; k < entries.size(); ++k) {
                    QJsonObject entry = entries[k].toObject();
                    const QString path = QDir::cleanPath(
                        folder.absoluteFilePath(entry.value(QStringLiteral("path")).toString()));
                    entry.insert(QStringLiteral("path"), folder.relativeFilePath(path));
                    entries[k] = entry;
                }
                json.insert(QStringLiteral("files"), entries);
            } else {
                json.insert(QStringLiteral("model"), folder.relativeFilePath(files[1]));
            }
            // The environment image, the list's last file, where its copy is.
            QJsonObject environment = json.value(QStringLiteral("environment")).toObject();
            if (QDir::cleanPath(folder.absoluteFilePath(
                    environment.value(QStringLiteral("file")).toString())) == files.last()) {
                environment.insert(QStringLiteral("file"), folder.relativeFilePath(files.last()));
                json.insert(QStringLiteral("environment"), environment);
            }
            QSaveFile out(copy);
            if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(json).toJson()) < 0 ||
                !out.commit()) {
                return fail(
                    QStringLiteral("'%1' cannot be written: %2").arg(copy, out.errorString()));
            }
        } else if (!QFile::copy(files[i], copy)) {
            return fail(QStringLiteral("'%1' cannot be copied to '%2'").arg(files[i], copy));
        }
    }
    if (copied) {
        *copied = base.relativeFilePath(files[0]);
    }
    return true;
}

QString notAFileReason(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile()) {
        return QString();
    }
    return info.isDir() ? QStringLiteral("it is a folder, not a file")
                        : QStringLiteral("it is not a regular file (a named pipe or a device)");
}
