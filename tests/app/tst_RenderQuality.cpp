// Draft and Photo quality and the backgrounds, end to end: the program's
// scene text, real POV-Ray renders at small sizes, the OpenGL preview, the
// settings dialog and the output window.

#include "app/MainWindow.h"
#include "app/OutputWindow.h"
#include "app/RenderSettingsDialog.h"
#include "tests/support/GoldenFile.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/Pixels.h"
#include "tests/support/PovrayChildren.h"
#include "tests/support/SphereOff.h"
#include "viewer/GLViewer.h"

#include "tests/support/RunProgram.h"

#include <QComboBox>
#include <QImage>
#include <QImageWriter>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <numeric>

namespace {

Run kelvane(const QStringList& arguments) { return runProgram(KELVANE_EXE, arguments); }

// Widths of the shadow edges on the ground left and right of `plate` (the
// plate's own pixels, from a render without the ground) in rows about the
// middle: the number of pixels between the lit level and the shadow level,
// each more than 10% of the step away from both.
std::vector<int> shadowEdgeWidths(const QImage& picture, const QImage& plate)
{
    std::vector<int> widths;
    const int w = picture.width();
    for (int y = picture.height() / 2 - 10; y <= picture.height() / 2 + 10; ++y) {
        int first = -1, last = -1;
        for (int x = 0; x < w; ++x) {
            if (qGray(plate.pixel(x, y)) > 2) {
                first = first < 0 ? x : first;
                last = x;
            }
        }
        if (first < 20 || last > w - 21) {
            continue;
        }
        std::vector<int> left, right;
        for (int x = 0; x < first - 3; ++x) {
            left.push_back(qGray(picture.pixel(x, y)));
        }
        for (int x = w - 1; x > last + 3; --x) {
            right.push_back(qGray(picture.pixel(x, y)));
        }
        for (const std::vector<int>& profile : {left, right}) {
            // From the picture's edge (lit ground) in to the plate (shadow).
            auto median = [](std::vector<int> v) {
                std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
                return double(v[v.size() / 2]);
            };
            const double lit = median(std::vector<int>(profile.begin(), profile.begin() + 8));
            const double shadow = median(std::vector<int>(profile.end() - 8, profile.end()));
            const double lo = std::min(lit, shadow) + 0.1 * std::abs(lit - shadow);
            const double hi = std::max(lit, shadow) - 0.1 * std::abs(lit - shadow);
            widths.push_back(int(std::count_if(profile.begin(), profile.end(),
                                               [&](int v) { return v > lo && v < hi; })));
        }
    }
    return widths;
}

// The colour a pixel mostly is: 'r', 'g', 'b', 'y' (red and green), or '?'
// for anything else (dark, grey, a mix).
char colourClass(QRgb p)
{
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    const int hi = std::max({r, g, b});
    if (hi < 60) {
        return '?';
    }
    const bool R = r > 0.6 * hi, G = g > 0.6 * hi, B = b > 0.6 * hi;
    if (R && G && !B && b < 0.35 * hi) {
        return 'y';
    }
    if (R && !G && !B && g < 0.35 * hi && b < 0.35 * hi) {
        return 'r';
    }
    if (G && !R && !B && r < 0.35 * hi && b < 0.35 * hi) {
        return 'g';
    }
    if (B && !R && !G && r < 0.35 * hi && g < 0.35 * hi) {
        return 'b';
    }
    return '?';
}

// The colours at the middles of the four quarters of what is not
// background in the picture, top left, top right, bottom left, bottom
// right ("rgby" for the test square as drawn); empty without a model.
QString quarterColours(const QImage& picture)
{
    int x0 = picture.width(), y0 = picture.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qGray(picture.pixel(x, y)) > 8) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
        }
    }
    if (x1 < 0) {
        return QString();
    }
    QString out;
    for (double fy : {0.25, 0.75}) {
        for (double fx : {0.25, 0.75}) {
            out += QLatin1Char(colourClass(
                picture.pixel(int(x0 + fx * (x1 - x0)), int(y0 + fy * (y1 - y0)))));
        }
    }
    return out;
}

// The colours at the middles of an n x n grid over what is not
// background in the picture, row by row from the top, rows separated by
// blanks; empty without a model. The white a highlight adds to every
// channel alike is taken off first.
QString gridColours(const QImage& picture, int n)
{
    int x0 = picture.width(), y0 = picture.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qGray(picture.pixel(x, y)) > 8) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
        }
    }
    QString out;
    for (int j = 0; j < n && x1 >= 0; ++j) {
        out += j > 0 ? QStringLiteral(" ") : QString();
        for (int i = 0; i < n; ++i) {
            const QRgb p = picture.pixel(int(x0 + (i + 0.5) / n * (x1 - x0)),
                                         int(y0 + (j + 0.5) / n * (y1 - y0)));
            const int white = std::min({qRed(p), qGreen(p), qBlue(p)});
            out += QLatin1Char(
                colourClass(qRgb(qRed(p) - white, qGreen(p) - white, qBlue(p) - white)));
        }
    }
    return out;
}

