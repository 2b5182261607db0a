#include "collada/CdaGeometry.h"

#include "collada/CdaXml.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// Counts beyond what the text can hold are honoured up to this many extra
// entries, read as zeros; a larger claim would only allocate emptiness.
constexpr long long zeroAllowance = 16;

// Lives only while one geometry is read.
struct CdaSource {
    QString id;
    std::vector<float> values;
    int stride = 0;
};

CdaSource readSource(const QDomElement& element)
{
    CdaSource source;
    source.id = element.attribute(QStringLiteral("id"));
    const QDomElement array = element.firstChildElement(QStringLiteral("float_array"));
    const QString text = array.text();
    const long long declared = std::max(0, cdaIntAttribute(array, QStringLiteral("count")));
    const long long limit = cdaMaxNumbers(text) + zeroAllowance;
    long long count = declared;
    if (declared > limit) {
        count = limit;
        cdaWarning("CdaGeometry: source %s declares %lld values, more than its float_array "
                   "holds; reading %lld\n",
                   source.id.toLocal8Bit().constData(), declared, count);
    }
    QString copy = text;
    QTextStream stream(&copy, QIODevice::ReadOnly);
    source.values.reserve(size_t(count));
    for (long long i = 0; i < count; ++i) {
        source.values.push_back(cdaReadFloat(stream));
    }
    source.stride = cdaIntAttribute(element.firstChildElement(QStringLiteral("technique_common"))
                                        .firstChildElement(QStringLiteral("accessor")),
                                    QStringLiteral("stride"));
    return source;
}

// Entries of a source: stride 3 gives (x, y, z), any other positive stride
// (x, y, 0) from the first two values of each entry. A stride of 0 or less
// cannot divide the values and gives nothing. With stride 1 an entry would
// reach past the values; what lies beyond reads as 0.
std::vector<vec> entries(const CdaSource& source)
{
    std::vector<vec> out;
    if (source.stride <= 0) {
        return out;
    }
    const size_t n = source.values.size() / size_t(source.stride);
    const auto value = [&source](size_t i) {
        return i < source.values.size() ? source.values[i] : 0.0f;
    };
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (source.stride == 3) {
            out.emplace_back(value(3 * i), value(3 * i + 1), value(3 * i + 2));
        } else {
            out.emplace_back(value(2 * i), value(2 * i + 1), 0.0f);
        }
    }
    return out;
}

enum class Slot { None, Vertex, Normal, TexCoord };

int32_t offsetIndex(int32_t index, size_t offset)
{
    const long long sum = (long long)index + (long long)offset;
    if (sum > std::numeric_limits<int32_t>::max() || sum < std::numeric_limits<int32_t>::min()) {
        return -1;
    }
    return int32_t(sum);
}

} // namespace

CdaGeometry::CdaGeometry(const QDomElement& element, Decoding decoding)
{
    id = element.attribute(QStringLiteral("id"));
    const QDomElement mesh = element.firstChildElement(QStringLiteral("mesh"));
    if (decoding == Decoding::AllSurfaces) {
        decodeAllSurfaces(mesh);
    } else {
        decodeTriangles(mesh);
    }
}

