#include "trimesh/MeshInput.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cstdlib>

std::string MeshInput::readLine(size_t limit, bool crLines)
{
    const unsigned char terminator = crLines ? '\r' : '\n';
    size_t max = limit > 1 ? limit - 1 : 0;
    if (max > remaining())
        max = remaining();
    const void* hit = std::memchr(p_, terminator, max);
    size_t n = hit ? size_t(static_cast<const unsigned char*>(hit) - p_) + 1 : max;
    std::string line(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return line;
}

bool MeshInput::skipRestOfLine()
{
    const void* hit = std::memchr(p_, '\n', remaining());
    if (!hit) {
        p_ = end_;
        return false;
    }
    p_ = static_cast<const unsigned char*>(hit) + 1;
    return true;
}

void MeshInput::skipSpace()
{
    while (p_ < end_ && isSpaceChar(*p_))
        ++p_;
}

void MeshInput::skipSpaceAndComments()
{
    for (;;) {
        skipSpace();
        if (p_ < end_ && *p_ == '#') {
            skipRestOfLine();
            continue;
        }
        return;
    }
}

std::string MeshInput::readWord(size_t limit)
{
    skipSpace();
    const unsigned char* start = p_;
    while (p_ < end_ && !isSpaceChar(*p_) && size_t(p_ - start) < limit)
        ++p_;
    return std::string(reinterpret_cast<const char*>(start), size_t(p_ - start));
}

bool MeshInput::skipWord()
{
    skipSpace();
    if (p_ >= end_)
        return false;
    while (p_ < end_ && !isSpaceChar(*p_))
        ++p_;
    return true;
}

bool MeshInput::readFloat(float& out)
{
    skipSpace();
    const char* s = reinterpret_cast<const char*>(p_);
    const char* e = parseFloat(s, reinterpret_cast<const char*>(end_), out);
    if (e == s)
        return false;
    p_ = reinterpret_cast<const unsigned char*>(e);
    return true;
}

bool MeshInput::readInt(int& out)
{
    skipSpace();
    const char* s = reinterpret_cast<const char*>(p_);
    const char* e = parseInt(s, reinterpret_cast<const char*>(end_), out);
    if (e == s)
        return false;
    p_ = reinterpret_cast<const unsigned char*>(e);
    return true;
}

// The rare cases std::from_chars treats differently from strtof (hex
// digits after "0x", results out of range) go through strtof itself on a
// bounded copy, so every number converts exactly as the C library does.
static const char* parseFloatSlow(const char* p, const char* end, float& out)
{
    size_t n = size_t(end - p);
    if (n > 4096)
        n = 4096;
    std::string copy(p, n);
    char* stop = nullptr;
    float v = std::strtof(copy.c_str(), &stop);
    if (stop == copy.c_str())
        return p;
    out = v;
    return p + (stop - copy.c_str());
}

const char* parseFloat(const char* p, const char* end, float& out)
{
    const char* s = p;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) {
        negative = *s == '-';
        ++s;
    }
    if (s < end && (*s == '+' || *s == '-'))
        return p;
    if (s + 1 < end && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        return parseFloatSlow(p, end, out);
    float v = 0.0f;
    auto res = std::from_chars(s, end, v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range)
        return parseFloatSlow(p, end, out);
    if (res.ec != std::errc() || res.ptr == s)
        return p;
    out = negative ? -v : v;
    return res.ptr;
}

const char* parseInt(const char* p, const char* end, int& out)
{
    const char* s = p;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) {
        negative = *s == '-';
        ++s;
    }
    if (s >= end || *s < '0' || *s > '9')
        return p;
    long long v = 0;
    while (s < end && *s >= '0' && *s <= '9') {
        if (v < (1LL << 40))
            v = v * 10 + (*s - '0');
        ++s;
    }
    if (negative)
        v = -v;
    if (v > INT_MAX)
        v = INT_MAX;
    if (v < INT_MIN)
        v = INT_MIN;
    out = int(v);
    return s;
}

bool startsWithNoCase(const std::string& s, const char* prefix)
{
    size_t n = std::strlen(prefix);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool scanKeywordInt(const std::string& line, const char* pattern, int& out)
{
    const char* s = line.c_str();
    const char* e = s + line.size();
    for (const char* q = pattern; *q; ++q) {
        if (*q == ' ') {
            while (s < e && isSpaceChar(static_cast<unsigned char>(*s)))
                ++s;
        } else {
            if (s >= e || *s != *q)
                return false;
            ++s;
        }
    }
    while (s < e && isSpaceChar(static_cast<unsigned char>(*s)))
        ++s;
    return parseInt(s, e, out) != s;
}
