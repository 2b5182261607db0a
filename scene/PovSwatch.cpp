#include "scene/PovSwatch.h"

#include "scene/PovNumber.h"
#include "scene/PovRenderThread.h"
#include "scene/SaveFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// The longest a swatch may take to render.
constexpr int renderLimitMs = 60000;

QString triple(const vec& v)
{
    return QStringLiteral("<") + povGeneral(double(v[0])) + QStringLiteral(", ") +
           povGeneral(double(v[1])) + QStringLiteral(", ") + povGeneral(double(v[2])) +
           QStringLiteral(">");
}

QProcessEnvironment renderEnvironment()
{
    // Without HOME, POV-Ray does not complain about a missing user
    // configuration file.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("HOME"));
    return environment;
}

// Runs the program to its end (or the time limit, or the thread's
// interruption); false with the reason in `error` when it did not run or
// did not succeed.
bool runToEnd(QProcess& process, const QString& program, const QStringList& arguments,
              QString& error, bool& missing)
{
    process.setProcessEnvironment(renderEnvironment());
    process.start(program, arguments);
    if (!process.waitForStarted(30000)) {
        error = QStringLiteral("could not start %1: %2").arg(program, process.errorString());
        missing = true;
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (!process.waitForFinished(50)) {
        if (process.state() == QProcess::NotRunning) {
            break;
        }
        if (QThread::currentThread()->isInterruptionRequested() ||
            clock.elapsed() > renderLimitMs) {
            process.kill();
            process.waitForFinished(5000);
            error = QStringLiteral("POV-Ray took too long");
            return false;
        }
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        // POV-Ray's error message says why; it wraps it, continuing on
        // lines that start with a blank.
        const QStringList lines =
            QString::fromLocal8Bit(process.readAllStandardError() + process.readAllStandardOutput())
                .split(QLatin1Char('\n'));
        QString why;
        for (int i = 0; i < lines.size() && why.isEmpty(); ++i) {
            if (lines[i].contains(QLatin1String("Error"))) {
                why = lines[i].trimmed();
                for (int j = i + 1; j < lines.size() && lines[j].startsWith(QLatin1Char(' ')); ++j) {
                    why += QLatin1Char(' ') + lines[j].trimmed();
                }
            }
        }
        error = why.isEmpty() ? QStringLiteral("POV-Ray failed") : why;
        return false;
    }
    return true;
}

} // namespace

QString povSwatchScene(const PovTexture& texture, float scale, const vec& centre, float half)
{
    // A predefined texture is layered, and the finish the scene gives it
    // reaches its top layer only: the others keep POV-Ray's default finish.
    // So the swatch is lit as the render lights the model: frames 0 to 5 by
    // a white light of strength 1 across the face and no ambient light,
    // from 60 degrees off the face's normal so no highlight reaches the
    // camera; frames 6 to 11 by an ambient light of 1 alone.
    PovTexture noHighlight = texture;
    noHighlight.setFinish(texture.diffuse, 0.0f, texture.ambient, 0.0f, 0.01f);
    noHighlight.metallic = false;
    noHighlight.normalPattern = QStringLiteral("smooth");
    QString text = QStringLiteral(
        "#version 3.7;\n"
        "#declare Lit = (frame_number < 6);\n"
        "global_settings {\n\tassumed_gamma 1.0\n"
        "\tambient_light rgb (Lit ? <0, 0, 0> : <1, 1, 1>)\n}\n"
        "#include \"colors.inc\"\n#include \"woods.inc\"\n#include \"stones.inc\"\n\n");
    text += QStringLiteral("#declare Centre = ") + triple(centre) + QStringLiteral(";\n");
    text += QStringLiteral("#declare Half = ") + povGeneral(double(half)) + QStringLiteral(";\n");
    text += QStringLiteral(
        "#declare Facing = array[6] { x, -x, y, -y, z, -z }\n"
        "#declare Across = array[6] { y, y, x, x, x, x }\n"
        "#declare Upward = array[6] { z, z, z, z, y, y }\n"
        "#declare Face = mod(frame_number, 6);\n"
        "camera {\n\torthographic\n\tlocation Centre + Facing[Face] * 3 * Half\n"
        "\tdirection -Facing[Face]\n\tright Across[Face] * 2 * Half\n"
        "\tup Upward[Face] * 2 * Half\n}\n"
        "#if (Lit)\n"
        "light_source {\n\tCentre + (Facing[Face] * 0.5 + Across[Face] * sqrt(0.75)) * 1000 * Half\n"
        "\tcolor rgb <2, 2, 2>\n\tparallel\n\tpoint_at Centre\n\tshadowless\n}\n"
        "#end\n"
        "plane {\n\tFacing[Face], vdot(Facing[Face], Centre) + Half\n");
    text += noHighlight.povText(scale);
    text += QStringLiteral("}\n");
    return text;
}

QString swatchCacheName(const QString& scene, const QString& povrayVersion)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(povrayVersion.toUtf8());
    hash.addData("\n", 1);
    hash.addData(scene.toUtf8());
    return QString::fromLatin1(hash.result().toHex()) + QStringLiteral(".png");
}

