#include "collada/CdaScene.h"

#include "collada/CdaKml.h"
#include "collada/CdaXml.h"
#include "ln/LnBoxyModel.h"
#include "trimesh/BoundingSphere.h"

#include <QBuffer>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QUrl>
#include <QXmlStreamReader>

#include <unzip.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace {

QByteArray shown(const QString& text) { return text.toLocal8Bit(); }

// The line for a subtree that a walk's limits cut short.
void warnCut(const CdaNode* node)
{
    cdaWarning("CdaScene::load: node %s is nested, instanced or sized beyond the importer's "
               "limits; part of it is left out\n",
               shown(node->id).constData());
}

// A flattened model node's geometry can become a model when all its
// triangles index inside its positions and normals; otherwise the node is
// named and left out.
bool indicesUsable(const CdaGeometry& flat, const CdaNode* node)
{
    if (flat.indicesInRange()) {
        return true;
    }
    cdaWarning("CdaScene::load: model node %s has triangle indices outside its positions "
               "or normals; it is left out\n",
               shown(node->id).constData());
    return false;
}

// Registers a record under its id unless an earlier record has the id.
template <class Record>
void appendRecord(std::vector<std::unique_ptr<Record>>& library,
                  QHash<QString, const Record*>& index, std::unique_ptr<Record> record)
{
    if (!index.contains(record->id)) {
        index.insert(record->id, record.get());
    }
    library.push_back(std::move(record));
}

template <class Record>
const Record* lookup(const QHash<QString, const Record*>& index, const QString& id)
{
    return index.value(id, nullptr);
}

// What the DOM would hold: the deepest element nesting and the number of
// elements plus attributes. The scan stops as soon as either passes its
// limit (the returned figure is then above the limit). Unreadable input ends
// the scan early; the DOM parser then reports it.
struct DocumentShape {
    int deepest = 0;
    long long nodes = 0;
};

DocumentShape scanDocument(const QByteArray& bytes, int depthLimit, long long nodeLimit)
{
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);
    DocumentShape shape;
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            shape.deepest = std::max(shape.deepest, ++depth);
            shape.nodes += 1 + reader.attributes().size();
            if (depth > depthLimit || shape.nodes > nodeLimit) {
                break;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::Invalid) {
            break;
        }
    }
    return shape;
}

// The budget of every walk over the node tree: a node deeper than
// maxVisitDepth, or beyond the visits left, is not entered and sets `cut`;
// otherwise it takes one visit.
bool enterNode(int depth, long long& visitsLeft, bool& cut)
{
    if (depth > CdaScene::maxVisitDepth || visitsLeft <= 0) {
        cut = true;
        return false;
    }
    --visitsLeft;
    return true;
}

// Calls leaf(node, matrix) for each leaf of the subtree with the product of
// the matrices above it, from `node` down. Sets `cut` when the depth or
// visit budget stops the walk.
template <class Leaf>
void walk(const CdaNode* node, const Matrix4& above, int depth, long long& visitsLeft, bool& cut,
          Leaf& leaf)
{
    if (!enterNode(depth, visitsLeft, cut)) {
        return;
    }
    if (!node->children.empty() || node->instanceNode) {
        const Matrix4 placed = above * node->matrix;
        for (const std::unique_ptr<CdaNode>& child : node->children) {
            if (visitsLeft <= 0) {
                cut = true;
                break;
            }
            walk(child.get(), placed, depth + 1, visitsLeft, cut, leaf);
        }
        if (node->instanceNode) {
            walk(node->instanceNode, placed, depth + 1, visitsLeft, cut, leaf);
        }
    } else {
        leaf(*node, above);
    }
}

// The transformed positions of every leaf geometry of the subtree.
std::vector<vec> subtreePoints(const CdaNode* node)
{
    std::vector<vec> points;
    if (!node) {
        return points;
    }
    long long visitsLeft = CdaScene::maxVisits;
    bool cut = false;
    auto leaf = [&points, &cut](const CdaNode& n, const Matrix4& placed) {
        if (!n.geometry) {
            return;
        }
        const std::vector<vec>& positions = n.geometry->positions;
        if ((long long)(points.size() + positions.size()) > CdaScene::maxEntries) {
            cut = true;
            return;
        }
        for (const vec& p : positions) {
            points.push_back(placed.transformPoint(p));
        }
    };
    walk(node, Matrix4(), 0, visitsLeft, cut, leaf);
    return points;
}

