#include "ln/LnSmoothExtractor.h"

#include "trimesh/Strips.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

// The feature-size sample sequence, shared by every extractor of the program.
uint32_t featureSampleState = 0;

constexpr int maxFeatureSamples = 500;

// Fields and thresholds are kept finite: NaN becomes 0, infinities the
// largest float of their sign, so sign tests and interpolation keep working.
inline float finiteValue(float x)
{
    if (x != x) {
        return 0.0f;
    }
    return std::min(std::max(x, -FLT_MAX), FLT_MAX);
}

// A strength in [0, 1]; 0/0 and other NaNs count as 0.
inline float strengthValue(double s)
{
    if (!(s > 0.0)) {
        return 0.0f;
    }
    return s >= 1.0 ? 1.0f : static_cast<float>(s);
}

inline vec mix(const vec& a, const vec& b, double wa)
{
    // wa a + (1 - wa) b, in double so that far-apart points keep their bits.
    const double wb = 1.0 - wa;
    return vec(static_cast<float>(wa * a[0] + wb * b[0]), static_cast<float>(wa * a[1] + wb * b[1]),
               static_cast<float>(wa * a[2] + wb * b[2]));
}

inline float mixf(float a, float b, double wa)
{
    return static_cast<float>(wa * a + (1.0 - wa) * b);
}

// The corner of `f` holding vertex v, skipping corner `not`; -1 if none.
inline int cornerOf(const Face& f, int v, int notCorner = -1)
{
    for (int c = 0; c < 3; ++c) {
        if (c != notCorner && f[c] == v) {
            return c;
        }
    }
    return -1;
}

// Index of the edge between two corners in the order (0,1), (1,2), (2,0).
inline int edgeIndex(int a, int b)
{
    const int s = a + b; // 1, 3 or 2
    return s == 1 ? 0 : (s == 3 ? 1 : 2);
}

} // namespace

LnSmoothExtractor::LnSmoothExtractor(TriMesh* triMesh, const vec& viewpoint,
                                     const vec& lightDirection, Preparation preparation)
    : mesh(triMesh), view(viewpoint), light(lightDirection)
{
    if (preparation == Preparation::Now) {
        prepare();
    } else {
        // Preparation fills one curvature per vertex whenever the indices are
        // valid, so the sample is drawn now over the same count it would
        // have been drawn over then: extractors created in a row take the
        // same turns of the shared sequence whenever each is prepared.
        drawFeatureSamples((mesh && indicesValid()) ? mesh->vertices.size() : 0);
    }
    strengthSlot = attributeSlot(nameHash("strength"));
}

void LnSmoothExtractor::prepare()
{
    if (prepared) {
        return;
    }
    usable = prepareMesh();
    if (featureSamples.empty()) {
        drawFeatureSamples(
            usable ? std::min(mesh->majorCurvatures.size(), mesh->minorCurvatures.size()) : 0);
    }
    computeFeatureSize();
    // Only now: a preparation cut short (out of memory) is tried again.
    prepared = true;
}

bool LnSmoothExtractor::indicesValid() const
{
    const int nv = static_cast<int>(mesh->vertices.size());
    for (const Face& f : mesh->faces) {
        for (int c = 0; c < 3; ++c) {
            if (f[c] < 0 || f[c] >= nv) {
                return false;
            }
        }
    }
    // Strips: every index the strip walk visits (a damaged length ends it,
    // as it ends unpacking and drawing).
    bool stripsValid = true;
    forEachStrip(mesh->strips, [nv, &stripsValid](const int* indices, size_t length) {
        for (size_t k = 0; k < length; ++k) {
            if (indices[k] < 0 || indices[k] >= nv) {
                stripsValid = false;
                return false;
            }
        }
        return true;
    });
    return stripsValid;
}

