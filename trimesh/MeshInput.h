#pragma once
// MeshInput: a bounded cursor over a file's bytes in memory, with the
// primitive reads the format readers share. Every read checks the end of
// the buffer; nothing reads past it. Numbers are converted exactly as the
// C library's strtof/strtol would convert them.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class MeshInput {
public:
    MeshInput(const unsigned char* data, size_t size) : p_(data), begin_(data), end_(data + size) {}

    bool atEnd() const { return p_ >= end_; }
    size_t remaining() const { return size_t(end_ - p_); }
    size_t offset() const { return size_t(p_ - begin_); }
    const unsigned char* cursor() const { return p_; }
    void setCursor(const unsigned char* p) { p_ = p; }

    // Next byte, or -1 at the end.
    int peek() const { return p_ < end_ ? *p_ : -1; }
    int peekAt(size_t k) const { return k < remaining() ? p_[k] : -1; }
    int get() { return p_ < end_ ? *p_++ : -1; }
    void unget()
    {
        if (p_ > begin_)
            --p_;
    }

    // Advances n bytes; false (cursor at the end) when fewer remain.
    bool skip(size_t n)
    {
        if (n > remaining()) {
            p_ = end_;
            return false;
        }
        p_ += n;
        return true;
    }
    // Copies n bytes; false (nothing copied) when fewer remain.
    bool readBytes(void* dst, size_t n)
    {
        if (n > remaining())
            return false;
        if (n == 0)
            return true;
        std::memcpy(dst, p_, n);
        p_ += n;
        return true;
    }

    // Reads a line as fgets does with a buffer of `limit` bytes: at most
    // limit - 1 bytes, up to and including the line end. With `crLines`
    // a bare carriage return ends lines instead of a line feed. An empty
    // result means the end was reached.
    std::string readLine(size_t limit = 1024, bool crLines = false);
    // Skips to just after the next line feed; false when the end comes first.
    bool skipRestOfLine();

    // Skips white space and '#' comments up to the end of their lines.
    void skipSpaceAndComments();
    void skipSpace();

    // One white-space-delimited word of at most `limit` bytes (as "%1024s"),
    // after skipping white space; empty at the end.
    std::string readWord(size_t limit = 1024);
    // Skips one word (as "%*s"); false at the end.
    bool skipWord();

    // As fscanf "%f" / "%d": skip white space, convert, false when nothing
    // converts (the cursor is then after the white space).
    bool readFloat(float& out);
    bool readInt(int& out);

private:
    const unsigned char* p_;
    const unsigned char* begin_;
    const unsigned char* end_;
};

inline bool isSpaceChar(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Converts a float at [p, end) as strtof does, without leading white space.
// Returns the end of the number, or p when nothing converts.
const char* parseFloat(const char* p, const char* end, float& out);
// Converts a decimal integer at [p, end) as strtol does (optional sign),
// saturating at the int range. Returns the end of the number, or p.
const char* parseInt(const char* p, const char* end, int& out);

// Case-insensitive test that `s` starts with `prefix`.
bool startsWithNoCase(const std::string& s, const char* prefix);
// Matches a scanf-style literal pattern followed by one integer: a blank in
// `pattern` stands for any run of white space (also none), other characters
// must match exactly, then "%d" follows. Example: "element vertex".
bool scanKeywordInt(const std::string& line, const char* pattern, int& out);