// Reads one library: the item elements of the first library element.
template <class Record, class Make>
void readLibrary(const QDomElement& root, const char* libraryTag, const char* itemTag,
                 std::vector<std::unique_ptr<Record>>& library,
                 QHash<QString, const Record*>& index, Make make)
{
    const QDomElement libraryElement = root.firstChildElement(QLatin1String(libraryTag));
    for (QDomElement item = libraryElement.firstChildElement(QLatin1String(itemTag));
         !item.isNull(); item = item.nextSiblingElement(QLatin1String(itemTag))) {
        appendRecord(library, index, make(item));
    }
}

// Owns an open archive.
class ZipHandle {
public:
    explicit ZipHandle(const QString& path) : zip(unzOpen(QFile::encodeName(path).constData())) {}
    ~ZipHandle()
    {
        if (zip) {
            unzClose(zip);
        }
    }
    ZipHandle(const ZipHandle&) = delete;
    ZipHandle& operator=(const ZipHandle&) = delete;
    unzFile get() const { return zip; }

private:
    unzFile zip;
};

// Reads the current entry in chunks, so the buffer never holds more than
// what the entry really gives, up to `declared` bytes. True when exactly
// `declared` bytes were read.
bool readCurrentEntry(unzFile zip, unsigned long long declared, QByteArray& bytes)
{
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
        return false;
    }
    char chunk[65536];
    while ((unsigned long long)bytes.size() < declared) {
        const unsigned long long rest = declared - (unsigned long long)bytes.size();
        const unsigned want = unsigned(std::min<unsigned long long>(sizeof chunk, rest));
        const int got = unzReadCurrentFile(zip, chunk, want);
        if (got <= 0) {
            break;
        }
        bytes.append(chunk, got);
    }
    unzCloseCurrentFile(zip);
    return (unsigned long long)bytes.size() == declared;
}

bool endsWithDae(const char* name)
{
    const size_t n = std::strlen(name);
    return n >= 3 && QByteArray(name + n - 3).toLower() == "dae";
}

// Whether the element or a node below it has id "Model". Nesting is bounded
// by the document check.
bool hasModelNode(const QDomElement& element)
{
    for (QDomElement child = element.firstChildElement(QStringLiteral("node")); !child.isNull();
         child = child.nextSiblingElement(QStringLiteral("node"))) {
        if (child.attribute(QStringLiteral("id")) == QLatin1String("Model") ||
            hasModelNode(child)) {
            return true;
        }
    }
    return false;
}

Matrix4 upAxisTurn(const QString& axis)
{
    Matrix4 m;
    if (axis == QLatin1String("Y_UP")) {
        // (x, y, z) -> (x, -z, y)
        m.at(1, 1) = 0.0;
        m.at(1, 2) = -1.0;
        m.at(2, 1) = 1.0;
        m.at(2, 2) = 0.0;
    } else if (axis == QLatin1String("X_UP")) {
        // (x, y, z) -> (-z, y, x)
        m.at(0, 0) = 0.0;
        m.at(0, 2) = -1.0;
        m.at(2, 0) = 1.0;
        m.at(2, 2) = 0.0;
    }
    return m;
}

// The visual scene <scene><instance_visual_scene> names, else the first.
QDomElement instancedVisualScene(const QDomElement& root, const QDomElement& first)
{
    const QString wanted =
        cdaStripHash(root.firstChildElement(QStringLiteral("scene"))
                         .firstChildElement(QStringLiteral("instance_visual_scene"))
                         .attribute(QStringLiteral("url")));
    if (wanted.isEmpty()) {
        return first;
    }
    for (QDomElement v = first; !v.isNull();
         v = v.nextSiblingElement(QStringLiteral("visual_scene"))) {
        if (v.attribute(QStringLiteral("id")) == wanted) {
            return v;
        }
    }
    return first;
}