bool LnSmoothExtractor::derivedDataValid() const
{
    const size_t nv = mesh->vertices.size();
    const size_t nf = mesh->faces.size();
    if (mesh->normals.size() != nv || mesh->majorDirections.size() != nv ||
        mesh->minorDirections.size() != nv || mesh->majorCurvatures.size() != nv ||
        mesh->minorCurvatures.size() != nv || mesh->dcurv.size() != nv ||
        mesh->acrossEdge.size() != nf) {
        return false;
    }
    const int faceCount = static_cast<int>(nf);
    for (const TriMesh::AcrossEdge& a : mesh->acrossEdge) {
        for (int j = 0; j < 3; ++j) {
            if (a[j] < -1 || a[j] >= faceCount) {
                return false;
            }
        }
    }
    return true;
}

bool LnSmoothExtractor::prepareMesh()
{
    if (!mesh || !indicesValid()) {
        return false;
    }
    if (!mesh->acrossEdge.empty() && mesh->acrossEdge.size() != mesh->faces.size()) {
        // Faces changed under a table nobody dropped: it would point anywhere.
        mesh->acrossEdge.clear();
    }
    mesh->buildStrips();
    mesh->computeBoundingSphere();
    mesh->computeNormals();
    mesh->needCurvatures();
    mesh->needCurvatureDerivatives();
    mesh->findAcrossEdge();
    return derivedDataValid();
}

void LnSmoothExtractor::drawFeatureSamples(size_t vertexCount)
{
    const size_t s = std::min(vertexCount, static_cast<size_t>(maxFeatureSamples));
    featureSamples.clear();
    featureSamples.reserve(s);
    for (size_t j = 0; j < s; ++j) {
        featureSampleState = featureSampleState * 1664525u + 1013904223u;
        featureSamples.push_back(featureSampleState % vertexCount);
    }
}

void LnSmoothExtractor::computeFeatureSize()
{
    const size_t n =
        (mesh && usable) ? std::min(mesh->majorCurvatures.size(), mesh->minorCurvatures.size()) : 0;
    std::vector<float> samples;
    samples.reserve(2 * featureSamples.size());
    for (const size_t i : featureSamples) {
        // A vertex the mesh lost before it was first prepared is left out.
        if (i >= n) {
            continue;
        }
        // A NaN would break the ordering the partial sort relies on.
        samples.push_back(std::fabs(finiteValue(mesh->majorCurvatures[i])));
        samples.push_back(std::fabs(finiteValue(mesh->minorCurvatures[i])));
    }
    if (samples.empty()) {
        // Nothing to sample: no scale at which detail could be told from noise.
        featureSize = std::numeric_limits<float>::infinity();
        return;
    }
    const size_t k = static_cast<size_t>(0.1 * static_cast<double>(samples.size()));
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(k),
                     samples.end());
    featureSize = 0.01f / samples[k]; // a zero sample gives infinity
}

