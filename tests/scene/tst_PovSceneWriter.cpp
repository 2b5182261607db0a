#include "ln/LnBoxyModel.h"
#include "scene/PovNumber.h"
#include "scene/PovScene.h"
#include "tests/support/GoldenFile.h"
#include "tests/support/PovrayChildren.h"

#include <QGLViewer/camera.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>

#include <sys/resource.h>

namespace {

// A model of the given triangles (no display lists without a GL context).
LnModel* model(const std::vector<vec>& corners, bool withNormals = false)
{
    LnBoxyMesh* mesh = new LnBoxyMesh;
    mesh->vertices = corners;
    mesh->hasNormals = withNormals;
    if (withNormals) {
        mesh->normals = {vec(0, 0, 1)};
    }
    for (size_t i = 0; i + 2 < corners.size(); i += 3) {
        LnFace f;
        f.a = uint32_t(i);
        f.b = uint32_t(i + 1);
        f.c = uint32_t(i + 2);
        mesh->faces.push_back(f);
    }
    return new LnBoxyModel(mesh);
}

// A scene of the ground and the given models, with one white light of
// intensity 1 at (0, 0, 5).
void fill(PovScene& scene, std::vector<LnModel*> models)
{
    scene.models.push_back(model({vec(-1, -1, -1), vec(1, -1, -1), vec(1, 1, -1)}));
    for (LnModel* m : models) {
        scene.models.push_back(m);
    }
    scene.resizeTextures(scene.modelCount());
    scene.radius = 2.0f;
    scene.groundZ = -2.0f;
    PovLight light;
    light.position = vec(0, 0, 5);
    scene.lights = {light};
}

// Compares the scene text with the golden file tests/data/pov/<name>.
#define COMPARE_GOLDEN(text, name)                                                                 \
    do {                                                                                           \
        const QString difference =                                                                 \
            goldenDifference((text).toLatin1(), QFINDTESTDATA("../data/pov/" name));               \
        QVERIFY2(difference.isEmpty(), qPrintable(difference));                                    \
    } while (false)

QString section(const QString& text, const QString& from, const QString& to)
{
    const int start = text.indexOf(from);
    return start < 0 ? QString() : text.mid(start, text.indexOf(to, start) + to.size() - start);
}

} // namespace

class TestPovSceneWriter : public QObject {
    Q_OBJECT
    qglviewer::Camera camera;

private slots:
    void init()
    {
        camera.setScreenWidthAndHeight(800, 600);
        camera.setFieldOfView(M_PI / 4.0);
        camera.setPosition(qglviewer::Vec(0, 0, 0));
        camera.setOrientation(qglviewer::Quaternion());
    }

    void headerCameraLightsAndAmbient()
    {
        PovScene scene;
        fill(scene, {});
        const QString text = scene.povText(&camera);
        // The library's default camera sees 45 degrees vertically; at 800 x
        // 600 that is 2 atan(tan(22.5 deg) * 4 / 3) = 1.0091975 radians
        // across, written in degrees with pi taken as 3.14159.
        QVERIFY(text.startsWith("#include \"colors.inc\"\n#include \"woods.inc\"\n"
                                "#include \"stones.inc\"\n\n"
                                "camera {\n\tlocation <0, 0, 0>\n\tdirection <0, 0, -1>\n"
                                "\tup <0, 1, 0>\n\tright <1.333333, 0, 0,>\n\tangle 57.8225"
                                "\n\tlocation <0,0,0>\n\tsky <0,1,0>\n\tlook_at <0,0,-1>\n}\n"
                                "\nlight_source { \n\t<0.000000, 0.000000, 50000.000000>\n"
                                "\tcolor rgb <1.000000,1.000000,1.000000>\n}\n\n"
                                "global_settings {\n\tambient_light rgb <1, 1, 1>\n}\n"));
        QVERIFY(!text.contains('\r'));
        QCOMPARE(&scene.povText(&camera), &scene.text);

        // A square view with a right angle vertically: 90 degrees across,
        // and pi as 3.14159 shows in the sixth digit.
        camera.setScreenWidthAndHeight(600, 600);
        camera.setFieldOfView(M_PI / 2.0);
        QVERIFY(scene.povText(&camera).contains("\tright <1.000000, 0, 0,>\n\tangle 90.0001\n"));
    }