// Image id to the archive entry it names, resolved against the folder of
// the document's own entry; empty when the document is not in an archive.
// A path the archive's KML aliases (`aliases`) is replaced by its target
// first.
QHash<QString, QString> imageEntries(const QDomElement& root, const QString& entry,
                                     const QHash<QString, QString>& aliases)
{
    QHash<QString, QString> out;
    if (entry.isEmpty()) {
        return out;
    }
    const QString folder = QFileInfo(entry).path();
    for (QDomElement image = root.firstChildElement(QStringLiteral("library_images"))
                                 .firstChildElement(QStringLiteral("image"));
         !image.isNull(); image = image.nextSiblingElement(QStringLiteral("image"))) {
        QDomElement from = image.firstChildElement(QStringLiteral("init_from"));
        if (!from.firstChildElement(QStringLiteral("ref")).isNull()) {
            from = from.firstChildElement(QStringLiteral("ref")); // COLLADA 1.5
        }
        QString file = QUrl::fromPercentEncoding(from.text().trimmed().toUtf8());
        if (file.startsWith(QLatin1String("file://"))) {
            file = file.mid(7);
        }
        if (file.isEmpty()) {
            continue;
        }
        file = aliases.value(file, file);
        QString inArchive = QDir::cleanPath(folder + QLatin1Char('/') + file);
        if (QDir::isAbsolutePath(file) || inArchive == QLatin1String("..") ||
            inArchive.startsWith(QLatin1String("../"))) {
            cdaWarning("CdaScene::load: the image \"%s\" lies outside the archive; it is "
                       "refused\n",
                       file.toLocal8Bit().constData());
            continue;
        }
        while (inArchive.startsWith(QLatin1String("./"))) {
            inArchive = inArchive.mid(2);
        }
        out.insert(image.attribute(QStringLiteral("id")), inArchive);
    }
    return out;
}

} // namespace

CdaScene::CdaScene() = default;

CdaScene::~CdaScene()
{
    rootNode.reset();
    libraryNodes.clear();
    geometries.clear();
    cameras.clear();
    lights.clear();
    materials.clear();
    effects.clear();
}

bool CdaScene::load(const QString& path)
{
    if (path.endsWith(QLatin1String("kmz"), Qt::CaseInsensitive)) {
        return loadKmz(path);
    }
    if (path.endsWith(QLatin1String("dae"), Qt::CaseInsensitive)) {
        return loadDae(path);
    }
    cdaWarning("CdaScene::load: unrecognized file type: %s\n", shown(path).constData());
    return false;
}

bool CdaScene::loadKmz(const QString& path)
{
    ZipHandle archive(path);
    unzFile zip = archive.get();
    unz_global_info info;
    if (!zip || unzGetGlobalInfo(zip, &info) != UNZ_OK) {
        cdaWarning("CdaScene::load: could not open: %s\n", shown(path).constData());
        return false;
    }
    archivePath = path;
    // Google Earth archives may name their images through doc.kml's
    // resource map rather than where they are stored.
    kmlAliases = kmlResourceAliases(archiveEntry(QStringLiteral("doc.kml")));
    unsigned long long readSoFar = 0;
    for (uLong entry = 0; entry < info.number_entry; ++entry) {
        unz_file_info fileInfo;
        char name[257] = {};
        const int result = unzGetCurrentFileInfo(zip, &fileInfo, name, 256, nullptr, 0, nullptr, 0);
        if (result != UNZ_OK) {
            cdaWarning("CdaScene::load: error %d with zipfile in unzGetCurrentFileInfo\n", result);
            return false;
        }
        name[256] = '\0'; // a longer name fills the buffer unterminated
        if (endsWithDae(name)) {
            const unsigned long long declared = fileInfo.uncompressed_size;
            if (declared > maxEntryBytes) {
                cdaWarning("CdaScene::load: %s in %s declares %llu bytes, more than the "
                           "%llu read from one entry; skipped\n",
                           name, shown(path).constData(), declared, maxEntryBytes);
            } else if (declared > maxArchiveBytes - readSoFar) {
                cdaWarning("CdaScene::load: %s in %s would take the documents read from the "
                           "archive past %llu bytes; skipped\n",
                           name, shown(path).constData(), maxArchiveBytes);
            } else {
                readSoFar += declared;
                QByteArray bytes;
                if (!readCurrentEntry(zip, declared, bytes)) {
                    cdaWarning("CdaScene::load: error reading %s in %s\n", name,
                               shown(path).constData());
                    return false;
                }
                currentEntry = QString::fromLocal8Bit(name);
                load(bytes); // a broken document does not stop the walk
                currentEntry.clear();
            }
        }
        // The entry count comes from the archive and may overstate: stop at
        // the real end.
        if (entry + 1 < info.number_entry && unzGoToNextFile(zip) != UNZ_OK) {
            break;
        }
    }
    return true;
}

