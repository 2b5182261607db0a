// Loading under memory pressure: a model too large for the memory left is
// refused like any other unusable file, and the process goes on. The guard
// sits at the one place every reader is called from, so the readers need
// not each watch their allocations; what a reader had built is released as
// the exception unwinds, and the scene is emptied.

#include "scene/PovScene.h"
#include "scene/PovSceneDocument.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <cmath>
#include <new>
#include <stdexcept>

namespace {

// The memory a loaded model takes for each byte of its file, measured on a
// binary PLY mesh (the densest of the formats read; text takes less): the
// mesh, its neighbours, normals and curvatures, and the model over it.
constexpr double bytesPerFileByte = 8.0;

} // namespace

QString PovScene::memoryError(const QString& fileName)
{
    const double needed = double(QFileInfo(fileName).size()) * bytesPerFileByte;
    const long long megabytes = std::max(1LL, (long long)std::ceil(needed / (1024.0 * 1024.0)));
    return QStringLiteral("not enough memory to open %1 (needs about %2 MB)")
        .arg(fileName)
        .arg(megabytes);
}

bool PovScene::load(const char* fileName, qglviewer::Camera* camera)
{
    outOfMemory = false;
    try {
        return readModels(fileName, camera);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    } catch (const std::length_error&) {
        // A container asked to grow beyond what it can hold.
        outOfMemory = true;
    }
    clear();
    lastError = memoryError(QFile::decodeName(fileName));
    return false;
}

bool PovSceneDocument::open(const QString& documentFile, PovScene& scene, qglviewer::Camera* camera)
{
    // The model's own load is guarded; this covers the document's text
    // and the subdivisions it asks for.
    try {
        return read(documentFile, scene, camera);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    scene.clear();
    lastError = PovScene::memoryError(model.isEmpty() ? documentFile : model);
    return false;
}