    void movedCamera()
    {
        PovScene scene;
        fill(scene, {});
        camera.setPosition(qglviewer::Vec(1, 2, 3));
        // Half a turn about z (an exact quaternion): still looking down -z,
        // now with -y up.
        camera.setOrientation(qglviewer::Quaternion(0, 0, 1, 0));
        const QString text = scene.povText(&camera);
        QVERIFY2(text.contains("\tlocation <1,2,3>\n\tsky <0,-1,0>\n\tlook_at <1,2,2>\n"),
                 qPrintable(section(text, "camera", "}")));
    }

    void ambientIsThePlainAverage()
    {
        PovScene scene;
        fill(scene, {});
        PovLight red, blue;
        red.color = vec(1, 0, 0);
        red.intensity = 0.3f;
        blue.color = vec(0, 0, 1);
        blue.intensity = 2.0f;
        scene.lights = {red, blue};
        const QString text = scene.povText(&camera);
        QVERIFY(text.contains("global_settings {\n\tambient_light rgb <0.5, 0, 0.5>\n}\n"));
        QVERIFY(text.contains("\tcolor rgb <0.300000,0.000000,0.000000>\n"));
        QVERIFY(text.contains("\tcolor rgb <0.000000,0.000000,2.000000>\n"));

        scene.lights.clear();
        QVERIFY(scene.povText(&camera).contains("ambient_light rgb <0, 0, 0>\n"));
    }

