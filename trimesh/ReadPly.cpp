// PLY reader: ASCII, binary little- and big-endian; vertices with optional
// normals, colours and confidences, and faces, triangle strips or a range
// grid (which is triangulated here). Elements may come in any order; other
// elements (cameras, edges, materials) are skipped by their declared layout.

#include "trimesh/ReadCommon.h"
#include "trimesh/ReadInTwo.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <limits>
#include <sstream>

namespace {

enum class PlyFormat { Ascii, BinaryLittle, BinaryBig };

std::string lowerCase(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Byte size of a PLY scalar type name (in any case); 0 for an unknown name.
int scalarSize(const std::string& name)
{
    const std::string type = lowerCase(name);
    if (type == "char" || type == "uchar" || type == "int8" || type == "uint8")
        return 1;
    if (type == "short" || type == "ushort" || type == "int16" || type == "uint16")
        return 2;
    if (type == "int" || type == "uint" || type == "float" || type == "int32" || type == "uint32" ||
        type == "float32")
        return 4;
    if (type == "double" || type == "float64")
        return 8;
    return 0;
}

bool isSignedType(const std::string& name)
{
    const std::string type = lowerCase(name);
    return type == "char" || type == "int8" || type == "short" || type == "int16" ||
           type == "int" || type == "int32";
}

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream ss(line);
    std::string w;
    while (ss >> w)
        out.push_back(w);
    return out;
}

std::string withoutLineEnd(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

// One property of an element other than the vertices: a scalar or a list,
// with the sizes its binary form takes.
struct FaceProperty {
    bool isList = false;
    bool isIndexList = false;
    // The first list of float or double "texcoord": u, v per corner.
    bool isTexCoordList = false;
    int size = 0;      // scalar: bytes; list: bytes per item
    int countSize = 0; // list: bytes of the count
    bool countSigned = false;
};

bool parseFaceProperty(const std::string& line, bool haveIndexList, FaceProperty& prop,
                       bool haveTexCoordList = true)
{
    std::vector<std::string> w = words(line);
    if (w.size() >= 5 && lowerCase(w[1]) == "list") {
        prop.isList = true;
        prop.countSize = scalarSize(w[2]);
        prop.countSigned = isSignedType(w[2]);
        prop.size = scalarSize(w[3]);
        if (prop.countSize == 0 || prop.countSize == 8 || prop.size == 0)
            return false;
        const std::string type = lowerCase(w[3]);
        bool indexName = w[4] == "vertex_indices" || w[4] == "vertex_index";
        bool indexType = type == "int" || type == "int32" || type == "uint" || type == "uint32";
        prop.isIndexList = indexName && indexType && !haveIndexList;
        const bool real =
            type == "float" || type == "float32" || type == "double" || type == "float64";
        prop.isTexCoordList = w[4] == "texcoord" && real && !haveTexCoordList;
        return true;
    }
    if (w.size() >= 3) {
        prop.size = scalarSize(w[1]);
        return prop.size != 0;
    }
    return false;
}

// One declared element: its name, record count and property lines.
struct PlyElement {
    enum class Kind { Other, Vertex, Face, Strips, Grid } kind = Kind::Other;
    std::string name;
    int count = 0;
    std::vector<std::string> properties;
    // The element whose data this reader uses for faces, strips or a grid.
    bool primary = false;
};

class PlyReader {
public:
    PlyReader(MeshInput& in, TriMesh* mesh) : in_(in), mesh_(mesh) {}
    bool read();

private:
    std::string line() { return in_.readLine(1024, crLines_); }
    bool binary() const { return format_ != PlyFormat::Ascii; }
    bool readHeader();
    bool declareVertexProperties(const PlyElement& e);
    bool declarePrimary(const PlyElement& e);
    bool readVertices();
    bool readVerticesWide();
    bool readVertexTexCoords(const unsigned char* records);
    void addFace(const std::vector<int>& corners, const std::vector<float>& uvs, bool haveUvs);
    bool readTexCoordValue(const FaceProperty& p, float& out);
    bool readPrimary();
    bool primaryFailed();
    bool skipElement(const PlyElement& e);
    bool readFaces();
    bool readAsciiFacesInTwo();
    bool readStrips();
    bool readGrid();
    bool readBinaryInt(int& out, int bytes, bool isSigned);
    bool triangulateGrid(const std::vector<int>& grid);

    MeshInput& in_;
    TriMesh* mesh_;
    bool crLines_ = false;
    PlyFormat format_ = PlyFormat::Ascii;
    bool swap_ = false;
    std::vector<PlyElement> elements_;

    int numVertices_ = 0;
    int vertexSize_ = 0; // bytes (binary) or values (ASCII) per vertex
    int positionAt_ = -1, normalAt_ = -1, colorAt_ = -1, confidenceAt_ = -1;
    // Positions or normals given as doubles (binary files convert them).
    bool positionWide_ = false, normalWide_ = false;
    // Texture coordinates per vertex (float or double each).
    int texUAt_ = -1, texVAt_ = -1;
    bool texUWide_ = false, texVWide_ = false;

    enum class Next { Nothing, Faces, Strips, Grid } next_ = Next::Nothing;
    int numFaces_ = 0;
    std::vector<FaceProperty> faceProps_;
    bool faceTexCoords_ = false; // the faces carry a texcoord list
    int gridCols_ = -1, gridRows_ = -1;
};

bool PlyReader::read()
{
    if (!readHeader())
        return false;
    // The elements in file order, up to the last one used. Faces, strips or
    // a grid found before the vertices are read once the vertices are in,
    // since cutting polygons and triangulating grids look at positions.
    size_t last = 0;
    for (size_t i = 0; i < elements_.size(); ++i) {
        if (elements_[i].kind == PlyElement::Kind::Vertex || elements_[i].primary)
            last = i;
    }
    const unsigned char* deferred = nullptr;
    bool haveVertices = false;
    for (size_t i = 0; i <= last; ++i) {
        const PlyElement& e = elements_[i];
        if (e.kind == PlyElement::Kind::Vertex) {
            const unsigned char* records = in_.cursor();
            if (!readVertices())
                return false;
            if (texUAt_ >= 0 && texVAt_ >= 0 && !faceTexCoords_) {
                const unsigned char* after = in_.cursor();
                if (!readVertexTexCoords(records))
                    return false;
                in_.setCursor(after);
            }
            haveVertices = true;
            if (deferred) {
                const unsigned char* resume = in_.cursor();
                in_.setCursor(deferred);
                if (!readPrimary())
                    return primaryFailed();
                in_.setCursor(resume);
            }
        } else if (e.primary && haveVertices) {
            if (!readPrimary())
                return primaryFailed();
        } else {
            if (e.primary)
                deferred = in_.cursor();
            if (!skipElement(e))
                return false;
        }
    }
    return true;
}

bool PlyReader::primaryFailed()
{
    tmRefuse("the PLY %s data is truncated or damaged", next_ == Next::Strips ? "triangle strip"
                                                        : next_ == Next::Grid ? "range grid"
                                                                              : "face");
    return false;
}

bool PlyReader::readPrimary()
{
    switch (next_) {
    case Next::Faces:
        return readFaces();
    case Next::Strips:
        return readStrips();
    case Next::Grid:
        return readGrid();
    case Next::Nothing:
        break;
    }
    return true;
}

bool PlyReader::readHeader()
{
    // A "ply" line ending in a bare carriage return means the whole header
    // uses bare carriage returns (old Macintosh files).
    if (in_.offset() >= 4 && in_.cursor()[-1] == '\r' && in_.peek() != '\n')
        crLines_ = true;

    while (isSpaceChar(in_.peek()))
        line();

    std::string fmt = line();
    if (startsWithNoCase(fmt, "format binary_big_endian 1.0")) {
        format_ = PlyFormat::BinaryBig;
    } else if (startsWithNoCase(fmt, "format binary_little_endian 1.0")) {
        format_ = PlyFormat::BinaryLittle;
    } else if (startsWithNoCase(fmt, "format ascii 1.0")) {
        format_ = PlyFormat::Ascii;
    } else {
        tmMessage("Unknown ply format or version\n");
        tmRefuse("the PLY header names no known format (ascii, binary_little_endian or "
                 "binary_big_endian "
                 "1.0)");
        return false;
    }
    swap_ = binary() && ((format_ == PlyFormat::BinaryBig) != hostIsBigEndian());

    // The declarations: elements with their property lines, "comment" and
    // "obj_info" lines anywhere, up to "end_header".
    std::string l;
    bool haveVertex = false;
    for (;;) {
        l = line();
        if (l.empty())
            break; // no end_header: refused once the declarations are checked
        if (startsWithNoCase(l, "obj_info")) {
            int n;
            if (scanKeywordInt(l, "obj_info num_cols", n))
                gridCols_ = n;
            else if (scanKeywordInt(l, "obj_info num_rows", n))
                gridRows_ = n;
            continue;
        }
        if (startsWithNoCase(l, "comment")) {
            // "comment TextureFile NAME": an image for the texture
            // coordinates; the name may hold blanks.
            std::string rest = withoutLineEnd(l.substr(7));
            const size_t from = rest.find_first_not_of(" \t");
            if (from != std::string::npos && from > 0 &&
                startsWithNoCase(rest.substr(from), "TextureFile") && rest.size() > from + 11 &&
                (rest[from + 11] == ' ' || rest[from + 11] == '\t')) {
                rest = rest.substr(from + 11);
                const size_t a = rest.find_first_not_of(" \t");
                const size_t b = rest.find_last_not_of(" \t");
                if (a != std::string::npos)
                    mesh_->textureFiles.push_back(rest.substr(a, b - a + 1));
            }
            continue;
        }
        if (startsWithNoCase(l, "end_header"))
            break;
        if (startsWithNoCase(l, "element")) {
            std::vector<std::string> w = words(l);
            PlyElement e;
            e.name = w.size() >= 2 ? w[1] : std::string();
            int n = 0;
            const char* c = w.size() >= 3 ? w[2].c_str() : "";
            const bool counted = parseInt(c, c + std::strlen(c), n) != c;
            int nv = 0;
            if (!haveVertex && scanKeywordInt(l, "element vertex", nv)) {
                e.kind = PlyElement::Kind::Vertex;
                numVertices_ = n = nv;
                haveVertex = true;
            } else if (scanKeywordInt(l, "element face", n)) {
                e.kind = PlyElement::Kind::Face;
            } else if (startsWithNoCase(l, "element tristrips")) {
                e.kind = PlyElement::Kind::Strips;
            } else if (scanKeywordInt(l, "element range_grid", n)) {
                e.kind = PlyElement::Kind::Grid;
            } else if (!counted || n < 0) {
                tmRefuse("the PLY header line \"%s\" gives no element count",
                         withoutLineEnd(l).c_str());
                return false;
            }
            e.count = n;
            elements_.push_back(e);
            continue;
        }
        if (startsWithNoCase(l, "property") && !elements_.empty()) {
            elements_.back().properties.push_back(l);
            continue;
        }
        // Anything else is ignored.
    }
    if (binary() && l.size() >= 11 && l[10] == '\r') {
        tmMessage("Warning!  Possibly corrupt file\n");
        tmMessage("     If things don't work, make sure this file was transferred in BINARY, not "
                  "ASCII mode\n");
    }

    const PlyElement* vertex = nullptr;
    for (const PlyElement& e : elements_) {
        if (e.kind == PlyElement::Kind::Vertex)
            vertex = &e;
    }
    if (!vertex) {
        tmMessage("Expected \"element vertex\"\n");
        tmRefuse("the PLY file declares no vertex element");
        return false;
    }
    if (!declareVertexProperties(*vertex))
        return false;
    for (PlyElement& e : elements_) {
        if (e.kind != PlyElement::Kind::Vertex && e.kind != PlyElement::Kind::Other &&
            next_ == Next::Nothing) {
            e.primary = true;
            if (!declarePrimary(e))
                return false;
        }
    }
    if (l.empty()) {
        tmRefuse("the PLY header has no end_header line");
        return false;
    }
    return true;
}

bool PlyReader::declareVertexProperties(const PlyElement& e)
{
    for (const std::string& l : e.properties) {
        std::vector<std::string> w = words(l);
        int size = w.size() >= 3 ? scalarSize(w[1]) : 0;
        if (size == 0) {
            tmMessage("Unsupported vertex property: %s\n", withoutLineEnd(l).c_str());
            tmRefuse("the PLY vertex element has a property Kelvane cannot read (\"%s\")",
                     withoutLineEnd(l).c_str());
            return false;
        }
        const bool wide = size == 8;
        int at = vertexSize_;
        if (positionAt_ < 0 &&
            (startsWithNoCase(l, "property float x") || startsWithNoCase(l, "property float32 x") ||
             startsWithNoCase(l, "property double x") ||
             startsWithNoCase(l, "property float64 x"))) {
            positionAt_ = at;
            positionWide_ = wide;
        } else if (normalAt_ < 0 && (startsWithNoCase(l, "property float nx") ||
                                     startsWithNoCase(l, "property float32 nx") ||
                                     startsWithNoCase(l, "property double nx") ||
                                     startsWithNoCase(l, "property float64 nx"))) {
            normalAt_ = at;
            normalWide_ = wide;
        } else if (colorAt_ < 0 && (startsWithNoCase(l, "property uchar diffuse_red") ||
                                    startsWithNoCase(l, "property uint8 diffuse_red") ||
                                    startsWithNoCase(l, "property uchar red") ||
                                    startsWithNoCase(l, "property uint8 red"))) {
            colorAt_ = at;
        } else if (confidenceAt_ < 0 && (startsWithNoCase(l, "property float confidence") ||
                                         startsWithNoCase(l, "property float32 confidence"))) {
            confidenceAt_ = at;
        } else if (size == 4 || size == 8) {
            const std::string type = lowerCase(w[1]);
            const bool real =
                type == "float" || type == "float32" || type == "double" || type == "float64";
            const std::string& name = w[2];
            if (real && texUAt_ < 0 &&
                (name == "texture_u" || name == "s" || name == "u" || name == "texture_s")) {
                texUAt_ = at;
                texUWide_ = wide;
            } else if (real && texVAt_ < 0 &&
                       (name == "texture_v" || name == "t" || name == "v" || name == "texture_t")) {
                texVAt_ = at;
                texVWide_ = wide;
            }
        }
        if (vertexSize_ > INT_MAX - 8)
            return false;
        vertexSize_ += binary() ? size : 1;
    }
    return true;
}

bool PlyReader::declarePrimary(const PlyElement& e)
{
    const std::vector<std::string>& props = e.properties;
    const std::string first = props.empty() ? std::string() : props[0];
    if (e.kind == PlyElement::Kind::Face) {
        next_ = Next::Faces;
        numFaces_ = e.count;
        bool haveIndexList = false;
        for (const std::string& l : props) {
            FaceProperty prop;
            if (!parseFaceProperty(l, haveIndexList, prop, faceTexCoords_)) {
                tmMessage("Unsupported face property: %s\n", withoutLineEnd(l).c_str());
                tmRefuse("the PLY face element has a property Kelvane cannot read (\"%s\")",
                         withoutLineEnd(l).c_str());
                return false;
            }
            haveIndexList = haveIndexList || prop.isIndexList;
            faceTexCoords_ = faceTexCoords_ || prop.isTexCoordList;
            faceProps_.push_back(prop);
        }
        if (!haveIndexList && numFaces_ > 0) {
            tmMessage("Face element without a vertex_indices list\n");
            tmRefuse("the PLY face element has no vertex_indices list of int or uint indices");
            return false;
        }
    } else if (e.kind == PlyElement::Kind::Strips) {
        next_ = Next::Strips;
        if (props.size() != 1 ||
            (!startsWithNoCase(first, "property list int int vertex_indices") &&
             !startsWithNoCase(first, "property list int32 int32 vertex_indices"))) {
            tmRefuse("the PLY tristrips element is not one list of int vertex_indices");
            return false;
        }
    } else if (e.kind == PlyElement::Kind::Grid) {
        next_ = Next::Grid;
        if (gridRows_ <= 0 || gridCols_ <= 0 ||
            (long long)e.count != (long long)gridRows_ * gridCols_) {
            tmMessage("Range grid size does not equal num_rows*num_cols\n");
            tmRefuse("the PLY range grid size does not equal num_rows times num_cols");
            return false;
        }
        if (props.size() != 1 ||
            (!startsWithNoCase(first, "property list uchar int vertex_indices") &&
             !startsWithNoCase(first, "property list uint8 int32 vertex_indices") &&
             !startsWithNoCase(first, "property list char int vertex_indices") &&
             !startsWithNoCase(first, "property list int8 int32 vertex_indices"))) {
            tmRefuse("the PLY range_grid element is not one list of int vertex_indices");
            return false;
        }
    }
    return true;
}

bool PlyReader::skipElement(const PlyElement& e)
{
    // Each property is a scalar or a list; their sizes come from the
    // declaration, and lists are walked item by item.
    std::vector<FaceProperty> props;
    for (const std::string& l : e.properties) {
        FaceProperty prop;
        if (!parseFaceProperty(l, true, prop)) {
            tmRefuse("the PLY element \"%s\" has a property Kelvane cannot read (\"%s\")",
                     e.name.c_str(), withoutLineEnd(l).c_str());
            return false;
        }
        props.push_back(prop);
    }
    if (props.empty())
        return true; // records of nothing take no room
    auto truncated = [&]() {
        tmRefuse("the file ends inside the PLY element \"%s\" (it is truncated)", e.name.c_str());
        return false;
    };
    if (binary()) {
        size_t fixed = 0;
        bool lists = false;
        for (const FaceProperty& p : props) {
            lists = lists || p.isList;
            fixed += size_t(p.isList ? 0 : p.size);
        }
        if (!lists) {
            if (fixed != 0 && size_t(e.count) > in_.remaining() / fixed)
                return truncated();
            in_.skip(size_t(e.count) * fixed);
            return true;
        }
        for (int i = 0; i < e.count; ++i) {
            for (const FaceProperty& p : props) {
                if (!p.isList) {
                    if (!in_.skip(size_t(p.size)))
                        return truncated();
                    continue;
                }
                int count;
                if (!readBinaryInt(count, p.countSize, p.countSigned) || count < 0 ||
                    size_t(count) > in_.remaining() / size_t(p.size) ||
                    !in_.skip(size_t(count) * size_t(p.size)))
                    return truncated();
            }
        }
        return true;
    }
    for (int i = 0; i < e.count; ++i) {
        in_.skipSpaceAndComments();
        for (const FaceProperty& p : props) {
            if (!p.isList) {
                if (!in_.skipWord())
                    return truncated();
                continue;
            }
            int count;
            if (!in_.readInt(count) || count < 0 || size_t(count) > in_.remaining())
                return truncated();
            for (int k = 0; k < count; ++k) {
                if (!in_.skipWord())
                    return truncated();
            }
        }
    }
    return true;
}

// A double narrowed to float, out-of-range values becoming infinities.
float narrow(double d)
{
    if (d != d)
        return std::numeric_limits<float>::quiet_NaN();
    if (d > double(std::numeric_limits<float>::max()))
        return std::numeric_limits<float>::infinity();
    if (d < -double(std::numeric_limits<float>::max()))
        return -std::numeric_limits<float>::infinity();
    return float(d);
}

// A float or double stored at `p` in the given byte order, as float.
float binaryValue(const unsigned char* p, bool wide, bool swap)
{
    unsigned char b[8];
    const size_t n = wide ? 8 : 4;
    std::memcpy(b, p, n);
    if (swap)
        std::reverse(b, b + n);
    if (wide) {
        double d;
        std::memcpy(&d, b, 8);
        return narrow(d);
    }
    float f;
    std::memcpy(&f, b, 4);
    return f;
}

// Binary vertices whose position or normal is stored as doubles: converted
// value by value (the float records take the block-copy road instead).
bool PlyReader::readVerticesWide()
{
    const int positionSize = positionWide_ ? 24 : 12, normalSize = normalWide_ ? 24 : 12;
    const int step = positionWide_ ? 8 : 4, normalStep = normalWide_ ? 8 : 4;
    if (positionAt_ + positionSize > vertexSize_)
        return false;
    int normal = -1, color = -1, confidence = -1;
    int usedEnd = positionAt_ + positionSize;
    if (normalAt_ >= usedEnd && normalAt_ + normalSize <= vertexSize_) {
        normal = normalAt_;
        usedEnd = normalAt_ + normalSize;
    }
    if (colorAt_ >= usedEnd && colorAt_ + 3 <= vertexSize_) {
        color = colorAt_;
        usedEnd = colorAt_ + 3;
    }
    if (confidenceAt_ >= usedEnd && confidenceAt_ + 4 <= vertexSize_)
        confidence = confidenceAt_;
    if (!checkCount("Vertex", numVertices_, size_t(vertexSize_), in_))
        return false;
    if (numVertices_ == 0) {
        tmRefuse("the file holds no vertices");
        return false;
    }
    const size_t n = size_t(numVertices_), rec = size_t(vertexSize_);
    if (n * rec > in_.remaining()) {
        tmRefuse("the vertex count %d is more than the rest of the file can hold (the file is "
                 "truncated or "
                 "damaged)",
                 numVertices_);
        return false;
    }
    const unsigned char* records = in_.cursor();
    // The byte-order test on the first position, as for float records.
    auto sane = [&](bool swap) {
        for (int k = 0; k < 3; ++k) {
            const float v = binaryValue(records + positionAt_ + k * step, positionWide_, swap);
            if (!(v > -1e10f && v < 1e10f))
                return false;
        }
        return true;
    };
    if (!sane(swap_) && sane(!swap_)) {
        tmMessage("Compensating for bogus endianness.\n");
        swap_ = !swap_;
    }
    tmMessage("\n  Reading %d vertices... ", numVertices_);
    const size_t base = mesh_->vertices.size();
    mesh_->vertices.resize(base + n);
    if (normal >= 0)
        mesh_->normals.resize(base + n);
    if (color >= 0)
        mesh_->colors.resize(base + n);
    if (confidence >= 0)
        mesh_->confidences.resize(base + n);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char* r = records + i * rec;
        for (int k = 0; k < 3; ++k) {
            mesh_->vertices[base + i][k] =
                binaryValue(r + positionAt_ + k * step, positionWide_, swap_);
            if (normal >= 0)
                mesh_->normals[base + i][k] =
                    binaryValue(r + normal + k * normalStep, normalWide_, swap_);
            if (color >= 0)
                mesh_->colors[base + i][k] = r[color + k];
        }
        if (confidence >= 0)
            mesh_->confidences[base + i] = binaryValue(r + confidence, false, swap_);
    }
    in_.skip(n * rec);
    return true;
}

bool PlyReader::readVertices()
{
    if (positionAt_ < 0) {
        tmRefuse("the PLY vertex element has no float or double x, y, z positions");
        return false;
    }
    if (binary() && (positionWide_ || normalWide_))
        return readVerticesWide();
    if (binary()) {
        BinaryVertexLayout layout;
        layout.recordSize = vertexSize_;
        layout.position = positionAt_;
        if (positionAt_ < 0 || positionAt_ + 12 > vertexSize_)
            return false;
        // Optional fields only in the order position, normal, colour,
        // confidence, each inside the record.
        int usedEnd = positionAt_ + 12;
        if (normalAt_ >= usedEnd && normalAt_ + 12 <= vertexSize_) {
            layout.normal = normalAt_;
            usedEnd = normalAt_ + 12;
        }
        if (colorAt_ >= usedEnd && colorAt_ + 3 <= vertexSize_) {
            layout.color = colorAt_;
            usedEnd = colorAt_ + 3;
        }
        if (confidenceAt_ >= usedEnd && confidenceAt_ + 4 <= vertexSize_)
            layout.confidence = confidenceAt_;
        return readBinaryVertices(in_, mesh_, numVertices_, layout, swap_);
    }
    AsciiVertexLayout layout;
    layout.values = vertexSize_;
    layout.position = positionAt_;
    layout.normal = normalAt_;
    layout.color = colorAt_;
    layout.confidence = confidenceAt_;
    return readAsciiVertices(in_, mesh_, numVertices_, layout);
}

bool PlyReader::readBinaryInt(int& out, int bytes, bool isSigned)
{
    unsigned char b[4];
    if (!in_.readBytes(b, size_t(bytes)))
        return false;
    if (bytes == 1) {
        out = isSigned ? int(static_cast<signed char>(b[0])) : int(b[0]);
        return true;
    }
    // `swap_` says whether the file's byte order differs from the host's.
    if (bytes == 2) {
        uint16_t v;
        std::memcpy(&v, b, 2);
        if (swap_)
            v = uint16_t((v >> 8) | (v << 8));
        out = isSigned ? int(static_cast<int16_t>(v)) : int(v);
        return true;
    }
    uint32_t v;
    std::memcpy(&v, b, 4);
    if (swap_)
        swapBytes4(&v, 1);
    if (!isSigned && v > uint32_t(INT_MAX))
        out = INT_MAX; // no file can hold that many items
    else
        out = int(static_cast<int32_t>(v));
    return true;
}

bool PlyReader::readFaces()
{
    if (numFaces_ == 0)
        return true;
    // Least bytes (binary) or values (ASCII) per face: each list at least its count.
    size_t minEach = 0;
    for (const FaceProperty& p : faceProps_)
        minEach += binary() ? size_t(p.isList ? p.countSize : p.size) : 2;
    if (!checkCount("Face", numFaces_, minEach, in_))
        return false;
    mesh_->faces.reserve(size_t(numFaces_));

    // A face that cannot be read names itself, and in text its line.
    auto failed = [&](int f) {
        in_.skipSpace();
        const unsigned char* at = in_.cursor();
        if (in_.atEnd() || binary()) {
            tmRefuse("the file ends at face %d of %d (it is truncated)", f + 1, numFaces_);
        } else {
            std::string word = in_.readWord(24);
            tmRefuse("face %d of %d (line %lld) has \"%s\" where a number should be", f + 1,
                     numFaces_, lineNumberAt(in_, at), word.c_str());
        }
        return false;
    };
    std::vector<int> idx;
    if (binary() && faceProps_.size() == 1 && faceProps_[0].countSize == 1 &&
        !faceProps_[0].countSigned) {
        // The common layout, one list of a byte count and int indices, read
        // straight from the buffer; triangles are copied whole.
        tmMessage("\n  Reading %d faces... ", numFaces_);
        const unsigned char* c = in_.cursor();
        const unsigned char* const end = c + in_.remaining();
        for (int f = 0; f < numFaces_; ++f) {
            if (c >= end)
                return in_.setCursor(c), failed(f);
            // A run of whole triangles (at most a cache-sized chunk of them)
            // is appended in one go.
            size_t run = 0;
            const size_t most = std::min(size_t(numFaces_ - f), size_t(4096));
            while (run < most && size_t(end - c) >= (run + 1) * 13 && c[run * 13] == 3)
                ++run;
            if (run > 0) {
                const size_t first = mesh_->faces.size();
                appendRecords(mesh_->faces, c, run, 13, 1);
                if (swap_)
                    swapBytes4(&mesh_->faces[first], run * 3);
                c += run * 13;
                f += int(run) - 1;
                continue;
            }
            const size_t count = *c++;
            if (size_t(end - c) < count * 4) {
                in_.setCursor(c);
                return checkCount("Polygon corner", (long long)count, 4, in_) && false;
            }
            idx.resize(count);
            if (count > 0)
                std::memcpy(idx.data(), c, count * 4);
            if (swap_)
                swapBytes4(idx.data(), count);
            tessellate(mesh_, idx.data(), count);
            c += count * 4;
        }
        in_.setCursor(c);
        return true;
    }
    // The face's texture coordinates, when the faces carry them.
    std::vector<float> uvs;
    bool haveUvs = false;
    if (binary()) {
        tmMessage("\n  Reading %d faces... ", numFaces_);
        for (int f = 0; f < numFaces_; ++f) {
            idx.clear();
            haveUvs = false;
            for (const FaceProperty& p : faceProps_) {
                if (!p.isList) {
                    if (!in_.skip(size_t(p.size)))
                        return failed(f);
                    continue;
                }
                int count;
                if (!readBinaryInt(count, p.countSize, p.countSigned))
                    return failed(f);
                if (!checkCount("Polygon corner", count, size_t(p.size), in_))
                    return false;
                if (p.isTexCoordList) {
                    uvs.resize(size_t(count));
                    for (float& value : uvs) {
                        if (!readTexCoordValue(p, value))
                            return failed(f);
                    }
                    haveUvs = true;
                    continue;
                }
                if (!p.isIndexList) {
                    if (!in_.skip(size_t(count) * size_t(p.size)))
                        return failed(f);
                    continue;
                }
                idx.resize(size_t(count));
                if (!in_.readBytes(idx.data(), size_t(count) * 4))
                    return failed(f);
                if (swap_)
                    swapBytes4(idx.data(), idx.size());
            }
            addFace(idx, uvs, haveUvs);
        }
        return true;
    }

    in_.skipSpaceAndComments();
    tmMessage("\n  Reading %d faces... ", numFaces_);
    if (readAsciiFacesInTwo())
        return true;
    for (int f = 0; f < numFaces_; ++f) {
        in_.skipSpaceAndComments();
        idx.clear();
        haveUvs = false;
        for (const FaceProperty& p : faceProps_) {
            if (!p.isList) {
                if (!in_.skipWord())
                    return failed(f);
                continue;
            }
            int count;
            if (!in_.readInt(count))
                return failed(f);
            if (!checkCount("Polygon corner", count, 2, in_))
                return false;
            if (p.isTexCoordList) {
                uvs.resize(size_t(count));
                for (float& value : uvs) {
                    if (!readTexCoordValue(p, value))
                        return failed(f);
                }
                haveUvs = true;
                continue;
            }
            if (!p.isIndexList) {
                for (int k = 0; k < count; ++k) {
                    if (!in_.skipWord())
                        return failed(f);
                }
                continue;
            }
            idx.resize(size_t(count));
            for (int k = 0; k < count; ++k) {
                if (!in_.readInt(idx[size_t(k)]))
                    return failed(f);
            }
        }
        addFace(idx, uvs, haveUvs);
    }
    return true;
}

bool PlyReader::readTexCoordValue(const FaceProperty& p, float& out)
{
    if (!binary())
        return in_.readFloat(out);
    if (in_.remaining() < size_t(p.size))
        return false;
    out = binaryValue(in_.cursor(), p.size == 8, swap_);
    return in_.skip(size_t(p.size));
}

// Cuts one face's polygon into triangles; with the faces' texture
// coordinates, each triangle corner takes the pair of the polygon corner it
// came from (-1 where the face's list does not hold a pair per corner).
void PlyReader::addFace(const std::vector<int>& corners, const std::vector<float>& uvs,
                        bool haveUvs)
{
    const size_t before = mesh_->faces.size();
    tessellate(mesh_, corners.data(), corners.size());
    if (!faceTexCoords_)
        return;
    const bool usable = haveUvs && uvs.size() == 2 * corners.size();
    const int first = int(mesh_->texCoords.size() / 2);
    if (usable)
        mesh_->texCoords.insert(mesh_->texCoords.end(), uvs.begin(), uvs.end());
    mesh_->faceTexCoords.resize(3 * before, -1);
    for (size_t f = before; f < mesh_->faces.size(); ++f) {
        for (int k = 0; k < 3; ++k) {
            const auto at = std::find(corners.begin(), corners.end(), mesh_->faces[f][k]);
            mesh_->faceTexCoords.push_back(
                usable && at != corners.end() ? first + int(at - corners.begin()) : -1);
        }
    }
}

// The vertices' texture coordinates, in a second walk over their records
// (from `records`) once the positions are in, so that files without them
// keep the fast roads through the vertex data.
bool PlyReader::readVertexTexCoords(const unsigned char* records)
{
    const size_t n = size_t(numVertices_);
    in_.setCursor(records);
    std::vector<float>& out = mesh_->texCoords;
    out.assign(2 * n, 0.0f);
    if (binary()) {
        const size_t rec = size_t(vertexSize_);
        const int uSize = texUWide_ ? 8 : 4, vSize = texVWide_ ? 8 : 4;
        if (texUAt_ + uSize > vertexSize_ || texVAt_ + vSize > vertexSize_ ||
            n * rec > in_.remaining()) {
            tmRefuse("the PLY vertex texture coordinates lie outside the vertex records");
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            const unsigned char* r = records + i * rec;
            out[2 * i] = binaryValue(r + texUAt_, texUWide_, swap_);
            out[2 * i + 1] = binaryValue(r + texVAt_, texVWide_, swap_);
        }
        return true;
    }
    for (size_t i = 0; i < n; ++i) {
        in_.skipSpaceAndComments();
        for (int j = 0; j < vertexSize_; ++j) {
            const bool ok = j == texUAt_   ? in_.readFloat(out[2 * i])
                            : j == texVAt_ ? in_.readFloat(out[2 * i + 1])
                                           : in_.skipWord();
            if (!ok) {
                tmRefuse("the texture coordinates of vertex %lu of %d cannot be read",
                         (unsigned long)(i + 1), numVertices_);
                return false;
            }
        }
    }
    return true;
}

bool PlyReader::readAsciiFacesInTwo()
{
    if (faceTexCoords_ || !worthTwoThreads(size_t(numFaces_)))
        return false;
    const size_t before = mesh_->faces.size();
    std::vector<Face> secondHalf;
    std::vector<int> idx[2];
    // As the loop in readFaces, false where it would refuse.
    auto readFace = [&](MeshInput& at, size_t, int part) {
        at.skipSpaceAndComments();
        for (const FaceProperty& p : faceProps_) {
            if (!p.isList) {
                if (!at.skipWord())
                    return false;
                continue;
            }
            int count;
            if (!at.readInt(count) || count < 0 ||
                static_cast<unsigned long long>(count) * 2 > at.remaining() + 1ull)
                return false;
            if (!p.isIndexList) {
                for (int k = 0; k < count; ++k) {
                    if (!at.skipWord())
                        return false;
                }
                continue;
            }
            std::vector<int>& corners = idx[part];
            corners.resize(size_t(count));
            for (int k = 0; k < count; ++k) {
                if (!at.readInt(corners[size_t(k)]))
                    return false;
            }
            tessellate(mesh_->vertices, part == 0 ? mesh_->faces : secondHalf, corners.data(),
                       corners.size());
        }
        return true;
    };
    if (readInTwo(in_, size_t(numFaces_), readFace)) {
        mesh_->faces.insert(mesh_->faces.end(), secondHalf.begin(), secondHalf.end());
        return true;
    }
    mesh_->faces.resize(before);
    return false;
}

bool PlyReader::readStrips()
{
    int n;
    if (binary()) {
        if (!readBinaryInt(n, 4, true))
            return false;
        tmMessage("\n  Reading triangle strips... ");
        if (!checkCount("Triangle strip entry", n, 4, in_))
            return false;
        std::vector<int>& s = mesh_->strips;
        size_t base = s.size();
        s.resize(base + size_t(n));
        if (!in_.readBytes(s.data() + base, size_t(n) * 4))
            return false;
        if (swap_)
            swapBytes4(s.data() + base, size_t(n));
    } else {
        in_.skipSpaceAndComments();
        if (!in_.readInt(n))
            return false;
        tmMessage("\n  Reading triangle strips... ");
        if (!checkCount("Triangle strip entry", n, 2, in_))
            return false;
        in_.skipSpaceAndComments();
        mesh_->strips.reserve(mesh_->strips.size() + size_t(n));
        for (int k = 0; k < n; ++k) {
            int v;
            if (!in_.readInt(v))
                return false;
            mesh_->strips.push_back(v);
        }
    }

    // Strips stored as indices with -1 after each are rewritten in place
    // into the length-prefixed form: walking down from the second-to-last
    // entry, each index moves up one place and each -1 becomes the length of
    // the strip after it; entry 0 gets the length of the first strip.
    std::vector<int>& s = mesh_->strips;
    if (!s.empty() && s.back() == -1) {
        int len = 0;
        for (size_t i = s.size() - 1; i-- > 0;) {
            if (s[i] == -1) {
                s[i + 1] = len;
                len = 0;
            } else {
                s[i + 1] = s[i];
                ++len;
            }
        }
        s[0] = len;
    }
    return true;
}

bool PlyReader::readGrid()
{
    tmMessage("\n  Reading range grid... ");
    const long long cells = (long long)gridRows_ * gridCols_;
    if (!checkCount("Range grid cell", cells, binary() ? 1 : 2, in_))
        return false;
    std::vector<int> grid(size_t(cells), -1);
    for (long long i = 0; i < cells; ++i) {
        int count;
        if (binary()) {
            if (!readBinaryInt(count, 1, false))
                return false;
            for (int k = 0; k < count; ++k) {
                if (!readBinaryInt(grid[size_t(i)], 4, true))
                    return false;
            }
        } else {
            if (!in_.readInt(count))
                return false;
            if (count > 0 && !checkCount("Range grid index", count, 2, in_))
                return false;
            for (int k = 0; k < count; ++k) {
                if (!in_.readInt(grid[size_t(i)]))
                    return false;
            }
        }
    }
    return triangulateGrid(grid);
}

bool PlyReader::triangulateGrid(const std::vector<int>& cells)
{
    const int nv = int(mesh_->vertices.size());
    for (int c : cells) {
        if (c < -1 || c >= nv) {
            tmMessage("Range grid index %d is out of range (%d vertices)\n", c, nv);
            return false;
        }
    }
    tmMessage("Triangulating... ");
    // Cells whose vertex sits exactly at the origin are holes in the scan.
    std::vector<int> grid(cells);
    const vec origin(0.0f, 0.0f, 0.0f);
    for (int& c : grid) {
        if (c >= 0 && mesh_->vertices[size_t(c)] == origin)
            c = -1;
    }
    const int cols = gridCols_, rows = gridRows_;
    auto at = [&](int x, int y) { return grid[size_t(y) * size_t(cols) + size_t(x)]; };

    size_t count = 0;
    for (int y = 0; y + 1 < rows; ++y) {
        for (int x = 0; x + 1 < cols; ++x) {
            int valid = (at(x, y) >= 0) + (at(x + 1, y) >= 0) + (at(x, y + 1) >= 0) +
                        (at(x + 1, y + 1) >= 0);
            count += valid == 4 ? 2 : valid == 3 ? 1 : 0;
        }
    }
    mesh_->faces.reserve(mesh_->faces.size() + count);

    const std::vector<vec>& v = mesh_->vertices;
    for (int y = 0; y + 1 < rows; ++y) {
        for (int x = 0; x + 1 < cols; ++x) {
            int ll = at(x, y), lr = at(x + 1, y), ul = at(x, y + 1), ur = at(x + 1, y + 1);
            int valid = (ll >= 0) + (lr >= 0) + (ul >= 0) + (ur >= 0);
            if (valid == 4) {
                float d1 = dist2(v[size_t(ul)], v[size_t(lr)]);
                float d2 = dist2(v[size_t(ll)], v[size_t(ur)]);
                if (d1 > d2) {
                    mesh_->faces.emplace_back(ll, lr, ur);
                    mesh_->faces.emplace_back(ll, ur, ul);
                } else {
                    mesh_->faces.emplace_back(ll, lr, ul);
                    mesh_->faces.emplace_back(lr, ur, ul);
                }
            } else if (valid == 3) {
                if (ll < 0)
                    mesh_->faces.emplace_back(lr, ur, ul);
                else if (lr < 0)
                    mesh_->faces.emplace_back(ll, ur, ul);
                else if (ul < 0)
                    mesh_->faces.emplace_back(ll, lr, ur);
                else
                    mesh_->faces.emplace_back(ll, lr, ul);
            }
        }
    }
    tmMessage("%lu faces.\n  ", (unsigned long)mesh_->faces.size());
    mesh_->removeLongSlivers();
    tmMessage("  ");
    return true;
}

} // namespace

bool readPly(MeshInput& in, TriMesh* mesh)
{
    PlyReader reader(in, mesh);
    return reader.read();
}