bool LnSmoothExtractor::computeViewFields()
{
    const int nv = static_cast<int>(mesh->vertices.size());
    ndotv.resize(nv);
    kr.resize(nv);
    if (suggestiveOn) {
        testNumerator.resize(nv);
        testDenominator.resize(nv);
    }
    const float derivativeScale = finiteValue(
        derivativeThreshold / (featureSize * featureSize)); // 0 for an infinite feature size
    bool viewpointOnVertex = false;
    for (int i = 0; i < nv; ++i) {
        const vec& p = mesh->vertices[i];
        const vec& n = mesh->normals[i];
        // In double, so that a far eye neither overflows nor loses the
        // direction; only an eye exactly on the vertex has none.
        const double dx = static_cast<double>(view[0]) - p[0];
        const double dy = static_cast<double>(view[1]) - p[1];
        const double dz = static_cast<double>(view[2]) - p[2];
        const double l = std::sqrt(dx * dx + dy * dy + dz * dz);
        vec w;
        if (l > 0.0 && std::isfinite(l)) {
            w = vec(static_cast<float>(dx / l), static_cast<float>(dy / l),
                    static_cast<float>(dz / l));
        } else {
            // The eye sits on this vertex (or the distance is not a number):
            // the view direction is undefined there.
            viewpointOnVertex = true;
        }
        const float nv_ = finiteValue(dot(n, w) + viewOffset);
        ndotv[i] = nv_;
        const float u = dot(mesh->majorDirections[i], w);
        const float v = dot(mesh->minorDirections[i], w);
        const float u2 = u * u;
        const float v2 = v * v;
        // A principal curvature at rounding-noise level beside the other
        // (a cylinder's flat direction computes as about 1e-8 of its round
        // one) counts as 0, so kr keeps the sign it has in exact arithmetic
        // and a surface curved one way only has no suggestive contours.
        float k1 = mesh->majorCurvatures[i];
        float k2 = mesh->minorCurvatures[i];
        const float noise = 1e-5f * std::max(std::fabs(k1), std::fabs(k2));
        k1 = std::fabs(k1) <= noise ? 0.0f : k1;
        k2 = std::fabs(k2) <= noise ? 0.0f : k2;
        kr[i] = finiteValue(k1 * u2 + k2 * v2);
        if (!suggestiveOn) {
            continue;
        }
        const TriMesh::Dcurv& C = mesh->dcurv[i];
        float num = u2 * (u * C[0] + 3.0f * v * C[1]) + v2 * (3.0f * u * C[2] + v * C[3]);
        // Seen straight along the normal the radial direction is undefined;
        // the derivative term vanishes there (it shrinks like |(u, v)|), so
        // both it and the torsion term are taken as 0 instead of 0/0.
        const float uv2 = u2 + v2;
        const float c = uv2 > FLT_MIN ? 1.0f / uv2 : 0.0f;
        num *= c;
        const float tau = (k2 - k1) * u * v * c;
        num -= 2.0f * nv_ * tau * tau;
        testDenominator[i] = nv_;
        testNumerator[i] = finiteValue(num - nv_ * derivativeScale);
    }

    // New marks take the value the others have after a pass, so they start
    // the next pass unvisited.
    const size_t nf = mesh->faces.size();
    const bool fill = visitedMarks.empty() ? false : static_cast<bool>(visitedMarks[0]);
    visitedMarks.resize(nf, fill);
    return !viewpointOnVertex;
}

void LnSmoothExtractor::extract(LnPathList& out)
{
    prepare();
    usable = prepareMesh();
    if (!usable) {
        return;
    }
    if (!computeViewFields() || mesh->faces.empty()) {
        return;
    }
    if (suggestiveOn) {
        const float fade = finiteValue(0.03f / (featureSize * featureSize));
        const ZeroPass pass = {kr.data(), testNumerator.data(), testDenominator.data(),
                               true,      suggestiveSignTest,   fade,
                               1};
        zeroCrossingPass(pass, out);
    }
    if (contoursOn) {
        const ZeroPass pass = {ndotv.data(), kr.data(), nullptr, false, contourTest, 0.0f, 0};
        zeroCrossingPass(pass, out);
    }
    if (ridgesOn) {
        ridgePass(1.0f, 3, out);
    }
    if (valleysOn) {
        ridgePass(-1.0f, 4, out);
    }
    if (isophotesOn && isophoteCount >= 1) {
        const int nv = static_cast<int>(mesh->vertices.size());
        isophoteValues.resize(nv);
        for (int i = 0; i < nv; ++i) {
            isophoteValues[i] = finiteValue(dot(light, mesh->normals[i]));
        }
        const float step = 1.0f / static_cast<float>(isophoteCount);
        for (int level = 0; level < isophoteCount; ++level) {
            if (level > 0) {
                for (float& value : isophoteValues) {
                    value -= step;
                }
            }
            const ZeroPass pass = {isophoteValues.data(), nullptr, nullptr, true, false, 0.0f, 5};
            zeroCrossingPass(pass, out);
        }
    }
}