    void texturesGroundAndMeshes()
    {
        PovScene scene;
        fill(scene, {model({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, true), model({})});
        scene.models[1]->getMesh()->setFlat(false);
        // Ground hidden: TEXTURE1 onward, no plane; a blank line after each
        // declaration; smooth triangles; the empty model left out.
        COMPARE_GOLDEN(scene.povText(&camera), "ground_hidden.pov");

        // Ground shown: TEXTURE0 and the plane; flat triangles; a named
        // texture scaled by the scene's radius.
        scene.groundVisible = true;
        scene.models[1]->getMesh()->setFlat(true);
        scene.textures[2].name = "T_Stone34";
        COMPARE_GOLDEN(scene.povText(&camera), "ground_shown.pov");
    }

    void loadedSceneIndoors()
    {
        // A real file through the loader, the indoor preset, the ground shown
        // and a camera placed off the axes.
        PovScene scene;
        QVERIFY(
            scene.load(QFINDTESTDATA("../data/npr/cube.npr").toLocal8Bit().constData(), nullptr));
        scene.setIndoorLighting();
        scene.groundVisible = true;
        camera.setScreenWidthAndHeight(640, 480);
        camera.setPosition(qglviewer::Vec(4, -3, 2));
        camera.lookAt(qglviewer::Vec(0, 0, 0));
        COMPARE_GOLDEN(scene.povText(&camera), "cube_indoor.pov");
        QTemporaryDir dir;
        QVERIFY(scene.writePovFile(&camera, dir.filePath("cube.pov")));
        QFile file(dir.filePath("cube.pov"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), scene.text.toLatin1());
    }

    void meshesPovRayWouldRefuseAreLeftOut()
    {
        // POV-Ray drops triangles of zero area as it reads them (here after
        // the rounding of the six-decimal text too) and refuses a mesh left
        // empty; it cannot read NaN or infinity at all.
        const float nan = std::nanf("");
        const float inf = INFINITY;
        PovScene scene;
        fill(scene, {model({vec(0, 0, 0), vec(1, 1, 1), vec(2, 2, 2)}),
                     model({vec(0, 0, 0), vec(1e-7f, 0, 0), vec(0, 1e-7f, 0)}),
                     model({vec(nan, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(0, 0, 0), vec(1, 0, 0),
                            vec(0, inf, 0), vec(0, 0, 0), vec(3, 0, 0), vec(0, 3, 0)}),
                     model({})});
        scene.models[3]->getMesh()->setFlat(false);
        const QString text = scene.povText(&camera);
        QCOMPARE(text.count("mesh {"), 1);
        QCOMPARE(text.count("triangle {"), 1);
        QVERIFY(
            text.contains("\t\t<3.000000, 0.000000, 0.000000>, <0.000000, 0.000000, 1.000000>,\n"));
        QVERIFY(!text.contains("nan") && !text.contains("inf"));
        QVERIFY(text.contains("texture { TEXTURE3 }"));

        // The real POV-Ray parses and renders what is left.
        SKIP_WITHOUT_POVRAY();
        QTemporaryDir dir;
        const QString pov = dir.filePath("scene.pov");
        scene.writePovFile(&camera, pov);
        QProcess povray;
        povray.setWorkingDirectory(dir.path());
        povray.start("povray", {"-D", "+W8", "+H6", "+I" + pov, "+O" + dir.filePath("scene.png")});
        QVERIFY(povray.waitForFinished(60000));
        QVERIFY2(povray.exitCode() == 0, povray.readAllStandardError().right(400).constData());
    }

    void faceNormalsForMeshesWithoutNormals()
    {
        PovScene scene;
        fill(scene, {model({vec(0, 0, 0), vec(0, 2, 0), vec(0, 0, 2)})});
        QVERIFY(scene.povText(&camera).contains(
            "\t\t<0.000000, 0.000000, 0.000000>, <1.000000, 0.000000, 0.000000>,\n"));
    }

    void fileEqualsText()
    {
        // Enough triangles for the file to be written in several blocks.
        std::vector<vec> corners;
        std::mt19937 random(3);
        std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
        for (int i = 0; i < 3 * 20000; ++i) {
            corners.push_back(vec(coordinate(random), coordinate(random), coordinate(random)));
        }
        PovScene scene;
        fill(scene, {model(corners)});
        QTemporaryDir dir;
        const QString path = dir.filePath("scene.pov");
        QString error = "untouched";
        QVERIFY(scene.writePovFile(&camera, path, &error));
        QCOMPARE(error, QString("untouched"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.size() > 4 * (1 << 20));
        QCOMPARE(written, scene.povText(&camera).toLatin1());

        // A write that fails part way (at a file size limit, as on a full
        // disk) leaves the file that was there whole, and nothing beside it.
        file.close();
        PovScene other;
        fill(other, {model({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)})});
        QVERIFY(other.writePovFile(&camera, path));
        const QByteArray kept = other.povText(&camera).toLatin1();
        rlimit previous;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit limited = previous;
        limited.rlim_cur = 1 << 20;
        std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of ending the test
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const bool overLimit = scene.writePovFile(&camera, path, &error);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &previous), 0);
        std::signal(SIGXFSZ, SIG_DFL);
        QVERIFY(!overLimit);
        QVERIFY2(error.startsWith("cannot write '" + path + "': "), qPrintable(error));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), kept);
        file.close();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"scene.pov"});

        // A file that cannot be opened: the folder is a regular file (root
        // cannot write there either).
        const QString underFile = path + "/scene.pov";
        QVERIFY(!scene.writePovFile(&camera, underFile, &error));
        QCOMPARE(error, "cannot write '" + underFile + "': Not a directory");

        // A full disk: the open succeeds and the writes fail, in the blocks
        // handed over while writing and in the last one at the close.
        if (!QFile::exists("/dev/full")) {
            QSKIP("no /dev/full to provoke a full disk");
        }
        QVERIFY(!scene.writePovFile(&camera, "/dev/full", &error));
        QCOMPARE(error, QString("cannot write '/dev/full': No space left on device"));
        PovScene small;
        fill(small, {});
        error.clear();
        QVERIFY(!small.writePovFile(&camera, "/dev/full", &error));
        QCOMPARE(error, QString("cannot write '/dev/full': No space left on device"));
        QVERIFY(!small.writePovFile(&camera, "/dev/full")); // the reason is optional
    }

    void mesh2Form()
    {
        // A square of two triangles sharing an edge: each distinct corner
        // (position and normal) once, the faces by index, the texture once.
        // The corner at c has another normal in the second face, so it is
        // written twice.
        PovScene scene;
        const vec a(0, 0, 0), b(1, 0, 0), c(1, 1, 0), d(0, 1, 0);
        fill(scene, {model({a, b, c, a, c, d}, true), model({})});
        LnBoxyMesh* square = static_cast<LnBoxyMesh*>(scene.models[1]->getMesh());
        square->normals.push_back(vec(0, 0.6f, 0.8f));
        square->faces[1].nb = 1;
        const QString squareSmooth =
            "\nmesh2 {\n"
            "\tvertex_vectors {\n\t\t5,\n"
            "\t\t<0.000000, 0.000000, 0.000000>,\n"
            "\t\t<1.000000, 0.000000, 0.000000>,\n"
            "\t\t<1.000000, 1.000000, 0.000000>,\n"
            "\t\t<1.000000, 1.000000, 0.000000>,\n"
            "\t\t<0.000000, 1.000000, 0.000000>\n\t}\n"
            "\tnormal_vectors {\n\t\t5,\n"
            "\t\t<0.000000, 0.000000, 1.000000>,\n"
            "\t\t<0.000000, 0.000000, 1.000000>,\n"
            "\t\t<0.000000, 0.000000, 1.000000>,\n"
            "\t\t<0.000000, 0.600000, 0.800000>,\n"
            "\t\t<0.000000, 0.000000, 1.000000>\n\t}\n"
            "\tface_indices {\n\t\t2,\n\t\t<0, 1, 2>,\n\t\t<0, 3, 4>\n\t}\n"
            "\ttexture { TEXTURE1 }\n"
            "}\n";
        const QString squareFlat = "\nmesh2 {\n"
                                   "\tvertex_vectors {\n\t\t4,\n"
                                   "\t\t<0.000000, 0.000000, 0.000000>,\n"
                                   "\t\t<1.000000, 0.000000, 0.000000>,\n"
                                   "\t\t<1.000000, 1.000000, 0.000000>,\n"
                                   "\t\t<0.000000, 1.000000, 0.000000>\n\t}\n"
                                   "\tface_indices {\n\t\t2,\n\t\t<0, 1, 2>,\n\t\t<0, 2, 3>\n\t}\n"
                                   "\ttexture { TEXTURE1 }\n"
                                   "}\n";
        const QString triangles = scene.povText(&camera, PovMeshForm::Triangles);
        const QString mesh2 = scene.povText(&camera, PovMeshForm::Mesh2);
        // Everything before the meshes is the same; an empty model is left
        // out in either form (POV-Ray refuses a mesh without triangles).
        const QString head = triangles.left(triangles.indexOf("\nmesh {\n"));
        QCOMPARE(mesh2, head + squareSmooth);
        // Small scenes keep the triangle form by default.
        QCOMPARE(scene.povText(&camera), triangles);

        // Flat shading: positions only.
        scene.setFlatShading(1, true);
        QCOMPARE(scene.povText(&camera, PovMeshForm::Mesh2), head + squareFlat);
    }

    void meshFormChosenBySize()
    {
        // The automatic form switches above 100,000 triangles, ground
        // included; an explicit choice holds at any size.
        std::vector<vec> corners;
        for (int i = 0; i < 99999; ++i) {
            const float x = float(i % 300), y = float(i / 300);
            corners.insert(corners.end(), {vec(x, y, 0), vec(x + 1, y, 0), vec(x, y + 1, 0)});
        }
        PovScene scene;
        fill(scene, {model(corners)});
        QCOMPARE(scene.triangleCount(), autoMeshFormLimit);
        QVERIFY(scene.povText(&camera).contains("\tsmooth_triangle {\n"));
        QVERIFY(!scene.povText(&camera, PovMeshForm::Mesh2).contains("triangle {"));
        LnBoxyMesh* mesh = static_cast<LnBoxyMesh*>(scene.models[1]->getMesh());
        mesh->faces.push_back(mesh->faces.front());
        QVERIFY(scene.povText(&camera).contains("\nmesh2 {\n"));
        QVERIFY(!scene.povText(&camera).contains("triangle {"));
        QVERIFY(scene.povText(&camera, PovMeshForm::Triangles).contains("\tsmooth_triangle {\n"));

        // The file, written in blocks, is the text.
        QTemporaryDir dir;
        scene.writePovFile(&camera, dir.filePath("scene.pov"));
        QFile file(dir.filePath("scene.pov"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.size() > (1 << 20));
        QCOMPARE(written, scene.povText(&camera).toLatin1());

        for (PovMeshForm form : {PovMeshForm::Auto, PovMeshForm::Triangles, PovMeshForm::Mesh2}) {
            PovMeshForm read = PovMeshForm::Mesh2;
            QVERIFY(parseMeshForm(meshFormName(form), read));
            QCOMPARE(read, form);
        }
        PovMeshForm untouched = PovMeshForm::Mesh2;
        QVERIFY(!parseMeshForm("Mesh2", untouched) && !parseMeshForm("", untouched));
        QCOMPARE(untouched, PovMeshForm::Mesh2);
    }

    void renderSettings()
    {
        PovRenderSettings settings;
        QCOMPARE(settings.iniText(QSize(640, 480)), QByteArray("+W640 +H480\n"));
        settings.antialias = true;
        settings.antialiasThreshold = 0.25;
        settings.useViewSize = false;
        settings.size = QSize(1920, 1080);
        settings.meshForm = PovMeshForm::Triangles;
        QCOMPARE(settings.iniText(QSize(640, 480)), QByteArray("+W1920 +H1080\n+A0.25\n"));
        settings.antialiasThreshold = 0.0; // "+A0" would not parse
        QCOMPARE(settings.iniText(QSize(640, 480)), QByteArray("+W1920 +H1080\n+A0.0\n"));
        settings.antialiasThreshold = 0.25;

        // Stored and read back; missing keys keep their defaults.
        PovRenderSettings read;
        QVERIFY(PovRenderSettings::fromJson(settings.toJson(), read));
        QVERIFY(read == settings);
        read = PovRenderSettings();
        QVERIFY(PovRenderSettings::fromJson(QJsonObject{{"antialias", true}}, read));
        QVERIFY(read.antialias && read.useViewSize && read.meshForm == PovMeshForm::Auto);
        // Bad values are refused with a reason and change nothing.
        for (const QJsonObject& bad :
             {QJsonObject{{"width", 0}}, QJsonObject{{"width", "800"}},
              QJsonObject{{"height", 1e9}}, QJsonObject{{"antialiasThreshold", -1}},
              QJsonObject{{"meshForm", "strips"}}, QJsonObject{{"useViewSize", 1}}}) {
            PovRenderSettings kept = settings;
            QString error;
            QVERIFY(!PovRenderSettings::fromJson(bad, kept, &error));
            QVERIFY(kept == settings);
            QVERIFY(error.startsWith("render setting '"));
        }

        // An unwritable file says why.
        QString error;
        QVERIFY(!settings.writeIniFile("/nonexistent/POVRAY.INI", QSize(1, 1), &error));
        QVERIFY2(error.contains("/nonexistent/POVRAY.INI") && error.contains("No such file"),
                 qPrintable(error));
    }

    void iniFile()
    {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        PovScene scene;
        QVERIFY(scene.writeIniFile(640, 480));
        QVERIFY(scene.writeIniFile(320, 240)); // truncates
        QFile file("POVRAY.INI");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("+W320 +H240\n"));
        file.close();

        // A settings file that cannot be written: its name is taken by a
        // folder.
        QVERIFY(QFile::remove("POVRAY.INI"));
        QVERIFY(QDir().mkdir("POVRAY.INI"));
        QString error;
        QVERIFY(!scene.writeIniFile(640, 480, &error));
        QVERIFY2(error.startsWith("cannot write 'POVRAY.INI': "), qPrintable(error));
        QDir::setCurrent(previous);
    }

    void fixedFloatsMatchPrintf()
    {
        // Every float class: ties, tiny, subnormal, huge, negative zero,
        // and a million random bit patterns.
        std::vector<float> values = {0.0f,      -0.0f,      0.5f,        0.0000005f, -0.0000005f,
                                     1e-7f,     -1e-30f,    1e-45f,      3.4e38f,    -3.4e38f,
                                     123.4567f, 0.0000015f, 16777216.0f, 1e20f,      0.0000025f};
        std::mt19937 random(11);
        for (int i = 0; i < 1000000; ++i) {
            uint32_t bits = random();
            float f;
            std::memcpy(&f, &bits, sizeof f);
            values.push_back(f);
            values.push_back(float(int(random() % 2000001) - 1000000) / 64.0f);
        }
        char expected[512];
        std::string actual;
        for (float v : values) {
            std::snprintf(expected, sizeof expected, "%f", double(v));
            actual.clear();
            appendFixed(actual, v);
            if (actual != expected) {
                QFAIL(qPrintable(QString("%1 printed as %2").arg(expected, actual.c_str())));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestPovSceneWriter)
#include "tst_PovSceneWriter.moc"
