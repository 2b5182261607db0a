// Vertex neighbours, faces per vertex and faces across edges: the small
// tables worked out by hand, caching, strips unpacked first, and the tables'
// consistency on real meshes.

#include "MeshUtil.h"

#include <algorithm>

using IntLists = std::vector<std::vector<int>>;

namespace {
std::vector<std::vector<int>> across(const TriMesh& m)
{
    std::vector<std::vector<int>> r;
    for (const TriMesh::AcrossEdge& a : m.acrossEdge)
        r.push_back({a[0], a[1], a[2]});
    return r;
}
} // namespace

TEST(Connectivity, SingleTriangle)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {{0, 1, 2}});
    EXPECT_EQ(stderrOf([&] { m.findNeighbors(); }), "Finding vertex neighbors... Done.\n");
    EXPECT_EQ(m.neighbors, (IntLists{{1, 2}, {2, 0}, {0, 1}}));
    EXPECT_EQ(stderrOf([&] { m.findAcrossEdge(); }),
              "Finding vertex to triangle maps... Done.\nFinding across-edge maps... Done.\n");
    EXPECT_EQ(m.vertexFaces, (IntLists{{0}, {0}, {0}}));
    EXPECT_EQ(across(m), (IntLists{{-1, -1, -1}}));
}

TEST(Connectivity, TwoTrianglesSharingAnEdgeBothWays)
{
    TriMesh m =
        makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0)}, {{0, 1, 2}, {2, 1, 3}});
    stderrOf([&] {
        m.findAcrossEdge();
        m.findNeighbors();
    });
    EXPECT_EQ(across(m), (IntLists{{1, -1, -1}, {-1, -1, 0}}));
    EXPECT_EQ(m.vertexFaces, (IntLists{{0}, {0, 1}, {0, 1}, {1}}));
    EXPECT_EQ(m.neighbors, (IntLists{{1, 2}, {2, 0, 3}, {0, 1, 3}, {2, 1}}));
}

TEST(Connectivity, SameDirectionEdgesAreNotLinked)
{
    TriMesh m =
        makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0)}, {{0, 1, 2}, {1, 2, 3}});
    stderrOf([&] { m.findAcrossEdge(); });
    EXPECT_EQ(across(m), (IntLists{{-1, -1, -1}, {-1, -1, -1}}));
}

TEST(Connectivity, FaceUsingAVertexTwiceIsListedTwice)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0)}, {{0, 1, 1}});
    stderrOf([&] {
        m.findVertexFaces();
        m.findNeighbors();
    });
    EXPECT_EQ(m.vertexFaces, (IntLists{{0}, {0, 0}}));
    EXPECT_EQ(m.neighbors, (IntLists{{1}, {1, 0}}));
}

TEST(Connectivity, EdgeOfThreeFacesLinksTheFirstSuitable)
{
    // Faces 1 and 2 both have edge 2->1 against face 0's 1->2.
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0), vec(1, 1, 1)},
                         {{0, 1, 2}, {2, 1, 3}, {2, 1, 4}});
    stderrOf([&] { m.findAcrossEdge(); });
    // Face 0 takes face 1, the first in vertex 1's list; face 2, searching
    // its own edge later, finds face 0 and links both ways, so face 0 ends
    // up pointing at face 2 while face 1 still points at face 0.
    EXPECT_EQ(m.acrossEdge[1][2], 0);
    EXPECT_EQ(m.acrossEdge[2][2], 0);
    EXPECT_EQ(m.acrossEdge[0][0], 2);
}

TEST(Connectivity, CachedTablesAreKeptAndWriteNothing)
{
    TriMesh m = unitCube();
    stderrOf([&] {
        m.findNeighbors();
        m.findAcrossEdge();
    });
    EXPECT_EQ(stderrOf([&] {
                  m.findNeighbors();
                  m.findVertexFaces();
                  m.findAcrossEdge();
              }),
              "");
}

TEST(Connectivity, StripsAreUnpackedFirst)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0)}, {});
    m.strips = {4, 0, 1, 2, 3};
    EXPECT_EQ(
        stderrOf([&] { m.findNeighbors(); }),
        "Unpacking triangle strips... Done.\n  2 triangles\nFinding vertex neighbors... Done.\n");
    EXPECT_EQ(m.faces.size(), 2u);
}

TEST(Connectivity, RealMeshTablesAreConsistent)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared data not found at " << KELVANE_SHARED_DATA;
    for (const std::string& rel : realMeshFiles()) {
        SCOPED_TRACE(rel);
        std::unique_ptr<TriMesh> m = readShared(rel);
        ASSERT_TRUE(m);
        stderrOf([&] {
            m->findNeighbors();
            m->findAcrossEdge();
        });
        ASSERT_EQ(m->neighbors.size(), m->vertices.size());
        ASSERT_EQ(m->vertexFaces.size(), m->vertices.size());
        ASSERT_EQ(m->acrossEdge.size(), m->faces.size());
        size_t corners = 0;
        for (size_t v = 0; v < m->vertices.size(); ++v) {
            corners += m->vertexFaces[v].size();
            for (int f : m->vertexFaces[v]) {
                const Face& face = m->faces[size_t(f)];
                ASSERT_TRUE(face[0] == int(v) || face[1] == int(v) || face[2] == int(v));
            }
            std::vector<int> nb = m->neighbors[v];
            std::sort(nb.begin(), nb.end());
            ASSERT_TRUE(std::adjacent_find(nb.begin(), nb.end()) == nb.end())
                << "repeated neighbour";
        }
        EXPECT_EQ(corners, 3 * m->faces.size());
        size_t linked = 0;
        for (size_t i = 0; i < m->faces.size(); ++i) {
            for (int j = 0; j < 3; ++j) {
                const int o = m->acrossEdge[i][j];
                if (o < 0)
                    continue;
                ++linked;
                // The other face has the edge the other way round.
                const int x = m->faces[i][(j + 1) % 3], y = m->faces[i][(j + 2) % 3];
                const Face& of = m->faces[size_t(o)];
                bool reversed = false;
                for (int k = 0; k < 3; ++k)
                    reversed |= of[k] == y && of[(k + 1) % 3] == x;
                ASSERT_TRUE(reversed) << "face " << i << " edge " << j;
                ASSERT_TRUE(std::find(m->neighbors[size_t(x)].begin(),
                                      m->neighbors[size_t(x)].end(),
                                      y) != m->neighbors[size_t(x)].end());
            }
        }
        EXPECT_GT(linked, m->faces.size()); // mostly closed or large patches
    }
}