bool LnSmoothExtractor::startPass()
{
    if (visitedMarks.empty()) {
        return false;
    }
    markValue = !visitedMarks[0];
    return true;
}

void LnSmoothExtractor::addPoint(LnPath& path, const vec& point, float strength)
{
    LnAttributeRecord record;
    if (strengthSlot >= 0) {
        record.values[strengthSlot] = strength;
    }
    path.addPoint(point, record);
}

void LnSmoothExtractor::appendHalves(LnPathList& out, bool withSecond)
{
    if (!withSecond) {
        if (!firstHalf.points.empty()) {
            out.append(new LnPath(firstHalf));
        }
        return;
    }
    if (firstHalf.points.empty() && secondHalf.points.empty()) {
        return;
    }
    LnPath* path = new LnPath;
    path->kind = firstHalf.kind;
    const size_t total = firstHalf.points.size() + secondHalf.points.size();
    path->points.reserve(total);
    path->attributes.reserve(total);
    path->points.assign(firstHalf.points.rbegin(), firstHalf.points.rend());
    path->attributes.assign(firstHalf.attributes.rbegin(), firstHalf.attributes.rend());
    path->points.insert(path->points.end(), secondHalf.points.begin(), secondHalf.points.end());
    path->attributes.insert(path->attributes.end(), secondHalf.attributes.begin(),
                            secondHalf.attributes.end());
    out.append(path);
}

// ---- Zero crossings ---------------------------------------------------------

bool LnSmoothExtractor::carriesZeroLine(int face, const ZeroPass& pass) const
{
    const Face& F = mesh->faces[face];
    const int a = F[0], b = F[1], c = F[2];
    const float* f = pass.f;
    const int positive = (f[a] > 0.0f) + (f[b] > 0.0f) + (f[c] > 0.0f);
    if (positive == 0 || positive == 3) {
        return false;
    }
    if (pass.backFaceTest && ndotv[a] <= 0.0f && ndotv[b] <= 0.0f && ndotv[c] <= 0.0f) {
        return false;
    }
    if (pass.signTest && pass.t1) {
        const float* t1 = pass.t1;
        const float* t2 = pass.t2;
        if (t2) {
            if (t1[a] <= 0.0f && t1[b] <= 0.0f && t1[c] <= 0.0f && t2[a] >= 0.0f && t2[b] >= 0.0f &&
                t2[c] >= 0.0f) {
                return false;
            }
            if (t1[a] >= 0.0f && t1[b] >= 0.0f && t1[c] >= 0.0f && t2[a] <= 0.0f && t2[b] <= 0.0f &&
                t2[c] <= 0.0f) {
                return false;
            }
        } else if (t1[a] <= 0.0f && t1[b] <= 0.0f && t1[c] <= 0.0f) {
            return false;
        }
    }
    return true;
}

void LnSmoothExtractor::zeroCrossingPass(const ZeroPass& pass, LnPathList& out)
{
    if (!startPass()) {
        return;
    }
    const int nf = static_cast<int>(mesh->faces.size());
    const float* f = pass.f;
    for (int i = 0; i < nf; ++i) {
        if (visited(i)) {
            continue;
        }
        markVisited(i);
        if (!carriesZeroLine(i, pass)) {
            continue;
        }
        const Face& F = mesh->faces[i];
        const bool s0 = f[F[0]] <= 0.0f, s1 = f[F[1]] <= 0.0f, s2 = f[F[2]] <= 0.0f;
        int o, u, g;
        if (s0 == s2) {
            o = 1, u = 0, g = 2;
        } else if (s0 == s1) {
            o = 2, u = 1, g = 0;
        } else {
            o = 0, u = 2, g = 1;
        }
        firstHalf.points.clear();
        firstHalf.attributes.clear();
        firstHalf.kind = pass.kind;
        traceZero(i, o, u, pass, firstHalf);

        const int j = mesh->acrossEdge[i][g];
        bool withSecond = false;
        if (j >= 0 && !visited(j)) {
            markVisited(j);
            if (carriesZeroLine(j, pass)) {
                const Face& J = mesh->faces[j];
                const int jo = cornerOf(J, F[o]);
                const int ju = jo < 0 ? -1 : cornerOf(J, F[u], jo);
                secondHalf.points.clear();
                secondHalf.attributes.clear();
                secondHalf.kind = pass.kind;
                if (ju >= 0) {
                    traceZero(j, jo, ju, pass, secondHalf);
                }
                withSecond = true;
            }
        }
        appendHalves(out, withSecond);
    }
}

