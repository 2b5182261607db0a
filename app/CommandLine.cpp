#include "app/CommandLine.h"

#include "app/InstallPaths.h"
#include "scene/SaveFile.h"
#include "scene/PovBand.h"
#include "scene/PovRenderThread.h"
#include "scene/PovScene.h"
#include "scene/PovSceneDocument.h"
#include "scene/PovSceneFiles.h"
#include "scene/PovTurntable.h"
#include "viewer/GLViewer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTemporaryDir>

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const char* const versionText = "kelvane " KELVANE_VERSION;

// The turntable frame being made ("frame 3 of 8"), named in every failure
// so that one frame can be made again alone; empty for a single picture.
QString currentPiece;

void say(const QString& line)
{
    if (!currentPiece.isEmpty()) {
        std::fprintf(stderr, "kelvane: %s: %s\n", qPrintable(currentPiece), qPrintable(line));
        std::fflush(stderr);
        return;
    }
    std::fprintf(stderr, "kelvane: %s\n", qPrintable(line));
    std::fflush(stderr);
}

// Checks before any work that an image can be written in that format.
bool imageFormatKnown(const QString& fileName)
{
    const QByteArray suffix = QFileInfo(fileName).suffix().toLower().toLatin1();
    return !suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix);
}

bool saveImage(const QImage& image, const QString& fileName)
{
    QString error;
    if (!saveImageFile(image, fileName, &error)) {
        say(QStringLiteral("cannot write the image '%1': %2").arg(fileName, error));
        return false;
    }
    return true;
}

// Shows POV-Ray's progress on one line of standard error, when that is a
// terminal; called from the render thread.
class ProgressLine {
public:
    ProgressLine()
    {
#ifdef Q_OS_UNIX
        shown = isatty(STDERR_FILENO);
#endif
    }
    void show(const PovProgress& progress)
    {
        if (shown) {
            const QString piece =
                currentPiece.isEmpty() ? QString() : currentPiece + QStringLiteral(": ");
            std::fprintf(stderr, "\rkelvane: %-50s", qPrintable(piece + progress.text()));
            std::fflush(stderr);
            used = true;
        }
    }
    // Ends the line, so what follows starts on a line of its own.
    void end()
    {
        if (used) {
            std::fputc('\n', stderr);
            used = false;
        }
    }

private:
    bool shown = false;
    bool used = false;
};