bool CdaScene::loadDae(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    cdaWarning("CdaScene::load: Opened %s\n", shown(path).constData());
    if ((unsigned long long)file.size() > maxEntryBytes) {
        cdaWarning("CdaScene::load: %s has %lld bytes, more than the %llu read from one "
                   "document; not read\n",
                   shown(path).constData(), (long long)file.size(), maxEntryBytes);
        return false;
    }
    return load(file.readAll());
}

bool CdaScene::load(const QByteArray& bytes)
{
    const DocumentShape shape = scanDocument(bytes, maxElementDepth, maxDocumentNodes);
    if (shape.deepest > maxElementDepth) {
        cdaWarning("CdaScene::load: elements nested deeper than %d levels; document not read\n",
                   maxElementDepth);
        return false;
    }
    if (shape.nodes > maxDocumentNodes) {
        cdaWarning("CdaScene::load: more than %lld elements and attributes; document not read\n",
                   maxDocumentNodes);
        return false;
    }

    QDomDocument document(QStringLiteral("collada"));
    QString message;
    int line = 0, column = 0;
    if (!document.setContent(bytes, &message, &line, &column)) {
        cdaWarning("CdaScene::load: DOM read failure: %s at row %d, col %d\n",
                   shown(message).constData(), line, column);
        QFile dump(QStringLiteral("dom_error_dump.txt"));
        if (dump.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            dump.write(bytes);
        }
        return false;
    }
    const QDomElement root = document.documentElement();
    const QDomElement firstVisualScene =
        root.firstChildElement(QStringLiteral("library_visual_scenes"))
            .firstChildElement(QStringLiteral("visual_scene"));
    // Documents in the "Model" layout are read exactly as that layout
    // expects; any other is read in full.
    const bool modelLayout = hasModelNode(firstVisualScene);
    const CdaGeometry::Decoding decoding =
        modelLayout ? CdaGeometry::Decoding::TrianglesOnly : CdaGeometry::Decoding::AllSurfaces;

    const int effectsBefore = effectCount();
    readLibrary(root, "library_effects", "effect", effects, effectIndex,
                [](const QDomElement& e) { return std::make_unique<CdaEffect>(e); });
    cdaWarning("CdaScene::load: Read %d effects\n", effectCount());
    const QHash<QString, QString> images = imageEntries(root, currentEntry, kmlAliases);
    for (int i = effectsBefore; i < effectCount(); ++i) {
        const CdaEffect* e = effects[size_t(i)].get();
        if (!e->diffuseImage.isEmpty() && images.contains(e->diffuseImage)) {
            effectImageEntry.insert(e, images.value(e->diffuseImage));
        }
    }
    readLibrary(root, "library_materials", "material", materials, materialIndex,
                [this](const QDomElement& e) { return std::make_unique<CdaMaterial>(e, *this); });
    cdaWarning("CdaScene::load: Read %d materials\n", materialCount());
    readLibrary(root, "library_lights", "light", lights, lightIndex,
                [](const QDomElement& e) { return std::make_unique<CdaLight>(e); });
    cdaWarning("CdaScene::load: Read %d lights\n", lightCount());
    readLibrary(root, "library_cameras", "camera", cameras, cameraIndex,
                [](const QDomElement& e) { return std::make_unique<CdaCamera>(e); });
    cdaWarning("CdaScene::load: Read %d cameras\n", cameraCount());
    readLibrary(
        root, "library_geometries", "geometry", geometries, geometryIndex,
        [decoding](const QDomElement& e) { return std::make_unique<CdaGeometry>(e, decoding); });
    cdaWarning("CdaScene::load: Read %d geometries\n", geometryCount());
    for (CdaController& c : cdaReadControllers(root, *this)) {
        if (c.geometry && !controllerIndex.contains(c.id)) {
            controllers.push_back(std::make_unique<CdaController>(std::move(c)));
            controllerIndex.insert(controllers.back()->id, controllers.back().get());
        }
    }
    const int libraryNodesBefore = libraryNodeCount();
    readLibrary(root, "library_nodes", "node", libraryNodes, libraryNodeIndex,
                [this](const QDomElement& e) { return std::make_unique<CdaNode>(e, *this); });
    cdaWarning("CdaScene::load: Read %d library nodes\n", libraryNodeCount());
    for (int i = libraryNodesBefore; i < libraryNodeCount(); ++i) {
        indexNestedNodes(*libraryNodes[size_t(i)]);
    }

    upMatrix = Matrix4();
    QDomElement visualScene = firstVisualScene;
    if (!modelLayout) {
        upMatrix = upAxisTurn(root.firstChildElement(QStringLiteral("asset"))
                                  .firstChildElement(QStringLiteral("up_axis"))
                                  .text()
                                  .trimmed());
        visualScene = instancedVisualScene(root, firstVisualScene);
    }
    rootNode = std::make_unique<CdaNode>(visualScene, *this);
    resolveInstanceNodes(libraryNodesBefore);
    cdaWarning("CdaScene::load: Read root node\n");
    cdaWarning("CdaScene::load: success!\n");
    return true;
}

