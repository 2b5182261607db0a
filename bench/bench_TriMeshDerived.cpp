// Benchmark of the toolkit's derived data on a closed mesh of about one
// million triangles (a torus grid): neighbour, vertex-face and across-edge
// tables, vertex normals, the enclosing sphere, strip building and unpacking,
// and point-set normals. Times are per million triangles (the sphere per
// million points too), beside baselines measured in the same run:
//   plain normals   an area-weighted normal loop written here;
//   CGAL            Min_sphere_of_spheres_d on the same points;
//   OpenMesh        StripifierT on the same faces;
//   meshoptimizer   meshopt_stripify on the same faces;
//   OpenMesh        LoopT for one step of subdivision;
// each peer only when the benchmark was built with it.
// Usage: bench_TriMeshDerived [torus side, default 710 -> 1,008,200 triangles]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unistd.h>
#include <vector>

#include "bench/BenchUtil.h"
#include "trimesh/BoundingSphere.h"
#include "trimesh/Strips.h"
#include "trimesh/TriMesh.h"

#ifdef KELVANE_HAVE_CGAL
#include <CGAL/Min_sphere_of_points_d_traits_3.h>
#include <CGAL/Min_sphere_of_spheres_d.h>
#include <CGAL/Simple_cartesian.h>
#endif
#ifdef KELVANE_HAVE_OPENMESH
#include <OpenMesh/Tools/Subdivider/Uniform/LoopT.hh>
#include <OpenMesh/Tools/Utils/StripifierT.hh>
#endif
#ifdef KELVANE_HAVE_MESHOPTIMIZER
#include <meshoptimizer.h>
#endif

namespace {

// The baseline normal loop: unnormalised face normals (twice the area)
// summed per vertex, then normalised.
void plainNormals(const TriMesh& m, std::vector<vec>& out)
{
    out.assign(m.vertices.size(), vec());
    for (const Face& f : m.faces) {
        const vec& p0 = m.vertices[size_t(f[0])];
        const vec n = cross(m.vertices[size_t(f[1])] - p0, m.vertices[size_t(f[2])] - p0);
        out[size_t(f[0])] += n;
        out[size_t(f[1])] += n;
        out[size_t(f[2])] += n;
    }
    for (vec& n : out)
        normalize(n);
}

} // namespace