// Renders the scene with POV-Ray in a private temporary directory (the
// renderer's three working files stay out of the user's way) and saves the
// picture. Returns false after saying why, with POV-Ray's own messages.
bool render(PovScene& scene, qglviewer::Camera* camera, const CommandLineOptions& options,
            const QString& imageFile)
{
    QTemporaryDir work;
    if (!work.isValid()) {
        say(QStringLiteral("cannot create a temporary directory for POV-Ray"));
        return false;
    }
    PovRenderSettings settings = options.render;
    settings.useViewSize = false;
    settings.size = options.size;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    QString error;
    if (!scene.writePovFile(camera, QStringLiteral("tempscene.pov"), settings, &error)) {
        QDir::setCurrent(previous);
        say(error);
        return false;
    }
    PovBandInfo band;
    if (options.bands > 0) {
        band.band = options.band;
        band.bands = options.bands;
        band.rows = bandRows(options.band, options.bands, options.size.height());
        band.picture = options.size;
        band.scene = fileDigest(QStringLiteral("tempscene.pov"));
        band.source = QFileInfo(options.scene).fileName();
        band.settings =
            QString::fromUtf8(QJsonDocument(settings.toJson()).toJson(QJsonDocument::Compact));
    }
    // What the settings leave to the run: the band's rows, the threads.
    QByteArray more;
    if (options.bands > 0) {
        more += bandIniText(band.rows, options.size.height());
    }
    if (options.threads > 0) {
        more += "+WT" + QByteArray::number(options.threads) + "\n";
    }
    QString iniError;
    const bool iniWritten =
        settings.writeIniFile(QStringLiteral("POVRAY.INI"), options.size, more, &iniError);
    PovRenderThread thread;
    ProgressLine line;
    if (iniWritten) {
        thread.sceneFile = QStringLiteral("tempscene.pov");
        thread.alphaOutput = settings.alphaOutput();
        if (options.timeoutSeconds >= 0) {
            thread.finishTimeout = int(std::min(options.timeoutSeconds * 1000LL, 2147483647LL));
        }
        QObject::connect(
            &thread, &PovRenderThread::progressChanged, &thread,
            [&line](const PovProgress& progress) { line.show(progress); }, Qt::DirectConnection);
        thread.start();
        thread.wait();
        line.end();
    }
    const QImage picture =
        thread.succeeded() ? QImage(PovRenderThread::imageFile(settings.alphaOutput())) : QImage();
    QDir::setCurrent(previous);

    if (!iniWritten) {
        say(iniError);
        return false;
    }
    if (!thread.started) {
        say(QStringLiteral("POV-Ray could not be started (%1: %2); install the packages povray "
                           "and povray-includes")
                .arg(thread.program, thread.errorText));
        return false;
    }
    if (picture.isNull()) {
        QStringList why = thread.messages();
        why.removeAll(QStringLiteral("Render failed"));
        if (thread.timedOut) {
            why = QStringList{QStringLiteral("it did not finish within %1 seconds (--timeout)")
                                  .arg(options.timeoutSeconds)};
        } else if (why.isEmpty() && thread.exitCode == 0) {
            why << QStringLiteral("it left no picture");
        }
        // POV-Ray's own lines, on the one line this failure gets.
        const QString reasons = why.join(QStringLiteral("; "));
        say(QStringLiteral("POV-Ray failed to render the scene%1")
                .arg(reasons.isEmpty() ? QString() : QStringLiteral(": ") + reasons));
        return false;
    }
    if (options.bands > 0) {
        const QImage cut = cutBand(picture, band);
        if (cut.isNull() && picture.size() == options.size) {
            say(QStringLiteral("there is not enough memory to cut the band from the picture"));
            return false;
        }
        if (cut.isNull()) {
            say(QStringLiteral("POV-Ray's picture is %1x%2, not the %3x%4 asked for")
                    .arg(picture.width())
                    .arg(picture.height())
                    .arg(options.size.width())
                    .arg(options.size.height()));
            return false;
        }
        return saveImage(cut, imageFile);
    }
    return saveImage(picture, imageFile);
}

// Writes the scene description; false after saying why it failed.
bool writePov(PovScene& scene, qglviewer::Camera* camera, const QString& fileName,
              const PovRenderSettings& settings)
{
    QString error;
    if (!scene.writePovFile(camera, fileName, settings, &error)) {
        say(error);
        return false;
    }
    return true;
}

// The files one frame makes; empty when not asked for.
struct FrameFiles {
    QString pov;
    QString render;
    QString preview;
};

// False, after saying why, when a file of the frame may not be written
// (see refusedOutput); `read` are the files the scene was read from.
bool mayWrite(const FrameFiles& files, const QStringList& read)
{
    for (const QString& name : {files.pov, files.render, files.preview}) {
        const QString why = name.isEmpty() ? QString() : refusedOutput(name, read);
        if (!why.isEmpty()) {
            say(QStringLiteral("will not write '%1': %2").arg(name, why));
            return false;
        }
    }
    return true;
}

// Calls `make` for the single picture, or for each turntable frame asked
// for with the camera turned to that frame and the names made from the
// patterns. Stops at the first frame `make` fails or whose files may not
// be written over `read`; the camera is left as it was given.
bool forEachFrame(const CommandLineOptions& options, qglviewer::Camera* camera,
                  const QStringList& read, const std::function<bool(const FrameFiles&)>& make)
{
    if (options.turntableFrames == 0) {
        const FrameFiles files{options.povFile, options.renderImage, options.previewImage};
        return mayWrite(files, read) && make(files);
    }
    qglviewer::Frame* frame = camera->frame();
    const qglviewer::Vec position = frame->position();
    const qglviewer::Quaternion orientation = frame->orientation();
    const qglviewer::Vec center = camera->sceneCenter();
    auto name = [](const QString& pattern, int k) {
        return pattern.isEmpty() ? pattern : frameFileName(pattern, k);
    };
    bool made = true;
    for (int k = options.firstFrame; k <= options.lastFrame && made; ++k) {
        frame->setPositionAndOrientation(position, orientation);
        turnCamera(*camera, center, k, options.turntableFrames);
        currentPiece = QStringLiteral("frame %1 of %2").arg(k).arg(options.turntableFrames);
        const FrameFiles files{name(options.povFile, k), name(options.renderImage, k),
                               name(options.previewImage, k)};
        made = mayWrite(files, read) && make(files);
    }
    frame->setPositionAndOrientation(position, orientation);
    currentPiece.clear();
    return made;
}

