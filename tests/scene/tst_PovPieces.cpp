// Turntable frames, named views and picture bands: the camera's orbit and
// fit, frame names, band rows and POV-Ray's row options, and the merge's
// checks on band files.
#include "scene/PovBand.h"
#include "scene/PovNamedView.h"
#include "scene/PovSceneFiles.h"
#include "scene/PovTurntable.h"

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// A band of a 6x70 picture (three block rows) whose every pixel tells its
// row.
QImage band(int i, int n, const QString& scene = QStringLiteral("abc"),
            const QString& settings = QStringLiteral("{\"antialias\":false}"))
{
    PovBandInfo info;
    info.band = i;
    info.bands = n;
    info.picture = QSize(6, 70);
    info.rows = bandRows(i, n, 70);
    info.scene = scene;
    info.source = QStringLiteral("scene.ply");
    info.settings = settings;
    QImage full(6, 70, QImage::Format_RGB32);
    for (int y = 0; y < 70; ++y) {
        for (int x = 0; x < 6; ++x) {
            full.setPixel(x, y, qRgb(3 * y, x, 200));
        }
    }
    return cutBand(full, info);
}

} // namespace

class TestPovPieces : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString save(const QImage& image, const QString& name)
    {
        const QString path = dir.filePath(name);
        return image.save(path) ? path : QString();
    }

