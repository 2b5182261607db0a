#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

namespace {

// Face corners per vertex, for sizing the per-vertex lists once.
std::vector<int> cornerCounts(const TriMesh& m)
{
    std::vector<int> count(m.vertices.size(), 0);
    for (const Face& f : m.faces)
        for (int j = 0; j < 3; ++j)
            ++count[size_t(f[j])];
    return count;
}

void appendOnce(std::vector<int>& list, int v)
{
    for (int x : list)
        if (x == v)
            return;
    list.push_back(v);
}

} // namespace

void TriMesh::findNeighbors()
{
    if (!neighbors.empty())
        return;
    unpackStrips();
    tmMessage("Finding vertex neighbors... ");
    const std::vector<int> count = cornerCounts(*this);
    neighbors.resize(vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i)
        neighbors[i].reserve(size_t(count[i]) + 2);
    for (const Face& f : faces) {
        for (int j = 0; j < 3; ++j) {
            std::vector<int>& list = neighbors[size_t(f[j])];
            appendOnce(list, f[(j + 1) % 3]);
            appendOnce(list, f[(j + 2) % 3]);
        }
    }
    tmMessage("Done.\n");
}

void TriMesh::findVertexFaces()
{
    if (!vertexFaces.empty())
        return;
    unpackStrips();
    tmMessage("Finding vertex to triangle maps... ");
    const std::vector<int> count = cornerCounts(*this);
    vertexFaces.resize(vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i)
        vertexFaces[i].reserve(size_t(count[i]));
    for (size_t i = 0; i < faces.size(); ++i)
        for (int j = 0; j < 3; ++j)
            vertexFaces[size_t(faces[i][j])].push_back(int(i));
    tmMessage("Done.\n");
}

void TriMesh::findAcrossEdge()
{
    if (!acrossEdge.empty())
        return;
    findVertexFaces();
    tmMessage("Finding across-edge maps... ");
    acrossEdge.assign(faces.size(), AcrossEdge());
    for (size_t i = 0; i < faces.size(); ++i) {
        for (int j = 0; j < 3; ++j) {
            if (acrossEdge[i][j] != -1)
                continue;
            const int x = faces[i][(j + 1) % 3];
            const int y = faces[i][(j + 2) % 3];
            const std::vector<int>& xf = vertexFaces[size_t(x)];
            const std::vector<int>& yf = vertexFaces[size_t(y)];
            for (int o : xf) {
                if (o == int(i))
                    continue;
                bool inY = false;
                for (int q : yf)
                    if (q == o) {
                        inY = true;
                        break;
                    }
                if (!inY)
                    continue;
                const Face& of = faces[size_t(o)];
                const int k = of[0] == x ? 0 : of[1] == x ? 1 : of[2] == x ? 2 : -1;
                // The edge must run y -> x in the other face.
                if (k >= 0 && of[(k + 2) % 3] == y) {
                    acrossEdge[i][j] = o;
                    acrossEdge[size_t(o)][(k + 1) % 3] = int(i);
                    break;
                }
            }
        }
    }
    tmMessage("Done.\n");
}