// Assembles the bands into one picture, written only when every band is
// there and they all belong together; an existing file is replaced whole
// or not at all.
int runMerge(const CommandLineOptions& options)
{
    const QString refused = refusedOutput(options.mergeImage, options.mergeParts);
    if (!refused.isEmpty()) {
        say(QStringLiteral("will not write '%1': %2").arg(options.mergeImage, refused));
        return 1;
    }
    QString error;
    const QImage picture = mergeBands(options.mergeParts, &error);
    if (picture.isNull()) {
        say(QStringLiteral("nothing merged: %1").arg(error));
        return 1;
    }
    QSaveFile file(options.mergeImage);
    QImageWriter writer(&file, QFileInfo(options.mergeImage).suffix().toLower().toLatin1());
    if (!file.open(QIODevice::WriteOnly) || !writer.write(picture) || !file.commit()) {
        say(QStringLiteral("cannot write the image '%1': %2")
                .arg(options.mergeImage, writer.error() != QImageWriter::UnknownError
                                             ? writer.errorString()
                                             : file.errorString()));
        return 1;
    }
    return 0;
}

// A scene document keeps its own ground and lighting; --ground and --indoor
// only add to it (an indoor document keeps its own indoor lights).
void applyOptions(PovScene& scene, const CommandLineOptions& options)
{
    if (!PovSceneDocument::isDocumentFile(options.scene)) {
        scene.groundVisible = options.ground;
    } else if (options.ground) {
        scene.groundVisible = true;
    }
    if (options.indoor && scene.outdoorLighting) {
        scene.setIndoorLighting();
    }
    scene.lines = options.lines;
}

// Places the camera where a scene document recorded it.
void applyCamera(qglviewer::Camera* camera, const PovSceneView& view)
{
    if (view.hasCamera) {
        camera->setPosition(view.cameraPosition);
        camera->setOrientation(view.cameraOrientation);
        camera->setFieldOfView(view.fieldOfView);
    }
}

// Loads a model file or a scene document; `view` receives what a document
// records about the view (nothing for a model file), `read` the files read
// (the document and its model file).
bool loadScene(PovScene& scene, const QString& path, qglviewer::Camera* camera, PovSceneView& view,
               QStringList& read)
{
    read = QStringList{path};
    if (!QFileInfo::exists(path)) {
        say(QStringLiteral("no such file: '%1'").arg(path));
        return false;
    }
    const QString special = notAFileReason(path);
    if (!special.isEmpty()) {
        say(QStringLiteral("cannot read '%1': %2").arg(path, special));
        return false;
    }
    if (PovSceneDocument::isDocumentFile(path)) {
        PovSceneDocument document;
        if (!document.open(path, scene, camera)) {
            say(QStringLiteral("cannot open the scene document '%1': %2")
                    .arg(path, document.error()));
            return false;
        }
        for (const QString& note : document.warnings()) {
            say(QStringLiteral("'%1': %2").arg(path, note));
        }
        view = document.view();
        read << document.modelFile();
        return true;
    }
    if (!scene.load(QFile::encodeName(path).constData(), camera)) {
        say(QStringLiteral("cannot read '%1': %2").arg(path, scene.loadError()));
        return false;
    }
    return true;
}

// The render settings a document recorded, under those the command line
// gives.
CommandLineOptions withDocumentSettings(const CommandLineOptions& options, const PovSceneView& view)
{
    CommandLineOptions effective = options;
    if (view.hasRender) {
        effective.render = view.render;
        PovRenderSettings::fromJson(options.renderGiven, effective.render);
    }
    return effective;
}