void PovSwatchThread::run()
{
    image = QImage();
    error.clear();
    povrayMissing = false;
    if (version.isEmpty()) {
        QProcess process;
        if (!runToEnd(process, program, {QStringLiteral("--version")}, error, povrayMissing)) {
            return;
        }
        const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput() +
                                                         process.readAllStandardError())
                                      .split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            if (line.startsWith(QLatin1String("POV-Ray "))) {
                version = line.trimmed();
                break;
            }
        }
        if (version.isEmpty()) {
            error = QStringLiteral("%1 --version did not name a POV-Ray version").arg(program);
            povrayMissing = true;
            return;
        }
    }
    const QString cached = QDir(cacheFolder).filePath(swatchCacheName(scene, version));
    const QSize size(swatchTexels, 12 * swatchTexels);
    QImage stored(cached);
    if (!stored.isNull() && stored.size() == size) {
        image = stored.convertToFormat(QImage::Format_RGBA64);
        return;
    }

    QTemporaryDir work;
    if (!work.isValid()) {
        error = QStringLiteral("no folder to render in: %1").arg(work.errorString());
        return;
    }
    QString why;
    if (!saveBytes(work.filePath(QStringLiteral("swatch.pov")), scene.toUtf8(), &why)) {
        error = why;
        return;
    }
    QProcess process;
    process.setWorkingDirectory(work.path());
    const QString n = QString::number(swatchTexels);
    const QStringList arguments = {
        QStringLiteral("swatch.pov"), QStringLiteral("+Oface.png"), QStringLiteral("+FN16"),
        QStringLiteral("+W") + n,     QStringLiteral("+H") + n,     QStringLiteral("-D"),
        QStringLiteral("+A0.1"),      QStringLiteral("+KFI0"),      QStringLiteral("+KFF11"),
        QStringLiteral("File_Gamma=1.0"), QStringLiteral("-GD"),    QStringLiteral("-GS"),
        QStringLiteral("-GW"),        QStringLiteral("-GR"),        QStringLiteral("+GF")};
    if (!runToEnd(process, program, arguments, error, povrayMissing)) {
        return;
    }
    QImage atlas(size, QImage::Format_RGBA64);
    atlas.fill(Qt::black);
    QPainter painter(&atlas);
    for (int k = 0; k < 12; ++k) {
        // POV-Ray numbers the frames with as many digits as the last has.
        const QImage face(work.filePath(QStringLiteral("face%1.png").arg(k, 2, 10, QLatin1Char('0'))));
        if (face.size() != QSize(swatchTexels, swatchTexels)) {
            error = QStringLiteral("POV-Ray left no picture of the swatch");
            return;
        }
        painter.drawImage(0, k * swatchTexels, face.convertToFormat(QImage::Format_RGBA64));
    }
    painter.end();
    // A swatch that cannot be kept is still shown.
    if (!QDir().mkpath(cacheFolder) || !saveImageFile(atlas, cached, &why)) {
        std::fprintf(stderr, "kelvane: cannot keep a preview swatch in '%s': %s\n",
                     qPrintable(cacheFolder), qPrintable(why));
        std::fflush(stderr);
    }
    image = atlas;
}

PovSwatches::PovSwatches(QObject* parent) : QObject(parent), cacheFolder(defaultCacheFolder()) {}

PovSwatches::~PovSwatches()
{
    if (thread) {
        thread->requestInterruption();
        thread->wait();
    }
}

QString PovSwatches::defaultCacheFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
        .filePath(QStringLiteral("swatches"));
}

QImage PovSwatches::swatch(const QString& scene)
{
    const auto found = made.constFind(scene);
    if (found != made.constEnd()) {
        return found.value();
    }
    if (!failures.contains(scene) && !queue.contains(scene) &&
        !(thread && thread->scene == scene)) {
        if (povrayMissing) {
            failures.insert(scene);
        } else {
            queue << scene;
            startNext();
        }
    }
    return QImage();
}

void PovSwatches::startNext()
{
    if (thread || queue.isEmpty()) {
        return;
    }
    thread = new PovSwatchThread(this);
    thread->scene = queue.takeFirst();
    thread->program = PovRenderThread::defaultProgram();
    thread->cacheFolder = cacheFolder;
    thread->version = version;
    connect(thread, &QThread::finished, this, &PovSwatches::finishOne);
    thread->start(QThread::LowPriority);
}

void PovSwatches::finishOne()
{
    PovSwatchThread* done = thread;
    thread = nullptr;
    version = done->version;
    if (!done->image.isNull()) {
        made.insert(done->scene, done->image);
    } else {
        failures.insert(done->scene);
        if (done->povrayMissing) {
            // One line says it all; every later swatch keeps its plain colour.
            povrayMissing = true;
            for (const QString& scene : queue) {
                failures.insert(scene);
            }
            queue.clear();
        }
        std::fprintf(stderr, "kelvane: the view shows a POV-Ray texture in plain grey: %s\n",
                     qPrintable(done->error));
        std::fflush(stderr);
    }
    done->deleteLater();
    startNext();
    if (!done->image.isNull()) {
        emit ready();
    }
}
