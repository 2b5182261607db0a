#pragma once
// Helpers for the reader tests: read bytes or a file while capturing the
// toolkit's standard-error output, and build binary PLY bodies.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "trimesh/TriMesh.h"

struct ReadResult {
    std::unique_ptr<TriMesh> mesh;
    std::string messages;
};

inline ReadResult readBytes(const std::string& bytes, const char* name = "test")
{
    ReadResult r;
    testing::internal::CaptureStderr();
    r.mesh.reset(TriMesh::readFromMemory(bytes.data(), bytes.size(), name));
    r.messages = testing::internal::GetCapturedStderr();
    return r;
}

inline ReadResult readFile(const std::string& path)
{
    ReadResult r;
    testing::internal::CaptureStderr();
    r.mesh.reset(TriMesh::read(path.c_str()));
    r.messages = testing::internal::GetCapturedStderr();
    return r;
}

// Appends 32-bit values in the given byte order.
inline void put32(std::string& out, const void* value, bool bigEndian)
{
    unsigned char b[4];
    std::memcpy(b, value, 4);
    uint32_t probe = 1;
    bool hostBig = *reinterpret_cast<unsigned char*>(&probe) == 0;
    if (hostBig != bigEndian)
        std::swap(b[0], b[3]), std::swap(b[1], b[2]);
    out.append(reinterpret_cast<char*>(b), 4);
}
inline void putFloat(std::string& out, float v, bool big = false) { put32(out, &v, big); }
inline void putInt(std::string& out, int32_t v, bool big = false) { put32(out, &v, big); }
inline void putDouble(std::string& out, double v)
{
    char b[8];
    std::memcpy(b, &v, 8); // little-endian hosts only use this
    out.append(b, 8);
}
