// libFuzzer target: the scene document reader on arbitrary bytes must never
// crash, hang or touch memory out of bounds, and every refusal carries a
// reason. The document is opened from a folder that also holds the sample
// models, so documents naming them (as the seeds do) reach the model load
// and everything applied after it: materials, subdivision, lights, camera.

#include "scene/PovScene.h"
#include "scene/PovSceneDocument.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <QGLViewer/camera.h>

#include <cstdint>
#include <cstdlib>

namespace {

QTemporaryDir* folder = nullptr;

void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(dropMessages);
    folder = new QTemporaryDir;
    if (!folder->isValid()) {
        std::abort();
    }
    const QDir samples(QStringLiteral(KELVANE_SAMPLES_DIR));
    for (const QString& name : samples.entryList(QDir::Files)) {
        if (!name.endsWith(QLatin1String(".kelvane"))) {
            QFile::copy(samples.filePath(name), folder->filePath(name));
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name = folder->filePath(QStringLiteral("fuzzed.kelvane"));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        std::abort();
    }
    file.close();
    PovScene scene;
    qglviewer::Camera camera;
    PovSceneDocument document;
    if (!document.open(name, scene, &camera)) {
        if (document.error().isEmpty()) {
            std::abort(); // every failure carries a reason
        }
    } else {
        // What the window does with an opened scene: write it for POV-Ray
        // and as a document again.
        (void)scene.povText(&camera);
        (void)PovSceneDocument::toJson(scene, &camera, document.view(), document.modelFile(),
                                       name);
    }
    scene.clear();
    return 0;
}