int runHeadless(const CommandLineOptions& given)
{
    CommandLineOptions options = given;
    PovScene scene;
    qglviewer::Camera camera;
    camera.setScreenWidthAndHeight(options.size.width(), options.size.height());
    camera.setZClippingCoefficient(5.0);
    scene.fileColours = options.fileColours;
    PovSceneView view;
    QStringList read;
    if (!loadScene(scene, options.scene, &camera, view, read)) {
        return 1;
    }
    options = withDocumentSettings(given, view);
    applyOptions(scene, options);
    vec center;
    float radius;
    scene.viewSphere(view.showLights, center, radius);
    camera.setSceneRadius(radius);
    camera.setSceneCenter(qglviewer::Vec(center[0], center[1], center[2]));
    camera.showEntireScene();
    applyCamera(&camera, view);

    const bool made = forEachFrame(options, &camera, read, [&](const FrameFiles& files) {
        if (!files.pov.isEmpty() && !writePov(scene, &camera, files.pov, options.render)) {
            return false;
        }
        return files.render.isEmpty() || render(scene, &camera, options, files.render);
    });
    return made ? 0 : 1;
}

int runWithView(const CommandLineOptions& given)
{
    CommandLineOptions options = given;
    PovScene scene;
    GLViewer viewer;
    viewer.setScene(&scene);
    viewer.background = options.render.viewBackground();
    viewer.srgbColours = options.render.quality == PovQuality::Photo;
    viewer.setWindowTitle(QStringLiteral("Kelvane"));
    viewer.resize(options.size);
    viewer.show();
    while (!viewer.isValid()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    viewer.makeCurrent();
    scene.fileColours = options.fileColours;
    PovSceneView view;
    QStringList read;
    const bool loaded = loadScene(scene, options.scene, viewer.camera(), view, read);
    viewer.doneCurrent();
    if (!loaded) {
        return 1;
    }
    options = withDocumentSettings(given, view);
    applyOptions(scene, options);
    viewer.wireframe = view.wireframe;
    viewer.showLights = view.showLights;
    viewer.resetCamera();
    applyCamera(viewer.camera(), view);
    viewer.refreshLines(); // the picture shows the lines whatever the mesh's size
    if (viewer.width() != options.size.width() || viewer.height() != options.size.height()) {
        say(QStringLiteral("the view could only be made %1x%2 on this display")
                .arg(viewer.width())
                .arg(viewer.height()));
    }

    const bool made = forEachFrame(options, viewer.camera(), read, [&](const FrameFiles& files) {
        // The view's framebuffer may have an alpha channel; its bytes are
        // what the screen shows.
        const QImage grabbed = viewer.grabFramebuffer();
        const QImage shown = QImage(grabbed.constBits(), grabbed.width(), grabbed.height(),
                                    grabbed.bytesPerLine(), QImage::Format_RGB32)
                                 .copy();
        if (!saveImage(shown, files.preview)) {
            return false;
        }
        if (!files.pov.isEmpty() && !writePov(scene, viewer.camera(), files.pov, options.render)) {
            return false;
        }
        return files.render.isEmpty() || render(scene, viewer.camera(), options, files.render);
    });
    viewer.makeCurrent();
    scene.clear();
    viewer.doneCurrent();
    return made ? 0 : 1;
}

} // namespace

bool isCommandLineRequest(const QStringList& arguments)
{
    for (const QString& a : arguments) {
        if (a.startsWith(QLatin1String("--"))) {
            return true;
        }
    }
    return false;
}