LnSmoothExtractor::Crossing LnSmoothExtractor::zeroCrossing(int p, int q,
                                                            const ZeroPass& pass) const
{
    const double fp = pass.f[p], fq = pass.f[q];
    double lambda = fq / (fq - fp); // weight of p
    if (!(lambda >= 0.0)) {
        lambda = lambda < 0.0 ? 0.0 : 0.5; // NaN only for equal values, which never straddle zero
    } else if (lambda > 1.0) {
        lambda = 1.0;
    }
    Crossing x;
    x.point = mix(mesh->vertices[p], mesh->vertices[q], lambda);
    if (pass.t1) {
        x.t1 = mixf(pass.t1[p], pass.t1[q], lambda);
    }
    if (pass.t2) {
        x.t2 = mixf(pass.t2[p], pass.t2[q], lambda);
    }
    return x;
}

void LnSmoothExtractor::traceZero(int face, int cp, int cq, const ZeroPass& pass, LnPath& path)
{
    const float* f = pass.f;
    int p = mesh->faces[face][cp];
    int q = mesh->faces[face][cq];
    Crossing entry = zeroCrossing(p, q, pass);
    for (;;) {
        const Face& F = mesh->faces[face];
        const int cr = 3 - cp - cq;
        const int r = F[cr];
        int ep, eq, opposite;
        if ((f[r] <= 0.0f) != (f[q] <= 0.0f)) {
            ep = r, eq = q, opposite = cp;
        } else {
            ep = p, eq = r, opposite = cq;
        }
        const Crossing exit = zeroCrossing(ep, eq, pass);
        const int next = mesh->acrossEdge[face][opposite];
        const bool walkContinues = next >= 0 && !visited(next) && carriesZeroLine(next, pass);
        if (addZeroSegment(path, entry, exit, pass, walkContinues)) {
            break;
        }
        markVisited(next);
        const Face& N = mesh->faces[next];
        cp = cornerOf(N, ep);
        cq = cp < 0 ? -1 : cornerOf(N, eq, cp);
        if (cq < 0) {
            break; // a linked face without the shared edge: nothing to follow
        }
        face = next;
        p = ep;
        q = eq;
        entry = exit;
    }
    if (path.points.size() == 1) {
        std::fputs(" OOPS - Created path of length 1\n", stderr);
    }
}