// Hue bins (15 degrees each: a duck's orange beak and yellow body differ
// by less than 30) holding at least 3% of the picture's saturated, lit
// pixels (at least 2% of the picture).
int hueCount(const QImage& picture)
{
    std::vector<int> bins(24, 0);
    int coloured = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = QColor::fromRgb(picture.pixel(x, y));
            if (c.value() > 40 && c.hsvSaturation() > 60 && c.hsvHue() >= 0) {
                ++bins[size_t(c.hsvHue() / 15)];
                ++coloured;
            }
        }
    }
    if (coloured < picture.width() * picture.height() / 50) {
        return coloured > 0 ? 1 : 0;
    }
    return int(std::count_if(bins.begin(), bins.end(),
                             [coloured](int n) { return n >= 0.03 * coloured; }));
}

double mean(const std::vector<int>& v)
{
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

// The mean red, green and blue of the 9 x 9 pixels about `at`.
std::array<double, 3> meanColour(const QImage& image, QPoint at)
{
    std::array<double, 3> sum = {0.0, 0.0, 0.0};
    for (int y = at.y() - 4; y <= at.y() + 4; ++y) {
        for (int x = at.x() - 4; x <= at.x() + 4; ++x) {
            const QRgb p = image.pixel(x, y);
            sum[0] += qRed(p);
            sum[1] += qGreen(p);
            sum[2] += qBlue(p);
        }
    }
    for (double& v : sum) {
        v /= 81.0;
    }
    return sum;
}

// The mean grey of the disc of radius r about the picture's centre.
double discGrey(const QImage& image, int r)
{
    double sum = 0.0;
    int n = 0;
    const int cx = image.width() / 2, cy = image.height() / 2;
    for (int y = cy - r; y <= cy + r; ++y) {
        for (int x = cx - r; x <= cx + r; ++x) {
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) {
                const QRgb p = image.pixel(x, y);
                sum += (qRed(p) + qGreen(p) + qBlue(p)) / 3.0;
                ++n;
            }
        }
    }
    return sum / n;
}

} // namespace

class TestRenderQuality : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString boxes, torus;

