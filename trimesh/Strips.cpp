#include "trimesh/Strips.h"
#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

#include <cstdint>

namespace {

// Greedy strip builder over a mesh whose acrossEdge is computed. Per face a
// counter: the neighbours across its edges not yet placed in a strip, or -1
// once the face itself is placed. Faces whose counter drops to 1 (strip ends)
// wait on a stack to start the next strips.
class StripBuilder {
public:
    explicit StripBuilder(TriMesh& m) : m_(m), out_(m.strips) {}

    int run()
    {
        const size_t nf = m_.faces.size();
        counter_.resize(nf);
        for (size_t i = 0; i < nf; ++i) {
            const TriMesh::AcrossEdge& ae = m_.acrossEdge[i];
            counter_[i] = int8_t((ae[0] != -1) + (ae[1] != -1) + (ae[2] != -1));
            if (counter_[i] == 1)
                stack_.push_back(int(i));
        }
        out_.reserve(2 * nf);
        int strips = 0;
        size_t next = 0;
        for (;;) {
            int s;
            if (!stack_.empty()) {
                s = stack_.back();
                stack_.pop_back();
            } else if (next < nf) {
                s = int(next++);
            } else {
                break;
            }
            if (counter_[size_t(s)] != -1) {
                grow(s);
                ++strips;
            }
        }
        return strips;
    }

private:
    bool placed(int f) const { return f == -1 || counter_[size_t(f)] == -1; }

    static int cornerOf(const Face& f, int v)
    {
        return f[0] == v ? 0 : f[1] == v ? 1 : f[2] == v ? 2 : -1;
    }

    void grow(int s)
    {
        const Face& fs = m_.faces[size_t(s)];
        if (counter_[size_t(s)] == 0) {
            out_.insert(out_.end(), {fs[0], fs[1], fs[2], -1});
            counter_[size_t(s)] = -1;
            return;
        }
        // Prefer the edge whose neighbour leads on to a further free face,
        // and most of all one whose neighbour has two free neighbours.
        int bestJ = 0, bestScore = -1;
        for (int j = 0; j < 3; ++j) {
            const int n = m_.acrossEdge[size_t(s)][j];
            int score = 0;
            if (!placed(n)) {
                score = 1;
                const int k = cornerOf(m_.faces[size_t(n)], fs[(j + 1) % 3]);
                if (k >= 0 && !placed(m_.acrossEdge[size_t(n)][k])) {
                    score = 2;
                    if (counter_[size_t(n)] == 2)
                        score = 3;
                }
            }
            if (score > bestScore) {
                bestScore = score;
                bestJ = j;
            }
        }
        int a = fs[bestJ], b = fs[(bestJ + 1) % 3], c = fs[(bestJ + 2) % 3];
        out_.push_back(a);
        out_.push_back(b);
        int dir = 1;
        int cur = s;
        for (;;) {
            out_.push_back(c);
            counter_[size_t(cur)] = -1;
            const TriMesh::AcrossEdge& ae = m_.acrossEdge[size_t(cur)];
            for (int j = 0; j < 3; ++j) {
                const int n = ae[j];
                if (n != -1 && counter_[size_t(n)] > 0 && --counter_[size_t(n)] == 1)
                    stack_.push_back(n);
            }
            const Face& fc = m_.faces[size_t(cur)];
            const int ka = cornerOf(fc, a);
            const int next = ka < 0 ? -1 : ae[ka];
            if (placed(next))
                break;
            const Face& fn = m_.faces[size_t(next)];
            a = b;
            b = c;
            const int k = cornerOf(fn, a);
            if (k < 0)
                break; // only with inconsistent links; never made by findAcrossEdge
            c = fn[(k + 3 + dir) % 3];
            dir = -dir;
            cur = next;
        }
        out_.push_back(-1);
    }

    TriMesh& m_;
    std::vector<int>& out_;
    std::vector<int8_t> counter_;
    std::vector<int> stack_;
};

} // namespace

void TriMesh::buildStrips()
{
    if (faces.empty() || !strips.empty())
        return;
    findAcrossEdge();
    tmMessage("Building triangle strips... ");
    const int count = StripBuilder(*this).run();
    // From "indices, -1" per strip to "length, indices" per strip, in place:
    // every entry moves one place up and each terminator turns into the
    // length of the strip after it.
    if (!strips.empty() && strips.back() == -1) {
        int len = 0;
        for (size_t i = strips.size() - 1; i-- > 0;) {
            if (strips[i] == -1) {
                strips[i + 1] = len;
                len = 0;
            } else {
                strips[i + 1] = strips[i];
                ++len;
            }
        }
        strips[0] = len;
    }
    tmMessage("Done.\n  %d strips (Avg. length %.1f)\n", count,
              count > 0 ? double(faces.size()) / double(count) : 0.0);
}

void TriMesh::unpackStrips()
{
    if (strips.empty() || !faces.empty())
        return;
    tmMessage("Unpacking triangle strips... ");
    size_t total = 0;
    forEachStrip(strips, [&](const int*, size_t length) {
        if (length >= 3)
            total += length - 2;
    });
    faces.reserve(total);
    forEachStripTriangle(strips, [this](int a, int b, int c) { faces.emplace_back(a, b, c); });
    tmMessage("Done.\n  %d triangles\n", int(faces.size()));
}
