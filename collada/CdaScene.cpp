#include "collada/CdaScene.h"

#include "collada/CdaXml.h"
#include "ln/LnBoxyModel.h"
#include "trimesh/BoundingSphere.h"

#include <QDomDocument>
#include <QFile>
#include <QXmlStreamReader>

#include <unzip.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

QByteArray shown(const QString& text) { return text.toLocal8Bit(); }

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

// Calls leaf(node, matrix) for each leaf of the subtree with the product of
// the matrices above it, from `node` down. Sets `cut` when the depth or
// visit budget stops the walk.
template <class Leaf>
void walk(const CdaNode* node, const Matrix4& above, int depth, long long& visitsLeft, bool& cut,
          Leaf& leaf)
{
    if (depth > CdaScene::maxVisitDepth || visitsLeft <= 0) {
        cut = true;
        return;
    }
    --visitsLeft;
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
    unsigned long long readSoFar = 0;
    for (uLong entry = 0; entry < info.number_entry; ++entry) {
        unz_file_info fileInfo;
        char name[257] = {};
        const int result =
            unzGetCurrentFileInfo(zip, &fileInfo, name, 256, nullptr, 0, nullptr, 0);
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
                load(bytes); // a broken document does not stop the walk
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

    readLibrary(root, "library_effects", "effect", effects, effectIndex,
                [](const QDomElement& e) { return std::make_unique<CdaEffect>(e); });
    cdaWarning("CdaScene::load: Read %d effects\n", effectCount());
    readLibrary(root, "library_materials", "material", materials, materialIndex,
                [this](const QDomElement& e) { return std::make_unique<CdaMaterial>(e, *this); });
    cdaWarning("CdaScene::load: Read %d materials\n", materialCount());
    readLibrary(root, "library_lights", "light", lights, lightIndex,
                [](const QDomElement& e) { return std::make_unique<CdaLight>(e); });
    cdaWarning("CdaScene::load: Read %d lights\n", lightCount());
    readLibrary(root, "library_cameras", "camera", cameras, cameraIndex,
                [](const QDomElement& e) { return std::make_unique<CdaCamera>(e); });
    cdaWarning("CdaScene::load: Read %d cameras\n", cameraCount());
    readLibrary(root, "library_geometries", "geometry", geometries, geometryIndex,
                [](const QDomElement& e) { return std::make_unique<CdaGeometry>(e); });
    cdaWarning("CdaScene::load: Read %d geometries\n", geometryCount());
    readLibrary(root, "library_nodes", "node", libraryNodes, libraryNodeIndex,
                [this](const QDomElement& e) { return std::make_unique<CdaNode>(e, *this); });
    cdaWarning("CdaScene::load: Read %d library nodes\n", libraryNodeCount());

    rootNode = std::make_unique<CdaNode>(
        root.firstChildElement(QStringLiteral("library_visual_scenes"))
            .firstChildElement(QStringLiteral("visual_scene")),
        *this);
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
        if (!g || g->type != type) {
            return;
        }
        const long long size = (long long)(g->positions.size() + g->normals.size() +
                                           g->texCoords.size()) +
                               3ll * g->triangleCount();
        if (size > entriesLeft) {
            cut = true;
            return;
        }
        entriesLeft -= size;
        CdaGeometry copy(*g);
        copy.transform(placed);
        out.append(copy);
    };
    walk(node, Matrix4(), 0, visitsLeft, cut, leaf);
    if (cut) {
        cdaWarning("CdaScene::load: node %s is nested, instanced or sized beyond the importer's "
                   "limits; part of it is left out\n",
                   shown(node->id).constData());
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
    for (const std::unique_ptr<CdaNode>& child : node->children) {
        concatGeometry(child.get(), QStringLiteral("triangles"), flat);
        if (flat.positions.empty()) {
            continue;
        }
        if (!flat.indicesInRange()) {
            cdaWarning("CdaScene::load: model node %s has triangle indices outside its positions "
                       "or normals; it is left out\n",
                       shown(child->id).constData());
            continue;
        }
        models.push_back(makeBoxyModel(flat));
        ++added;
    }
    return added;
}