bool parseCommandLine(const QStringList& arguments, CommandLineOptions& options, QString& error)
{
    QString framesText, bandText;
    QStringList positional;
    // A whole number from `low` to `high` after option `a` at arguments[i].
    auto wholeNumber = [&](int& i, int low, int high, int& target, const QString& what) {
        bool ok = false;
        const int n = i + 1 < arguments.size() ? arguments[i + 1].toInt(&ok) : 0;
        if (!ok || n < low || n > high) {
            error = QStringLiteral("%1 takes %2 from %3 to %4")
                        .arg(arguments[i], what)
                        .arg(low)
                        .arg(high);
            return false;
        }
        target = n;
        ++i;
        return true;
    };
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        auto value = [&](QString& target) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                error = QStringLiteral("%1 needs a file name").arg(a);
                return false;
            }
            target = arguments[++i];
            return true;
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            options.help = true;
        } else if (a == QLatin1String("--version")) {
            options.version = true;
        } else if (a == QLatin1String("--pov")) {
            if (!value(options.povFile)) {
                return false;
            }
        } else if (a == QLatin1String("--render")) {
            if (!value(options.renderImage)) {
                return false;
            }
        } else if (a == QLatin1String("--preview")) {
            if (!value(options.previewImage)) {
                return false;
            }
        } else if (a == QLatin1String("--size")) {
            QString size;
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("--size needs a size such as 800x600");
                return false;
            }
            size = arguments[++i];
            const QStringList parts = size.split(QLatin1Char('x'));
            bool okW = false, okH = false;
            const int w = parts.size() == 2 ? parts[0].toInt(&okW) : 0;
            const int h = parts.size() == 2 ? parts[1].toInt(&okH) : 0;
            if (!okW || !okH || w < 1 || h < 1 || w > 16384 || h > 16384) {
                error = QStringLiteral("--size takes WIDTHxHEIGHT in pixels (1 to 16384), not '%1'")
                            .arg(size);
                return false;
            }
            options.size = QSize(w, h);
        } else if (a == QLatin1String("--ground")) {
            options.ground = true;
        } else if (a == QLatin1String("--indoor")) {
            options.indoor = true;
        } else if (a == QLatin1String("--file-colours")) {
            options.fileColours = true;
        } else if (a == QLatin1String("--lines")) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("--lines needs kinds such as contours,suggestive");
                return false;
            }
            std::string why;
            if (!parseLineKinds(arguments[++i].toStdString(), options.lines, why)) {
                error = QStringLiteral("--lines: %1").arg(QString::fromStdString(why));
                return false;
            }
            options.lines.shown = true;
        } else if (a == QLatin1String("--line-width")) {
            bool ok = false;
            const QString text = i + 1 < arguments.size() ? arguments[++i] : QString();
            const float width = text.toFloat(&ok);
            if (!ok || !(width >= LnLineSettings::minWidth && width <= LnLineSettings::maxWidth)) {
                error =
                    QStringLiteral("--line-width takes a width in pixels from %1 to %2, not '%3'")
                        .arg(double(LnLineSettings::minWidth))
                        .arg(double(LnLineSettings::maxWidth))
                        .arg(text);
                return false;
            }
            options.lines.width = width;
        } else if (a == QLatin1String("--mesh-form")) {
            if (i + 1 >= arguments.size() ||
                !parseMeshForm(arguments[i + 1], options.render.meshForm)) {
                error = QStringLiteral("--mesh-form takes triangles, mesh2 or auto");
                return false;
            }
            ++i;
            options.renderGiven.insert(QStringLiteral("meshForm"), arguments[i]);
        } else if (a == QLatin1String("--antialias")) {
            options.render.antialias = true;
            options.renderGiven.insert(QStringLiteral("antialias"), true);
        } else if (a == QLatin1String("--antialias-threshold")) {
            bool ok = false;
            const double t = i + 1 < arguments.size() ? arguments[i + 1].toDouble(&ok) : 0.0;
            if (!ok || !(t >= 0.0 && t <= PovRenderSettings::maxThreshold)) {
                error =
                    QStringLiteral("--antialias-threshold takes a number from 0 to 3, such as 0.3");
                return false;
            }
            ++i;
            options.render.antialias = true;
            options.render.antialiasThreshold = t;
            options.renderGiven.insert(QStringLiteral("antialias"), true);
            options.renderGiven.insert(QStringLiteral("antialiasThreshold"), t);
        } else if (a == QLatin1String("--quality")) {
            if (i + 1 >= arguments.size() ||
                !parseQuality(arguments[i + 1], options.render.quality)) {
                error = QStringLiteral("--quality takes draft or photo");
                return false;
            }
            ++i;
            options.renderGiven.insert(QStringLiteral("quality"),
                                       qualityName(options.render.quality));
        } else if (a == QLatin1String("--background")) {
            const QString name = i + 1 < arguments.size() ? arguments[i + 1] : QString();
            PovBackgroundKind kind = PovBackgroundKind::Black;
            const QColor colour(name);
            if (name != QLatin1String("colour") && parseBackgroundKind(name, kind)) {
                options.render.background = kind;
            } else if (!name.isEmpty() && colour.isValid()) {
                options.render.background = PovBackgroundKind::Colour;
                options.render.backgroundColour = colour;
            } else {
                error = QStringLiteral("--background takes black, sky, transparent or a colour "
                                       "such as white or #336699");
                return false;
            }
            ++i;
            options.renderGiven.insert(QStringLiteral("background"),
                                       backgroundKindName(options.render.background));
            options.renderGiven.insert(QStringLiteral("backgroundColour"),
                                       options.render.backgroundColour.name());
        } else if (a == QLatin1String("--timeout")) {
            bool ok = false;
            const int seconds = i + 1 < arguments.size() ? arguments[i + 1].toInt(&ok) : 0;
            if (!ok || seconds < 1) {
                error = QStringLiteral("--timeout takes a whole number of seconds, 1 or more");
                return false;
            }
            ++i;
            options.timeoutSeconds = seconds;
        } else if (a == QLatin1String("--turntable")) {
            if (!wholeNumber(i, 1, maxTurntableFrames, options.turntableFrames,
                             QStringLiteral("a number of frames"))) {
                return false;
            }
        } else if (a == QLatin1String("--frames") || a == QLatin1String("--band")) {
            if (i + 1 >= arguments.size()) {
                error = a == QLatin1String("--band")
                            ? QStringLiteral("--band needs I/N, such as 2/3")
                            : QStringLiteral("--frames needs A-B, such as 0-7");
                return false;
            }
            (a == QLatin1String("--band") ? bandText : framesText) = arguments[++i];
        } else if (a == QLatin1String("--threads")) {
            if (!wholeNumber(i, 1, 512, options.threads, QStringLiteral("a number of threads"))) {
                return false;
            }
        } else if (a == QLatin1String("--merge")) {
            if (!value(options.mergeImage)) {
                return false;
            }
        } else if (a == QLatin1String("--scene-files")) {
            options.listSceneFiles = true;
        } else if (a == QLatin1String("--copy-scene")) {
            if (!value(options.copyFolder)) {
                return false;
            }
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            error = QStringLiteral("unknown option '%1' (see kelvane --help)").arg(a);
            return false;
        } else {
            positional << a;
        }
    }
    if (options.help || options.version) {
        return true;
    }
    if (!options.mergeImage.isEmpty()) {
        if (!options.povFile.isEmpty() || !options.renderImage.isEmpty() ||
            !options.previewImage.isEmpty() || options.listSceneFiles ||
            !options.copyFolder.isEmpty()) {
            error = QStringLiteral("--merge works alone: kelvane --merge IMAGE BAND...");
            return false;
        }
        if (positional.isEmpty()) {
            error = QStringLiteral("--merge needs the band files after the picture's name");
            return false;
        }
        if (!imageFormatKnown(options.mergeImage)) {
            error = QStringLiteral("cannot tell the image format of '%1' (use .png, .bmp or .jpg)")
                        .arg(options.mergeImage);
            return false;
        }
        options.mergeParts = positional;
        return true;
    }
    if (positional.size() > 1) {
        error = QStringLiteral("only one scene can be given ('%1' and '%2')")
                    .arg(positional[0], positional[1]);
        return false;
    }
    if (!positional.isEmpty()) {
        options.scene = positional[0];
    }
    if (options.listSceneFiles || !options.copyFolder.isEmpty()) {
        const QString option = options.listSceneFiles ? QStringLiteral("--scene-files")
                                                      : QStringLiteral("--copy-scene");
        if (options.scene.isEmpty()) {
            error = QStringLiteral("%1 needs a scene file").arg(option);
            return false;
        }
        if ((options.listSceneFiles && !options.copyFolder.isEmpty()) ||
            !options.povFile.isEmpty() || !options.renderImage.isEmpty() ||
            !options.previewImage.isEmpty()) {
            error = QStringLiteral("%1 works alone").arg(option);
            return false;
        }
        return true;
    }
    if (options.povFile.isEmpty() && options.renderImage.isEmpty() &&
        options.previewImage.isEmpty()) {
        error = QStringLiteral("say what to make: --pov FILE, --render IMAGE or --preview IMAGE");
        return false;
    }
    if (options.scene.isEmpty()) {
        error = QStringLiteral("no scene file given");
        return false;
    }
    for (const QString& image : {options.renderImage, options.previewImage}) {
        if (!image.isEmpty() && !imageFormatKnown(image)) {
            error = QStringLiteral("cannot tell the image format of '%1' (use .png, .bmp or .jpg)")
                        .arg(image);
            return false;
        }
    }
    if (!framesText.isEmpty() && options.turntableFrames == 0) {
        error = QStringLiteral("--frames needs --turntable N");
        return false;
    }
    if (options.turntableFrames > 0) {
        options.lastFrame = options.turntableFrames - 1;
        if (!framesText.isEmpty() &&
            !parseFrameRange(framesText, options.turntableFrames, options.firstFrame,
                             options.lastFrame, &error)) {
            return false;
        }
        for (const QString& pattern :
             {options.povFile, options.renderImage, options.previewImage}) {
            QString why;
            if (!pattern.isEmpty() && !isFramePattern(pattern, &why)) {
                error = QStringLiteral("a turntable saves one file per frame: %1").arg(why);
                return false;
            }
        }
    }
    if (!bandText.isEmpty()) {
        if (!parseBand(bandText, options.size.height(), options.band, options.bands, &error)) {
            return false;
        }
        if (options.renderImage.isEmpty() || options.turntableFrames > 0 ||
            !options.previewImage.isEmpty()) {
            error = QStringLiteral("--band goes with --render alone (not with --preview or "
                                   "--turntable)");
            return false;
        }
        if (QFileInfo(options.renderImage).suffix().toLower() != QLatin1String("png")) {
            error = QStringLiteral("a band is saved as PNG, which carries its place in the "
                                   "picture: name it .png, not '%1'")
                        .arg(options.renderImage);
            return false;
        }
    }
    return true;
}

