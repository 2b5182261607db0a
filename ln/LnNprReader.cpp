#include "ln/LnNprReader.h"

#include "ln/LnDiagnostics.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// A cursor over the file's bytes with scanf-like token reads. Every read
// skips leading white space (as %f, %u and %s do) except the literal
// character matches, and fails without moving past the end.
class Scanner {
public:
    Scanner(const char* data, size_t size) : p(data), end(data + size) {}

    bool atEnd() const { return p >= end; }
    size_t remaining() const { return size_t(end - p); }
    const char* position() const { return p; }
    void rewind(const char* to) { p = to; }

    void skipSpace()
    {
        while (p < end && isSpace(*p)) {
            ++p;
        }
    }

    bool readFloat(float& value)
    {
        skipSpace();
        const char* q = p;
        if (q < end && *q == '+') {
            ++q;
            if (q < end && *q == '-') {
                return false;
            }
        }
        float v = 0.0f;
        auto [next, ec] = std::from_chars(q, end, v, std::chars_format::general);
        if (ec == std::errc::result_out_of_range) {
            // Like strtof: overflow gives infinity, underflow zero, and the
            // number still counts as read.
            v = 0.0f;
            for (const char* c = q; c < next; ++c) {
                if (*c == 'e' || *c == 'E') {
                    v = (c + 1 < next && c[1] == '-') ? 0.0f
                                                      : std::numeric_limits<float>::infinity();
                    break;
                }
            }
            if (*q == '-') {
                v = -v;
            }
        } else if (ec != std::errc()) {
            return false;
        }
        value = v;
        p = next;
        return true;
    }

    // An integer with an optional sign, as %u and %d accept it; values that
    // do not fit in 64 bits fail.
    bool readInteger(int64_t& value)
    {
        skipSpace();
        const char* q = p;
        bool negative = false;
        if (q < end && (*q == '+' || *q == '-')) {
            negative = *q == '-';
            ++q;
        }
        if (q >= end || *q < '0' || *q > '9') {
            return false;
        }
        uint64_t v = 0;
        while (q < end && *q >= '0' && *q <= '9') {
            if (v > (uint64_t(std::numeric_limits<int64_t>::max()) - 9) / 10) {
                return false;
            }
            v = v * 10 + uint64_t(*q - '0');
            ++q;
        }
        value = negative ? -int64_t(v) : int64_t(v);
        p = q;
        return true;
    }

    bool readWord()
    {
        skipSpace();
        if (p >= end) {
            return false;
        }
        while (p < end && !isSpace(*p)) {
            ++p;
        }
        return true;
    }

    // Matches one literal character at the cursor, without skipping space.
    bool expect(char c)
    {
        if (p < end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }

    // Skips the rest of the current line, its line end included. False when
    // the bytes end first.
    bool skipLine()
    {
        while (p < end && *p != '\n') {
            ++p;
        }
        if (p >= end) {
            return false;
        }
        ++p;
        return true;
    }

private:
    static bool isSpace(char c)
    {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    }

    const char* p;
    const char* end;
};

// Reserves room for `count` records, but never for more than the remaining
// bytes could hold at `minBytes` bytes per record.
template <typename T>
void boundedReserve(std::vector<T>& list, int64_t count, const Scanner& in, size_t minBytes)
{
    size_t cap = in.remaining() / minBytes + 1;
    list.reserve(size_t(count) < cap ? size_t(count) : cap);
}

class NprParser {
public:
    NprParser(const char* data, size_t size, LnBoxyMeshData& mesh, LnPathList& paths,
              std::string& error)
        : in(data, size), mesh(mesh), paths(paths), error(error)
    {
    }

    bool parse();

private:
    // Prints `printed` on the library's error channel and keeps `reason`
    // for the user.
    bool fail(const std::string& printed, const std::string& reason)
    {
        lnError("%s", printed.c_str());
        error = reason;
        return false;
    }
    bool fail(const std::string& reason) { return fail("LnBoxyModel: " + reason, reason); }

    bool readHeader();
    bool readCount(const char* section, int64_t& count);
    bool readVec(vec& v);