const CdaNode* CdaScene::findLibraryNode(const QString& id) const
{
    return lookup(libraryNodeIndex, id);
}
const CdaGeometry* CdaScene::findGeometry(const QString& id) const
{
    return lookup(geometryIndex, id);
}
const CdaCamera* CdaScene::findCamera(const QString& id) const { return lookup(cameraIndex, id); }
const CdaLight* CdaScene::findLight(const QString& id) const { return lookup(lightIndex, id); }
const CdaMaterial* CdaScene::findMaterial(const QString& id) const
{
    return lookup(materialIndex, id);
}
const CdaEffect* CdaScene::findEffect(const QString& id) const { return lookup(effectIndex, id); }
void CdaScene::indexNestedNodes(const CdaNode& node)
{
    for (const std::unique_ptr<CdaNode>& child : node.children) {
        if (!child->id.isEmpty() && !nestedNodeIndex.contains(child->id)) {
            nestedNodeIndex.insert(child->id, child.get());
        }
        indexNestedNodes(*child);
    }
}

const CdaController* CdaScene::findController(const QString& id) const
{
    return controllerIndex.value(id, nullptr);
}

namespace {

const CdaNode* findBelow(const CdaNode* node, const QString& id)
{
    for (const std::unique_ptr<CdaNode>& child : node->children) {
        if (const CdaNode* found = findBelow(child.get(), id)) {
            return found;
        }
    }
    return node->id == id ? node : nullptr;
}

} // namespace

const CdaNode* CdaScene::findNode(const QString& id) const
{
    return rootNode ? findBelow(rootNode.get(), id) : nullptr;
}

void CdaScene::concatGeometry(const CdaNode* node, const QString& type, CdaGeometry& out)
{
    out.clear();
    out.id = QStringLiteral("concat_geom");
    out.type = type;
    if (!node) {
        return;
    }
    bool cut = false;
    auto leaf = [this, &type, &out, &cut](const CdaNode& n, const Matrix4& placed) {
        const CdaGeometry* g = n.geometry;
        if (g && g->type == type) {
            appendPlaced(*g, placed, n.materialSymbols, n.materials, out, cut);
        }
    };
    walk(node, Matrix4(), 0, visitsLeft, cut, leaf);
    if (cut) {
        warnCut(node);
    }
}

void CdaScene::boundingBox(const CdaNode* node, vec& min, vec& max) const
{
    min = vec(10000000.0f, 10000000.0f, 10000000.0f);
    max = vec(-10000000.0f, -10000000.0f, -10000000.0f);
    for (const vec& p : subtreePoints(node)) {
        for (int k = 0; k < 3; ++k) {
            min[k] = std::min(min[k], p[k]);
            max[k] = std::max(max[k], p[k]);
        }
    }
}

void CdaScene::boundingSphere(const CdaNode* node, vec& center, float& radius) const
{
    std::vector<vec> points = subtreePoints(node);
    points.erase(std::remove_if(points.begin(), points.end(),
                                [](const vec& p) {
                                    return !std::isfinite(p[0]) || !std::isfinite(p[1]) ||
                                           !std::isfinite(p[2]);
                                }),
                 points.end());
    ::boundingSphere(points.data(), points.size(), center, radius);
}