private slots:
    // What must travel with a scene to another machine: a model file alone
    // or with the files it names beside it, or a scene document with the
    // model file it names.
    void sceneFilesOfModelsAndDocuments()
    {
        const QString torus =
            QFileInfo(QFINDTESTDATA("../../samples/torus.off")).absoluteFilePath();
        QCOMPARE(sceneFiles(torus), QStringList({torus}));
        const QString showcase =
            QFileInfo(QFINDTESTDATA("../../samples/showcase.kelvane")).absoluteFilePath();
        QCOMPARE(sceneFiles(showcase),
                 QStringList({showcase, QFileInfo(showcase).absolutePath() + "/showcase.off"}));
        // An OBJ file's library and image, a PLY file's image (its name
        // padded with blanks), a .gltf file's image (its buffer is a data
        // URI); an image outside the model's folder is not listed.
        const QString folder =
            QFileInfo(QFINDTESTDATA("../data/textured/quad.png")).absolutePath() + "/";
        QCOMPARE(sceneFiles(folder + "quad.obj"),
                 QStringList({folder + "quad.obj", folder + "quad.mtl", folder + "quad.png"}));
        QCOMPARE(sceneFiles(folder + "quad.gltf"),
                 QStringList({folder + "quad.gltf", folder + "quad.png"}));
        QCOMPARE(sceneFiles(folder + "escaping.obj"),
                 QStringList({folder + "escaping.obj", folder + "escaping.mtl"}));
        QCOMPARE(sceneFiles(folder + "quad-vertex.ply"),
                 QStringList({folder + "quad-vertex.ply", folder + "quad.png"}));
        QCOMPARE(sceneFiles(folder + "escaping.ply"), QStringList({folder + "escaping.ply"}));
        QString error;
        QVERIFY(sceneFiles("no/such/scene.kelvane", &error).isEmpty());
        QVERIFY(error.contains("no such file"));
    }

    void turnKeepsDistanceHeightAndAim()
    {
        qglviewer::Camera camera;
        camera.setPosition(qglviewer::Vec(5.0, 1.0, 3.0));
        camera.lookAt(qglviewer::Vec(1.0, 1.0, 0.5));
        const qglviewer::Vec center(1.0, 1.0, 0.5);
        const qglviewer::Vec position = camera.position();
        const qglviewer::Quaternion orientation = camera.orientation();
        const qglviewer::Vec up = camera.upVector();

        // Whole turns leave the camera exactly as it was.
        for (int frame : {0, 8, 16}) {
            turnCamera(camera, center, frame, 8);
            QCOMPARE(camera.position().x, position.x);
            QCOMPARE(camera.position().y, position.y);
            QCOMPARE(camera.position().z, position.z);
            for (int i = 0; i < 4; ++i) {
                QCOMPARE(camera.orientation()[i], orientation[i]);
            }
        }

        // A quarter turn (frame 2 of 8) moves +x of the axis to +y of it,
        // at the same height, still looking at the centre.
        turnCamera(camera, center, 2, 8);
        QVERIFY(std::abs(camera.position().x - 1.0) < 1e-9);
        QVERIFY(std::abs(camera.position().y - 5.0) < 1e-9);
        QCOMPARE(camera.position().z, 3.0);
        const qglviewer::Vec toCenter = (center - camera.position()).unit();
        QVERIFY((camera.viewDirection() - toCenter).norm() < 1e-9);
        // The camera's up turns with it.
        QVERIFY((camera.upVector() - qglviewer::Vec(-up.y, up.x, up.z)).norm() < 1e-9);
    }

    // Top is the fit a loaded model gets, bit for bit, for wide and tall
    // pictures (so a scene without --view writes the text it always
    // wrote); every view stands as far from the centre, looking at it.
    void namedViewsFitAsTheLoadedModel()
    {
        const qglviewer::Vec center(0.25, -3.0, 1.75);
        const double radius = 2.46;
        for (const QSize size : {QSize(800, 600), QSize(300, 700), QSize(64, 64)}) {
            qglviewer::Camera loaded;
            loaded.setScreenWidthAndHeight(size.width(), size.height());
            qglviewer::Camera viewed(loaded);
            loaded.setSceneRadius(radius);
            loaded.setSceneCenter(center);
            loaded.showEntireScene();
            const double distance = (loaded.position() - center).norm();
            for (PovNamedView view : namedViews()) {
                placeCamera(viewed, view, center, radius);
                if (view == PovNamedView::Top) {
                    for (int i = 0; i < 3; ++i) {
                        QCOMPARE(viewed.position()[i], loaded.position()[i]);
                    }
                    for (int i = 0; i < 4; ++i) {
                        QCOMPARE(viewed.orientation()[i], loaded.orientation()[i]);
                    }
                }
                QVERIFY(std::abs((viewed.position() - center).norm() - distance) < 1e-9);
                QVERIFY((viewed.viewDirection() - (center - viewed.position()).unit()).norm() <
                        1e-9);
                QCOMPARE(viewed.sceneRadius(), radius);
            }
        }
    }

    void frameNames()
    {
        QCOMPARE(frameFileName(QStringLiteral("spin_%03d.png"), 7), QStringLiteral("spin_007.png"));
        QCOMPARE(frameFileName(QStringLiteral("a%%b_%d.png"), 12), QStringLiteral("a%b_12.png"));
        QCOMPARE(frameFileName(QStringLiteral("f%4d.bmp"), 5), QStringLiteral("f   5.bmp"));
        QCOMPARE(frameFileName(QStringLiteral("%02d"), 123), QStringLiteral("123"));
        QString why;
        for (const char* bad :
             {"spin.png", "spin_%s.png", "%d_%d.png", "100%.png", "%0d.png", "%123d.png"}) {
            QVERIFY2(!isFramePattern(QString::fromLatin1(bad), &why), bad);
            QVERIFY(!why.isEmpty());
        }
        QVERIFY(isFramePattern(QStringLiteral("out/100%%_%03d.png")));

        int first = -1, last = -1;
        QVERIFY(parseFrameRange(QStringLiteral("2-5"), 8, first, last));
        QCOMPARE(first, 2);
        QCOMPARE(last, 5);
        QVERIFY(parseFrameRange(QStringLiteral("7"), 8, first, last));
        QCOMPARE(first, 7);
        QCOMPARE(last, 7);
        for (const char* bad : {"5-2", "0-8", "-1", "a-b", "1-2-3", ""}) {
            QVERIFY2(!parseFrameRange(QString::fromLatin1(bad), 8, first, last, &why), bad);
        }
    }

    // Every row in exactly one band, in order, each band starting on a
    // block row of the whole picture and the bands' block counts within
    // one; and the options POV-Ray reads as those rows.
    void bandRowsAndOptions()
    {
        for (int height : {1, 31, 32, 33, 60, 96, 1001, 16384}) {
            QCOMPARE(maxBands(height), (height + 31) / 32);
            for (int n = 1; n <= std::min(maxBands(height), 13); ++n) {
                int next = 1, smallest = height, largest = 0;
                for (int i = 1; i <= n; ++i) {
                    const PovBandRows rows = bandRows(i, n, height);
                    QCOMPARE(rows.first, next);
                    QCOMPARE((rows.first - 1) % 32, 0);
                    QVERIFY(rows.count() >= 1);
                    if (i < n) {
                        smallest = std::min(smallest, rows.count());
                    }
                    largest = std::max(largest, rows.count());
                    next = rows.last + 1;
                }
                QCOMPARE(next, height + 1);
                QVERIFY(n == 1 || largest - smallest <= 32);
            }
        }
        QCOMPARE(bandIniText(bandRows(1, 3, 96), 96), QByteArray("+ER32\n"));
        QCOMPARE(bandIniText(bandRows(2, 3, 96), 96), QByteArray("+SR33\n+ER64\n"));
        QCOMPARE(bandIniText(bandRows(3, 3, 96), 96), QByteArray("+SR65\n"));
        QCOMPARE(bandIniText(bandRows(1, 1, 1), 1), QByteArray());
        // 1001 rows are 32 block rows: 3 bands of 10, 11 and 11 of them.
        QCOMPARE(bandRows(1, 3, 1001).last, 320);
        QCOMPARE(bandRows(2, 3, 1001).first, 321);
        QCOMPARE(bandRows(2, 3, 1001).last, 672);
        QCOMPARE(bandRows(3, 3, 1001).last, 1001);

        int i = 0, n = 0;
        QVERIFY(parseBand(QStringLiteral("2/3"), 96, i, n));
        QCOMPARE(i, 2);
        QCOMPARE(n, 3);
        QString why;
        QVERIFY(!parseBand(QStringLiteral("1/3"), 64, i, n, &why));
        QVERIFY2(why.contains("at most 2 bands"), qPrintable(why));
        for (const char* bad : {"0/3", "4/3", "2", "a/b", "-1/3", "1/2/3"}) {
            QVERIFY2(!parseBand(QString::fromLatin1(bad), 96, i, n), bad);
        }
    }

    // The merge puts rows back where they were, and refuses, naming the
    // file or band, whatever does not make one whole picture.
    void mergeChecks()
    {
        QVERIFY(dir.isValid());
        const QString b1 = save(band(1, 3), "b1.png");
        const QString b2 = save(band(2, 3), "b2.png");
        const QString b3 = save(band(3, 3), "b3.png");
        QString error;
        const QImage whole = mergeBands({b3, b1, b2}, &error);
        QVERIFY2(!whole.isNull(), qPrintable(error));
        QCOMPARE(whole.size(), QSize(6, 70));
        for (int y = 0; y < 70; ++y) {
            QCOMPARE(whole.pixel(5, y), qRgb(3 * y, 5, 200));
        }

        auto refused = [&](const QStringList& files, const QString& expected) {
            QString why;
            const bool isNull = mergeBands(files, &why).isNull();
            if (!isNull || !why.contains(expected)) {
                qWarning("got: %s", qPrintable(why));
            }
            return isNull && why.contains(expected);
        };
        QVERIFY(refused({b1, b3}, "band 2 (rows 33 to 64) of 3 is missing"));
        QVERIFY(refused({b1, b2, b2, b3}, "band 2 of 3 is given twice"));
        const QString foreign = save(band(2, 3, "def"), "foreign.png");
        QVERIFY(refused({b1, foreign, b3}, "'" + foreign + "' does not belong with"));
        const QString settings = save(band(2, 3, "abc", "{\"antialias\":true}"), "aa.png");
        QVERIFY(refused({b1, settings, b3}, "other settings"));
        const QString ofTwo = save(band(2, 2), "of2.png");
        QVERIFY(refused({b1, ofTwo, b3}, "one of 2 bands, not 3"));

        QImage plain(6, 3, QImage::Format_RGB32);
        plain.fill(Qt::red);
        QVERIFY(refused({b1, save(plain, "plain.png"), b3}, "it is not a band"));
        QVERIFY(refused({b1, save(plain, "plain.bmp")}, "bands are PNG files"));
        QVERIFY(refused({b1, dir.filePath("none.png")}, "no such file"));
        // A band whose rows were cut to another height than its place.
        QImage shorter = band(2, 3).copy(0, 0, 6, 31);
        shorter.setText("Kelvane band", "2/3");
        QVERIFY(refused({b1, save(shorter, "short.png"), b3}, "does not match band 2 of 3"));
        // A damaged field.
        QImage damaged = band(2, 3);
        damaged.setText("Kelvane picture", "6x");
        QVERIFY(refused({b1, save(damaged, "damaged.png"), b3}, "damaged"));
        // Truncated file.
        QFile full(b2);
        QVERIFY(full.open(QIODevice::ReadOnly));
        QFile cut(dir.filePath("cut.png"));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(full.read(full.size() / 2));
        cut.close();
        QVERIFY(mergeBands({b1, cut.fileName(), b3}, &error).isNull());
        // A chunk claiming more than the file holds is refused before the
        // image reader would allocate it (here 1.8 GB for the first text).
        full.seek(0);
        QByteArray bytes = full.readAll();
        const int text = bytes.indexOf("tEXt");
        QVERIFY(text > 4);
        bytes.replace(text - 4, 4, QByteArray("\x6c\x00\x00\x00", 4));
        QFile lying(dir.filePath("lying.png"));
        QVERIFY(lying.open(QIODevice::WriteOnly));
        lying.write(bytes);
        lying.close();
        QVERIFY(!pngChunksFit(lying.fileName()));
        QVERIFY(pngChunksFit(b2));
        QVERIFY(refused({b1, lying.fileName(), b3}, "its PNG data is damaged"));
    }
};

QTEST_GUILESS_MAIN(TestPovPieces)
#include "tst_PovPieces.moc"