namespace {

// The --help line saying where the sample scenes are.
QString samplesHelp()
{
    const QString samples = installedSamplesDirectory();
    if (samples.isEmpty()) {
        return QStringLiteral(
            "\nThis copy of Kelvane is not installed; the sample scenes are in the\n"
            "samples folder of its source tree.\n");
    }
    return QStringLiteral("\nSample scenes are in %1\n").arg(samples);
}

} // namespace

QString commandLineHelp()
{
    return QStringLiteral(
               "Usage: kelvane [scene]\n"
               "       kelvane [--pov FILE] [--render IMAGE] [--preview IMAGE] [options] SCENE\n"
               "       kelvane --merge IMAGE BAND...\n"
               "       kelvane --scene-files SCENE\n"
               "       kelvane --copy-scene FOLDER SCENE\n"
               "\n"
               "Without options Kelvane opens its window, with the scene if one is given.\n"
               "\n"
               "  --pov FILE       write the POV-Ray scene description to FILE\n"
               "  --render IMAGE   ray-trace the scene with POV-Ray and save the picture\n"
               "                   (format from the suffix: .png, .bmp, .jpg)\n"
               "  --preview IMAGE  save what the OpenGL view shows, for the same camera;\n"
               "                   needs a display (on a headless machine run it under\n"
               "                   xvfb-run -a kelvane --preview ...)\n"
               "  --size WxH       picture size in pixels (default 800x600)\n"
               "  --ground         show the ground plane\n"
               "  --indoor         light the scene with the indoor lights\n"
               "                   (a scene document keeps its own ground and lights;\n"
               "                   these options only add to them)\n"
               "  --file-colours   start each model's pigment at the colour its file gives\n"
               "                   (COLLADA material colours, NPR face colours)\n"
               "  --lines KINDS    draw feature lines, in the view and as ink in the POV-Ray\n"
               "                   scene; KINDS is a comma-separated list of contours,\n"
               "                   suggestive, ridges, valleys, isophotes (NPR models draw\n"
               "                   the lines of their file)\n"
               "  --line-width PIXELS  width of the feature lines (default 2)\n"
               "  --mesh-form F    how meshes are written for POV-Ray: triangles, mesh2 or\n"
               "                   auto (default: mesh2 above 100000 triangles)\n"
               "  --antialias      render with antialiasing (threshold 0.3)\n"
               "  --antialias-threshold T\n"
               "                   antialiasing with threshold T, from 0 to 3\n"
               "  --quality Q      draft (default: point lights, hard shadows) or photo\n"
               "                   (soft shadows, radiosity, antialiasing; slower)\n"
               "  --background B   black (default), sky, transparent (PNG with alpha) or a\n"
               "                   colour such as white or #336699\n"
               "  --timeout SECONDS  stop POV-Ray after that long (default: no limit)\n"
               "  --threads N      let POV-Ray use N threads (default: one per core)\n"
               "  --turntable N    make frames of a turn about the scene's vertical axis,\n"
               "                   frame k turned by 360*k/N degrees (frame 0 is the plain\n"
               "                   picture); IMAGE and FILE are patterns with %d or %03d\n"
               "                   for the frame number, such as spin_%03d.png\n"
               "  --frames A-B     make only frames A to B of the turntable (from 0)\n"
               "  --band I/N       render band I of N (from 1) of the picture's rows, as a\n"
               "                   PNG that kelvane --merge puts together with the others\n"
               "  --merge IMAGE BAND...\n"
               "                   put the bands of one picture together; refuses bands\n"
               "                   that are missing, given twice or from another render\n"
               "  --scene-files SCENE\n"
               "                   list the files the scene needs, one a line (a backslash\n"
               "                   or control character in a name is written \\\\, \\n,\n"
               "                   \\t, \\r or \\xHH)\n"
               "  --copy-scene FOLDER SCENE\n"
               "                   copy the scene and the files it needs into the new\n"
               "                   FOLDER, a scene document naming its model by the copy;\n"
               "                   prints the scene's copy, relative to FOLDER\n"
               "  --help           show this text\n"
               "  --version        show the version\n"
               "\n"
               "SCENE is a model file (NPR, OFF, PLY, OBJ, STL, 3DS, COLLADA, KMZ, glTF,\n"
               "3MF, FBX and the other formats Assimp reads) or a scene document (.kelvane).\n"
               "The modes combine in one run and share one camera, fitted to the scene as\n"
               "the view fits it after a load, or placed where a scene document (.kelvane)\n"
               "recorded it. --pov and --render need no display; --render shows POV-Ray's\n"
               "progress when standard error is a terminal.\n") +
           samplesHelp();
}

