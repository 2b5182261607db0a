#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

namespace {

// Weight of an interior vertex's old position for its valence.
float interiorAlpha(int valence)
{
    switch (valence) {
    case 3:
        return 0.3438f;
    case 4:
        return 0.4625f;
    case 5:
        return 0.5625f;
    default:
        return 0.625f;
    }
}

int cornerOf(const Face& f, int v) { return f[0] == v ? 0 : f[1] == v ? 1 : f[2] == v ? 2 : -1; }

} // namespace

void TriMesh::subdivide(int scheme)
{
    if (scheme != 1) {
        tmMessage("Subdivision scheme %d is not supported; mesh left unchanged\n", scheme);
        return;
    }
    // Works on faces with their across-edge table. Every vertex moves, so
    // what depends on positions goes now, before the mesh grows; what
    // depends on connectivity goes once the new faces are in place.
    unpackStrips();
    invalidate(Positions);
    findAcrossEdge();
    tmMessage("Subdividing mesh... ");
    const size_t nv = vertices.size(), nf = faces.size();
    // Colours and confidences follow only when they cover every vertex.
    const bool withColors = colors.size() == nv && nv > 0;
    const bool withConf = confidences.size() == nv && nv > 0;
    vertices.reserve(4 * nv);
    if (withColors)
        colors.reserve(4 * nv);
    if (withConf)
        confidences.reserve(4 * nv);

    // Edge vertices, each made once and shared with the face across.
    std::vector<AcrossEdge> newVertices(nf); // all -1
    for (size_t i = 0; i < nf; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (newVertices[i][j] != -1)
                continue;
            const int o = acrossEdge[i][j];
            int k = -1;
            if (o != -1) {
                for (int q = 0; q < 3 && k < 0; ++q)
                    if (acrossEdge[size_t(o)][q] == int(i))
                        k = q;
                if (k >= 0)
                    newVertices[i][j] = newVertices[size_t(o)][k];
            }
            if (newVertices[i][j] != -1)
                continue;
            const int d = faces[i][(j + 1) % 3], e = faces[i][(j + 2) % 3];
            const vec& pd = vertices[size_t(d)];
            const vec& pe = vertices[size_t(e)];
            vec p;
            if (o == -1) {
                p = (pd + pe) * 0.5f;
            } else {
                const int c = faces[i][j];
                const Face& of = faces[size_t(o)];
                const int kd = cornerOf(of, d);
                const int f = of[(kd + 1) % 3];
                p = (vertices[size_t(c)] + vertices[size_t(f)]) * 0.125f + (pd + pe) * 0.375f;
            }
            vertices.push_back(p);
            const int index = int(vertices.size() - 1);
            newVertices[i][j] = index;
            if (k >= 0)
                newVertices[size_t(o)][k] = index;
            if (withColors) {
                const Color cd = colors[size_t(d)], ce = colors[size_t(e)];
                colors.emplace_back((unsigned char)((cd[0] + ce[0]) >> 1),
                                    (unsigned char)((cd[1] + ce[1]) >> 1),
                                    (unsigned char)((cd[2] + ce[2]) >> 1));
            }
            if (withConf)
                confidences.push_back(0.5f * (confidences[size_t(d)] + confidences[size_t(e)]));
        }
    }

    // Old vertices, all from the old positions (kept aside), so the result
    // does not depend on the vertex numbering.
    const std::vector<vec> old(vertices.begin(), vertices.begin() + long(nv));
    for (size_t v = 0; v < nv; ++v) {
        const std::vector<int>& vf = vertexFaces[v];
        if (vf.empty())
            continue;
        vec bsum, isum;
        int bcount = 0, icount = 0;
        for (int g : vf) {
            const Face& face = faces[size_t(g)];
            const int a = cornerOf(face, int(v));
            const int prev = face[(a + 2) % 3], next = face[(a + 1) % 3];
            if (acrossEdge[size_t(g)][(a + 1) % 3] == -1) {
                bsum += old[size_t(prev)];
                ++bcount;
            } else {
                isum += old[size_t(prev)];
                ++icount;
            }
            if (acrossEdge[size_t(g)][(a + 2) % 3] == -1) {
                bsum += old[size_t(next)];
                ++bcount;
            } else {
                isum += old[size_t(next)];
                ++icount;
            }
        }
        vec avg;
        float alpha;
        if (bcount != 0) {
            avg = bsum / float(bcount);
            alpha = 0.75f;
        } else {
            avg = isum / float(icount);
            alpha = interiorAlpha(icount / 2);
        }
        vertices[v] = old[v] * alpha + (1.0f - alpha) * avg;
    }

    // Each face becomes its middle triangle; the corner triangles follow all
    // old faces, in face order, with the same orientation.
    faces.reserve(4 * nf);
    for (size_t i = 0; i < nf; ++i) {
        const Face f = faces[i];
        const AcrossEdge m = newVertices[i];
        faces.emplace_back(f[0], m[2], m[1]);
        faces.emplace_back(f[1], m[0], m[2]);
        faces.emplace_back(f[2], m[1], m[0]);
        faces[i] = Face(m[0], m[1], m[2]);
    }
    invalidate(Connectivity);
    tmMessage("Done.\n");
}
