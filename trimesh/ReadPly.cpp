// PLY reader: ASCII, binary little- and big-endian; vertices with optional
// normals, colours and confidences, followed by faces, triangle strips or a
// range grid (which is triangulated here).

#include "trimesh/ReadCommon.h"

#include <algorithm>
#include <climits>
#include <sstream>

namespace {

enum class PlyFormat { Ascii, BinaryLittle, BinaryBig };

// Byte size of a PLY scalar type name; 0 for an unknown name.
int scalarSize(const std::string& type)
{
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

bool isSignedType(const std::string& type)
{
    return type == "char" || type == "int8" || type == "short" || type == "int16" || type == "int" ||
           type == "int32";
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

// One property of the face element.
struct FaceProperty {
    bool isList = false;
    bool isIndexList = false;
    int size = 0;           // scalar: bytes; list: bytes per item
    int countSize = 0;      // list: bytes of the count
    bool countSigned = false;
};

bool parseFaceProperty(const std::string& line, bool haveIndexList, FaceProperty& prop)
{
    std::vector<std::string> w = words(line);
    if (w.size() >= 5 && w[1] == "list") {
        prop.isList = true;
        prop.countSize = scalarSize(w[2]);
        prop.countSigned = isSignedType(w[2]);
        prop.size = scalarSize(w[3]);
        if (prop.countSize == 0 || prop.countSize == 8 || prop.size == 0)
            return false;
        bool indexName = w[4] == "vertex_indices" || w[4] == "vertex_index";
        bool indexType = w[3] == "int" || w[3] == "int32" || w[3] == "uint" || w[3] == "uint32";
        prop.isIndexList = indexName && indexType && !haveIndexList;
        return true;
    }
    if (w.size() >= 3) {
        prop.size = scalarSize(w[1]);
        return prop.size != 0;
    }
    return false;
}

class PlyReader {
public:
    PlyReader(MeshInput& in, TriMesh* mesh) : in_(in), mesh_(mesh) {}
    bool read();

private:
    std::string line() { return in_.readLine(1024, crLines_); }
    bool binary() const { return format_ != PlyFormat::Ascii; }
    bool readHeader();
    bool readVertices();
    bool readFaces();
    bool readStrips();
    bool readGrid();
    bool readBinaryInt(int& out, int bytes, bool isSigned);
    bool triangulateGrid(const std::vector<int>& grid);

    MeshInput& in_;
    TriMesh* mesh_;
    bool crLines_ = false;
    PlyFormat format_ = PlyFormat::Ascii;
    bool swap_ = false;

    int numVertices_ = 0;
    int vertexSize_ = 0;  // bytes (binary) or values (ASCII) per vertex
    int positionAt_ = -1, normalAt_ = -1, colorAt_ = -1, confidenceAt_ = -1;

    enum class Next { Nothing, Faces, Strips, Grid } next_ = Next::Nothing;
    int numFaces_ = 0;
    std::vector<FaceProperty> faceProps_;
    int gridCols_ = -1, gridRows_ = -1;
};

bool PlyReader::read()
{
    if (!readHeader() || !readVertices())
        return false;
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
        return false;
    }
    swap_ = binary() && ((format_ == PlyFormat::BinaryBig) != hostIsBigEndian());

    std::string l;
    for (;;) {
        l = line();
        if (startsWithNoCase(l, "obj_info")) {
            int n;
            if (scanKeywordInt(l, "obj_info num_cols", n))
                gridCols_ = n;
            else if (scanKeywordInt(l, "obj_info num_rows", n))
                gridRows_ = n;
            continue;
        }
        if (startsWithNoCase(l, "comment"))
            continue;
        break;
    }
    if (!scanKeywordInt(l, "element vertex", numVertices_)) {
        tmMessage("Expected \"element vertex\"\n");
        return false;
    }

    // Vertex properties.
    for (;;) {
        l = line();
        if (!startsWithNoCase(l, "property"))
            break;
        std::vector<std::string> w = words(l);
        int size = w.size() >= 3 ? scalarSize(w[1]) : 0;
        if (size == 0) {
            tmMessage("Unsupported vertex property: %s\n", withoutLineEnd(l).c_str());
            return false;
        }
        int at = vertexSize_;
        if (positionAt_ < 0 && (startsWithNoCase(l, "property float x") || startsWithNoCase(l, "property float32 x")))
            positionAt_ = at;
        else if (normalAt_ < 0 &&
                 (startsWithNoCase(l, "property float nx") || startsWithNoCase(l, "property float32 nx")))
            normalAt_ = at;
        else if (colorAt_ < 0 &&
                 (startsWithNoCase(l, "property uchar diffuse_red") || startsWithNoCase(l, "property uint8 diffuse_red") ||
                  startsWithNoCase(l, "property uchar red") || startsWithNoCase(l, "property uint8 red")))
            colorAt_ = at;
        else if (confidenceAt_ < 0 && (startsWithNoCase(l, "property float confidence") ||
                                       startsWithNoCase(l, "property float32 confidence")))
            confidenceAt_ = at;
        if (vertexSize_ > INT_MAX - 8)
            return false;
        vertexSize_ += binary() ? size : 1;
    }

    // What follows the vertices: faces, strips or a range grid.
    int n;
    if (scanKeywordInt(l, "element face", n)) {
        next_ = Next::Faces;
        numFaces_ = n;
        bool haveIndexList = false;
        for (;;) {
            l = line();
            if (!startsWithNoCase(l, "property"))
                break;
            FaceProperty prop;
            if (!parseFaceProperty(l, haveIndexList, prop)) {
                tmMessage("Unsupported face property: %s\n", withoutLineEnd(l).c_str());
                return false;
            }
            haveIndexList = haveIndexList || prop.isIndexList;
            faceProps_.push_back(prop);
        }
        if (!haveIndexList && numFaces_ > 0) {
            tmMessage("Face element without a vertex_indices list\n");
            return false;
        }
    } else if (startsWithNoCase(l, "element tristrips")) {
        next_ = Next::Strips;
        l = line();
        if (!startsWithNoCase(l, "property list int int vertex_indices") &&
            !startsWithNoCase(l, "property list int32 int32 vertex_indices"))
            return false;
        l = line();
    } else if (scanKeywordInt(l, "element range_grid", n)) {
        next_ = Next::Grid;
        if (gridRows_ <= 0 || gridCols_ <= 0 || (long long)n != (long long)gridRows_ * gridCols_) {
            tmMessage("Range grid size does not equal num_rows*num_cols\n");
            return false;
        }
        l = line();
        if (!startsWithNoCase(l, "property list uchar int vertex_indices") &&
            !startsWithNoCase(l, "property list uint8 int32 vertex_indices") &&
            !startsWithNoCase(l, "property list char int vertex_indices") &&
            !startsWithNoCase(l, "property list int8 int32 vertex_indices"))
            return false;
        l = line();
    }

    // Everything else up to end_header is ignored.
    while (!startsWithNoCase(l, "end_header")) {
        if (l.empty())
            return false;  // no end_header before the end of the file
        l = line();
    }
    if (binary() && l.size() >= 11 && l[10] == '\r') {
        tmMessage("Warning!  Possibly corrupt file\n");
        tmMessage("     If things don't work, make sure this file was transferred in BINARY, not ASCII mode\n");
    }
    return true;
}

bool PlyReader::readVertices()
{
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
        out = INT_MAX;  // no file can hold that many items
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

    std::vector<int> idx;
    if (binary() && faceProps_.size() == 1 && faceProps_[0].countSize == 1 && !faceProps_[0].countSigned) {
        // The common layout, one list of a byte count and int indices, read
        // straight from the buffer; triangles are copied whole.
        tmMessage("\n  Reading %d faces... ", numFaces_);
        const unsigned char* c = in_.cursor();
        const unsigned char* const end = c + in_.remaining();
        for (int f = 0; f < numFaces_; ++f) {
            if (c >= end)
                return false;
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
    if (binary()) {
        tmMessage("\n  Reading %d faces... ", numFaces_);
        for (int f = 0; f < numFaces_; ++f) {
            for (const FaceProperty& p : faceProps_) {
                if (!p.isList) {
                    if (!in_.skip(size_t(p.size)))
                        return false;
                    continue;
                }
                int count;
                if (!readBinaryInt(count, p.countSize, p.countSigned))
                    return false;
                if (!checkCount("Polygon corner", count, size_t(p.size), in_))
                    return false;
                if (!p.isIndexList) {
                    if (!in_.skip(size_t(count) * size_t(p.size)))
                        return false;
                    continue;
                }
                idx.resize(size_t(count));
                if (!in_.readBytes(idx.data(), size_t(count) * 4))
                    return false;
                if (swap_)
                    swapBytes4(idx.data(), idx.size());
                tessellate(mesh_, idx.data(), idx.size());
            }
        }
        return true;
    }

    in_.skipSpaceAndComments();
    tmMessage("\n  Reading %d faces... ", numFaces_);
    for (int f = 0; f < numFaces_; ++f) {
        in_.skipSpaceAndComments();
        for (const FaceProperty& p : faceProps_) {
            if (!p.isList) {
                if (!in_.skipWord())
                    return false;
                continue;
            }
            int count;
            if (!in_.readInt(count))
                return false;
            if (!checkCount("Polygon corner", count, 2, in_))
                return false;
            if (!p.isIndexList) {
                for (int k = 0; k < count; ++k) {
                    if (!in_.skipWord())
                        return false;
                }
                continue;
            }
            idx.resize(size_t(count));
            for (int k = 0; k < count; ++k) {
                if (!in_.readInt(idx[size_t(k)]))
                    return false;
            }
            tessellate(mesh_, idx.data(), idx.size());
        }
    }
    return true;
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
            int valid = (at(x, y) >= 0) + (at(x + 1, y) >= 0) + (at(x, y + 1) >= 0) + (at(x + 1, y + 1) >= 0);
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

}  // namespace

bool readPly(MeshInput& in, TriMesh* mesh)
{
    PlyReader reader(in, mesh);
    return reader.read();
}
