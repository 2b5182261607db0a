#include "scene/ObjMaterials.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

// .mtl files larger than this are not read: they hold names and numbers.
constexpr qint64 maxLibraryBytes = 64ll * 1024 * 1024;

struct MtlEntry {
    bool colourKnown = false;
    vec colour;
    ImportedMaterial material;
    QString image; // the map_Kd file as written
    QString folder; // the library's folder
};

// Up to three numbers after the first word of `line` ("Ks r g b"; one
// number alone gives grey).
bool readTriple(const QByteArray& line, int word, vec& c)
{
    const QList<QByteArray> words = line.mid(word + 1).simplified().split(' ');
    bool ok = words.size() >= 1;
    for (int k = 0; k < 3 && ok; ++k) {
        const QByteArray& w = words.size() >= 3 ? words[k] : words[0];
        c[k] = w.toFloat(&ok);
        ok = ok && std::isfinite(c[k]);
        c[k] = std::min(1.0f, std::max(0.0f, c[k]));
    }
    return ok;
}

bool startsWithWord(const QByteArray& line, const char* word)
{
    const int n = int(std::strlen(word));
    return line.startsWith(word) && line.size() > n && (line[n] == ' ' || line[n] == '\t');
}

// Reads "newmtl name", "Kd", "Ks", "Ns", "d" and "map_Kd" lines;
// later definitions of a name win.
bool readLibrary(const QString& path, std::map<std::string, MtlEntry>& entries)
{
    QFile file(path);
    if (file.size() > maxLibraryBytes || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    MtlEntry* current = nullptr;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(1 << 20).trimmed();
        vec c;
        bool ok = false;
        if (startsWithWord(line, "newmtl")) {
            current = &entries[line.mid(7).trimmed().toStdString()];
            *current = MtlEntry();
            current->folder = folder;
        } else if (!current) {
            continue;
        } else if (startsWithWord(line, "Kd") && readTriple(line, 2, c)) {
            current->colourKnown = true;
            current->colour = c;
        } else if (startsWithWord(line, "Ks") && readTriple(line, 2, c)) {
            current->material.phong = true;
            current->material.specular = (c[0] + c[1] + c[2]) / 3.0f;
        } else if (startsWithWord(line, "Ns")) {
            const float v = line.mid(3).trimmed().toFloat(&ok);
            if (ok && std::isfinite(v)) {
                current->material.shininess = v;
            }
        } else if (startsWithWord(line, "d")) {
            // "Tr" is left alone: exporters disagree on which way it runs.
            const float v = line.mid(2).trimmed().toFloat(&ok);
            if (ok && std::isfinite(v)) {
                current->material.opacity = std::min(1.0f, std::max(0.0f, v));
            }
        } else if (startsWithWord(line, "map_Kd")) {
            // Options ("-s 1 1 1", "-clamp on") come first; the file name,
            // which may hold spaces, is the rest.
            QList<QByteArray> words = line.mid(7).simplified().split(' ');
            while (words.size() > 1 && words.first().startsWith('-')) {
                words.removeFirst();
                bool number = true;
                while (words.size() > 1 && number) {
                    words.first().toDouble(&number);
                    number = number || words.first() == "on" || words.first() == "off";
                    if (number) {
                        words.removeFirst();
                    }
                }
            }
            current->image = QString::fromUtf8(words.join(' '));
            current->image.replace(QLatin1Char('\\'), QLatin1Char('/'));
        }
    }
    return true;
}

} // namespace

// The bytes of image `name`, relative to `folder` (the .mtl's), when it
// lies inside `root` (the OBJ file's folder, links followed), is a regular
// file and is not larger than an image may be. A name leaving the folder
// is refused with a line and gives an empty name; an image that cannot be
// read gives empty bytes (the scene then names it as missing).
std::string readModelImage(const QString& folder, QString& name, const QString& root)
{
    const QString path = QDir::cleanPath(QDir(folder).absoluteFilePath(name));
    const QString base = QFileInfo(root).canonicalFilePath();
    const QFileInfo info(path);
    const QString real = info.exists() ? info.canonicalFilePath() : path;
    if (QDir::isAbsolutePath(name) || base.isEmpty() ||
        !real.startsWith(base + QLatin1Char('/'))) {
        std::fprintf(stderr,
                     "Kelvane: the image '%s' lies outside the model's folder: it is refused\n",
                     qPrintable(name));
        name.clear();
        return std::string();
    }
    QFile file(path);
    if (!info.isFile() || info.size() > qint64(ImportedScene::maxImageBytes) ||
        !file.open(QIODevice::ReadOnly)) {
        return std::string();
    }
    return file.readAll().toStdString();
}

