#include "scene/ObjMaterials.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// .mtl files larger than this are not read: they hold names and numbers.
constexpr qint64 maxLibraryBytes = 64ll * 1024 * 1024;

// Reads "newmtl name" and "Kd r g b" lines; later definitions of a name win.
bool readLibrary(const QString& path, std::map<std::string, vec>& colours)
{
    QFile file(path);
    if (file.size() > maxLibraryBytes || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    std::string current;
    bool named = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(1 << 20).trimmed();
        if (line.startsWith("newmtl") && line.size() > 6 && (line[6] == ' ' || line[6] == '\t')) {
            current = line.mid(7).trimmed().toStdString();
            named = true;
        } else if (named && line.startsWith("Kd") && line.size() > 2 &&
                   (line[2] == ' ' || line[2] == '\t')) {
            const QList<QByteArray> words = line.mid(3).simplified().split(' ');
            vec c;
            bool ok = words.size() >= 1;
            for (int k = 0; k < 3 && ok; ++k) {
                // "Kd r" alone gives grey.
                const QByteArray& w = words.size() >= 3 ? words[k] : words[0];
                c[k] = w.toFloat(&ok);
                ok = ok && std::isfinite(c[k]);
                c[k] = std::min(1.0f, std::max(0.0f, c[k]));
            }
            if (ok) {
                colours[current] = c;
            }
        }
    }
    return true;
}

} // namespace

bool splitByMaterial(const TriMesh& mesh, const QString& objFile,
                     std::vector<ObjMaterialPart>& parts)
{
    parts.clear();
    if (mesh.materialNames.empty() || mesh.faceMaterials.size() != mesh.faces.size() ||
        mesh.faces.empty()) {
        return false;
    }
    const QDir folder = QFileInfo(objFile).absoluteDir();
    std::map<std::string, vec> colours;
    bool anyLibrary = false;
    for (const std::string& library : mesh.materialLibraries) {
        // Exporters on Windows write folders with backslashes.
        QString name = QString::fromStdString(library);
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
        anyLibrary = readLibrary(folder.filePath(name), colours) || anyLibrary;
    }
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
        std::unique_ptr<TriMesh> part(new TriMesh);
        std::fill(renumbered.begin(), renumbered.end(), -1);
        for (size_t f = 0; f < mesh.faces.size(); ++f) {
            if (mesh.faceMaterials[f] != material) {
                continue;
            }
            Face face;
            for (int k = 0; k < 3; ++k) {
                const int v = mesh.faces[f][k];
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
        if (material >= 0) {
            const auto found = colours.find(mesh.materialNames[size_t(material)]);
            if (found != colours.end()) {
                p.colourKnown = true;
                p.colour = found->second;
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
