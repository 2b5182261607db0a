#include "collada/CdaGeometry.h"

#include "collada/CdaXml.h"

#include <algorithm>
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

CdaGeometry::CdaGeometry(const QDomElement& element)
{
    id = element.attribute(QStringLiteral("id"));
    const QDomElement mesh = element.firstChildElement(QStringLiteral("mesh"));

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
                if (!inside(t.vertex[k], positions.size()) || !inside(t.normal[k], normals.size())) {
                    return false;
                }
            }
        }
    }
    return true;
}
