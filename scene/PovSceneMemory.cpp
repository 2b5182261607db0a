// Loading under memory pressure. A file whose models would need more memory
// than is left is refused before it is read, saying how much it needs; a
// model that still runs out while it loads is refused the same way, and the
// process goes on. The guard sits at the one place every reader is called
// from, so the readers need not each watch their allocations; what a reader
// had built is released as the exception unwinds, and the scene is emptied.

#include "scene/PovScene.h"
#include "scene/PovSceneDocument.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#endif

namespace {

// What a smooth model takes once loaded, measured on binary PLY meshes
// (the peak of `kelvane --pov` over the program's own start): a position
// and a normal per vertex with the reader's slack, three indices per face
// with the list's growth, and the writer's blocks.
constexpr double bytesPerVertex = 32.0;
constexpr double bytesPerFace = 20.0;
constexpr double bytesAlways = 16.0 * 1024 * 1024;
// Text formats without counts in their header (OBJ, ASCII STL, ...): a
// vertex or face line takes about as many bytes as it needs in memory.
constexpr double bytesPerTextByte = 1.5;
// Other formats (compressed, or read through the importers, which copy the
// data on the way): as measured before, generously.
constexpr double bytesPerOtherByte = 8.0;

// The vertex and face counts in the first lines of a PLY or OFF file; false
// when the file is neither or its header does not say.
bool headerCounts(const QString& fileName, double& vertices, double& faces)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray head = file.read(64 * 1024);
    const QList<QByteArray> lines = head.split('\n');
    if (lines.isEmpty()) {
        return false;
    }
    const QByteArray magic = lines[0].trimmed();
    vertices = faces = -1.0;
    if (magic == "ply") {
        for (const QByteArray& line : lines) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() == 3 && words[0] == "element") {
                bool ok = false;
                const double n = double(words[2].toLongLong(&ok));
                if (ok && words[1] == "vertex") {
                    vertices = n;
                } else if (ok && words[1] == "face") {
                    faces = n;
                }
            }
            if (line.trimmed() == "end_header") {
                break;
            }
        }
        if (vertices < 0.0) {
            return false;
        }
        if (faces < 0.0) {
            faces = 2.0 * vertices; // strips or a range grid: about two per vertex
        }
        return true;
    }
    if (magic.split(' ').value(0).endsWith("OFF")) {
        // The counts follow the keyword, on its line or the next one
        // that is neither blank nor a comment.
        QList<QByteArray> words = magic.simplified().split(' ');
        words.removeFirst();
        for (int k = 1; k < lines.size() && words.size() < 2; ++k) {
            const QByteArray line = lines[k].simplified();
            if (!line.isEmpty() && !line.startsWith('#')) {
                words = line.split(' ');
            }
        }
        bool okV = false, okF = false;
        if (words.size() >= 2) {
            vertices = double(words[0].toLongLong(&okV));
            faces = double(words[1].toLongLong(&okF));
        }
        return okV && okF && vertices >= 0.0 && faces >= 0.0;
    }
    return false;
}

// The triangle count of a binary STL file (an 80-byte header, the count,
// 50 bytes a triangle); -1 for any other file.
double binaryStlTriangles(const QString& fileName)
{
    if (QFileInfo(fileName).suffix().compare(QLatin1String("stl"), Qt::CaseInsensitive) != 0) {
        return -1.0;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 84 || !file.seek(80)) {
        return -1.0;
    }
    const QByteArray count = file.read(4);
    if (count.size() != 4) {
        return -1.0;
    }
    const double n = double(quint32(uchar(count[0])) | quint32(uchar(count[1])) << 8 |
                            quint32(uchar(count[2])) << 16 | quint32(uchar(count[3])) << 24);
    return 84.0 + 50.0 * n == double(file.size()) ? n : -1.0;
}

bool isTextFormat(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    return suffix == QLatin1String("obj") || suffix == QLatin1String("off") ||
           suffix == QLatin1String("dae") || suffix == QLatin1String("gltf") ||
           suffix == QLatin1String("npr");
}

// A number from a "Key:   1234 kB" line of a /proc file, in bytes; -1 when
// the line is missing.
double procValue(const QString& path, const QByteArray& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1.0;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(key + ':')) {
            const QList<QByteArray> words = line.mid(key.size() + 1).simplified().split(' ');
            return words.value(0).toDouble() * 1024.0;
        }
    }
    return -1.0;
}

// The memory this process may still take: the smaller of what is left of
// its address-space limit and what the system has available (with swap).
double memoryLeft()
{
    double left = std::numeric_limits<double>::infinity();
#ifdef Q_OS_LINUX
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const double used = procValue(QStringLiteral("/proc/self/status"), "VmSize");
        if (used >= 0.0) {
            left = std::min(left, double(limit.rlim_cur) - used);
        }
    }
    const double available = procValue(QStringLiteral("/proc/meminfo"), "MemAvailable");
    const double swap = procValue(QStringLiteral("/proc/meminfo"), "SwapFree");
    if (available >= 0.0) {
        left = std::min(left, available + std::max(swap, 0.0));
    }
#endif
    return left;
}

} // namespace

double PovScene::memoryNeeded(const QString& fileName)
{
    double vertices = 0.0, faces = 0.0;
    if (headerCounts(fileName, vertices, faces)) {
        return vertices * bytesPerVertex + faces * bytesPerFace + bytesAlways;
    }
    const double size = double(QFileInfo(fileName).size());
    const double triangles = binaryStlTriangles(fileName);
    if (triangles >= 0.0) {
        // Three corners a triangle as read, before equal corners are joined.
        return 3.0 * triangles * bytesPerVertex + triangles * bytesPerFace + bytesAlways;
    }
    const bool text = isTextFormat(fileName) ||
                      QFileInfo(fileName).suffix().compare(QLatin1String("stl"),
                                                           Qt::CaseInsensitive) == 0;
    return size * (text ? bytesPerTextByte : bytesPerOtherByte) + bytesAlways;
}

QString PovScene::memoryError(const QString& fileName)
{
    const double needed = memoryNeeded(fileName);
    const long long megabytes = std::max(1LL, (long long)std::ceil(needed / (1024.0 * 1024.0)));
    return QStringLiteral("not enough memory to open %1 (needs about %2 MB)")
        .arg(fileName)
        .arg(megabytes);
}

bool PovScene::load(const char* fileName, qglviewer::Camera* camera)
{
    outOfMemory = false;
    const QString name = QFile::decodeName(fileName);
    if (QFileInfo(name).isFile()) {
        clear(); // the scene's old models leave first
        if (memoryNeeded(name) > memoryLeft()) {
            lastError = memoryError(name);
            outOfMemory = true;
            return false;
        }
    }
    try {
        return readModels(fileName, camera);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    } catch (const std::length_error&) {
        // A container asked to grow beyond what it can hold.
        outOfMemory = true;
    }
    clear();
    lastError = memoryError(name);
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