int main(int argc, char** argv)
{
    const int side = argc > 1 ? std::max(8, std::atoi(argv[1])) : 710;
    const TriMesh base = makeTorus(side);
    const size_t nf = base.faces.size(), nv = base.vertices.size();
    std::printf("Closed torus: %zu vertices, %zu triangles (best of 5 runs)\n\n", nv, nf);

    TriMesh m;
    auto fresh = [&] {
        m = TriMesh();
        m.vertices = base.vertices;
        m.faces = base.faces;
    };
    double tNb, tVf, tAe, tN, tPlain, tSphere, tStrips, tStripsAlone, tUnpack;
    {
        QuietStderr quiet;
        tNb = timeMs(fresh, [&] { m.findNeighbors(); });
        tVf = timeMs(fresh, [&] { m.findVertexFaces(); });
        tAe = timeMs(
            [&] {
                fresh();
                m.findVertexFaces();
            },
            [&] { m.findAcrossEdge(); });
        tN = timeMs(fresh, [&] { m.computeNormals(); });
        std::vector<vec> plain;
        // Both allocate their output afresh, as computeNormals does.
        tPlain = timeMs([&] { plain = std::vector<vec>(); }, [&] { plainNormals(base, plain); });
        tSphere = timeMs(fresh, [&] { m.computeBoundingSphere(); });
        tStrips = timeMs(fresh, [&] { m.buildStrips(); });
        tStripsAlone = timeMs(
            [&] {
                fresh();
                m.findAcrossEdge();
            },
            [&] { m.buildStrips(); });
        std::vector<int> strips = m.strips;
        tUnpack = timeMs(
            [&] {
                m = TriMesh();
                m.vertices = base.vertices;
                m.strips = strips;
            },
            [&] { m.unpackStrips(); });
    }
    fresh();
    {
        QuietStderr quiet;
        m.buildStrips();
    }
    size_t nStrips = 0;
    forEachStrip(m.strips, [&](const int*, size_t) { ++nStrips; });

    std::printf("Tables (aim: under 100 ms per million triangles each)\n");
    row("findNeighbors", tNb, nf);
    row("findVertexFaces", tVf, nf);
    row("findAcrossEdge (vertex faces there)", tAe, nf);
    std::printf("\nNormals (aim: within 2x the plain loop)\n");
    row("plain area-weighted loop", tPlain, nf);
    row("computeNormals", tN, nf, "plain", tPlain);

    std::printf("\nBounding sphere over %zu points (aim: within 2x CGAL)\n", nv);
#ifdef KELVANE_HAVE_CGAL
    typedef CGAL::Simple_cartesian<double> K;
    typedef CGAL::Min_sphere_of_points_d_traits_3<K, double> Traits;
    typedef CGAL::Min_sphere_of_spheres_d<Traits> MinSphere;
    std::vector<K::Point_3> pts;
    for (const vec& p : base.vertices)
        pts.emplace_back(p[0], p[1], p[2]);
    double cgalR = 0;
    const double tCgal = timeMs([] {},
                                [&] {
                                    MinSphere ms(pts.begin(), pts.end());
                                    cgalR = ms.radius();
                                });
    row("CGAL Min_sphere_of_spheres_d", tCgal, nv);
    row("computeBoundingSphere", tSphere, nv, "CGAL", tCgal);
#else
    row("computeBoundingSphere", tSphere, nv);
    std::printf("  (CGAL not found at build time: no baseline)\n");
#endif
    {
        vec c;
        float r;
        boundingSphere(base.vertices.data(), nv, c, r);
        std::printf("  radius %.7g", double(r));
#ifdef KELVANE_HAVE_CGAL
        std::printf(" (CGAL %.7g)", cgalR);
#endif
        std::printf("\n");
    }

    std::printf("\nStrips: %zu strips, %.1f triangles each (aim: no slower than OpenMesh)\n",
                nStrips, double(nf) / double(nStrips));
    row("buildStrips incl. connectivity", tStrips, nf);
    row("buildStrips, across-edge there", tStripsAlone, nf);
#ifdef KELVANE_HAVE_OPENMESH
    {
        OMesh om;
        toOpenMesh(base, om);
        size_t omStrips = 0;
        const double tOm = timeMs([] {},
                                  [&] {
                                      OpenMesh::StripifierT<OMesh> stripifier(om);
                                      omStrips = stripifier.stripify();
                                  });
        row("OpenMesh StripifierT", tOm, nf);
        std::printf("  %-34s %zu strips; ours %.2fx (incl. connectivity)\n", "", omStrips,
                    tStrips / tOm);
    }
#else
    std::printf("  (OpenMesh not found at build time: no baseline)\n");
#endif
#ifdef KELVANE_HAVE_MESHOPTIMIZER
    {
        std::vector<unsigned int> idx;
        idx.reserve(3 * nf);
        for (const Face& f : base.faces)
            idx.insert(idx.end(), {unsigned(f[0]), unsigned(f[1]), unsigned(f[2])});
        std::vector<unsigned int> out(meshopt_stripifyBound(idx.size()));
        size_t outCount = 0;
        const double tMo = timeMs(
            [] {},
            [&] { outCount = meshopt_stripify(out.data(), idx.data(), idx.size(), nv, ~0u); });
        row("meshoptimizer meshopt_stripify", tMo, nf);
        std::printf("  %-34s %zu indices; ours %.2fx (incl. connectivity)\n", "", outCount,
                    tStrips / tMo);
    }
#else
    std::printf("  (meshoptimizer not found at build time: no baseline)\n");
#endif
    row("unpackStrips", tUnpack, nf);

    // One step of subdivision, connectivity included.
    {
        double tSub;
        {
            QuietStderr quiet;
            tSub = timeMs(
                fresh, [&] { m.subdivide(1); }, 3);
        }
        std::printf("\nSubdivision, one step (aim: at least 2x faster than OpenMesh)\n");
#ifdef KELVANE_HAVE_OPENMESH
        OMesh om0, om;
        toOpenMesh(base, om0);
        const double tOmLoop = timeMs([&] { om = om0; },
                                      [&] {
                                          OpenMesh::Subdivider::Uniform::LoopT<OMesh> loop;
                                          loop.attach(om);
                                          loop(1);
                                          loop.detach();
                                      },
                                      3);
        row("OpenMesh LoopT", tOmLoop, nf);
        row("subdivide(1)", tSub, nf, "OpenMesh", tOmLoop);
#else
        row("subdivide(1)", tSub, nf);
        std::printf("  (OpenMesh not found at build time: no baseline)\n");
#endif
    }

    // Point-set normals: the k-d tree and 12 nearest neighbours per point.
    {
        const size_t np = std::min<size_t>(nv, 200000);
        TriMesh pts;
        double tPts;
        {
            QuietStderr quiet;
            tPts = timeMs(
                [&] {
                    pts = TriMesh();
                    pts.vertices.assign(base.vertices.begin(), base.vertices.begin() + long(np));
                },
                [&] { pts.computeNormals(); }, 2);
        }
        std::printf("\nPoint-set normals over %zu points\n", np);
        row("computeNormals (no faces)", tPts, np);
    }
    return 0;
}