void CdaGeometry::decodeTriangles(const QDomElement& mesh)
{
    std::vector<CdaSource> sources;
    for (QDomElement s = mesh.firstChildElement(QStringLiteral("source")); !s.isNull();
         s = s.nextSiblingElement(QStringLiteral("source"))) {
        sources.push_back(readSource(s));
    }

    QString positionSource;
    for (QDomElement in = mesh.firstChildElement(QStringLiteral("vertices"))
                              .firstChildElement(QStringLiteral("input"));
         !in.isNull(); in = in.nextSiblingElement(QStringLiteral("input"))) {
        if (in.attribute(QStringLiteral("semantic")) == QLatin1String("POSITION")) {
            positionSource = in.attribute(QStringLiteral("source"));
        }
    }

    const QDomElement first = mesh.firstChildElement(QStringLiteral("triangles"));
    if (!first.isNull()) {
        type = QStringLiteral("triangles");

        Slot slotRoles[3] = {Slot::None, Slot::None, Slot::None};
        QString vertexSource, normalSource, texCoordSource;
        bool haveVertex = false, haveNormal = false, haveTexCoord = false;
        for (QDomElement in = first.firstChildElement(QStringLiteral("input")); !in.isNull();
             in = in.nextSiblingElement(QStringLiteral("input"))) {
            const QString semantic = in.attribute(QStringLiteral("semantic"));
            const int offset = cdaIntAttribute(in, QStringLiteral("offset"));
            // An input at an offset outside 0 to 2 has no slot: it is
            // ignored whole, its source included.
            if (offset < 0 || offset > 2) {
                continue;
            }
            Slot role = Slot::None;
            if (semantic == QLatin1String("VERTEX")) {
                role = Slot::Vertex;
                vertexSource = positionSource;
                haveVertex = true;
            } else if (semantic == QLatin1String("NORMAL")) {
                role = Slot::Normal;
                normalSource = in.attribute(QStringLiteral("source"));
                haveNormal = true;
            } else if (semantic == QLatin1String("TEXCOORD")) {
                role = Slot::TexCoord;
                texCoordSource = in.attribute(QStringLiteral("source"));
                haveTexCoord = true;
            }
            if (role != Slot::None) {
                slotRoles[offset] = role;
            }
        }

        // A source named by no input (or an input without a source name)
        // is dropped.
        const auto matches = [](bool have, const QString& reference, const QString& sourceId) {
            return have && !reference.isEmpty() && cdaStripHash(reference) == sourceId;
        };
        for (const CdaSource& source : sources) {
            if (matches(haveVertex, vertexSource, source.id)) {
                positions = entries(source);
            } else if (matches(haveNormal, normalSource, source.id)) {
                normals = entries(source);
            } else if (matches(haveTexCoord, texCoordSource, source.id)) {
                texCoords = entries(source);
            }
        }

        int perCorner = 0;
        while (perCorner < 3 && slotRoles[perCorner] != Slot::None) {
            ++perCorner;
        }
        for (QDomElement t = first; !t.isNull();
             t = t.nextSiblingElement(QStringLiteral("triangles"))) {
            materialSymbols.append(t.attribute(QStringLiteral("material")));
            groups.emplace_back();
            std::vector<CdaTriangle>& group = groups.back();

            QString text = t.firstChildElement(QStringLiteral("p")).text();
            const long long declared = std::max(0, cdaIntAttribute(t, QStringLiteral("count")));
            const long long numbers = cdaMaxNumbers(text);
            const long long limit =
                (perCorner > 0 ? numbers / (3 * perCorner) : numbers) + zeroAllowance;
            long long count = declared;
            if (declared > limit) {
                count = limit;
                cdaWarning("CdaGeometry: triangles of geometry %s declare %lld triangles, more "
                           "than its p holds; reading %lld\n",
                           id.toLocal8Bit().constData(), declared, count);
            }
            QTextStream stream(&text, QIODevice::ReadOnly);
            group.reserve(size_t(count));
            for (long long i = 0; i < count; ++i) {
                CdaTriangle triangle;
                for (int corner = 0; corner < 3; ++corner) {
                    for (int slot = 0; slot < perCorner; ++slot) {
                        const int value = cdaReadInt(stream);
                        switch (slotRoles[slot]) {
                        case Slot::Vertex:
                            triangle.vertex[corner] = value;
                            break;
                        case Slot::Normal:
                            triangle.normal[corner] = value;
                            break;
                        case Slot::TexCoord:
                            triangle.texCoord[corner] = value;
                            break;
                        case Slot::None:
                            break;
                        }
                    }
                }
                group.push_back(triangle);
            }
        }
    }

    const char* unsupported = nullptr;
    for (const char* name : {"linestrips", "polygons", "polylist", "trifans", "tristrips"}) {
        if (!mesh.firstChildElement(QLatin1String(name)).isNull()) {
            unsupported = name;
        }
    }
    if (unsupported) {
        cdaWarning("CdaGeometry: geometry %s has unrecognized geometry type %s\n",
                   id.toLocal8Bit().constData(), unsupported);
    }
}

void CdaGeometry::clear()
{
    id.clear();
    type.clear();
    positions.clear();
    normals.clear();
    texCoords.clear();
    materialSymbols.clear();
    groups.clear();
}

void CdaGeometry::transform(const Matrix4& matrix)
{
    for (vec& p : positions) {
        p = matrix.transformPoint(p);
    }
    const Matrix4 n = matrix.normalMatrix();
    for (vec& d : normals) {
        d = n.transformDirection(d);
    }
}

