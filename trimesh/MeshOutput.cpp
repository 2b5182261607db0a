#include "trimesh/MeshOutput.h"

#include <charconv>

char* formatFloat7g(char* out, float x)
{
    // to_chars with an explicit precision is specified as printf's "%.*g";
    // a float widened to double has the same digits, so the bytes agree.
    return std::to_chars(out, out + 24, x, std::chars_format::general, 7).ptr;
}

char* formatInt(char* out, int x) { return std::to_chars(out, out + 12, x).ptr; }

char* formatCount(char* out, unsigned long x) { return std::to_chars(out, out + 24, x).ptr; }

MeshOutput::MeshOutput(std::FILE* f) : f_(f), buf_(size_t(1) << 20) {}

MeshOutput::~MeshOutput() { finish(); }

void MeshOutput::flush()
{
    if (used_ > 0 && !failed_ && std::fwrite(buf_.data(), 1, used_, f_) != used_)
        failed_ = true;
    used_ = 0;
}

void MeshOutput::bytes(const void* p, size_t n)
{
    if (n <= buf_.size() - used_) {
        std::memcpy(buf_.data() + used_, p, n);
        used_ += n;
        return;
    }
    // Large blocks go straight to the stream.
    flush();
    if (n < buf_.size()) {
        std::memcpy(buf_.data(), p, n);
        used_ = n;
    } else if (!failed_ && std::fwrite(p, 1, n, f_) != n) {
        failed_ = true;
    }
}

bool MeshOutput::finish()
{
    if (finished_)
        return !failed_;
    finished_ = true;
    flush();
    if (std::fflush(f_) != 0 || std::ferror(f_))
        failed_ = true;
    if (f_ != stdout && std::fclose(f_) != 0)
        failed_ = true;
    return !failed_;
}
