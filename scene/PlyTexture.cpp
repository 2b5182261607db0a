#include "scene/PlyTexture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <map>

namespace {

float finiteOrZero(float x) { return std::isfinite(x) ? x : 0.0f; }

} // namespace

bool plyTexturedPart(TriMesh& mesh, const QString& plyFile, ObjMaterialPart& part)
{
    if (mesh.textureFiles.empty() || mesh.texCoords.empty()) {
        return false;
    }
    mesh.unpackStrips();
    const bool perCorner = mesh.faceTexCoords.size() == 3 * mesh.faces.size();
    const bool perVertex =
        mesh.faceTexCoords.empty() && mesh.texCoords.size() == 2 * mesh.vertices.size();
    if (mesh.faces.empty() || (!perCorner && !perVertex)) {
        return false;
    }
    QString image = QString::fromStdString(mesh.textureFiles.front());
    image.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (mesh.textureFiles.size() > 1) {
        std::fprintf(stderr,
                     "Kelvane: the PLY file names %d images; every face takes the first, "
                     "'%s'\n",
                     int(mesh.textureFiles.size()), qPrintable(image));
    }
    const QString folder = QFileInfo(plyFile).absolutePath();
    std::string bytes = readModelImage(folder, image, folder);
    if (image.isEmpty()) {
        return false;
    }

    std::unique_ptr<TriMesh> out(new TriMesh);
    std::vector<float> uvs;
    const size_t pairs = mesh.texCoords.size() / 2;
    if (perVertex) {
        out->vertices = mesh.vertices;
        out->faces = mesh.faces;
        out->normals = mesh.normals;
        uvs.resize(mesh.texCoords.size());
        for (size_t i = 0; i < uvs.size(); ++i) {
            uvs[i] = finiteOrZero(mesh.texCoords[i]);
        }
    } else {
        // A corner is a vertex with the coordinate pair it takes there.
        std::map<std::pair<int, int>, int> cornerIndex;
        out->faces.reserve(mesh.faces.size());
        for (size_t f = 0; f < mesh.faces.size(); ++f) {
            Face face;
            for (int k = 0; k < 3; ++k) {
                const int v = mesh.faces[f][k];
                int t = mesh.faceTexCoords[3 * f + size_t(k)];
                t = t >= 0 && size_t(t) < pairs ? t : -1;
                const auto at =
                    cornerIndex.emplace(std::make_pair(v, t), int(out->vertices.size()));
                if (at.second) {
                    out->vertices.push_back(mesh.vertices[size_t(v)]);
                    if (mesh.normals.size() == mesh.vertices.size()) {
                        out->normals.push_back(mesh.normals[size_t(v)]);
                    }
                    uvs.push_back(t >= 0 ? finiteOrZero(mesh.texCoords[2 * size_t(t)]) : 0.0f);
                    uvs.push_back(t >= 0 ? finiteOrZero(mesh.texCoords[2 * size_t(t) + 1]) : 0.0f);
                }
                face[k] = at.first->second;
            }
            out->faces.push_back(face);
        }
    }
    part.mesh = std::move(out);
    part.uvs = std::move(uvs);
    part.colourKnown = true;
    part.colour = vec(1.0f, 1.0f, 1.0f);
    // PLY says nothing of highlights: a matte surface, as an OBJ material
    // with no Ks gives.
    part.material = ImportedMaterial();
    part.material.phong = true;
    part.material.imageName = image.toStdString();
    part.material.imageBytes = std::move(bytes);
    return true;
}

QStringList plyCompanionFiles(const QString& plyFile)
{
    QStringList files;
    QFile file(plyFile);
    if (!file.open(QIODevice::ReadOnly)) {
        return files;
    }
    const QDir folder = QFileInfo(plyFile).absoluteDir();
    const QString base = folder.canonicalPath();
    // The header is text up to "end_header"; its lines are short.
    for (int lines = 0; lines < 10000 && !file.atEnd(); ++lines) {
        const QByteArray line = file.readLine(4096).trimmed();
        if (line.startsWith("end_header")) {
            break;
        }
        const QByteArray rest = line.mid(7).trimmed();
        if (!line.startsWith("comment") || !rest.toLower().startsWith("texturefile") ||
            rest.size() < 13 || (rest[11] != ' ' && rest[11] != '\t')) {
            continue;
        }
        QString name = QString::fromUtf8(rest.mid(12).trimmed());
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QString path = QDir::cleanPath(folder.absoluteFilePath(name));
        const QString real = QFileInfo(path).canonicalFilePath();
        if (!QDir::isAbsolutePath(name) && !real.isEmpty() &&
            real.startsWith(base + QLatin1Char('/')) && QFileInfo(path).isFile() &&
            !files.contains(path)) {
            files << path;
        }
    }
    return files;
}