bool splitByMaterial(const TriMesh& mesh, const QString& objFile,
                     std::vector<ObjMaterialPart>& parts)
{
    parts.clear();
    if (mesh.materialNames.empty() || mesh.faceMaterials.size() != mesh.faces.size() ||
        mesh.faces.empty()) {
        return false;
    }
    const QDir folder = QFileInfo(objFile).absoluteDir();
    std::map<std::string, MtlEntry> colours;
    bool anyLibrary = false;
    for (const std::string& library : mesh.materialLibraries) {
        // Exporters on Windows write folders with backslashes.
        QString name = QString::fromStdString(library);
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
        anyLibrary = readLibrary(folder.filePath(name), colours) || anyLibrary;
    }
    const bool withTexCoords = mesh.faceTexCoords.size() == 3 * mesh.faces.size() &&
                               !mesh.texCoords.empty();
    if (!anyLibrary) {
        return false;
    }
    // Faces before the first "usemtl" (material -1) come first.
    const int count = int(mesh.materialNames.size());
    std::vector<int> order;
    if (std::find(mesh.faceMaterials.begin(), mesh.faceMaterials.end(), -1) !=
        mesh.faceMaterials.end()) {
        order.push_back(-1);
    }
    for (int m = 0; m < count; ++m) {
        order.push_back(m);
    }
    std::vector<int> renumbered(mesh.vertices.size(), -1);
    for (int material : order) {
        const MtlEntry* entry = nullptr;
        if (material >= 0) {
            const auto found = colours.find(mesh.materialNames[size_t(material)]);
            entry = found != colours.end() ? &found->second : nullptr;
        }
        // A textured material's corners are told apart by their texture
        // coordinates as well as their vertex.
        const bool textured = entry && !entry->image.isEmpty() && withTexCoords;
        std::map<std::pair<int, int>, int> cornerIndex;
        std::unique_ptr<TriMesh> part(new TriMesh);
        std::vector<float> uvs;
        std::fill(renumbered.begin(), renumbered.end(), -1);
        for (size_t f = 0; f < mesh.faces.size(); ++f) {
            if (mesh.faceMaterials[f] != material) {
                continue;
            }
            Face face;
            for (int k = 0; k < 3; ++k) {
                const int v = mesh.faces[f][k];
                if (textured) {
                    const int t = mesh.faceTexCoords[3 * f + size_t(k)];
                    const auto at = cornerIndex.emplace(std::make_pair(v, t),
                                                        int(part->vertices.size()));
                    if (at.second) {
                        part->vertices.push_back(mesh.vertices[size_t(v)]);
                        uvs.push_back(t >= 0 ? mesh.texCoords[2 * size_t(t)] : 0.0f);
                        uvs.push_back(t >= 0 ? mesh.texCoords[2 * size_t(t) + 1] : 0.0f);
                    }
                    face[k] = at.first->second;
                    continue;
                }
                if (renumbered[size_t(v)] < 0) {
                    renumbered[size_t(v)] = int(part->vertices.size());
                    part->vertices.push_back(mesh.vertices[size_t(v)]);
                }
                face[k] = renumbered[size_t(v)];
            }
            part->faces.push_back(face);
        }
        if (part->faces.empty()) {
            continue;
        }
        ObjMaterialPart p;
        p.mesh = std::move(part);
        if (entry) {
            p.colourKnown = entry->colourKnown;
            p.colour = entry->colourKnown ? entry->colour : vec(1.0f, 1.0f, 1.0f);
            p.material = entry->material;
            if (textured) {
                QString image = entry->image;
                p.material.imageBytes = readModelImage(entry->folder, image, folder.absolutePath());
                p.material.imageName = image.toStdString();
                if (!p.material.imageName.empty()) {
                    p.colourKnown = true;
                    p.uvs = std::move(uvs);
                }
            }
        }
        parts.push_back(std::move(p));
    }
    if (parts.size() < 2) {
        // One material only: the file loads as one model, as without colours,
        // but with that material's colour.
        if (parts.size() == 1 && parts[0].colourKnown) {
            return true;
        }
        parts.clear();
        return false;
    }
    return true;
}

QStringList objCompanionFiles(const QString& objFile)
{
    QStringList files;
    QFile obj(objFile);
    if (!obj.open(QIODevice::ReadOnly)) {
        return files;
    }
    const QDir folder = QFileInfo(objFile).absoluteDir();
    QStringList libraries;
    while (!obj.atEnd()) {
        const QByteArray line = obj.readLine(1 << 20).trimmed();
        if (startsWithWord(line, "mtllib")) {
            QString name = QString::fromUtf8(line.mid(7).trimmed());
            name.replace(QLatin1Char('\\'), QLatin1Char('/'));
            const QString path = QDir::cleanPath(folder.absoluteFilePath(name));
            if (QFileInfo(path).isFile() && !libraries.contains(path)) {
                libraries << path;
            }
        }
    }
    for (const QString& library : libraries) {
        files << library;
        std::map<std::string, MtlEntry> entries;
        readLibrary(library, entries);
        for (const auto& entry : entries) {
            if (entry.second.image.isEmpty()) {
                continue;
            }
            QString image = entry.second.image;
            const QString path =
                QDir::cleanPath(QDir(entry.second.folder).absoluteFilePath(image));
            const QString base = folder.canonicalPath();
            const QString real = QFileInfo(path).canonicalFilePath();
            if (!real.isEmpty() && real.startsWith(base + QLatin1Char('/')) &&
                QFileInfo(path).isFile() && !files.contains(path)) {
                files << path;
            }
        }
    }
    return files;
}