LnBoxyModel* CdaScene::makeBoxyModel(const CdaGeometry& geometry)
{
    LnBoxyMesh* mesh = new LnBoxyMesh;
    mesh->hasNormals = true;
    mesh->vertices = geometry.positions;
    mesh->normals = geometry.normals;
    mesh->faces.reserve(size_t(geometry.triangleCount()));
    for (const std::vector<CdaTriangle>& group : geometry.groups) {
        for (const CdaTriangle& t : group) {
            LnFace face;
            face.a = uint32_t(t.vertex[0]);
            face.b = uint32_t(t.vertex[1]);
            face.c = uint32_t(t.vertex[2]);
            face.na = uint32_t(t.normal[0]);
            face.nb = uint32_t(t.normal[1]);
            face.nc = uint32_t(t.normal[2]);
            mesh->faces.push_back(face);
        }
    }
    return new LnBoxyModel(mesh);
}

int CdaScene::buildModels(const CdaNode* node, std::vector<LnModel*>& models)
{
    if (!node) {
        return 0;
    }
    int added = 0;
    CdaGeometry flat;
    lastColours.clear();
    for (const std::unique_ptr<CdaNode>& child : node->children) {
        tally.clear();
        runs.clear();
        concatGeometry(child.get(), QStringLiteral("triangles"), flat);
        if (flat.positions.empty()) {
            continue;
        }
        if (!indicesUsable(flat, child.get())) {
            continue;
        }
        added += addModels(flat, models, &lastColours);
    }
    return added;
}

void CdaScene::appendPlaced(const CdaGeometry& geometry, const Matrix4& placed,
                            const QStringList& symbols,
                            const std::vector<const CdaMaterial*>& materials, CdaGeometry& out,
                            bool& cut)
{
    const long long size = (long long)(geometry.positions.size() + geometry.normals.size() +
                                       geometry.texCoords.size()) +
                           3ll * geometry.triangleCount();
    if (size > entriesLeft) {
        cut = true;
        return;
    }
    entriesLeft -= size;
    CdaGeometry copy(geometry);
    copy.transform(placed);
    out.append(copy);
    countMaterials(geometry, symbols, materials);
}

void CdaScene::countMaterials(const CdaGeometry& geometry, const QStringList& symbols,
                              const std::vector<const CdaMaterial*>& materials)
{
    for (size_t i = 0; i < geometry.groups.size(); ++i) {
        const QString symbol =
            int(i) < geometry.materialSymbols.size() ? geometry.materialSymbols[int(i)] : QString();
        const CdaMaterial* material = nullptr;
        const int bound = symbols.indexOf(symbol);
        if (bound >= 0 && size_t(bound) < materials.size()) {
            material = materials[size_t(bound)];
        } else if (materials.size() == 1) {
            material = materials.front(); // one material binds whatever the symbol
        }
        const long long triangles = (long long)geometry.groups[i].size();
        if (triangles == 0) {
            continue;
        }
        if (!runs.empty() && runs.back().first == material) {
            runs.back().second += triangles;
        } else {
            runs.emplace_back(material, triangles);
        }
        if (!material) {
            continue;
        }
        auto it = std::find_if(tally.begin(), tally.end(),
                               [material](const auto& entry) { return entry.first == material; });
        if (it == tally.end()) {
            tally.emplace_back(material, triangles);
        } else {
            it->second += triangles;
        }
    }
}

CdaScene::FileColour CdaScene::dominantColour()
{
    const CdaMaterial* best = nullptr;
    long long most = 0;
    for (const auto& entry : tally) {
        if (entry.second > most) {
            best = entry.first;
            most = entry.second;
        }
    }
    return materialColour(best);
}

CdaScene::FileColour CdaScene::materialColour(const CdaMaterial* material)
{
    FileColour colour;
    if (!material || !material->effect) {
        return colour;
    }
    const CdaEffect* effect = material->effect;
    colour.known = true;
    if (effect->shadingModel == QLatin1String("phong") ||
        effect->shadingModel == QLatin1String("blinn")) {
        const float mean = (effect->specular[0] + effect->specular[1] + effect->specular[2]) / 3.0f;
        colour.specular = std::isfinite(mean) ? mean : 0.0f;
        colour.shininess = std::isfinite(effect->shininess) ? effect->shininess : 0.0f;
    }
    if (!effect->diffuseImage.isEmpty()) {
        const QString entry = effectImageEntry.value(effect);
        if (!entry.isEmpty()) {
            colour.rgb = imageColour(entry);
        }
        return colour;
    }
    for (int k = 0; k < 3; ++k) {
        const float c = effect->diffuse[k];
        colour.rgb[k] = std::isfinite(c) ? std::min(1.0f, std::max(0.0f, c)) : 0.0f;
    }
    return colour;
}