void CdaGeometry::append(const CdaGeometry& other)
{
    if (groups.empty()) {
        groups.emplace_back();
    }
    std::vector<CdaTriangle>& group = groups.front();
    const size_t np = positions.size(), nn = normals.size(), nt = texCoords.size();
    for (const std::vector<CdaTriangle>& g : other.groups) {
        for (CdaTriangle t : g) {
            for (int k = 0; k < 3; ++k) {
                t.vertex[k] = offsetIndex(t.vertex[k], np);
                t.normal[k] = offsetIndex(t.normal[k], nn);
                t.texCoord[k] = offsetIndex(t.texCoord[k], nt);
            }
            group.push_back(t);
        }
    }
    positions.insert(positions.end(), other.positions.begin(), other.positions.end());
    normals.insert(normals.end(), other.normals.begin(), other.normals.end());
    texCoords.insert(texCoords.end(), other.texCoords.begin(), other.texCoords.end());
}

int CdaGeometry::triangleCount() const
{
    size_t total = 0;
    for (const std::vector<CdaTriangle>& g : groups) {
        total += g.size();
    }
    return int(std::min<size_t>(total, size_t(std::numeric_limits<int>::max())));
}

bool CdaGeometry::indicesInRange() const
{
    const auto inside = [](int32_t index, size_t size) {
        return index >= 0 && size_t(index) < size;
    };
    for (const std::vector<CdaTriangle>& g : groups) {
        for (const CdaTriangle& t : g) {
            for (int k = 0; k < 3; ++k) {
                if (!inside(t.vertex[k], positions.size()) ||
                    !inside(t.normal[k], normals.size())) {
                    return false;
                }
            }
        }
    }
    return true;
}

namespace {

// Whitespace-separated integers of the text; a token that is not an integer
// reads as 0, a value outside the 32-bit range as -1 (no list has it).
std::vector<int32_t> readInts(const QString& text)
{
    std::vector<int32_t> out;
    const QChar* c = text.constData();
    const QChar* end = c + text.size();
    while (c < end) {
        while (c < end && c->isSpace()) {
            ++c;
        }
        if (c == end) {
            break;
        }
        bool negative = false;
        if (*c == QLatin1Char('-') || *c == QLatin1Char('+')) {
            negative = *c == QLatin1Char('-');
            ++c;
        }
        long long value = 0;
        bool digits = false, bad = false;
        while (c < end && !c->isSpace()) {
            const ushort u = c->unicode();
            if (u >= '0' && u <= '9') {
                digits = true;
                if (value <= std::numeric_limits<int32_t>::max()) {
                    value = value * 10 + (u - '0');
                }
            } else {
                bad = true;
            }
            ++c;
        }
        if (negative) {
            value = -value;
        }
        if (bad || !digits) {
            out.push_back(0);
        } else if (value > std::numeric_limits<int32_t>::max() ||
                   value < std::numeric_limits<int32_t>::min()) {
            out.push_back(-1);
        } else {
            out.push_back(int32_t(value));
        }
    }
    return out;
}

// Polygons with more corners than this are cut as a fan: ear clipping takes
// time growing with the square of the corners (the cube in the worst case).
constexpr size_t maxEarClippingCorners = 256;
// Corner tests all the polygons of one geometry may spend on ear clipping;
// after that the rest are cut as fans, so a document of many hostile
// polygons cannot stall the load.
constexpr long long earClippingBudget = 1ll << 26;

// Cuts a polygon (positions of its corners) into triangles, as corner
// numbers in the polygon's own winding. Ear clipping in the plane the
// polygon faces most; a polygon it cannot cut (self-crossing, degenerate)
// is finished as a fan.
std::vector<std::array<size_t, 3>> cutPolygon(const std::vector<vec>& corners, long long& budget)
{
    std::vector<std::array<size_t, 3>> out;
    const size_t n = corners.size();
    if (n < 3) {
        return out;
    }
    const auto fan = [&out](const std::vector<size_t>& ring) {
        for (size_t i = 1; i + 1 < ring.size(); ++i) {
            out.push_back({ring[0], ring[i], ring[i + 1]});
        }
    };
    std::vector<size_t> ring(n);
    for (size_t i = 0; i < n; ++i) {
        ring[i] = i;
    }
    if (n == 3 || n > maxEarClippingCorners || budget <= 0) {
        fan(ring);
        return out;
    }
    // Newell's normal picks the plane to project on.
    double normal[3] = {0.0, 0.0, 0.0};
    for (size_t i = 0; i < n; ++i) {
        const vec& a = corners[i];
        const vec& b = corners[(i + 1) % n];
        normal[0] += double(a[1] - b[1]) * double(a[2] + b[2]);
        normal[1] += double(a[2] - b[2]) * double(a[0] + b[0]);
        normal[2] += double(a[0] - b[0]) * double(a[1] + b[1]);
    }
    int drop = 2;
    if (std::fabs(normal[0]) >= std::fabs(normal[1]) &&
        std::fabs(normal[0]) >= std::fabs(normal[2])) {
        drop = 0;
    } else if (std::fabs(normal[1]) >= std::fabs(normal[2])) {
        drop = 1;
    }
    const int u = drop == 0 ? 1 : 0, v = drop == 2 ? 1 : 2;
    // Counter-clockwise in the projection for a positive normal component.
    const double sign = normal[drop] >= 0.0 ? 1.0 : -1.0;
    const auto cross = [&](size_t a, size_t b, size_t c) {
        const vec& pa = corners[a];
        const vec& pb = corners[b];
        const vec& pc = corners[c];
        return sign * ((double(pb[u]) - pa[u]) * (double(pc[v]) - pa[v]) -
                       (double(pb[v]) - pa[v]) * (double(pc[u]) - pa[u]));
    };
    while (ring.size() > 3 && budget > 0) {
        bool cut = false;
        const size_t m = ring.size();
        budget -= (long long)(m * m);
        for (size_t i = 0; i < m && !cut; ++i) {
            const size_t a = ring[(i + m - 1) % m], b = ring[i], c = ring[(i + 1) % m];
            if (!(cross(a, b, c) > 0.0)) {
                continue; // reflex or flat
            }
            bool inside = false;
            for (size_t k = 0; k < m && !inside; ++k) {
                const size_t q = ring[k];
                if (q == a || q == b || q == c) {
                    continue;
                }
                inside = cross(a, b, q) >= 0.0 && cross(b, c, q) >= 0.0 && cross(c, a, q) >= 0.0;
            }
            if (!inside) {
                out.push_back({a, b, c});
                ring.erase(ring.begin() + std::ptrdiff_t(i));
                cut = true;
            }
        }
        if (!cut) {
            break;
        }
    }
    fan(ring);
    return out;
}

// One corner of a primitive: indices into its position, normal and
// texture-coordinate sources (-1 when the primitive has no such input).
struct Corner {
    int32_t vertex = -1;
    int32_t normal = -1;
    int32_t texCoord = -1;
};

bool isSurfacePrimitive(const QString& tag)
{
    return tag == QLatin1String("triangles") || tag == QLatin1String("polylist") ||
           tag == QLatin1String("polygons") || tag == QLatin1String("tristrips") ||
           tag == QLatin1String("trifans");
}

} // namespace