    Scanner in;
    LnBoxyMeshData& mesh;
    LnPathList& paths;
    std::string& error;
    int version = 0; // 0 no header, 1 or 2
};

bool NprParser::readHeader()
{
    const char* start = in.position();
    // The header is the first line, compared whole (at most 255 characters
    // with its line end). Windows line ends are accepted too.
    const char* lineEnd = start;
    size_t limit = in.remaining() < 255 ? in.remaining() : 255;
    while (size_t(lineEnd - start) < limit && *lineEnd != '\n') {
        ++lineEnd;
    }
    std::string line(start, lineEnd);
    bool complete = size_t(lineEnd - start) < limit && *lineEnd == '\n';
    if (complete && !line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (complete && line == "# NPR MODEL V 1") {
        version = 1;
    } else if (complete && line == "# NPR MODEL V 2") {
        version = 2;
    }
    if (version != 0) {
        in.rewind(lineEnd + 1);
    }
    return true;
}

bool NprParser::readCount(const char* section, int64_t& count)
{
    if (!in.readWord()) {
        return fail(std::string("the file ends before the ") + section + " section");
    }
    if (!in.readInteger(count) || count < 0 || count > std::numeric_limits<int32_t>::max()) {
        return fail(std::string("the ") + section + " count is not a valid number");
    }
    return true;
}

bool NprParser::readVec(vec& v)
{
    return in.readFloat(v[0]) && in.readFloat(v[1]) && in.readFloat(v[2]);
}

bool NprParser::parse()
{
    readHeader();
    mesh.hasNormals = version != 0;

    // Bounding box; the rest of its line is skipped.
    vec lo, hi;
    if (!readVec(lo) || !readVec(hi)) {
        return fail("the bounding box is not six numbers");
    }
    if (!in.skipLine()) {
        return fail("the file ends after the bounding box");
    }
    mesh.center = (lo + hi) * 0.5f;
    mesh.radius = len(hi - mesh.center);

    int64_t count = 0;
    if (!readCount("vertex", count)) {
        return false;
    }
    boundedReserve(mesh.vertices, count, in, 6);
    for (int64_t i = 0; i < count; ++i) {
        vec v;
        if (!readVec(v)) {
            return fail("vertex " + std::to_string(i) + " of " + std::to_string(count) +
                        " is not three numbers");
        }
        mesh.vertices.push_back(v);
    }

    if (version != 0) {
        if (!readCount("normal", count)) {
            return false;
        }
        boundedReserve(mesh.normals, count, in, 6);
        for (int64_t i = 0; i < count; ++i) {
            vec n;
            if (!readVec(n)) {
                return fail("normal " + std::to_string(i) + " of " + std::to_string(count) +
                            " is not three numbers");
            }
            float l = len(n);
            if (l > 0.0f) {
                n *= 1.0f / l;
            } else {
                n = vec(1.0f, 0.0f, 0.0f);
            }
            mesh.normals.push_back(n);
        }
    }

    if (!readCount("face", count)) {
        return false;
    }
    boundedReserve(mesh.faces, count, in, version != 0 ? 19 : 13);
    const int values = version != 0 ? 6 : 3;
    for (int64_t i = 0; i < count; ++i) {
        int64_t index[6] = {0, 0, 0, 0, 0, 0};
        float rgb[3] = {0, 0, 0};
        bool ok = true;
        for (int k = 0; k < values && ok; ++k) {
            ok = in.readInteger(index[k]);
        }
        if (ok) {
            in.skipSpace();
            ok = in.expect('[') && in.readFloat(rgb[0]) && in.expect(',') && in.readFloat(rgb[1]) &&
                 in.expect(',') && in.readFloat(rgb[2]);
        }
        if (ok) {
            in.skipSpace();
            ok = in.expect(']');
        }
        if (!ok) {
            return fail("LnBoxyModel::LnBoxyModel-parse error 1\n",
                        "face " + std::to_string(i) + " is malformed (parse error 1)");
        }
        for (int k = 0; k < values; ++k) {
            const bool isNormal = k >= 3;
            const int64_t limit =
                isNormal ? int64_t(mesh.normals.size()) : int64_t(mesh.vertices.size());
            if (index[k] < 0 || index[k] >= limit) {
                return fail("face " + std::to_string(i) + " uses " +
                            (isNormal ? "normal" : "vertex") + " index " +
                            std::to_string(index[k]) + ", but the file has " +
                            std::to_string(limit) + (isNormal ? " normals" : " vertices"));
            }
        }
        LnFace f;
        f.a = uint32_t(index[0]);
        f.b = uint32_t(index[1]);
        f.c = uint32_t(index[2]);
        f.na = uint32_t(index[3]);
        f.nb = uint32_t(index[4]);
        f.nc = uint32_t(index[5]);
        f.red = rgb[0];
        f.green = rgb[1];
        f.blue = rgb[2];
        mesh.faces.push_back(f);
    }

    if (!readCount("line", count)) {
        return false;
    }
    LnAttributeRecord record;
    const int strength = attributeSlot(nameHash("strength"));
    if (strength >= 0) {
        record.values[strength] = 1.0f;
    }
    for (int64_t i = 0; i < count; ++i) {
        int64_t n = 0, hidden = 0, ignored = 0;
        if (!in.readInteger(n) || !in.readInteger(hidden) || !in.readInteger(ignored) || n < 0) {
            return fail("LnBoxyModel::LnBoxyModel-parse error 3\n",
                        "line " + std::to_string(i) + " has a malformed header (parse error 3)");
        }
        std::unique_ptr<LnPath> path(new LnPath);
        path->kind = 0;
        for (int64_t k = 0; k < n; ++k) {
            vec point;
            if (!readVec(point)) {
                return fail("LnBoxyModel::LnBoxyModel-parse error 3\n",
                            "point " + std::to_string(k) + " of line " + std::to_string(i) +
                                " is malformed (parse error 3)");
            }
            path->addPoint(point, record);
        }
        if (version == 2) {
            for (int64_t k = 0; k + 1 < n; ++k) {
                int64_t first = 0, second = 0;
                if (!in.readInteger(first) || !in.readInteger(second)) {
                    return fail("LnBoxyModel::LnBoxyModel-parse error 4\n",
                                "segment " + std::to_string(k) + " of line " + std::to_string(i) +
                                    " is malformed (parse error 4)");
                }
            }
        }
        if (hidden == 0) {
            paths.append(path.release());
        }
    }
    return true;
}

} // namespace

bool readNprModel(const char* data, size_t size, LnBoxyMeshData& mesh, LnPathList& paths,
                  std::string& error)
{
    NprParser parser(data, size, mesh, paths, error);
    return parser.parse();
}

bool readNprFileBytes(const char* path, std::string& bytes, std::string& error)
{
    bytes.clear();
    std::FILE* file = std::fopen(path, "rb");
    int cause = errno;
    if (file) {
        char buffer[65536];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            bytes.append(buffer, got);
        }
        cause = std::ferror(file) ? errno : 0;
        bool failed = std::ferror(file);
        std::fclose(file);
        if (!failed) {
            return true;
        }
    }
    lnError(" LnBoxyModel: failed to open '%s'", path);
    error = std::string("the file cannot be read (") + std::strerror(cause ? cause : EIO) + ")";
    return false;
}