QStringList programArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

bool displayAvailable()
{
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
           std::getenv("QT_QPA_PLATFORM");
}

int runCommandLine(int argc, char* argv[])
{
    const QStringList arguments = programArguments(argc, argv);
    CommandLineOptions options;
    QString error;
    if (!parseCommandLine(arguments, options, error)) {
        say(error);
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(commandLineHelp()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", versionText);
        return 0;
    }

    // Paths are taken relative to the directory Kelvane was started in.
    auto absolute = [](QString& path) {
        if (!path.isEmpty()) {
            path = QFileInfo(path).absoluteFilePath();
        }
    };
    // A turntable's names are patterns, in which a '%' of the folder they
    // are taken relative to stands for itself: it is written "%%".
    auto absolutePattern = [&](QString& path) {
        if (options.turntableFrames == 0 || path.isEmpty() || QDir::isAbsolutePath(path)) {
            absolute(path);
            return;
        }
        QString folder = QDir::currentPath();
        folder.replace(QLatin1Char('%'), QLatin1String("%%"));
        path = folder + QLatin1Char('/') + path;
    };
    absolute(options.scene);
    absolutePattern(options.povFile);
    absolutePattern(options.renderImage);
    absolutePattern(options.previewImage);
    absolute(options.mergeImage);
    absolute(options.copyFolder);

    if (!options.mergeImage.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runMerge(options);
    }
    if (options.listSceneFiles) {
        QString error;
        const QStringList files = sceneFiles(options.scene, &error);
        if (files.isEmpty()) {
            say(error);
            return 1;
        }
        for (const QString& file : files) {
            std::fputs(qPrintable(escapedFileName(file) + QLatin1Char('\n')), stdout);
        }
        return 0;
    }
    if (!options.copyFolder.isEmpty()) {
        QCoreApplication app(argc, argv);
        QString error, copied;
        if (!copyScene(options.scene, options.copyFolder, &copied, &error)) {
            say(QStringLiteral("cannot copy the scene: %1").arg(error));
            return 1;
        }
        std::fputs(qPrintable(escapedFileName(copied) + QLatin1Char('\n')), stdout);
        return 0;
    }
    if (options.previewImage.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runHeadless(options);
    }
    if (!displayAvailable()) {
        say(QStringLiteral("--preview needs a display; on a machine without one run "
                           "xvfb-run -a kelvane --preview ..."));
        return 1;
    }
    GLViewer::setDefaultSurfaceFormat();
    QApplication app(argc, argv);
    return runWithView(options);
}