void CdaGeometry::decodeAllSurfaces(const QDomElement& mesh)
{
    const QByteArray shownId = id.toLocal8Bit();
    std::vector<CdaSource> sources;
    for (QDomElement s = mesh.firstChildElement(QStringLiteral("source")); !s.isNull();
         s = s.nextSiblingElement(QStringLiteral("source"))) {
        sources.push_back(readSource(s));
    }
    const auto findSource = [&sources](const QString& reference) -> const CdaSource* {
        const QString wanted = cdaStripHash(reference);
        for (const CdaSource& source : sources) {
            if (!wanted.isEmpty() && source.id == wanted) {
                return &source;
            }
        }
        return nullptr;
    };

    // <vertices> gives the positions, and may give normals and texture
    // coordinates indexed like them.
    const QDomElement vertices = mesh.firstChildElement(QStringLiteral("vertices"));
    const QString verticesId = vertices.attribute(QStringLiteral("id"));
    QString positionRef, vertexNormalRef, vertexTexCoordRef;
    for (QDomElement in = vertices.firstChildElement(QStringLiteral("input")); !in.isNull();
         in = in.nextSiblingElement(QStringLiteral("input"))) {
        const QString semantic = in.attribute(QStringLiteral("semantic"));
        const QString source = in.attribute(QStringLiteral("source"));
        if (semantic == QLatin1String("POSITION") && positionRef.isEmpty()) {
            positionRef = source;
        } else if (semantic == QLatin1String("NORMAL") && vertexNormalRef.isEmpty()) {
            vertexNormalRef = source;
        } else if (semantic == QLatin1String("TEXCOORD") && vertexTexCoordRef.isEmpty()) {
            vertexTexCoordRef = source;
        }
    }
    if (const CdaSource* source = findSource(positionRef)) {
        positions = entries(*source);
    }

    // Normal and texture-coordinate sources are appended once each; a
    // corner's index is offset by where its source starts.
    QHash<QString, size_t> normalStart, texCoordStart;
    const auto startOf = [&](const QString& reference, QHash<QString, size_t>& starts,
                             std::vector<vec>& list, size_t& count) -> long long {
        const CdaSource* source = findSource(reference);
        if (!source) {
            return -1;
        }
        if (!starts.contains(source->id)) {
            starts.insert(source->id, list.size());
            const std::vector<vec> values = entries(*source);
            list.insert(list.end(), values.begin(), values.end());
        }
        const size_t start = starts.value(source->id);
        count = (source->stride > 0 ? source->values.size() / size_t(source->stride) : 0);
        return (long long)start;
    };

    bool holesReported = false;
    QStringList linesReported;
    long long earBudget = earClippingBudget;
    for (QDomElement prim = mesh.firstChildElement(); !prim.isNull();
         prim = prim.nextSiblingElement()) {
        const QString tag = prim.tagName();
        if (tag == QLatin1String("lines") || tag == QLatin1String("linestrips")) {
            if (!linesReported.contains(tag)) {
                linesReported.append(tag);
                cdaWarning("CdaGeometry: geometry %s has %s, which are not surfaces; skipped\n",
                           shownId.constData(), tag.toLocal8Bit().constData());
            }
            continue;
        }
        if (!isSurfacePrimitive(tag)) {
            continue;
        }
        type = QStringLiteral("triangles");

        int stride = 0, vertexOffset = -1, normalOffset = -1, texCoordOffset = -1;
        QString normalRef, texCoordRef;
        int texCoordSet = std::numeric_limits<int>::max();
        for (QDomElement in = prim.firstChildElement(QStringLiteral("input")); !in.isNull();
             in = in.nextSiblingElement(QStringLiteral("input"))) {
            const int offset = cdaIntAttribute(in, QStringLiteral("offset"));
            if (offset < 0 || offset > 255) {
                continue;
            }
            stride = std::max(stride, offset + 1);
            const QString semantic = in.attribute(QStringLiteral("semantic"));
            const QString source = in.attribute(QStringLiteral("source"));
            if (semantic == QLatin1String("VERTEX") && vertexOffset < 0) {
                vertexOffset = offset;
                // Some writers point VERTEX at the position source itself.
                if (positions.empty() && cdaStripHash(source) != verticesId) {
                    if (const CdaSource* direct = findSource(source)) {
                        positions = entries(*direct);
                    }
                }
            } else if (semantic == QLatin1String("NORMAL") && normalOffset < 0) {
                normalOffset = offset;
                normalRef = source;
            } else if (semantic == QLatin1String("TEXCOORD")) {
                const int set = cdaIntAttribute(in, QStringLiteral("set"));
                if (texCoordOffset < 0 || set < texCoordSet) {
                    texCoordOffset = offset;
                    texCoordRef = source;
                    texCoordSet = set;
                }
            }
        }
        if (normalOffset < 0 && !vertexNormalRef.isEmpty()) {
            normalOffset = vertexOffset;
            normalRef = vertexNormalRef;
        }
        if (texCoordOffset < 0 && !vertexTexCoordRef.isEmpty()) {
            texCoordOffset = vertexOffset;
            texCoordRef = vertexTexCoordRef;
        }
        size_t normalCount = 0, texCoordCount = 0;
        const long long normalBase =
            normalOffset >= 0 ? startOf(normalRef, normalStart, normals, normalCount) : -1;
        const long long texCoordBase =
            texCoordOffset >= 0 ? startOf(texCoordRef, texCoordStart, texCoords, texCoordCount)
                                : -1;

        materialSymbols.append(prim.attribute(QStringLiteral("material")));
        groups.emplace_back();
        std::vector<CdaTriangle>& group = groups.back();
        if (vertexOffset < 0) {
            continue;
        }

        const auto cornersOf = [&](const std::vector<int32_t>& p, size_t from, size_t count) {
            std::vector<Corner> out;
            out.reserve(count);
            for (size_t k = from; k < from + count; ++k) {
                const size_t at = k * size_t(stride);
                Corner c;
                c.vertex = p[at + size_t(vertexOffset)];
                if (normalBase >= 0) {
                    c.normal = p[at + size_t(normalOffset)];
                }
                if (texCoordBase >= 0) {
                    c.texCoord = p[at + size_t(texCoordOffset)];
                }
                out.push_back(c);
            }
            return out;
        };
        const auto valid = [](int32_t index, size_t size) {
            return index >= 0 && size_t(index) < size;
        };
        const auto addTriangle = [&](const Corner& a, const Corner& b, const Corner& c) {
            const Corner* corner[3] = {&a, &b, &c};
            CdaTriangle t;
            bool fileNormals = normalBase >= 0;
            for (int k = 0; k < 3; ++k) {
                if (!valid(corner[k]->vertex, positions.size())) {
                    return; // a triangle without a place is dropped
                }
                t.vertex[k] = corner[k]->vertex;
                fileNormals = fileNormals && valid(corner[k]->normal, normalCount);
                t.texCoord[k] = texCoordBase >= 0 && valid(corner[k]->texCoord, texCoordCount)
                                    ? offsetIndex(corner[k]->texCoord, size_t(texCoordBase))
                                    : 0;
            }
            if (fileNormals) {
                for (int k = 0; k < 3; ++k) {
                    t.normal[k] = offsetIndex(corner[k]->normal, size_t(normalBase));
                }
            } else {
                const vec& pa = positions[size_t(t.vertex[0])];
                vec n =
                    cross(positions[size_t(t.vertex[1])] - pa, positions[size_t(t.vertex[2])] - pa);
                const float length = len(n);
                n = length > 0.0f && std::isfinite(length) ? n / length : vec(0.0f, 0.0f, 1.0f);
                const int32_t at = offsetIndex(0, normals.size());
                normals.push_back(n);
                t.normal[0] = t.normal[1] = t.normal[2] = at;
            }
            group.push_back(t);
        };
        const auto emitPolygon = [&](const std::vector<Corner>& polygon) {
            if (polygon.size() == 3) {
                addTriangle(polygon[0], polygon[1], polygon[2]);
                return;
            }
            std::vector<vec> places;
            places.reserve(polygon.size());
            for (const Corner& c : polygon) {
                places.push_back(valid(c.vertex, positions.size()) ? positions[size_t(c.vertex)]
                                                                   : vec());
            }
            for (const std::array<size_t, 3>& t : cutPolygon(places, earBudget)) {
                addTriangle(polygon[t[0]], polygon[t[1]], polygon[t[2]]);
            }
        };
        // Strips and fans: one per <p>.
        const auto emitStrip = [&](const std::vector<Corner>& c, bool fan) {
            for (size_t i = 0; i + 2 < c.size(); ++i) {
                if (fan) {
                    addTriangle(c[0], c[i + 1], c[i + 2]);
                } else if (i % 2 == 0) {
                    addTriangle(c[i], c[i + 1], c[i + 2]);
                } else {
                    addTriangle(c[i + 1], c[i], c[i + 2]);
                }
            }
        };

        if (tag == QLatin1String("triangles") || tag == QLatin1String("polylist")) {
            const std::vector<int32_t> p =
                readInts(prim.firstChildElement(QStringLiteral("p")).text());
            const size_t available = p.size() / size_t(stride);
            if (tag == QLatin1String("triangles")) {
                const size_t n = available / 3;
                group.reserve(n);
                for (size_t i = 0; i < n; ++i) {
                    const std::vector<Corner> c = cornersOf(p, 3 * i, 3);
                    addTriangle(c[0], c[1], c[2]);
                }
            } else {
                const std::vector<int32_t> vcount =
                    readInts(prim.firstChildElement(QStringLiteral("vcount")).text());
                size_t used = 0;
                for (int32_t n : vcount) {
                    if (n < 0 || size_t(n) > available - used) {
                        break;
                    }
                    if (n >= 3) {
                        emitPolygon(cornersOf(p, used, size_t(n)));
                    }
                    used += size_t(n);
                }
            }
            continue;
        }
        for (QDomElement e = prim.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
            QDomElement p;
            if (e.tagName() == QLatin1String("p")) {
                p = e;
            } else if (e.tagName() == QLatin1String("ph")) {
                p = e.firstChildElement(QStringLiteral("p"));
                if (!e.firstChildElement(QStringLiteral("h")).isNull() && !holesReported) {
                    holesReported = true;
                    cdaWarning("CdaGeometry: polygons of geometry %s have holes; the holes are "
                               "left out\n",
                               shownId.constData());
                }
            } else {
                continue;
            }
            const std::vector<int32_t> ints = readInts(p.text());
            const std::vector<Corner> c = cornersOf(ints, 0, ints.size() / size_t(stride));
            if (tag == QLatin1String("polygons")) {
                if (c.size() >= 3) {
                    emitPolygon(c);
                }
            } else {
                emitStrip(c, tag == QLatin1String("trifans"));
            }
        }
    }
}
