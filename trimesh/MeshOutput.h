#pragma once
// MeshOutput: buffered output to a C stream for the format writers, with
// number formatting that matches printf's ("%.7g" for floats, "%d" for
// integers) byte for byte but without its per-call cost. Write failures are
// remembered and reported by finish(). Internal to the toolkit.

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

// Writes `x` as printf("%.7g", x) would (at most 16 characters, no
// terminator) and returns the end.
char* formatFloat7g(char* out, float x);
// Writes `x` as printf("%d", x) would (at most 11 characters).
char* formatInt(char* out, int x);
// Writes `x` as printf("%lu", x) would (at most 20 characters).
char* formatCount(char* out, unsigned long x);

class MeshOutput {
public:
    // Takes over `f`; standard output is flushed at the end but left open.
    explicit MeshOutput(std::FILE* f);
    ~MeshOutput();
    MeshOutput(const MeshOutput&) = delete;
    MeshOutput& operator=(const MeshOutput&) = delete;

    // Room for at least `n` more bytes (n <= 4096) at the returned pointer;
    // hand the end of what was written to commit().
    char* room(size_t n)
    {
        if (buf_.size() - used_ < n)
            flush();
        return buf_.data() + used_;
    }
    void commit(char* end) { used_ = size_t(end - buf_.data()); }

    void text(const char* s) { bytes(s, std::strlen(s)); }
    void bytes(const void* p, size_t n);
    void count(unsigned long x) { commit(formatCount(room(24), x)); }

    // Flushes and closes (or, for standard output, flushes); false when any
    // write, the flush or the close failed.
    bool finish();

private:
    void flush();

    std::FILE* f_;
    std::vector<char> buf_;
    size_t used_ = 0;
    bool failed_ = false;
    bool finished_ = false;
};