QByteArray CdaScene::archiveEntry(const QString& entry) const
{
    ZipHandle archive(archivePath);
    unz_file_info info;
    QByteArray bytes;
    if (archive.get() &&
        unzLocateFile(archive.get(), QFile::encodeName(entry).constData(), 2) == UNZ_OK &&
        unzGetCurrentFileInfo(archive.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
        info.uncompressed_size <= maxEntryBytes &&
        readCurrentEntry(archive.get(), info.uncompressed_size, bytes)) {
        return bytes;
    }
    return QByteArray();
}

void CdaScene::textureModel(LnModel* model, const CdaGeometry& flat, FileColour& colour)
{
    if (!textureModels || tally.size() != 1 || !tally.front().first->effect ||
        flat.texCoords.empty()) {
        return;
    }
    const QString entry = effectImageEntry.value(tally.front().first->effect);
    LnBoxyMesh* mesh = dynamic_cast<LnBoxyMesh*>(model->getMesh());
    long long bound = 0;
    for (const std::vector<CdaTriangle>& group : flat.groups) {
        bound += (long long)group.size();
    }
    // Only when the one material covers every triangle of the model.
    if (entry.isEmpty() || !mesh || bound != tally.front().second ||
        size_t(bound) != mesh->faces.size()) {
        return;
    }
    const size_t count = flat.texCoords.size();
    std::vector<vec> vertices;
    std::vector<float> uvs;
    vertices.reserve(3 * mesh->faces.size());
    uvs.reserve(6 * mesh->faces.size());
    size_t f = 0;
    for (const std::vector<CdaTriangle>& group : flat.groups) {
        for (const CdaTriangle& t : group) {
            LnFace& face = mesh->faces[f++];
            uint32_t* corners[3] = {&face.a, &face.b, &face.c};
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = *corners[k];
                *corners[k] = uint32_t(vertices.size());
                vertices.push_back(v < mesh->vertices.size() ? mesh->vertices[v] : vec());
                const bool known = t.texCoord[k] >= 0 && size_t(t.texCoord[k]) < count;
                uvs.push_back(known ? flat.texCoords[size_t(t.texCoord[k])][0] : 0.0f);
                uvs.push_back(known ? flat.texCoords[size_t(t.texCoord[k])][1] : 0.0f);
            }
        }
    }
    mesh->vertices = std::move(vertices);
    mesh->uvs = std::move(uvs);
    mesh->makeDisplayLists();
    colour.image = entry;
    colour.imageBytes = archiveEntry(entry);
}

vec CdaScene::imageColour(const QString& entry)
{
    const auto known = imageColours.constFind(entry);
    if (known != imageColours.constEnd()) {
        return known.value();
    }
    vec colour(1.0f, 1.0f, 1.0f);
    QByteArray bytes = archiveEntry(entry);
    if (!bytes.isEmpty()) {
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        // Pictures too large to decode whole keep white.
        if (size.isValid() && (long long)size.width() * size.height() <= maxImagePixels) {
            const QImage image = reader.read().convertToFormat(QImage::Format_RGB32);
            if (!image.isNull()) {
                double sum[3] = {0.0, 0.0, 0.0};
                for (int y = 0; y < image.height(); ++y) {
                    const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                    for (int x = 0; x < image.width(); ++x) {
                        sum[0] += qRed(row[x]);
                        sum[1] += qGreen(row[x]);
                        sum[2] += qBlue(row[x]);
                    }
                }
                const double n = 255.0 * double(image.width()) * double(image.height());
                colour = vec(float(sum[0] / n), float(sum[1] / n), float(sum[2] / n));
            }
        }
    }
    imageColours.insert(entry, colour);
    return colour;
}

