#include "collada/Matrix4.h"

#include <QtTest>

Q_DECLARE_METATYPE(Matrix4)

namespace {

Matrix4 fromRows(std::initializer_list<double> rows)
{
    Matrix4 m;
    int k = 0;
    for (double v : rows) {
        m.at(k / 4, k % 4) = v;
        ++k;
    }
    return m;
}

bool near(const vec& a, const vec& b, float tolerance = 1e-5f)
{
    return std::fabs(a[0] - b[0]) <= tolerance && std::fabs(a[1] - b[1]) <= tolerance &&
           std::fabs(a[2] - b[2]) <= tolerance;
}

} // namespace

class TestMatrix4 : public QObject {
    Q_OBJECT
private slots:
    void startsAsIdentityStoredByColumn()
    {
        Matrix4 m;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                QCOMPARE(m.at(r, c), r == c ? 1.0 : 0.0);
            }
        }
        m.at(1, 3) = 7.0;
        QCOMPARE(m.data()[13], 7.0); // column 3, row 1
    }

    void productIsRowTimesColumn()
    {
        const Matrix4 a = fromRows({1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
        const Matrix4 b = fromRows({1, 0, 0, 0, 3, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
        const Matrix4 p = a * b;
        QCOMPARE(p.at(0, 0), 7.0); // 1*1 + 2*3
        QCOMPARE(p.at(0, 1), 2.0);
        QCOMPARE(p.at(1, 0), 3.0);
        const Matrix4 q = b * a;
        QCOMPARE(q.at(0, 0), 1.0);
        QCOMPARE(q.at(1, 1), 7.0); // 3*2 + 1*1
    }

    void pointsUseTheUpperThreeRows()
    {
        Matrix4 m = fromRows({2, 0, 0, 5, 0, 3, 0, -1, 0, 0, 4, 2, 9, 9, 9, 9});
        QVERIFY(near(m.transformPoint(vec(1, 1, 1)), vec(7, 2, 6)));
        QVERIFY(near(m.transformDirection(vec(1, 1, 1)), vec(2, 3, 4)));
    }

    void inverseOfAnAffineMatrix()
    {
        const Matrix4 m = fromRows({0, -2, 0, 1, 1, 0, 0, 2, 0, 0, 4, 3, 0, 0, 0, 1});
        Matrix4 inv;
        QVERIFY(m.invert(inv));
        const Matrix4 id = m * inv;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                QVERIFY(std::fabs(id.at(r, c) - (r == c ? 1.0 : 0.0)) < 1e-12);
            }
        }
    }

    void inverseNeedsPivoting()
    {
        // A zero on the diagonal: only a row exchange gets a pivot.
        const Matrix4 m = fromRows({0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1e-8, 0, 0, 0, 0, 1});
        Matrix4 inv;
        QVERIFY(m.invert(inv));
        QCOMPARE(inv.at(0, 1), 1.0);
        QCOMPARE(inv.at(1, 0), 1.0);
        QVERIFY(std::fabs(inv.at(2, 2) - 1e8) < 1e-4);
    }

    void uniformScaleHalvesNormals()
    {
        const Matrix4 m = fromRows({2, 0, 0, 7, 0, 2, 0, 8, 0, 0, 2, 9, 0, 0, 0, 1});
        const Matrix4 n = m.normalMatrix();
        QVERIFY(near(n.transformDirection(vec(0, 0, 1)), vec(0, 0, 0.5f)));
        QCOMPARE(n.at(0, 3), 0.0);
        QCOMPARE(n.at(1, 3), 0.0);
        QCOMPARE(n.at(2, 3), 0.0);
    }

    void rotationKeepsNormalsRotated()
    {
        // 90 degrees about z, then a translation that must not reach normals.
        const Matrix4 m = fromRows({0, -1, 0, 5, 1, 0, 0, 5, 0, 0, 1, 5, 0, 0, 0, 1});
        QVERIFY(near(m.normalMatrix().transformDirection(vec(1, 0, 0)), vec(0, 1, 0)));
    }

    void singularMatrixLeavesNormalsAlone_data()
    {
        QTest::addColumn<Matrix4>("matrix");
        QTest::newRow("flattened to the plane z = 0")
            << fromRows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
        QTest::newRow("all zero") << fromRows({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        QTest::newRow("two equal rows")
            << fromRows({1, 2, 3, 4, 1, 2, 3, 4, 0, 0, 1, 0, 0, 0, 0, 1});
        QTest::newRow("not finite")
            << fromRows({qInf(), 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
        QTest::newRow("not a number")
            << fromRows({1, 0, 0, qQNaN(), 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    }
    void singularMatrixLeavesNormalsAlone()
    {
        QFETCH(Matrix4, matrix);
        Matrix4 inv;
        QVERIFY(!matrix.invert(inv));
        const vec n(0.3f, -0.4f, 0.5f);
        QCOMPARE(matrix.normalMatrix().transformDirection(n), n);
    }
};

QTEST_GUILESS_MAIN(TestMatrix4)
#include "tst_Matrix4.moc"