bool LnSmoothExtractor::addZeroSegment(LnPath& path, const Crossing& in, const Crossing& out,
                                       const ZeroPass& pass, bool walkContinues)
{
    if (!pass.signTest) {
        addPoint(path, in.point, 1.0f);
        if (walkContinues) {
            return false;
        }
        addPoint(path, out.point, 1.0f);
        return true;
    }

    const double x = pass.fade;
    auto strength = [x](double t1, double t2) { return strengthValue(t1 / (t1 + t2 * x)); };
    // Fractions along the segment where a test value changes sign.
    auto signChange = [](double a, double b) {
        if ((a >= 0.0) == (b >= 0.0)) {
            return -1.0;
        }
        return a / (a - b);
    };
    double z[2];
    int crossings = 0;
    const double z1 = signChange(in.t1, out.t1);
    const double z2 = signChange(in.t2, out.t2);
    if (z1 > 0.0) {
        z[crossings++] = z1;
    }
    if (z2 > 0.0) {
        z[crossings++] = z2;
    }
    if (crossings == 2 && z[1] < z[0]) {
        std::swap(z[0], z[1]);
    }
    auto addAt = [&](double t) {
        const double t1 = (1.0 - t) * in.t1 + t * out.t1;
        const double t2 = (1.0 - t) * in.t2 + t * out.t2;
        addPoint(path, mix(in.point, out.point, 1.0 - t), strength(t1, t2));
    };

    const bool entryPasses = (in.t1 >= 0.0f) == (in.t2 >= 0.0f);
    if (entryPasses) {
        addPoint(path, in.point, strength(in.t1, in.t2));
        if (crossings > 0) {
            addAt(z[0]);
            return true;
        }
        if (walkContinues) {
            return false;
        }
        addPoint(path, out.point, strength(out.t1, out.t2));
        return true;
    }
    if (crossings == 0) {
        return true;
    }
    if (crossings == 2) {
        addAt(z[0]);
        addAt(z[1]);
        return true;
    }
    addAt(z[0]);
    if (walkContinues) {
        return false;
    }
    addPoint(path, out.point, strength(out.t1, out.t2));
    return true;
}

// ---- Ridges and valleys -------------------------------------------------------

bool LnSmoothExtractor::carriesRidge(int face, float sigma, bool crossed[3]) const
{
    const Face& F = mesh->faces[face];
    crossed[0] = crossed[1] = crossed[2] = false;
    if (ridgeBackFaceTest && ndotv[F[0]] <= 0.0f && ndotv[F[1]] <= 0.0f && ndotv[F[2]] <= 0.0f) {
        return false;
    }
    const std::vector<float>& k1 = mesh->majorCurvatures;
    if (sigma > 0.0f) {
        if (k1[F[0]] <= 0.0f || k1[F[1]] <= 0.0f || k1[F[2]] <= 0.0f) {
            return false;
        }
    } else if (k1[F[0]] >= 0.0f || k1[F[1]] >= 0.0f || k1[F[2]] >= 0.0f) {
        return false;
    }
    vec e[3];
    for (int c = 0; c < 3; ++c) {
        e[c] = mesh->majorDirections[F[c]] * (sigma * mesh->dcurv[F[c]][0]);
    }
    int count = 0;
    for (int edge = 0; edge < 3; ++edge) {
        const int j = edge;
        const int k = (edge + 1) % 3;
        if (dot(e[j], e[k]) > 0.0f) {
            continue;
        }
        const vec d = mesh->vertices[F[k]] - mesh->vertices[F[j]];
        if (dot(d, e[j]) >= 0.0f || dot(d, e[k]) <= 0.0f) {
            crossed[edge] = true;
            ++count;
        }
    }
    return count >= 2;
}

LnSmoothExtractor::Crossing LnSmoothExtractor::ridgeCrossing(int j, int k) const
{
    const double dj = std::fabs(static_cast<double>(mesh->dcurv[j][0]));
    const double dk = std::fabs(static_cast<double>(mesh->dcurv[k][0]));
    const double sum = dj + dk;
    // Where the derivative vanishes at both ends the crossing is taken at the
    // middle of the edge rather than at 0/0.
    const double wj = (sum > 0.0 && std::isfinite(sum)) ? dk / sum : 0.5;
    Crossing x;
    x.point = mix(mesh->vertices[j], mesh->vertices[k], wj);
    x.t1 = mixf(mesh->majorCurvatures[j], mesh->majorCurvatures[k], wj);
    return x;
}

