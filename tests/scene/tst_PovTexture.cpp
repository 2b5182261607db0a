#include "scene/PovNumber.h"
#include "scene/PovSwatch.h"
#include "scene/PovTexture.h"
#include "tests/support/PovrayChildren.h"
#include "tests/support/StderrCapture.h"

#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <cstdio>
#include <random>

class TestPovTexture : public QObject {
    Q_OBJECT
private slots:
    void defaultTexture()
    {
        QCOMPARE(PovTexture().povText(2.0f), QString("texture {\n"
                                                     "\tpigment {\n"
                                                     "\t\tcolor rgb <0.8, 0.8, 0.8>\n"
                                                     "\t}\n"
                                                     "\tfinish {\n"
                                                     "\t\tambient 0\n"
                                                     "\t\tdiffuse 0.7\n"
                                                     "\t\tspecular 0.3\n"
                                                     "\t\troughness 0.01\n"
                                                     "\t\treflection 0.3\n"
                                                     "\t}\n"
                                                     "}\n"));
    }

    void namedTexture()
    {
        PovTexture t;
        t.name = "T_Wood7";
        t.metallic = true;
        QCOMPARE(t.povText(2.0f), QString("texture {\n"
                                          "\tT_Wood7\n"
                                          "\tscale <2, 2, 2>\n"
                                          "\tfinish {\n"
                                          "\t\tambient 0\n"
                                          "\t\tdiffuse 0.7\n"
                                          "\t\tspecular 0.3\n"
                                          "\t\troughness 0.01\n"
                                          "\t\treflection 0.3\n"
                                          "\t\tmetallic\n"
                                          "\t}\n"
                                          "}\n"));
        // A colour brings the pigment back.
        t.setColor(1.0f, 0.5f, 0.25f);
        QVERIFY(t.name.isNull());
        QVERIFY(
            t.povText(2.0f).startsWith("texture {\n\tpigment {\n\t\tcolor rgb <1, 0.5, 0.25>\n"));
    }

    void emptyNameIsNotNull()
    {
        PovTexture t;
        t.name = QString("");
        QVERIFY(t.povText(3.5f).startsWith("texture {\n\t\n\tscale <3.5, 3.5, 3.5>\n\tfinish {\n"));
    }

    void normalBlock()
    {
        PovTexture t;
        t.setNormal("bumps", 0.5f, 1.0f);
        QVERIFY(t.povText(10.0f).endsWith("\t}\n"
                                          "\tnormal {\n"
                                          "\t\tbumps\n"
                                          "\t\tscale <0.5, 0.5, 0.5>\n"
                                          "\t\tbump_size 0.5\n"
                                          "\t}\n"
                                          "}\n"));
        t.setNormal("Smooth", 0.25f, 2.0f); // case-sensitive: not "smooth"
        QVERIFY(t.povText(1.0f).contains("\tnormal {\n\t\tSmooth\n\t\tscale <0.1, 0.1, 0.1>\n"
                                         "\t\tbump_size 0.25\n"));
        t.setNormal("smooth", 0.25f, 2.0f);
        QVERIFY(!t.povText(1.0f).contains("normal"));
    }

    void finishOrder()
    {
        PovTexture t;
        t.setFinish(0.1f, 0.2f, 0.3f, 0.4f, 0.05f);
        float d, s, a, r, g;
        t.finish(d, s, a, r, g);
        QCOMPARE(d, 0.1f);
        QCOMPARE(s, 0.2f);
        QCOMPARE(a, 0.3f);
        QCOMPARE(r, 0.4f);
        QCOMPARE(g, 0.05f);
        QVERIFY(t.povText(1.0f).contains("\t\tambient 0.3\n\t\tdiffuse 0.1\n\t\tspecular 0.2\n"
                                         "\t\troughness 0.05\n\t\treflection 0.4\n"));
    }

    void numbersMatchPrintf()
    {
        // Exact ties, tiny and huge values, negative zero: the same text as
        // printf in the C locale, whatever the locale of the process.
        std::setlocale(LC_NUMERIC, "C");
        std::mt19937 random(7);
        std::uniform_real_distribution<double> unit(-1000.0, 1000.0);
        std::vector<double> values = {0.0,       -0.0, 0.8f, 0.01f, 1e-5,    123456.5,
                                      1234567.0, 2.5,  0.5,  1e300, -1e-300, 0.0000125};
        for (int i = 0; i < 2000; ++i) {
            values.push_back(unit(random));
            values.push_back(std::round(unit(random) * 1000.0) / 1000.0 + 0.0005);
        }
        char buffer[512];
        for (double v : values) {
            std::snprintf(buffer, sizeof buffer, "%g", v);
            QCOMPARE(povGeneral(v), QString(buffer));
            std::snprintf(buffer, sizeof buffer, "%f", v);
            QCOMPARE(povFixed(v), QString(buffer));
        }
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
            QCOMPARE(povGeneral(0.5), QString("0.5"));
            std::setlocale(LC_NUMERIC, "C");
        }
    }

    // A preset's swatch is rendered once and kept: a second maker takes it
    // from the cache folder (here a stand-in put in its place), whatever
    // the files there are named. A swatch that cannot be made says so in
    // one line, naming POV-Ray's reason, and is not tried again.
    void swatchesAreKeptAndFailuresSaidOnce()
    {
        SKIP_WITHOUT_POVRAY();
        QTemporaryDir cache;
        PovTexture oak;
        oak.name = "T_Wood1";
        const QString scene = povSwatchScene(oak, 2.0f, vec(0.5f, 0.0f, 0.0f), 1.0f);
        {
            PovSwatches swatches;
            swatches.cacheFolder = cache.path();
            QVERIFY(swatches.swatch(scene).isNull()); // started, not ready
            QTRY_VERIFY_WITH_TIMEOUT(!swatches.swatch(scene).isNull(), 60000);
            QCOMPARE(swatches.swatch(scene).size(), QSize(swatchTexels, 12 * swatchTexels));
        }
        const QStringList kept = QDir(cache.path()).entryList(QDir::Files);
        QCOMPARE(kept.size(), 1);
        QImage standIn(swatchTexels, 12 * swatchTexels, QImage::Format_RGBA64);
        standIn.fill(QColor(10, 200, 30));
        QVERIFY(standIn.save(cache.filePath(kept[0])));
        {
            PovSwatches swatches;
            swatches.cacheFolder = cache.path();
            swatches.swatch(scene);
            QTRY_VERIFY_WITH_TIMEOUT(!swatches.swatch(scene).isNull(), 60000);
            QCOMPARE(swatches.swatch(scene).pixelColor(5, 5), QColor(10, 200, 30));
        }

        PovTexture unknown;
        unknown.name = "T_Wood99";
        const QString bad = povSwatchScene(unknown, 2.0f, vec(0.5f, 0.0f, 0.0f), 1.0f);
        PovSwatches swatches;
        swatches.cacheFolder = cache.path();
        StderrCapture err;
        swatches.swatch(bad);
        QTRY_VERIFY_WITH_TIMEOUT(swatches.failed(bad), 60000);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(swatches.swatch(bad).isNull());
        }
        const QString said = err.text();
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.startsWith("kelvane: ") && said.contains("T_Wood99"), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(TestPovTexture)
#include "tst_PovTexture.moc"
