// The importers behind the registry: a glTF made by hand (two nodes
// instancing one mesh, one turned and scaled, +y up) against positions
// worked out by hand; the same asset as .gltf and .glb giving the same
// scene text; damaged glTF files refused with their reasons; and the
// shared real files (glTF, 3MF, FBX, OBJ with materials) and the samples
// loading with the triangle counts their notes give, which the program's
// kelvane --info --json reports too.

#include "scene/ImportGltf.h"
#include "tests/support/SharedData.h"
#include "scene/PovImporter.h"
#include "scene/PovScene.h"
#include "tests/support/RunProgram.h"

#include <QGLViewer/camera.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

// One triangle (0,0,0) (1,0,0) (0,1,0), as 36 bytes of floats, then three
// unsigned short indices and two bytes of padding.
QByteArray triangleBuffer()
{
    const float p[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const unsigned short i[4] = {0, 1, 2, 0};
    QByteArray b(reinterpret_cast<const char*>(p), sizeof p);
    b.append(reinterpret_cast<const char*>(i), sizeof i);
    return b;
}

// Node 0 moves the mesh by (5, 0, 0); node 1 turns it a quarter about +y
// (quaternion (0, sin 45°, 0, cos 45°)) and scales it by 2.
QByteArray triangleJson(const QString& bufferUri, int positionCount = 3, int byteLength = 44)
{
    const QString uri = bufferUri.isEmpty() ? QString() : QString(",\"uri\":\"%1\"").arg(bufferUri);
    return QString(R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1]}],
"nodes":[{"mesh":0,"translation":[5,0,0]},
         {"mesh":0,"rotation":[0,0.7071067811865476,0,0.7071067811865476],"scale":[2,2,2]}],
"meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1,"material":0}]}],
"materials":[{"pbrMetallicRoughness":{"baseColorFactor":[0.25,0.5,0.75,1]}}],
"buffers":[{"byteLength":%1%2}],
"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":6}],
"accessors":[{"bufferView":0,"componentType":5126,"count":%3,"type":"VEC3"},
             {"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"}]})")
        .arg(byteLength)
        .arg(uri)
        .arg(positionCount)
        .toUtf8();
}

QByteArray glb(QByteArray json, const QByteArray& bin)
{
    while (json.size() % 4)
        json.append(' ');
    QByteArray out("glTF");
    auto u32 = [&out](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
    u32(2);
    u32(uint32_t(12 + 8 + json.size() + 8 + bin.size()));
    u32(uint32_t(json.size()));
    out.append("JSON");
    out.append(json);
    u32(uint32_t(bin.size()));
    out.append("BIN\0", 4);
    out.append(bin);
    return out;
}

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName();
}

QString dataUri(const QByteArray& bytes)
{
    return "data:application/octet-stream;base64," + QString::fromLatin1(bytes.toBase64());
}

void expectNear(const vec& a, const vec& b)
{
    for (int k = 0; k < 3; ++k)
        QVERIFY2(std::fabs(a[k] - b[k]) < 1e-5f,
                 qPrintable(QString("(%1 %2 %3) vs (%4 %5 %6)")
                                .arg(a[0]).arg(a[1]).arg(a[2]).arg(b[0]).arg(b[1]).arg(b[2])));
}

long long sceneTriangles(PovScene& scene)
{
    return scene.triangleCount() - 2; // without the ground
}

} // namespace

class TestPovImporters : public QObject {
    Q_OBJECT

private slots:
    void handMadeGltf()
    {
        QTemporaryDir dir;
        const QString file = write(dir, "two.gltf", triangleJson(dataUri(triangleBuffer())));
        ImportedScene scene;
        readGltf(file.toStdString(), scene);
        QCOMPARE(QString::fromStdString(scene.reason), QString());
        QCOMPARE(int(scene.meshes.size()), 2);
        // Node 0: moved by x + 5, then y up becomes z up: (x, y, z) -> (x, -z, y).
        expectNear(scene.meshes[0].positions[0], vec(5, 0, 0));
        expectNear(scene.meshes[0].positions[1], vec(6, 0, 0));
        expectNear(scene.meshes[0].positions[2], vec(5, 0, 1));
        // Node 1: scaled by 2, a quarter turn about +y takes +x to -z and
        // keeps +y; then the turn to z up: (1,0,0) -> (0,0,-2) -> (0,2,0);
        // (0,1,0) -> (0,2,0) -> (0,0,2).
        expectNear(scene.meshes[1].positions[0], vec(0, 0, 0));
        expectNear(scene.meshes[1].positions[1], vec(0, 2, 0));
        expectNear(scene.meshes[1].positions[2], vec(0, 0, 2));
        QVERIFY(scene.meshes[0].colourKnown);
        expectNear(scene.meshes[0].colour, vec(0.25f, 0.5f, 0.75f));

        // The same asset as one .glb gives the same scene text.
        const QString binary = write(dir, "two.glb", glb(triangleJson(QString()), triangleBuffer()));
        qglviewer::Camera camera;
        PovScene a, b;
        a.fileColours = b.fileColours = true;
        QVERIFY(a.load(file.toLocal8Bit().constData(), &camera));
        QVERIFY(b.load(binary.toLocal8Bit().constData(), &camera));
        QCOMPARE(a.modelCount(), 3);
        QCOMPARE(a.povText(&camera), b.povText(&camera));
    }