void LnSmoothExtractor::ridgePass(float sigma, int kind, LnPathList& out)
{
    if (!startPass()) {
        return;
    }
    const int nf = static_cast<int>(mesh->faces.size());
    bool crossed[3];
    for (int i = 0; i < nf; ++i) {
        if (visited(i)) {
            continue;
        }
        markVisited(i);
        if (!carriesRidge(i, sigma, crossed)) {
            continue;
        }
        // Start edges are entered against the corner order: (1,0), (0,2), (2,1).
        int cp, cq, opposite;
        if (crossed[0] && crossed[1]) {
            cp = 1, cq = 0, opposite = 2;
        } else if (crossed[0] && crossed[2]) {
            cp = 0, cq = 2, opposite = 1;
        } else {
            cp = 2, cq = 1, opposite = 0;
        }
        const Face& F = mesh->faces[i];
        const int p = F[cp], q = F[cq];
        firstHalf.points.clear();
        firstHalf.attributes.clear();
        firstHalf.kind = kind;
        traceRidge(i, cp, cq, sigma, crossed, firstHalf);

        const int j = mesh->acrossEdge[i][opposite];
        bool withSecond = false;
        if (j >= 0 && !visited(j)) {
            markVisited(j);
            bool jCrossed[3];
            if (carriesRidge(j, sigma, jCrossed)) {
                const Face& J = mesh->faces[j];
                const int jp = cornerOf(J, q);
                const int jq = jp < 0 ? -1 : cornerOf(J, p, jp);
                secondHalf.points.clear();
                secondHalf.attributes.clear();
                secondHalf.kind = kind;
                if (jq >= 0) {
                    traceRidge(j, jp, jq, sigma, jCrossed, secondHalf);
                }
                withSecond = true;
            }
        }
        appendHalves(out, withSecond);
    }
}

void LnSmoothExtractor::traceRidge(int face, int cp, int cq, float sigma,
                                   const bool firstCrossed[3], LnPath& path)
{
    bool crossed[3] = {firstCrossed[0], firstCrossed[1], firstCrossed[2]};
    int p = mesh->faces[face][cp];
    int q = mesh->faces[face][cq];
    Crossing entry = ridgeCrossing(p, q);
    for (;;) {
        const Face& F = mesh->faces[face];
        const int cr = 3 - cp - cq;
        const int r = F[cr];
        int ep, eq, opposite;
        if (crossed[edgeIndex(cp, cr)]) {
            ep = p, eq = r, opposite = cq;
        } else {
            ep = r, eq = q, opposite = cp;
        }
        const Crossing exit = ridgeCrossing(ep, eq);
        const int next = mesh->acrossEdge[face][opposite];
        const bool walkContinues =
            next >= 0 && !visited(next) && carriesRidge(next, sigma, crossed);
        if (addRidgeSegment(path, entry, exit, walkContinues)) {
            break;
        }
        markVisited(next);
        const Face& N = mesh->faces[next];
        cp = cornerOf(N, ep);
        cq = cp < 0 ? -1 : cornerOf(N, eq, cp);
        if (cq < 0) {
            break;
        }
        face = next;
        p = ep;
        q = eq;
        entry = exit;
    }
    if (path.points.size() == 1) {
        std::fputs(" OOPS - Created path of length 1\n", stderr);
    }
}

bool LnSmoothExtractor::addRidgeSegment(LnPath& path, const Crossing& in, const Crossing& out,
                                        bool walkContinues)
{
    const double tau = finiteValue(ridgeThreshold / featureSize); // 0 for an infinite feature size
    const double sIn = std::max(std::fabs(static_cast<double>(in.t1)) - tau, 0.0);
    const double sOut = std::max(std::fabs(static_cast<double>(out.t1)) - tau, 0.0);
    if (sIn == 0.0 && sOut == 0.0) {
        return true;
    }
    addPoint(path, in.point, strengthValue(sIn / (sIn + tau)));
    if (walkContinues) {
        return false;
    }
    addPoint(path, out.point, strengthValue(sOut / (sOut + tau)));
    return true;
}