namespace {

// Calls leaf(instance, matrix) for every geometry instance of the subtree,
// each node placed by all its transformation elements, children and
// instance nodes followed. Sets `cut` when the depth or visit budget stops
// the walk. A node is not entered while the walk is inside it (instances
// that lead back to a node holding them); `repeated` gets the first such.
template <class Leaf>
void walkAll(const CdaNode* node, const Matrix4& above, int depth, long long& visitsLeft, bool& cut,
             std::unordered_set<const CdaNode*>& inside, const CdaNode*& repeated, Leaf& leaf)
{
    if (inside.count(node)) {
        if (!repeated) {
            repeated = node;
        }
        return;
    }
    if (!enterNode(depth, visitsLeft, cut)) {
        return;
    }
    inside.insert(node);
    const Matrix4 placed = above * node->transform;
    for (const CdaNode::GeometryInstance& instance : node->geometryInstances) {
        leaf(instance, placed);
    }
    for (const std::unique_ptr<CdaNode>& child : node->children) {
        walkAll(child.get(), placed, depth + 1, visitsLeft, cut, inside, repeated, leaf);
    }
    for (const CdaNode* instance : node->instanceNodes) {
        walkAll(instance, placed, depth + 1, visitsLeft, cut, inside, repeated, leaf);
    }
    inside.erase(node);
}

// The chain of nodes from `node` down to the first match findNode gives.
bool pathTo(const CdaNode* node, const QString& id, std::vector<const CdaNode*>& chain)
{
    chain.push_back(node);
    for (const std::unique_ptr<CdaNode>& child : node->children) {
        if (pathTo(child.get(), id, chain)) {
            return true;
        }
    }
    if (node->id == id) {
        return true;
    }
    chain.pop_back();
    return false;
}

} // namespace

int CdaScene::buildSceneModels(std::vector<LnModel*>& models, std::vector<FileColour>* colours)
{
    boundsMin = vec(10000000.0f, 10000000.0f, 10000000.0f);
    boundsMax = vec(-10000000.0f, -10000000.0f, -10000000.0f);
    boundsCenter = vec();
    boundsRadius = 0.0f;
    if (!rootNode) {
        return 0;
    }
    std::vector<vec> points;
    int added = 0;
    CdaGeometry flat;
    for (const std::unique_ptr<CdaNode>& child : rootNode->children) {
        flat.clear();
        flat.id = QStringLiteral("concat_geom");
        flat.type = QStringLiteral("triangles");
        tally.clear();
        runs.clear();
        bool cut = false;
        auto leaf = [this, &flat, &cut](const CdaNode::GeometryInstance& instance,
                                        const Matrix4& placed) {
            const CdaGeometry* g = instance.geometry;
            if (g->type == QLatin1String("triangles")) {
                appendPlaced(*g, instance.hasBindShape ? placed * instance.bindShape : placed,
                             instance.materialSymbols, instance.materials, flat, cut);
            }
        };
        std::unordered_set<const CdaNode*> inside;
        const CdaNode* repeated = nullptr;
        walkAll(child.get(), upMatrix, 0, visitsLeft, cut, inside, repeated, leaf);
        if (repeated) {
            cdaWarning("CdaScene::load: node %s is instanced inside itself; that instance is "
                       "left out\n",
                       shown(repeated->id).constData());
        }
        if (cut) {
            warnCut(child.get());
        }
        if (flat.triangleCount() == 0) {
            continue; // cameras, lights, empty groups
        }
        if (!indicesUsable(flat, child.get())) {
            continue;
        }
        added += addModels(flat, models, colours);
        points.insert(points.end(), flat.positions.begin(), flat.positions.end());
    }
    for (const vec& p : points) {
        for (int k = 0; k < 3; ++k) {
            boundsMin[k] = std::min(boundsMin[k], p[k]);
            boundsMax[k] = std::max(boundsMax[k], p[k]);
        }
    }
    points.erase(std::remove_if(points.begin(), points.end(),
                                [](const vec& p) {
                                    return !std::isfinite(p[0]) || !std::isfinite(p[1]) ||
                                           !std::isfinite(p[2]);
                                }),
                 points.end());
    ::boundingSphere(points.data(), points.size(), boundsCenter, boundsRadius);
    return added;
}

void CdaScene::sceneBounds(vec& center, float& radius, vec& min, vec& max) const
{
    center = boundsCenter;
    radius = boundsRadius;
    min = boundsMin;
    max = boundsMax;
}

bool CdaScene::sceneCameraMatrix(Matrix4& matrix) const
{
    std::vector<const CdaNode*> chain;
    if (!rootNode || !pathTo(rootNode.get(), QStringLiteral("Camera"), chain)) {
        return false;
    }
    Matrix4 m = upMatrix;
    for (const CdaNode* node : chain) {
        m = m * node->transform;
    }
    if (!m.isFinite()) {
        return false;
    }
    matrix = m;
    return true;
}
