#pragma once
// Reading a long run of text records (vertices, faces) on two threads. The
// run is cut at the start of the line that would hold the middle record if
// each record had a line of its own; the second thread reads from there
// while the first reads up to it. The cut holds when the first half ends
// where the second began (both after skipping white space and comments):
// each record is then read from the very place a reading from the start
// would read it, so the results are the same to the bit. When the cut does
// not hold, or a record fails to read, nothing is said and the caller reads
// the whole run one record after another, as on one core, saying what it
// must.

#include "trimesh/MeshInput.h"

#include <atomic>
#include <cstring>
#include <thread>

// Runs of fewer records (200000) are read on one thread; tests lower it to
// compare the two ways on small files.
extern size_t recordsWorthTwoThreads;
// How many runs were read on two threads so far.
extern std::atomic<long> runsReadInTwo;

// Whether two threads are worth starting for `count` records.
inline bool worthTwoThreads(size_t count)
{
    return count >= recordsWorthTwoThreads && std::thread::hardware_concurrency() >= 2;
}

// Reads records [0, count) from the cursor: read(input, i, part) reads
// record i (skipping the white space and comments before it) from `input`,
// `part` 0 or 1 telling the halves apart, and returns false, silently, when
// it cannot. True, the cursor after the last record, when all were read;
// false, the cursor where it was, when the caller must read them itself.
template <class Read> bool readInTwo(MeshInput& in, size_t count, Read read)
{
    if (!worthTwoThreads(count)) {
        return false;
    }
    const size_t half = count / 2;
    const unsigned char* p = in.cursor();
    const unsigned char* const end = p + in.remaining();
    for (size_t line = 0; line < half; ++line) {
        p = static_cast<const unsigned char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!p) {
            return false;
        }
        ++p;
    }
    MeshInput second = in;
    second.setCursor(p);
    MeshInput probe = second;
    probe.skipSpaceAndComments();
    const unsigned char* const secondStart = probe.cursor();
    bool secondRead = true;
    std::thread other([&]() {
        for (size_t i = half; i < count && secondRead; ++i) {
            secondRead = read(second, i, 1);
        }
    });
    MeshInput first = in;
    bool firstRead = true;
    for (size_t i = 0; i < half && firstRead; ++i) {
        firstRead = read(first, i, 0);
    }
    other.join();
    first.skipSpaceAndComments();
    if (!firstRead || !secondRead || first.cursor() != secondStart) {
        return false;
    }
    in.setCursor(second.cursor());
    ++runsReadInTwo;
    return true;
}