private slots:
    void initTestCase()
    {
        boxes = QFINDTESTDATA("../../samples/boxes.npr");
        torus = QFINDTESTDATA("../../samples/torus.off");
        QVERIFY(!boxes.isEmpty() && !torus.isEmpty());
    }

    // The Draft text is the text Kelvane writes without Photo quality and
    // backgrounds, byte for byte (the golden files were checked to differ
    // from the text before them only by the blank line after each texture
    // declaration, which came later).
    void draftTextUnchanged_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("golden");
        QTest::newRow("boxes") << QStringList() << "boxes" << "draft_boxes.pov";
        QTest::newRow("boxes, ground, indoor, draft, black")
            << QStringList({"--ground", "--indoor", "--quality", "draft", "--background", "black"})
            << "boxes" << "draft_boxes_ground_indoor_black.pov";
        QTest::newRow("torus, ground, mesh2") << QStringList({"--ground", "--mesh-form", "mesh2"})
                                              << "torus" << "draft_torus_ground_mesh2.pov";
        QTest::newRow("torus, 320x200")
            << QStringList({"--size", "320x200"}) << "torus" << "draft_torus_320x200.pov";
    }
    void draftTextUnchanged()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, scene);
        QFETCH(QString, golden);
        const QString pov = dir.filePath("draft.pov");
        const Run run = kelvane(QStringList({"--pov", pov}) + options +
                                QStringList({scene == "boxes" ? boxes : torus}));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QFile file(pov);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString difference =
            goldenDifference(file.readAll(), QFINDTESTDATA("../data/pov/" + golden));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // A transparent background: alpha 0 wherever the opaque render shows
    // the background, 255 on the model.
    void transparentBackground_data()
    {
        QTest::addColumn<QString>("quality");
        QTest::newRow("draft") << "draft";
        QTest::newRow("photo") << "photo";
    }
    void transparentBackground()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, quality);
        const QString clear = dir.filePath("clear.png"), black = dir.filePath("black.png");
        Run run = kelvane({"--render", clear, "--size", "96x72", "--quality", quality,
                           "--background", "transparent", boxes});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        run = kelvane({"--render", black, "--size", "96x72", "--quality", quality, boxes});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QImage a(clear), b(black);
        QVERIFY(a.hasAlphaChannel());
        const QVector<bool> model = silhouette(b);
        const int w = a.width();
        // Inside the model: the pixel and its four neighbours on it (Photo
        // antialiases, so a silhouette pixel may be partly covered).
        auto inside = [&](int x, int y) {
            return x > 0 && y > 0 && x + 1 < w && y + 1 < a.height() && model[y * w + x] &&
                   model[y * w + x - 1] && model[y * w + x + 1] && model[(y - 1) * w + x] &&
                   model[(y + 1) * w + x];
        };
        // Away from the model: no pixel of it in the 3 x 3 block around.
        auto near = [&](int x, int y) {
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int u = x + dx, v = y + dy;
                    if (u >= 0 && v >= 0 && u < w && v < a.height() && model[v * w + u]) {
                        return true;
                    }
                }
            }
            return false;
        };
        int modelPixels = 0, opaqueOnModel = 0, wrong = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < w; ++x) {
                const int alpha = qAlpha(a.pixel(x, y));
                if (inside(x, y)) {
                    ++modelPixels;
                    opaqueOnModel += alpha == 255;
                } else if (!near(x, y)) {
                    wrong += alpha != 0;
                }
            }
        }
        QCOMPARE(qAlpha(a.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(a.pixel(a.width() - 1, a.height() - 1)), 0);
        QVERIFY(modelPixels > a.width() * a.height() / 20);
        QVERIFY2(opaqueOnModel == modelPixels,
                 qPrintable(QString("%1 of %2").arg(opaqueOnModel).arg(modelPixels)));
        QCOMPARE(wrong, 0);
    }

    // A plate above the ground under the indoor lights: Draft's shadow edges
    // are hard, Photo's have a penumbra several pixels wide.
    void photoShadowsAreSoft()
    {
        SKIP_WITHOUT_POVRAY();
        const QString plate = dir.filePath("plate.off");
        QFile off(plate);
        QVERIFY(off.open(QIODevice::WriteOnly));
        off.write("OFF\n4 2 0\n-1 -1 0\n1 -1 0\n1 1 0\n-1 1 0\n3 0 1 2\n3 0 2 3\n");
        off.close();
        QImage pictures[3];
        const QStringList variants[3] = {{"--quality", "draft"},
                                         {"--quality", "photo", "--ground"},
                                         {"--quality", "draft", "--ground"}};
        for (int i = 0; i < 3; ++i) {
            const QString image = dir.filePath(QString("plate%1.png").arg(i));
            const Run run =
                kelvane(QStringList({"--render", image, "--size", "200x150", "--indoor"}) +
                        variants[i] + QStringList({plate}));
            QVERIFY2(run.status == 0, qPrintable(run.err));
            pictures[i] = QImage(image);
        }
        const std::vector<int> photo = shadowEdgeWidths(pictures[1], pictures[0]);
        const std::vector<int> draft = shadowEdgeWidths(pictures[2], pictures[0]);
        QVERIFY(draft.size() >= 20 && photo.size() == draft.size());
        const QString widths = QString("draft %1 (widest %2), photo %3")
                                   .arg(mean(draft))
                                   .arg(*std::max_element(draft.begin(), draft.end()))
                                   .arg(mean(photo));
        QVERIFY2(*std::max_element(draft.begin(), draft.end()) <= 2, qPrintable(widths));
        QVERIFY2(mean(photo) >= 4.0 && mean(photo) >= 3.0 * std::max(mean(draft), 1.0),
                 qPrintable(widths));
    }

    // A square textured with a 2 x 2 image (red and green over blue and
    // yellow), from glTF (v down the image), OBJ+MTL, KMZ, PLY (v up;
    // coordinates per face corner or per vertex) and AC3D (read by Assimp),
    // in the render and in the view: each quarter shows its own colour in its
    // place. A flipped v, swapped u and v or a texture not drawn all fail.
    void fileImagesInPlace_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("glTF") << "quad.gltf" << QStringList();
        QTest::newRow("glTF, Photo") << "quad.gltf" << QStringList({"--quality", "photo"});
        QTest::newRow("glTF, second coordinate set") << "second-set.gltf" << QStringList();
        QTest::newRow("glTF, texture transform") << "transformed.gltf" << QStringList();
        QTest::newRow("OBJ+MTL") << "quad.obj" << QStringList({"--file-materials"});
        QTest::newRow("OBJ+MTL, old option name") << "quad.obj"
                                                  << QStringList({"--file-colours"});
        QTest::newRow("KMZ") << "quad.kmz" << QStringList({"--file-materials"});
        QTest::newRow("PLY, per corner") << "quad.ply" << QStringList({"--file-materials"});
        QTest::newRow("PLY, per vertex") << "quad-vertex.ply" << QStringList({"--file-materials"});
        QTest::newRow("AC3D, through Assimp") << "quad.ac" << QStringList();
    }
    void fileImagesInPlace()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, file);
        QFETCH(QStringList, options);
        const QString model = QFINDTESTDATA("../data/textured/" + file);
        const QString render = dir.filePath("quad-render.png");
        const QString preview = dir.filePath("quad-preview.png");
        const QString pov = dir.filePath("quad/scene.pov");
        QVERIFY(QDir().mkpath(dir.filePath("quad")));
        const Run run = kelvane(QStringList({"--render", render, "--preview", preview, "--pov",
                                             pov, "--size", "120x120"}) +
                                options + QStringList({model}));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(quarterColours(QImage(render)), QString("rgby"));
        QCOMPARE(quarterColours(QImage(preview)), QString("rgby"));
        // The scene names the image written beside it.
        QFile text(pov);
        QVERIFY(text.open(QIODevice::ReadOnly));
        const QByteArray scene = text.readAll();
        QVERIFY(scene.contains("uv_vectors") && scene.contains("interpolate 2"));
        const QStringList images = QDir(dir.filePath("quad")).entryList({"kelvane-image-*.png"});
        QCOMPARE(images.size(), 1);
        QVERIFY(scene.contains("png \"" + images[0].toLatin1() + "\""));
        QDir(dir.filePath("quad")).removeRecursively();
    }

    // A picture of one mid-tone colour looks like that colour given plainly,
    // in the render and in the view, in Draft (no gamma handling) and in
    // Photo (sRGB). Pure colours cannot tell: only a mid-tone shows an
    // image decoded differently from the plain colours.
    void imageColoursAsPlainColours_data()
    {
        QTest::addColumn<QString>("quality");
        QTest::newRow("Draft") << "draft";
        QTest::newRow("Photo") << "photo";
    }
    void imageColoursAsPlainColours()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, quality);
        const QString render = dir.filePath("midtone-render.png");
        const QString preview = dir.filePath("midtone-preview.png");
        const Run run = kelvane({"--render", render, "--preview", preview, "--size", "160x120",
                                 "--quality", quality, "--file-materials",
                                 QFINDTESTDATA("../data/textured/midtone.obj")});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        // The middles of the left (picture) and right (plain) squares.
        const auto halves = [](const QImage& picture) {
            int x0 = picture.width(), x1 = -1;
            for (int x = 0; x < picture.width(); ++x) {
                if (qGray(picture.pixel(x, picture.height() / 2)) > 8) {
                    x0 = std::min(x0, x), x1 = std::max(x1, x);
                }
            }
            const int y = picture.height() / 2;
            return std::make_pair(QColor(picture.pixel(x0 + (x1 - x0) / 4, y)),
                                  QColor(picture.pixel(x1 - (x1 - x0) / 4, y)));
        };
        const auto near = [](const QColor& a, const QColor& b, int within) {
            return std::abs(a.red() - b.red()) <= within &&
                   std::abs(a.green() - b.green()) <= within &&
                   std::abs(a.blue() - b.blue()) <= within;
        };
        const auto [renderPicture, renderPlain] = halves(QImage(render));
        const auto [previewPicture, previewPlain] = halves(QImage(preview));
        const QString seen = QString("render %1 / %2, view %3 / %4")
                                 .arg(renderPicture.name(), renderPlain.name(),
                                      previewPicture.name(), previewPlain.name());
        QVERIFY2(near(renderPicture, renderPlain, 6), qPrintable(seen));
        QVERIFY2(near(previewPicture, previewPlain, 6), qPrintable(seen));
        QVERIFY2(near(renderPicture, previewPicture, 14), qPrintable(seen));
    }

    // The square's texture coordinates run from -1 to 2, three times the
    // image across: clamped to the edge, the image sits in the middle with
    // its edge colours stretched out; mirrored, every other copy turns
    // round; repeated, the copies follow each other. The render and the
    // view show the same 6 x 6 colours (each half image unit one cell).
    void fileImagesWrap_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("cells");
        QTest::newRow("u clamped, v mirrored") << "wrap-clamp-mirror.gltf"
                                               << "bbbyyy rrrggg rrrggg bbbyyy bbbyyy rrrggg";
        QTest::newRow("u mirrored, v repeated") << "wrap-mirror-repeat.gltf"
                                                << "grrggr ybbyyb grrggr ybbyyb grrggr ybbyyb";
    }
    void fileImagesWrap()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, file);
        QFETCH(QString, cells);
        const QString render = dir.filePath("wrap-render.png");
        const QString preview = dir.filePath("wrap-preview.png");
        const Run run = kelvane({"--render", render, "--preview", preview, "--size", "180x180",
                                 QFINDTESTDATA("../data/textured/" + file)});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(gridColours(QImage(render), 6), cells);
        QCOMPARE(gridColours(QImage(preview), 6), cells);
    }

    // An image named outside the model's folder is refused, one that is
    // missing is named: both with a line, and the model keeps its base
    // colour (one colour, no image) in the render.
    void fileImagesRefusedOrMissing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("line");
        QTest::newRow("glTF outside") << "escaping.gltf" << "lies outside the model's folder";
        QTest::newRow("OBJ outside") << "escaping.obj" << "lies outside the model's folder";
        QTest::newRow("KMZ outside") << "escaping.kmz" << "lies outside the archive";
        QTest::newRow("PLY outside") << "escaping.ply"
                                     << "lies outside the model's folder";
        QTest::newRow("glTF missing") << "missing-image.gltf"
                                      << "the image 'no-such-image.png' is missing";
    }
    void fileImagesRefusedOrMissing()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, file);
        QFETCH(QString, line);
        const QString render = dir.filePath("refused.png");
        const Run run =
            kelvane({"--file-materials", "--render", render, "--size", "80x80",
                     QFINDTESTDATA("../data/textured/" + file)});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.err.contains(line), qPrintable(run.err));
        QCOMPARE(hueCount(QImage(render)), 0);
    }

    // The shared real textured files (glTF with the image beside it, in a
    // data URI and in the binary chunk; OBJ+MTL with a JPEG whose name has
    // a space; binary PLY with coordinates per face corner, whose image is
    // kept with the OBJ copy and is copied beside it here) render in more
    // than one colour: without their images each would be one colour.
    void realTexturedFilesShowTheirImages_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("image");
        QTest::newRow("Duck") << "gltf/draco/Duck/glTF/Duck.gltf" << QString();
        QTest::newRow("BoxTextured embedded")
            << "gltf/assimp/BoxTextured-glTF-Embedded/BoxTextured.gltf" << QString();
        QTest::newRow("CesiumMilkTruck") << "gltf/python-trimesh/CesiumMilkTruck.glb" << QString();
        QTest::newRow("fuze") << "obj-mtl/python-trimesh/fuze.obj" << QString();
        QTest::newRow("fuze PLY") << "ply/python-trimesh/fuze.ply"
                                  << "obj-mtl/python-trimesh/fuze uv.jpg";
    }
    void realTexturedFilesShowTheirImages()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, file);
        QFETCH(QString, image);
        QString path = QStringLiteral(KELVANE_SHARED_DATA "/") + file;
        if (!QFileInfo::exists(path)) {
            QSKIP("the shared real files are absent");
        }
        if (!image.isEmpty()) {
            // The model and its image, together in a folder of their own.
            const QString folder = dir.filePath("beside");
            QDir(folder).removeRecursively();
            QVERIFY(QDir().mkpath(folder));
            const QString copy = folder + "/" + QFileInfo(path).fileName();
            QVERIFY(QFile::copy(path, copy));
            QVERIFY(QFile::copy(QStringLiteral(KELVANE_SHARED_DATA "/") + image,
                                folder + "/" + QFileInfo(image).fileName()));
            path = copy;
        }
        const QString render = dir.filePath("real.png");
        const Run run = kelvane({"--file-materials", "--render", render, "--size", "200x150", path});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(hueCount(QImage(render)) >= 2, qPrintable(QString::number(hueCount(QImage(render)))));
    }

    // A SketchUp archive binds several materials per model, most of them
    // images its doc.kml resource map says where to find. With file
    // materials every material's triangles are a model of their own, each of
    // the archive's 20 images is written for POV-Ray, and the render shows
    // the pictures' detail: many more colours than the flat average colours
    // the models had without them.
    void sketchUpArchiveShowsItsImages()
    {
        SKIP_WITHOUT_POVRAY();
        const QString path =
            QStringLiteral(KELVANE_SHARED_DATA "/kmz/kml-samples/macky-normal.kmz");
        if (!QFileInfo::exists(path)) {
            QSKIP("the shared real files are absent");
        }
        const QString pov = dir.filePath("macky.pov"), render = dir.filePath("macky.png");
        const Run run = kelvane(
            {"--file-materials", "--pov", pov, "--render", render, "--size", "200x150", path});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QFile file(pov);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QSet<QString> images;
        QRegularExpressionMatchIterator it =
            QRegularExpression(QStringLiteral("image_map \\{\\s*jpeg \"([^\"]+)\"")).globalMatch(text);
        while (it.hasNext()) {
            images.insert(it.next().captured(1));
        }
        QCOMPARE(images.size(), 20);
        const QImage picture(render);
        QSet<QRgb> colours;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QColor c = QColor::fromRgb(picture.pixel(x, y));
                if (c.value() > 40) {
                    colours.insert(qRgb(c.red() / 8, c.green() / 8, c.blue() / 8));
                }
            }
        }
        // The same view with the average colours has some 57 such colours,
        // with the images about 220.
        QVERIFY2(colours.size() > 120, qPrintable(QString::number(colours.size())));
    }

    // The environment's directions: a panorama red in its left half (the
    // sky towards -y) and blue in its right half lights a white sphere,
    // seen from above, red on the red side and blue on the other, in Draft
    // and Photo renders and in the view alike; turned 90 degrees the red
    // comes from +x. Preview and render agree in brightness.
    void environmentSides_data()
    {
        QTest::addColumn<QString>("turn");
        QTest::addColumn<QPoint>("redSide"); // from the picture's centre
        QTest::newRow("not turned") << "0" << QPoint(0, 1);
        QTest::newRow("turned 90 degrees") << "90" << QPoint(1, 0);
    }
    void environmentSides()
    {
        QFETCH(QString, turn);
        QFETCH(QPoint, redSide);
        const QString sphere = dir.filePath("sphere.off"), sky = dir.filePath("redblue.hdr");
        QVERIFY(writeSphereOff(sphere, 4));
        PovImageRgb image;
        image.width = 64;
        image.height = 32;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const bool red = x < image.width / 2;
                image.rgb.insert(image.rgb.end(), {red ? 1.0f : 0.0f, 0.0f, red ? 0.0f : 1.0f});
            }
        }
        QVERIFY(writeRadianceHdr(sky, image, 1.0f, nullptr));
        const QStringList common = {"--size", "160x120", "--environment", sky,
                                    "--environment-turn", turn, sphere};
        const QString preview = dir.filePath("environment-view.png");
        Run run = kelvane(QStringList({"--preview", preview}) + common);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QImage view(preview);
        for (const QString& quality : {QStringLiteral("draft"), QStringLiteral("photo")}) {
            const QString picture = dir.filePath("environment-" + quality + ".png");
            run = kelvane(QStringList({"--render", picture, "--quality", quality}) + common);
            QVERIFY2(run.status == 0, qPrintable(run.err));
            const QImage render(picture);
            for (const QImage& shown : {render, view}) {
                const QPoint centre(shown.width() / 2, shown.height() / 2);
                const std::array<double, 3> red = meanColour(shown, centre + 30 * redSide);
                const std::array<double, 3> blue = meanColour(shown, centre - 30 * redSide);
                const QString seen = QStringLiteral("%1: red side %2,%3,%4, blue side %5,%6,%7")
                                         .arg(&shown == &view ? "view" : quality)
                                         .arg(red[0]).arg(red[1]).arg(red[2])
                                         .arg(blue[0]).arg(blue[1]).arg(blue[2]);
                QVERIFY2(red[0] > red[2] + 40.0 && blue[2] > blue[0] + 40.0, qPrintable(seen));
            }
            const double ratio = discGrey(render, 40) / discGrey(view, 40);
            QVERIFY2(ratio >= 0.8 && ratio <= 1.25,
                     qPrintable(QStringLiteral("%1 render / view brightness %2").arg(quality).arg(ratio)));
        }
    }

    // An environment image that is missing, not an image, or absurdly large
    // is refused with its reason, before anything is written.
    void environmentRefused()
    {
        const QString garbage = dir.filePath("garbage.hdr"), huge = dir.filePath("huge.hdr");
        QFile g(garbage);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("not a picture at all\n");
        g.close();
        QFile h(huge);
        QVERIFY(h.open(QIODevice::WriteOnly));
        h.write("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 100000 +X 200000\n");
        h.close();
        const std::vector<std::pair<QString, QString>> cases = {
            {dir.filePath("missing.hdr"), "there is no such file"},
            {garbage, "it is neither a Radiance .hdr nor an OpenEXR .exr image"},
            {huge, "it is 200000 x 100000 pixels; panoramas of at most 16384 x 8192 are read"},
            {dir.path(), "it is a folder, not an image"}};
        for (const auto& [file, reason] : cases) {
            const QString pov = dir.filePath("refused.pov");
            const Run run = kelvane({"--pov", pov, "--environment", file, torus});
            QCOMPARE(run.status, 1);
            QVERIFY2(run.err.contains(
                         QStringLiteral("kelvane: cannot read the environment image '%1': %2")
                             .arg(file, reason)),
                     qPrintable(run.err));
            QVERIFY(!QFileInfo::exists(pov));
        }
    }

    // The studio's backdrop fills the picture behind the model, from above
    // and from a camera near the floor looking across it at the wall: no
    // horizon line, no black, the top rows smooth.
    void studioHasNoHorizon_data()
    {
        QTest::addColumn<QString>("quality");
        QTest::newRow("draft") << "draft";
        QTest::newRow("photo") << "photo";
    }
    void studioHasNoHorizon()
    {
        QFETCH(QString, quality);
        const QString sphere = dir.filePath("studio-sphere.off");
        QVERIFY(writeSphereOff(sphere, 3));
        // Level, a little above the floor, looking along +y at the wall.
        const QString document = dir.filePath("studio.kelvane");
        QFile d(document);
        QVERIFY(d.open(QIODevice::WriteOnly));
        d.write("{\"version\": 2, \"lighting\": \"indoor\", \"studio\": {\"colour\": \"#ebebeb\"},"
                " \"files\": [{\"path\": \"studio-sphere.off\", \"models\": [{}]}],"
                " \"camera\": {\"position\": [0, -4.5, 0.2],"
                " \"orientation\": [0.7071068, 0, 0, 0.7071068], \"fieldOfView\": 0.785398}}");
        d.close();
        for (const QStringList& scene :
             {QStringList({"--studio", sphere}), QStringList({document})}) {
            const QString picture = dir.filePath("studio-" + quality + ".png");
            const Run run = kelvane(QStringList({"--render", picture, "--size", "160x120",
                                                 "--quality", quality}) +
                                    scene);
            QVERIFY2(run.status == 0, qPrintable(run.err));
            const QImage image(picture);
            // The backdrop is all round the picture's edge.
            for (int x = 0; x < image.width(); ++x) {
                for (int y : {0, image.height() - 1}) {
                    QVERIFY2(qGray(image.pixel(x, y)) > 100, qPrintable(QString::number(x)));
                }
            }
            if (scene[0] == "--studio") {
                continue; // seen from above, the shadows reach the edge
            }
            // The view shows the backdrop as the render does (all of it,
            // however far it reaches): the pictures agree in brightness.
            const QString preview = dir.filePath("studio-view.png");
            const Run view = kelvane(QStringList({"--preview", preview, "--size", "160x120"}) + scene);
            QVERIFY2(view.status == 0, qPrintable(view.err));
            auto brightness = [](const QImage& picture) {
                double sum = 0.0;
                for (int y = 0; y < picture.height(); ++y) {
                    for (int x = 0; x < picture.width(); ++x) {
                        sum += qGray(picture.pixel(x, y));
                    }
                }
                return sum;
            };
            const double ratio = brightness(image) / brightness(QImage(preview));
            QVERIFY2(ratio >= 0.8 && ratio <= 1.25,
                     qPrintable(QStringLiteral("render / view brightness %1").arg(ratio)));
            // Across the wall: the top quarter shows no step between
            // neighbouring rows.
            for (int y = 1; y < image.height() / 4; ++y) {
                for (int x = 0; x < image.width(); x += 4) {
                    const int step =
                        std::abs(qGray(image.pixel(x, y)) - qGray(image.pixel(x, y - 1)));
                    QVERIFY2(step <= 3,
                             qPrintable(QStringLiteral("step %1 at %2,%3").arg(step).arg(x).arg(y)));
                }
            }
        }
    }

    void badOptions()
    {
        for (const QStringList& bad :
             {QStringList({"--quality", "best"}), QStringList({"--quality"}),
              QStringList({"--background", "colour"}), QStringList({"--background", "#12345"})}) {
            const Run run =
                kelvane(QStringList({"--pov", dir.filePath("x.pov")}) + bad + QStringList({boxes}));
            QCOMPARE(run.status, 2);
            QVERIFY2(run.err.contains("kelvane: " + bad[0] + " takes"), qPrintable(run.err));
        }
    }

    // The dialog's choices reach the settings and the view: the view clears
    // to the chosen colour.
    void settingsDialogAndView()
    {
        MainWindow window;
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.on_actionRender_Settings_triggered();
        RenderSettingsDialog* dialog = inside(window).renderSettingsDialog;
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->qualityBox->currentIndex(), 0);
        QCOMPARE(dialog->backgroundBox->currentIndex(), 0);
        QVERIFY(!dialog->backgroundColourButton->isEnabled());
        dialog->qualityBox->setCurrentIndex(1);
        QVERIFY(!dialog->antialiasBox->isEnabled());
        dialog->backgroundBox->setCurrentIndex(1);
        QVERIFY(dialog->backgroundColourButton->isEnabled());
        dialog->backgroundColour = QColor(200, 120, 40);
        dialog->accept();
        QCOMPARE(inside(window).renderSettings.quality, PovQuality::Photo);
        QCOMPARE(inside(window).renderSettings.background, PovBackgroundKind::Colour);
        QCOMPARE(inside(window).renderSettings.backgroundColour, QColor(200, 120, 40));
        QVERIFY(inside(window).viewer->srgbColours);
        const QImage shown = inside(window).viewer->grabFramebuffer();
        QVERIFY2(closeColours(shown.pixel(2, 2), qRgb(200, 120, 40), 1),
                 qPrintable(QColor(shown.pixel(2, 2)).name()));

        window.on_actionRender_Settings_triggered();
        QCOMPARE(dialog->qualityBox->currentIndex(), 1);
        dialog->backgroundBox->setCurrentIndex(2);
        dialog->accept();
        QCOMPARE(inside(window).viewer->background, PovRenderSettings::skyHorizon());
        dialog->close();
    }

    // From the window: a Photo render with a transparent background shows
    // its progress, leaves a PNG with alpha and shows it over the
    // checkerboard.
    void photoRenderFromTheWindow()
    {
        SKIP_WITHOUT_POVRAY();
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        MainWindow window;
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.loadScene(boxes);
        inside(window).renderSettings.useViewSize = false;
        inside(window).renderSettings.size = QSize(120, 90);
        inside(window).renderSettings.quality = PovQuality::Photo;
        inside(window).renderSettings.background = PovBackgroundKind::Transparent;
        QStringList stages;
        QList<QPair<int, int>> percentages; // reported, shown in the status bar
        connect(&inside(window).renderThread, &PovRenderThread::progressChanged, this,
                [&](const PovProgress& p) {
                    stages << p.text();
                    if (p.percent >= 0) {
                        percentages << qMakePair(p.percent, inside(window).renderProgressBar->value());
                    }
                });
        QSignalSpy finished(&inside(window).renderThread, &QThread::finished);
        inside(window).ui.actionRender_Full_Size->trigger();
        QFile ini(workFile(window, "POVRAY.INI"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), QByteArray("+W120 +H90\n+A0.3\n"));
        QVERIFY(finished.wait(60000));
        QTRY_VERIFY(inside(window).outputWindow->isVisible());
        QCOMPARE(inside(window).outputWindow->windowTitle(), QString("tempscene.png (120 x 90)"));
        QVERIFY(inside(window).outputWindow->image.hasAlphaChannel());
        QCOMPARE(qAlpha(inside(window).outputWindow->image.pixel(1, 1)), 0);
        const QPixmap shown = inside(window).outputWindow->ui.imageSpace->pixmap(Qt::ReturnByValue);
        QVERIFY(!shown.toImage().hasAlphaChannel());
        QVERIFY(stages.filter("Rendering").size() > 0);
        QVERIFY(!percentages.isEmpty());
        for (const QPair<int, int>& p : percentages) {
            QCOMPARE(p.second, p.first);
        }
        QDir::setCurrent(previous);
    }

    // A picture with alpha shows over a checkerboard; the saved picture
    // keeps its alpha.
    void outputWindowCheckerboard()
    {
        QImage clear(32, 16, QImage::Format_ARGB32);
        clear.fill(Qt::transparent);
        clear.setPixel(20, 4, qRgba(255, 0, 0, 255));
        const QImage shown = OutputWindow::shownImage(clear);
        QVERIFY(!shown.hasAlphaChannel());
        QVERIFY(shown.pixel(0, 0) != shown.pixel(8, 0));
        QCOMPARE(shown.pixel(0, 0), shown.pixel(8, 8));
        QCOMPARE(shown.pixel(20, 4), qRgb(255, 0, 0));
        QImage opaque(4, 4, QImage::Format_RGB32);
        opaque.fill(Qt::blue);
        QCOMPARE(OutputWindow::shownImage(opaque), opaque);

        QImageWriter writer(dir.filePath("clear.png"));
        QVERIFY(writer.write(clear));
        OutputWindow window;
        window.loadImage(dir.filePath("clear.png"));
        QVERIFY(window.image.hasAlphaChannel());
        QString name = dir.filePath("saved.png"), error;
        QVERIFY2(window.saveImage(name, error), qPrintable(error));
        QCOMPARE(qAlpha(QImage(name).pixel(0, 0)), 0);
    }
};

QTEST_MAIN(TestRenderQuality)
#include "tst_RenderQuality.moc"
