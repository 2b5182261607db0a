#pragma once
// The walk over a triangle strip list (TriMesh::strips: each strip stored
// as its length L followed by its L vertex indices), shared by everything
// that reads such a list: unpacking, the reader's index check, the PLY
// writer, the line extractor and the view.
//
// One rule for damaged lists: a negative length, or a length running past
// the end of the list, ends the walk there; neither that strip nor anything
// after it is visited. A walk therefore never reads outside the list.

#include <cstddef>
#include <type_traits>
#include <vector>

// Calls `strip(const int* indices, size_t length)` for each strip in list
// order, strips of length 0, 1 and 2 included. `strip` may return bool:
// false stops the walk at that strip. Returns the position in `strips` of
// the length entry where the walk stopped (of the damaged length, or of the
// strip that stopped it), or strips.size() when every strip was visited.
template <class StripFn> size_t forEachStrip(const std::vector<int>& strips, StripFn&& strip)
{
    const size_t n = strips.size();
    size_t i = 0;
    while (i < n) {
        const int length = strips[i];
        if (length < 0 || size_t(length) > n - i - 1)
            return i;
        const int* indices = strips.data() + i + 1;
        if constexpr (std::is_same_v<decltype(strip(indices, size_t(length))), bool>) {
            if (!strip(indices, size_t(length)))
                return i;
        } else {
            strip(indices, size_t(length));
        }
        i += size_t(length) + 1;
    }
    return n;
}

// Calls `triangle(int a, int b, int c)` for each triangle of each strip, in
// order: a strip of length L gives L - 2 triangles, every other one flipped
// so all keep the orientation of the strip's first; strips shorter than 3
// give none. Returns what forEachStrip returns.
template <class TriangleFn>
size_t forEachStripTriangle(const std::vector<int>& strips, TriangleFn&& triangle)
{
    return forEachStrip(strips, [&](const int* q, size_t length) {
        for (size_t k = 2; k < length; ++k) {
            if ((k & 1) == 0)
                triangle(q[k - 2], q[k - 1], q[k]);
            else
                triangle(q[k - 1], q[k - 2], q[k]);
        }
    });
}
