#include "ln/LnSmoothExtractor.h"
#include "tests/support/SharedData.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <array>
#include <cmath>
#include <map>
#include <memory>

namespace {

// A unit icosahedron, outward-facing, refined `levels` times by the toolkit's
// subdivision and pushed back onto the sphere of the given radius. Every
// derived array is left empty.
std::unique_ptr<TriMesh> makeSphere(int levels, float radius = 1.0f)
{
    const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
    std::unique_ptr<TriMesh> m(new TriMesh);
    m->vertices = {vec(-1, t, 0), vec(1, t, 0), vec(-1, -t, 0), vec(1, -t, 0),
                   vec(0, -1, t), vec(0, 1, t), vec(0, -1, -t), vec(0, 1, -t),
                   vec(t, 0, -1), vec(t, 0, 1), vec(-t, 0, -1), vec(-t, 0, 1)};
    const int f[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                          {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                          {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                          {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    for (const auto& face : f) {
        m->faces.push_back(Face(face[0], face[1], face[2]));
    }
    for (int i = 0; i < levels; ++i) {
        m->subdivide(1);
    }
    for (vec& p : m->vertices) {
        p *= radius / len(p);
    }
    return m;
}

// A torus around the z axis (tube radius r around the circle of radius R),
// outward-facing, nu steps around the axis and nv around the tube.
std::unique_ptr<TriMesh> makeTorus(float R, float r, int nu, int nv)
{
    std::unique_ptr<TriMesh> m(new TriMesh);
    const float twoPi = 6.28318530718f;
    for (int i = 0; i < nu; ++i) {
        const float th = twoPi * i / nu;
        for (int j = 0; j < nv; ++j) {
            const float ph = twoPi * j / nv;
            const float w = R + r * std::cos(ph);
            m->vertices.push_back(vec(w * std::cos(th), w * std::sin(th), r * std::sin(ph)));
        }
    }
    auto id = [nu, nv](int i, int j) { return (i % nu) * nv + (j % nv); };
    for (int i = 0; i < nu; ++i) {
        for (int j = 0; j < nv; ++j) {
            const int a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), d = id(i, j + 1);
            m->faces.push_back(Face(a, b, c));
            m->faces.push_back(Face(a, c, d));
        }
    }
    return m;
}

// An open cylinder of the given radius around the z axis, from z = -h to h,
// nu steps around and nz along, outward-facing.
std::unique_ptr<TriMesh> makeCylinder(float radius, float h, int nu, int nz)
{
    std::unique_ptr<TriMesh> m(new TriMesh);
    const float twoPi = 6.28318530718f;
    for (int k = 0; k <= nz; ++k) {
        for (int i = 0; i < nu; ++i) {
            const float th = twoPi * i / nu;
            m->vertices.push_back(
                vec(radius * std::cos(th), radius * std::sin(th), -h + 2.0f * h * k / nz));
        }
    }
    for (int k = 0; k < nz; ++k) {
        for (int i = 0; i < nu; ++i) {
            const int a = k * nu + i, b = k * nu + (i + 1) % nu;
            m->faces.push_back(Face(a, b, b + nu));
            m->faces.push_back(Face(a, b + nu, a + nu));
        }
    }
    return m;
}

// A rounded box: the superquadric |x|^4 + |y|^4 + |z|^4 = 1, made by
// scaling every vertex of a refined sphere onto it. Its curvature across
// each of the 12 rounded edges peaks on the edge's middle, the diagonal
// where the two largest coordinates are equal in size.
std::unique_ptr<TriMesh> makeRoundedBox(int levels)
{
    std::unique_ptr<TriMesh> m = makeSphere(levels);
    for (vec& p : m->vertices) {
        const float q = std::pow(p[0], 4.0f) + std::pow(p[1], 4.0f) + std::pow(p[2], 4.0f);
        p *= 1.0f / std::pow(q, 0.25f);
    }
    return m;
}

bool finite(const vec& p)
{
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

bool allFinite(const std::vector<float>& values)
{
    for (float v : values) {
        if (!std::isfinite(v)) {
            return false;
        }
    }
    return true;
}

// The properties every extracted path holds; returns an empty string or the
// first broken one.
QString pathFault(const LnPathList& paths, int slot)
{
    for (int i = 0; i < paths.size(); ++i) {
        const LnPath* p = paths[i];
        const QString where = QString("path %1 (kind %2): ").arg(i).arg(p->kind);
        if (p->kind != 0 && p->kind != 1 && p->kind != 3 && p->kind != 4 && p->kind != 5) {
            return where + "unknown kind";
        }
        if (p->points.empty()) {
            return where + "no points";
        }
        if (p->points.size() != p->attributes.size()) {
            return where + "points and attribute records differ in number";
        }
        for (size_t k = 0; k < p->points.size(); ++k) {
            if (!finite(p->points[k])) {
                return where + QString("point %1 not finite").arg(k);
            }
            for (int s = 0; s < 8; ++s) {
                const float v = p->attributes[k].values[s];
                if (s == slot ? !(v >= 0.0f && v <= 1.0f) : v != 0.0f) {
                    return where + QString("point %1 slot %2 holds %3").arg(k).arg(s).arg(v);
                }
            }
        }
    }
    return QString();
}

// Position of a kind in the extraction order.
int kindRank(int kind)
{
    const int order[6] = {1, 0, -1, 2, 3, 4};
    return order[kind];
}

float strength(const LnPath* p, size_t k, int slot) { return p->attributes[k].values[slot]; }

} // namespace

Q_DECLARE_METATYPE(vec)

class TestLnSmoothExtractor : public QObject {
    Q_OBJECT

private slots:
    void sphereIsOutwardFacing()
    {
        auto m = makeSphere(0);
        for (const Face& f : m->faces) {
            const vec a = m->vertices[f[0]], b = m->vertices[f[1]], c = m->vertices[f[2]];
            QVERIFY(dot(cross(b - a, c - a), a + b + c) > 0.0f);
        }
    }

    void creationPreparesTheMesh()
    {
        auto m = makeSphere(2);
        const size_t nv = m->vertices.size();
        LnSmoothExtractor ex(m.get(), vec(), vec());
        QVERIFY(!m->strips.empty());
        QVERIFY(m->sphereValid);
        QCOMPARE(m->normals.size(), nv);
        QCOMPARE(m->majorCurvatures.size(), nv);
        QCOMPARE(m->minorCurvatures.size(), nv);
        QCOMPARE(m->majorDirections.size(), nv);
        QCOMPARE(m->dcurv.size(), nv);
        QCOMPARE(m->acrossEdge.size(), m->faces.size());
        QCOMPARE(ex.getStrengthSlot(), attributeSlot(nameHash("strength")));
        QCOMPARE(ex.getStrengthSlot(), 0);
    }

    void defaultsAndSetters()
    {
        auto m = makeSphere(1);
        LnSmoothExtractor ex(m.get(), vec(1, 2, 3), vec(0, 0, 1));
        QCOMPARE(ex.getViewpoint(), vec(1, 2, 3));
        QCOMPARE(ex.getLightDirection(), vec(0, 0, 1));
        QCOMPARE(ex.getDerivativeThreshold(), 0.01f);
        QCOMPARE(ex.getRidgeThreshold(), 0.1f);
        QCOMPARE(ex.getViewOffset(), -0.01f);
        QVERIFY(ex.getContourTest());
        QVERIFY(ex.getSuggestiveContours());
        QVERIFY(ex.getContours());
        QVERIFY(!ex.getIsophotes());
        QCOMPARE(ex.getIsophoteCount(), 8);
        QVERIFY(!ex.getRidges());
        QVERIFY(!ex.getValleys());
        QVERIFY(!ex.getSpareFlag());

        LnExtractor& base = ex;
        base.setContours(false);
        base.setSuggestiveContours(false);
        base.setIsophotes(true, 3);
        base.setSpareFlag(true);
        base.setRidges(true);
        base.setValleys(true);
        base.setDerivativeThreshold(0.5f);
        base.setContourTest(false);
        base.setViewOffset(0.25f);
        base.setRidgeThreshold(2.0f);
        ex.setViewpoint(vec(0, 0, 9));
        ex.setLightDirection(vec(1, 0, 0));
        QVERIFY(!ex.getContours());
        QVERIFY(!ex.getSuggestiveContours());
        QVERIFY(ex.getIsophotes());
        QCOMPARE(ex.getIsophoteCount(), 3);
        QVERIFY(ex.getSpareFlag());
        QVERIFY(ex.getRidges());
        QVERIFY(ex.getValleys());
        QCOMPARE(ex.getDerivativeThreshold(), 0.5f);
        QVERIFY(!ex.getContourTest());
        QCOMPARE(ex.getViewOffset(), 0.25f);
        QCOMPARE(ex.getRidgeThreshold(), 2.0f);
        QCOMPARE(ex.getViewpoint(), vec(0, 0, 9));
        QCOMPARE(ex.getLightDirection(), vec(1, 0, 0));
    }

    void featureSizeOnSphere()
    {
        // Curvature 1/r everywhere: the feature size is 0.01 r.
        auto m = makeSphere(3, 2.0f);
        LnSmoothExtractor ex(m.get(), vec(), vec());
        QVERIFY2(std::fabs(ex.getFeatureSize() - 0.02f) < 0.002f,
                 qPrintable(QString::number(ex.getFeatureSize())));
    }

    void featureSizeOfFlatMeshIsInfinite()
    {
        std::unique_ptr<TriMesh> m(new TriMesh);
        m->vertices = {vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0)};
        m->faces = {Face(0, 1, 2), Face(2, 1, 3)};
        LnSmoothExtractor ex(m.get(), vec(0.3f, 0.2f, 5), vec(0, 0, 1));
        QVERIFY(std::isinf(ex.getFeatureSize()));
        ex.setRidges(true);
        ex.setValleys(true);
        ex.setIsophotes(true, 4);
        LnPathList out;
        ex.extract(out);
        QVERIFY(allFinite(ex.getNdotV()));
        QVERIFY(allFinite(ex.getRadialCurvature()));
        QVERIFY(allFinite(ex.getTestNumerator()));
        QVERIFY(allFinite(ex.getTestDenominator()));
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
    }

    void oneClosedContourAroundSphere_data()
    {
        QTest::addColumn<float>("distance");
        QTest::newRow("eye at 1000 radii") << 1000.0f;
        QTest::newRow("eye at 1e30 radii (squared distance beyond float)") << 1e30f;
    }

    void oneClosedContourAroundSphere()
    {
        QFETCH(float, distance);
        auto m = makeSphere(3);
        LnSmoothExtractor ex(m.get(), vec(), vec());
        ex.setViewpoint(vec(0, 0, distance));
        LnPathList out;
        ex.extract(out);
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
        for (float k : ex.getRadialCurvature()) {
            QVERIFY(k > 0.0f); // so no suggestive contour either
        }
        QCOMPARE(out.size(), 1);
        const LnPath* p = out[0];
        QCOMPARE(p->kind, 0);
        QVERIFY(p->points.size() > 20);
        // Closed: it ends where it began, and goes once around the z axis.
        QVERIFY(dist(p->points.front(), p->points.back()) < 1e-5f);
        double turn = 0.0;
        for (size_t k = 0; k < p->points.size(); ++k) {
            const vec& a = p->points[k];
            // n . v = 0.01 (the view offset) on a unit sphere seen from afar.
            QVERIFY2(std::fabs(a[2] - 0.01f) < 0.05f, qPrintable(QString::number(a[2])));
            QCOMPARE(strength(p, k, ex.getStrengthSlot()), 1.0f);
            if (k > 0) {
                const vec& b = p->points[k - 1];
                turn += std::atan2(b[0] * a[1] - b[1] * a[0], b[0] * a[0] + b[1] * a[1]);
            }
        }
        QVERIFY2(std::fabs(std::fabs(turn) - 2.0 * M_PI) < 1e-3, qPrintable(QString::number(turn)));
    }

    void defaultOrderSuggestiveThenContours()
    {
        auto m = makeTorus(2.0f, 0.8f, 64, 32);
        LnSmoothExtractor ex(m.get(), vec(), vec());
        ex.setViewpoint(vec(9, 3, 6));
        LnPathList out;
        ex.extract(out);
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
        int suggestive = 0, contours = 0;
        for (int i = 0; i < out.size(); ++i) {
            const int kind = out[i]->kind;
            QVERIFY2(kind == 1 || kind == 0, qPrintable(QString::number(kind)));
            if (kind == 1) {
                QVERIFY2(contours == 0, "a suggestive contour after a contour");
                ++suggestive;
            } else {
                ++contours;
            }
        }
        QVERIFY(suggestive > 0);
        QVERIFY(contours > 0);
    }

    void isophoteLevels()
    {
        auto m = makeSphere(3);
        LnSmoothExtractor ex(m.get(), vec(0, 0, 1000), vec(0, 0, 1));
        ex.setContours(false);
        ex.setSuggestiveContours(false);
        ex.setViewOffset(1.0f); // nothing faces away, so whole circles
        ex.setIsophotes(true, 4);
        LnPathList out;
        ex.extract(out);
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
        QCOMPARE(out.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const LnPath* p = out[i];
            QCOMPARE(p->kind, 5);
            QVERIFY(dist(p->points.front(), p->points.back()) < 1e-5f);
            for (size_t k = 0; k < p->points.size(); ++k) {
                QVERIFY2(std::fabs(p->points[k][2] - 0.25f * i) < 0.01f,
                         qPrintable(QString("level %1: z %2").arg(i).arg(p->points[k][2])));
                QCOMPARE(strength(p, k, ex.getStrengthSlot()), 1.0f);
            }
        }
    }

    void unreachedIsophoteLevelGivesNoPath_data()
    {
        QTest::addColumn<float>("lightLength");
        QTest::addColumn<int>("paths");
        QTest::newRow("length 0.6 reaches 0, 0.25, 0.5") << 0.6f << 3;
        QTest::newRow("length 0.2 reaches 0 only") << 0.2f << 1;
        QTest::newRow("no light: every value 0, no level crossed") << 0.0f << 0;
    }

    void unreachedIsophoteLevelGivesNoPath()
    {
        QFETCH(float, lightLength);
        QFETCH(int, paths);
        auto m = makeSphere(3);
        LnSmoothExtractor ex(m.get(), vec(0, 0, 1000), vec(0, 0, lightLength));
        ex.setContours(false);
        ex.setSuggestiveContours(false);
        ex.setViewOffset(1.0f);
        ex.setIsophotes(true, 4);
        LnPathList out;
        ex.extract(out);
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
        QCOMPARE(out.size(), paths);
    }

    void isophoteCountBelowOneGivesNone()
    {
        auto m = makeSphere(2);
        LnSmoothExtractor ex(m.get(), vec(0, 0, 1000), vec(0, 0, 1));
        ex.setContours(false);
        ex.setSuggestiveContours(false);
        ex.setIsophotes(true, 0);
        LnPathList out;
        ex.extract(out);
        QCOMPARE(out.size(), 0);
    }

    void appendingTwiceWithoutClearing()
    {
        auto m = makeTorus(2.0f, 0.8f, 48, 24);
        LnSmoothExtractor ex(m.get(), vec(9, 3, 6), vec(0.3f, 0.4f, 0.8f));
        ex.setIsophotes(true, 4);
        ex.setRidges(true);
        ex.setValleys(true);
        LnPathList out;
        ex.extract(out);
        const int once = out.size();
        QVERIFY(once > 0);
        ex.extract(out);
        QCOMPARE(out.size(), 2 * once);
        for (int i = 0; i < once; ++i) {
            QCOMPARE(out[i + once]->kind, out[i]->kind);
            QVERIFY(out[i + once]->points == out[i]->points);
            QCOMPARE(out[i + once]->attributes.size(), out[i]->attributes.size());
        }
    }

    void lineWithEmptyFirstHalfIsTheSecondHalf()
    {
        // Two faces sharing the edge 1-2. Contours with the sign test on kr:
        // in face 0 kr is negative all along the contour (the first half has
        // no point); in face 1 it turns positive on the way out.
        std::unique_ptr<TriMesh> m(new TriMesh);
        m->vertices = {vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0)};
        m->faces = {Face(0, 1, 2), Face(2, 1, 3)};
        m->normals = {vec(0, 0, 1), vec(0, 0, 1), vec(0, 0, -1), vec(0, 0, -1)};
        // With the eye far above, u = 1 and v = 0, so kr is the major curvature.
        m->majorDirections.assign(4, vec(0, 0, 1));
        m->minorDirections.assign(4, vec(1, 0, 0));
        m->majorCurvatures = {1.0f, 1.0f, -3.0f, 3.0f};
        m->minorCurvatures.assign(4, 0.0f);
        m->dcurv.assign(4, TriMesh::Dcurv());
        LnSmoothExtractor ex(m.get(), vec(0, 0, 1e6f), vec());
        QCOMPARE(m->acrossEdge[0][0], 1);
        QCOMPARE(m->acrossEdge[1][2], 0);
        ex.setSuggestiveContours(false);
        ex.setViewOffset(0.0f);
        LnPathList out;
        ex.extract(out);
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
        QCOMPARE(out.size(), 1);
        const LnPath* p = out[0];
        QCOMPARE(p->kind, 0);
        QCOMPARE(int(p->points.size()), 2);
        // Entry at the middle of 2-1 (kr -1), exit at the middle of 3-1
        // (kr 2): kr crosses zero a third of the way.
        const vec entry(0.5f, 0.5f, 0), exit(1.0f, 0.5f, 0);
        const vec zero = entry * (2.0f / 3.0f) + exit * (1.0f / 3.0f);
        QVERIFY(dist(p->points[0], zero) < 1e-4f);
        QVERIFY(dist(p->points[1], exit) < 1e-4f);
        // At the crossing kr is 0 up to rounding: kr / kr is 1, or 0 for 0/0.
        const float s0 = strength(p, 0, ex.getStrengthSlot());
        QVERIFY2(s0 == 0.0f || s0 == 1.0f, qPrintable(QString::number(s0)));
        QCOMPARE(strength(p, 1, ex.getStrengthSlot()), 1.0f);
    }

    void emptyMesh()
    {
        TriMesh m;
        LnSmoothExtractor ex(&m, vec(), vec());
        ex.setRidges(true);
        ex.setValleys(true);
        ex.setIsophotes(true, 4);
        LnPathList out;
        ex.extract(out);
        ex.extract(out);
        QCOMPARE(out.size(), 0);
        QVERIFY(ex.getNdotV().empty());
    }

    void nullMesh()
    {
        LnSmoothExtractor ex(nullptr, vec(), vec());
        LnPathList out;
        ex.extract(out);
        QCOMPARE(out.size(), 0);
    }

    void pointSetWithoutFaces()
    {
        auto m = makeSphere(1);
        m->faces.clear();
        LnSmoothExtractor ex(m.get(), vec(0, 0, 5), vec(0, 0, 1));
        ex.setIsophotes(true, 4);
        LnPathList out;
        ex.extract(out);
        QCOMPARE(out.size(), 0);
    }

    void faceIndexOutsideTheVertexList()
    {
        std::unique_ptr<TriMesh> m(new TriMesh);
        m->vertices = {vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)};
        m->faces = {Face(0, 1, 2), Face(2, 1, 7)};
        LnSmoothExtractor ex(m.get(), vec(0, 0, 5), vec(0, 0, 1));
        ex.setIsophotes(true, 4);
        LnPathList out;
        ex.extract(out);
        QCOMPARE(out.size(), 0);
    }

    void viewpointOnAVertex()
    {
        auto m = makeSphere(2);
        const vec eye = m->vertices[7];
        LnSmoothExtractor ex(m.get(), eye, vec(0, 0, 1));
        ex.setRidges(true);
        ex.setValleys(true);
        ex.setIsophotes(true, 4);
        LnPathList out;
        ex.extract(out);
        QCOMPARE(out.size(), 0);
        QVERIFY(allFinite(ex.getNdotV()));
        QVERIFY(allFinite(ex.getRadialCurvature()));
        QVERIFY(allFinite(ex.getTestNumerator()));
        QVERIFY(allFinite(ex.getTestDenominator()));

        // Moved off the vertex, the same extractor finds lines again.
        ex.setViewpoint(eye * 3.0f);
        ex.extract(out);
        QVERIFY(out.size() > 0);
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
    }

    void viewStraightAlongANormal()
    {
        // The radial direction is undefined where the eye looks straight down
        // the normal; the suggestive-contour test values stay finite there.
        std::unique_ptr<TriMesh> m(new TriMesh);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 5; ++x) {
                m->vertices.push_back(vec(float(x), float(y), 0.0f));
            }
        }
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                const int a = y * 5 + x;
                m->faces.push_back(Face(a, a + 1, a + 6));
                m->faces.push_back(Face(a, a + 6, a + 5));
            }
        }
        LnSmoothExtractor ex(m.get(), vec(2, 2, 3), vec());
        LnPathList out;
        ex.extract(out);
        QVERIFY(allFinite(ex.getTestNumerator()));
        QVERIFY(allFinite(ex.getTestDenominator()));
        QVERIFY(allFinite(ex.getRadialCurvature()));
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
    }

    void meshSubdividedAfterCreation()
    {
        auto m = makeSphere(2);
        LnSmoothExtractor ex(m.get(), vec(0, 0, 1000), vec());
        m->subdivide(1);
        m->computeNormals();
        m->buildStrips();
        LnPathList out;
        ex.extract(out);
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
        QCOMPARE(m->majorCurvatures.size(), m->vertices.size());
        QCOMPARE(int(ex.getNdotV().size()), int(m->vertices.size()));
        QCOMPARE(out.size(), 1);
    }

    void ridgesAndValleysOnAnEllipsoid()
    {
        auto m = makeSphere(4);
        for (vec& p : m->vertices) {
            p = vec(2.0f * p[0], p[1], 0.5f * p[2]);
        }
        LnSmoothExtractor ex(m.get(), vec(), vec());
        ex.setSuggestiveContours(false);
        ex.setContours(false);
        ex.setRidges(true);
        ex.setValleys(true);
        ex.setViewpoint(vec(3, 5, 20));
        LnPathList out;
        ex.extract(out);
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
        int ridges = 0;
        for (int i = 0; i < out.size(); ++i) {
            QVERIFY(out[i]->kind == 3 || out[i]->kind == 4);
            ridges += out[i]->kind == 3;
            if (out[i]->kind == 3) {
                QVERIFY(ridges == 1 || out[i - 1]->kind == 3); // ridges before valleys
            }
        }
        // A convex surface has no valley (its major curvature is positive).
        QCOMPARE(ridges, out.size());
        QVERIFY(ridges > 0);
    }

    // Known answers. The contour of a unit sphere seen from distance D is
    // the circle where the sight lines graze it: in the plane z = 1/D, of
    // radius sqrt(1 - 1/D^2).
    void sphereContourFromNearby_data()
    {
        QTest::addColumn<float>("distance");
        QTest::newRow("D = 1.5") << 1.5f;
        QTest::newRow("D = 3") << 3.0f;
        QTest::newRow("D = 10") << 10.0f;
    }
    void sphereContourFromNearby()
    {
        QFETCH(float, distance);
        auto m = makeSphere(4);
        LnSmoothExtractor ex(m.get(), vec(0, 0, distance), vec());
        ex.setViewOffset(0.0f);
        ex.setSuggestiveContours(false);
        LnPathList out;
        ex.extract(out);
        QCOMPARE(out.size(), 1);
        const float radius = std::sqrt(1.0f - 1.0f / (distance * distance));
        float turn = 0.0f;
        const std::vector<vec>& points = out[0]->points;
        for (size_t k = 0; k < points.size(); ++k) {
            const vec& p = points[k];
            QVERIFY2(std::fabs(p[2] - 1.0f / distance) < 0.01f, qPrintable(QString::number(p[2])));
            const float r = std::hypot(p[0], p[1]);
            QVERIFY2(std::fabs(r - radius) < 0.01f, qPrintable(QString::number(r)));
            if (k > 0) {
                const vec& b = points[k - 1];
                turn += std::atan2(b[0] * p[1] - b[1] * p[0], b[0] * p[0] + b[1] * p[1]);
            }
        }
        QVERIFY(std::fabs(std::fabs(turn) - 6.2831853f) < 1e-3f); // once around
    }

    // A torus around the z axis seen from far above has two contour
    // circles: the outer and the inner equator, radii R + r and R - r.
    void torusContoursFromAbove()
    {
        const float R = 2.0f, r = 0.7f;
        auto m = makeTorus(R, r, 96, 48);
        LnSmoothExtractor ex(m.get(), vec(0, 0, 1000), vec());
        ex.setViewOffset(0.0f);
        ex.setSuggestiveContours(false);
        LnPathList out;
        ex.extract(out);
        QCOMPARE(out.size(), 2);
        std::vector<float> radii;
        for (int i = 0; i < out.size(); ++i) {
            const std::vector<vec>& points = out[i]->points;
            QVERIFY(points.size() > 90);
            QVERIFY(dist(points.front(), points.back()) < 1e-5f); // closed
            const float first = std::hypot(points[0][0], points[0][1]);
            for (const vec& p : points) {
                QVERIFY2(std::fabs(p[2]) < 0.01f, qPrintable(QString::number(p[2])));
                QVERIFY(std::fabs(std::hypot(p[0], p[1]) - first) < 0.01f);
            }
            radii.push_back(first);
        }
        std::sort(radii.begin(), radii.end());
        QVERIFY2(std::fabs(radii[0] - (R - r)) < 0.01f, qPrintable(QString::number(radii[0])));
        QVERIFY2(std::fabs(radii[1] - (R + r)) < 0.01f, qPrintable(QString::number(radii[1])));
    }

    // A cylinder curves one way only: its radial curvature never changes
    // sign, so from no viewpoint does it have suggestive contours, while
    // its two contour lines run along its length.
    void cylinderHasNoSuggestiveContours_data()
    {
        QTest::addColumn<vec>("eye");
        QTest::newRow("from the side") << vec(0, -5, 0);
        QTest::newRow("from above the side") << vec(1, -4, 3);
        QTest::newRow("near the axis") << vec(0.1f, 0.05f, 6);
    }
    void cylinderHasNoSuggestiveContours()
    {
        QFETCH(vec, eye);
        auto m = makeCylinder(1.0f, 2.0f, 64, 32);
        LnSmoothExtractor ex(m.get(), eye, vec());
        LnPathList out;
        ex.extract(out);
        for (int i = 0; i < out.size(); ++i) {
            QCOMPARE(out[i]->kind, 0);
        }
        if (eye[2] == 0.0f) {
            // Seen square-on from distance D at the side, the two contour
            // lines run along z where the sight lines graze the cylinder:
            // y = -1/D, |x| = sqrt(1 - 1/D^2) (n . v is 0.01 there, not 0).
            QCOMPARE(out.size(), 2);
            const float D = -eye[1];
            for (int i = 0; i < out.size(); ++i) {
                for (const vec& p : out[i]->points) {
                    QVERIFY(std::fabs(std::fabs(p[0]) - std::sqrt(1.0f - 1.0f / (D * D))) < 0.02f);
                    QVERIFY(std::fabs(p[1] + 1.0f / D) < 0.03f);
                }
            }
        }
    }

    // The ridges of a rounded box run along the middles of its rounded
    // edges; the flat faces carry none, and a convex box has no valleys.
    void ridgesOfARoundedBox()
    {
        auto m = makeRoundedBox(5);
        LnSmoothExtractor ex(m.get(), vec(3, -4, 5), vec());
        ex.setContours(false);
        ex.setSuggestiveContours(false);
        ex.setRidges(true);
        ex.setValleys(true);
        LnPathList out;
        ex.extract(out);
        // Points per edge, an edge named by the axis it runs along and the
        // signs of the other two coordinates.
        std::map<std::array<int, 3>, int> edges;
        int points = 0;
        for (int i = 0; i < out.size(); ++i) {
            QCOMPARE(out[i]->kind, 3);
            for (const vec& p : out[i]->points) {
                const float x = std::fabs(p[0]), y = std::fabs(p[1]), z = std::fabs(p[2]);
                // Axis of the smallest coordinate: the edge's direction.
                const int along = x <= y && x <= z ? 0 : (y <= z ? 1 : 2);
                const int u = (along + 1) % 3, v = (along + 2) % 3;
                const float cu = std::fabs(p[u]), cv = std::fabs(p[v]);
                // Near a corner all three are alike and edges meet.
                if (std::fabs(p[along]) > 0.6f * std::min(cu, cv)) {
                    continue;
                }
                QVERIFY2(std::fabs(cu - cv) < 0.05f * (cu + cv),
                         qPrintable(QString("(%1, %2, %3) is off the edge's middle")
                                        .arg(p[0])
                                        .arg(p[1])
                                        .arg(p[2])));
                ++edges[{along, p[u] > 0 ? 1 : -1, p[v] > 0 ? 1 : -1}];
                ++points;
            }
        }
        // The edges whose middle faces the eye carry ridges; those turned
        // well away carry none (faces seen from behind are left out).
        QVERIFY(points > 100);
        const vec eye = ex.getViewpoint();
        const float c = std::pow(0.5f, 0.25f);
        int front = 0;
        for (int along = 0; along < 3; ++along) {
            for (int su = -1; su <= 1; su += 2) {
                for (int sv = -1; sv <= 1; sv += 2) {
                    vec middle, normal;
                    middle[(along + 1) % 3] = su * c;
                    middle[(along + 2) % 3] = sv * c;
                    normal[(along + 1) % 3] = float(su);
                    normal[(along + 2) % 3] = float(sv);
                    const vec toEye = eye - middle;
                    const float facing = dot(toEye, normal) / (len(toEye) * len(normal));
                    const int count = edges.count({along, su, sv}) ? edges[{along, su, sv}] : 0;
                    const QString edge = QString("edge %1%2%3").arg("xyz"[along]).arg(su).arg(sv);
                    if (facing > 0.0f) {
                        QVERIFY2(count >= 5, qPrintable(edge + " has no ridge"));
                        ++front;
                    } else if (facing < -0.3f) {
                        QVERIFY2(count == 0, qPrintable(edge + " faces away but has a ridge"));
                    }
                }
            }
        }
        QVERIFY(front >= 3);
    }

    void tangledRandomMeshes()
    {
        // Degenerate faces, edges shared by many faces, flipped neighbours,
        // repeated vertices: every pass still stays inside the mesh and
        // every path keeps its properties.
        uint32_t state = 12345;
        auto next = [&state]() {
            state = state * 1664525u + 1013904223u;
            return state >> 8;
        };
        for (int round = 0; round < 40; ++round) {
            std::unique_ptr<TriMesh> m(new TriMesh);
            const int nv = 4 + int(next() % 40);
            for (int i = 0; i < nv; ++i) {
                m->vertices.push_back(
                    vec(float(next() % 1000) / 500.0f - 1.0f, float(next() % 1000) / 500.0f - 1.0f,
                        round % 4 == 0 ? 0.0f : float(next() % 1000) / 500.0f - 1.0f));
            }
            const int nf = 1 + int(next() % 120);
            for (int f = 0; f < nf; ++f) {
                m->faces.push_back(Face(int(next() % nv), int(next() % nv), int(next() % nv)));
            }
            LnSmoothExtractor ex(m.get(), vec(), vec());
            ex.setRidges(true);
            ex.setValleys(true);
            ex.setIsophotes(true, 5);
            ex.setViewpoint(round % 5 == 0 ? m->vertices[0] : vec(3, -2, 4));
            ex.setLightDirection(vec(0.2f, 0.5f, 0.8f));
            LnPathList out;
            ex.extract(out);
            QVERIFY(allFinite(ex.getNdotV()));
            QVERIFY(allFinite(ex.getRadialCurvature()));
            QVERIFY(allFinite(ex.getTestNumerator()));
            QVERIFY(allFinite(ex.getTestDenominator()));
            QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
            if (round % 5 == 0) {
                QCOMPARE(out.size(), 0);
            }
        }
    }

    void realMeshes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("PLY with triangle strips (cow)") << "ply/common3d/cow.ply";
        QTest::newRow("OFF (bunny)") << "off/libigl/bunny.off";
        QTest::newRow("OBJ (spot)") << "obj/common3d/spot.obj";
    }

    void realMeshes()
    {
        QFETCH(QString, file);
        const QString path = QString(KELVANE_SHARED_DATA) + "/" + file;
        if (!QFileInfo::exists(path)) {
            QSKIP(qPrintable("shared data absent: " + path));
        }
        std::unique_ptr<TriMesh> m(TriMesh::read(path.toLocal8Bit().constData()));
        QVERIFY(m);
        LnSmoothExtractor ex(m.get(), vec(), vec());
        QVERIFY(std::isfinite(ex.getFeatureSize()) && ex.getFeatureSize() > 0.0f);
        ex.setRidges(true);
        ex.setValleys(true);
        ex.setIsophotes(true, 4);
        m->computeBoundingSphere();
        const vec eye = m->sphereCenter + vec(0.3f, -0.5f, 0.8f) * (5.0f * m->sphereRadius);
        ex.setViewpoint(eye);
        ex.setLightDirection(vec(0.6f, 0.0f, 0.8f));
        LnPathList out;
        ex.extract(out);
        QCOMPARE(pathFault(out, ex.getStrengthSlot()), QString());
        int count[6] = {0, 0, 0, 0, 0, 0};
        for (int i = 0; i < out.size(); ++i) {
            ++count[out[i]->kind];
            if (i > 0) {
                QVERIFY(kindRank(out[i - 1]->kind) <= kindRank(out[i]->kind));
            }
        }
        qInfo("%s: %d suggestive, %d contour, %d ridge, %d valley, %d isophote paths",
              qPrintable(file), count[1], count[0], count[3], count[4], count[5]);
        QVERIFY(count[0] > 0);
        QVERIFY(count[5] > 0);
    }
};

KELVANE_TEST_GUILESS_MAIN(TestLnSmoothExtractor)
#include "tst_LnSmoothExtractor.moc"