    void damagedGltfRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("reason");
        const QByteArray whole = glb(triangleJson(QString()), triangleBuffer());
        QTest::newRow("truncated glb") << whole.left(whole.size() - 10) << "glb"
                                       << "the glTF file cannot be read";
        QTest::newRow("buffer missing") << triangleJson("gone.bin") << "gltf"
                                        << "the glTF file cannot be read";
        QTest::newRow("accessor past its buffer")
            << triangleJson(dataUri(triangleBuffer()), 4) << "gltf"
            << "glTF accessor 0 reaches past the end of its buffer";
        QTest::newRow("huge count") << triangleJson(dataUri(triangleBuffer()), 2000000000) << "gltf"
                                    << "glTF accessor 0 announces 2000000000 elements";
        QTest::newRow("not json") << QByteArray("{\"asset\":") << "gltf"
                                  << "the glTF file cannot be read";
    }

    void damagedGltfRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, suffix);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString file = write(dir, "bad." + suffix, bytes);
        PovScene scene;
        qglviewer::Camera camera;
        QVERIFY(!scene.load(file.toLocal8Bit().constData(), &camera));
        QVERIFY2(scene.loadError().startsWith(reason), qPrintable(scene.loadError()));
    }

    void registryPicksByName()
    {
        // The names the older readers take still go to them.
        QCOMPARE(PovImporters::forFile("a.npr")->formatName(), QString("NPR models"));
        QCOMPARE(PovImporters::forFile("a.off.gltf")->formatName(), QString("Meshes"));
        QCOMPARE(PovImporters::forFile("x.DAE")->formatName(), QString("COLLADA and KMZ"));
        QCOMPARE(PovImporters::forFile("part.STL")->formatName(), QString("Meshes"));
        QCOMPARE(PovImporters::forFile("old.3DS")->formatName(), QString("Meshes"));
        QCOMPARE(PovImporters::forFile("a.GLB")->formatName(), QString("glTF 2.0"));
        QCOMPARE(PovImporters::forFile("a.3mf")->formatName(), QString("3MF"));
        QCOMPARE(PovImporters::forFile("a.fbx")->formatName(), QString("Other formats (Assimp)"));
        QVERIFY(!PovImporters::forFile("scene.NPR"));
        QVERIFY(!PovImporters::forFile("notes.txt"));
    }

    void sharedRealFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("colours");
        QTest::addColumn<int>("triangles"); // -1: refused
        QTest::addColumn<int>("models");
        // glTF: triangles times node instances reachable from the scene.
        QTest::newRow("Duck") << "gltf/draco/Duck/glTF/Duck.gltf" << false << 4212 << 1;
        QTest::newRow("BoxTextured glb") << "gltf/assimp/BoxTextured-glTF-Binary/BoxTextured.glb"
                                         << false << 12 << 1;
        QTest::newRow("BoxTextured embedded")
            << "gltf/assimp/BoxTextured-glTF-Embedded/BoxTextured.gltf" << false << 12 << 1;
        QTest::newRow("CesiumMilkTruck") << "gltf/python-trimesh/CesiumMilkTruck.glb" << false
                                         << 3624 << 5;
        QTest::newRow("shared mesh") << "gltf/blender-io/02_shared_mesh/02_shared_mesh.gltf"
                                     << false << 24 << 2;
        QTest::newRow("without indices")
            << "gltf/gltf-pipeline/triangle-without-indices/triangle-without-indices.gltf" << false
            << 1 << 1;
        QTest::newRow("missing bin") << "gltf/assimp/MissingBin/BoxTextured.gltf" << false << -1
                                     << 0;
        QTest::newRow("index out of range") << "gltf/assimp/IndexOutOfRange/IndexOutOfRange.gltf"
                                            << false << -1 << 0;
        QTest::newRow("recursive nodes") << "gltf/assimp/RecursiveNodes/RecursiveNodes.gltf"
                                         << false << -1 << 0;
        QTest::newRow("truncated glb") << "gltf/gltf-validator/glb/truncated_chunk_data.glb"
                                       << false << -1 << 0;
        // 3MF: triangles the build places, components expanded; several
        // of these crash Assimp itself.
        QTest::newRow("box.3mf") << "3mf/3mf-samples/core/box.3mf" << false << 12 << 1;
        QTest::newRow("cylinders") << "3mf/3mf-samples/core/multiple_cylinders.3mf" << false << 528
                                   << 6;
        QTest::newRow("wagon") << "3mf/lib3mf/BuildItems/WagonWithWheels.3mf" << false << 376 << 6;
        QTest::newRow("moon") << "3mf/numpy-stl/Moon.3mf" << false << 184 << 2;
        QTest::newRow("fuzzed 3mf") << "3mf/lib3mf/Reader/DOS-FUZ-LIB3MF.3mf" << false << -1 << 0;
        QTest::newRow("bad namespace 3mf") << "3mf/3mf-samples/material/multiprop-metallic.3mf"
                                           << false << -1 << 0;
        // FBX through Assimp (quads cut into triangles).
        QTest::newRow("blender fbx") << "fbx/magnum-plugins/blender-default.fbx" << false << 12
                                     << 1;
        QTest::newRow("compressed fbx") << "fbx/assimp/boxWithCompressedCTypeArray.FBX" << false
                                        << 12 << 1;
        QTest::newRow("broken fbx") << "fbx/assimp/transparentTest.fbx" << false << -1 << 0;
        // OBJ with materials: one model per material with Colours from File.
        QTest::newRow("cornell plain") << "obj-mtl/tinyobjloader/cornell_box.obj" << false << 36
                                       << 1;
        // Five materials, but "blue" (the front wall) has no faces.
        QTest::newRow("cornell colours") << "obj-mtl/tinyobjloader/cornell_box.obj" << true << 36
                                         << 4;
        QTest::newRow("no library") << "obj-mtl/tinyobjloader/missing_material_file.obj" << true
                                    << 36 << 1;
        // The samples, from the source tree.
        QTest::newRow("boxes sample") << "samples:boxes.npr" << false << 48 << 1;
        QTest::newRow("torus sample") << "samples:torus.off" << false << 2304 << 1;
    }

    void sharedRealFiles()
    {
        QFETCH(QString, file);
        QFETCH(bool, colours);
        QFETCH(int, triangles);
        QFETCH(int, models);
        const QString path = file.startsWith("samples:")
                                 ? QString(KELVANE_SOURCE_DIR "/samples/") + file.mid(8)
                                 : QString(KELVANE_SHARED_DATA) + "/" + file;
        if (!QFileInfo::exists(path))
            QSKIP("../shared/data is absent");
        // The program's facts, as JSON; a refused file fails as --pov fails.
        QStringList arguments = {"--info", "--json", path};
        if (colours)
            arguments.prepend("--file-colours");
        const Run info = runProgram(KELVANE_EXE, arguments);
        QCOMPARE(info.status, triangles < 0 ? 1 : 0);
        if (triangles >= 0) {
            QJsonParseError error;
            const QJsonObject facts = QJsonDocument::fromJson(info.out.toUtf8(), &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
            QCOMPARE(facts["schema"].toString(), QString("kelvane-info"));
            QCOMPARE(facts["version"].toInt(), 1);
            QCOMPARE(facts["triangles"].toInt(), triangles);
            const QJsonArray list = facts["models"].toArray();
            QCOMPARE(list.size(), models);
            int sum = 0;
            for (const QJsonValue& model : list) {
                sum += model["triangles"].toInt();
                QVERIFY(model["vertices"].toInt() >= 3);
                const QJsonArray low = model["bounds"]["min"].toArray();
                const QJsonArray high = facts["bounds"]["max"].toArray();
                for (int k = 0; k < 3; ++k)
                    QVERIFY(low[k].toDouble() <= high[k].toDouble());
            }
            QCOMPARE(sum, triangles);
            QVERIFY(facts["camera"]["fieldOfView"].toDouble() > 0.0);
        } else {
            QVERIFY2(info.err.contains("kelvane: cannot read '" + path + "': "), qPrintable(info.err));
        }
        PovScene scene;
        scene.fileColours = colours;
        qglviewer::Camera camera;
        const bool loaded = scene.load(path.toLocal8Bit().constData(), &camera);
        if (triangles < 0) {
            QVERIFY(!loaded);
            QVERIFY(!scene.loadError().isEmpty());
            return;
        }
        QVERIFY2(loaded, qPrintable(scene.loadError()));
        QCOMPARE(sceneTriangles(scene), (long long)triangles);
        QCOMPARE(scene.modelCount() - 1, models);
    }
};

KELVANE_TEST_MAIN(TestPovImporters)
#include "tst_PovImporters.moc"
