#include "app/CommandLine.h"

#include "app/InstallPaths.h"
#include "app/SaveFile.h"
#include "scene/PovRenderThread.h"
#include "scene/PovScene.h"
#include "viewer/GLViewer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSurfaceFormat>
#include <QTemporaryDir>

#include <QGLViewer/camera.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const char* const versionText = "kelvane " KELVANE_VERSION;

void say(const QString& line)
{
    std::fprintf(stderr, "kelvane: %s\n", qPrintable(line));
    std::fflush(stderr);
}

bool hasDisplay()
{
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
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

// The last non-empty line POV-Ray printed, to say why it failed.
QString lastLine(const QByteArray& output)
{
    const QList<QByteArray> lines = output.split('\n');
    for (int i = lines.size() - 1; i >= 0; --i) {
        const QByteArray line = lines[i].trimmed();
        if (!line.isEmpty()) {
            return QString::fromLocal8Bit(line);
        }
    }
    return QString();
}

// Renders the scene with POV-Ray in a private temporary directory (the
// renderer's three working files stay out of the user's way) and saves the
// picture. Returns false after saying why.
bool render(PovScene& scene, qglviewer::Camera* camera, const QSize& size, const QString& image)
{
    QTemporaryDir work;
    if (!work.isValid()) {
        say(QStringLiteral("cannot create a temporary directory for POV-Ray"));
        return false;
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    QString error;
    if (!scene.writePovFile(camera, QStringLiteral("tempscene.pov"), &error) ||
        !scene.writeIniFile(size.width(), size.height(), &error)) {
        QDir::setCurrent(previous);
        say(error);
        return false;
    }
    PovRenderThread thread;
    thread.sceneFile = QStringLiteral("tempscene.pov");
    thread.start();
    thread.wait();
    const QImage picture(QStringLiteral("tempscene.bmp"));
    QDir::setCurrent(previous);

    if (!thread.started) {
        say(QStringLiteral("POV-Ray could not be started (%1: %2); install the packages povray "
                           "and povray-includes")
                .arg(thread.program, thread.errorText));
        return false;
    }
    if (picture.isNull()) {
        QString why = thread.timedOut ? QStringLiteral("it did not finish within 30 seconds")
                                      : lastLine(thread.output);
        say(QStringLiteral("POV-Ray failed to render the scene%1")
                .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        return false;
    }
    return saveImage(picture, image);
}

// Writes the scene description; false after saying why it failed.
bool writePov(PovScene& scene, qglviewer::Camera* camera, const QString& fileName)
{
    QString error;
    if (!scene.writePovFile(camera, fileName, &error)) {
        say(error);
        return false;
    }
    return true;
}

void applyOptions(PovScene& scene, const CommandLineOptions& options)
{
    scene.groundVisible = options.ground;
    if (options.indoor) {
        scene.setIndoorLighting();
    }
}

bool loadScene(PovScene& scene, const QString& path, qglviewer::Camera* camera)
{
    if (!QFileInfo::exists(path)) {
        say(QStringLiteral("no such file: '%1'").arg(path));
        return false;
    }
    if (!scene.load(QFile::encodeName(path).constData(), camera)) {
        say(QStringLiteral("no models loaded from '%1': %2").arg(path, scene.loadError()));
        return false;
    }
    return true;
}

int runHeadless(const CommandLineOptions& options)
{
    PovScene scene;
    qglviewer::Camera camera;
    camera.setScreenWidthAndHeight(options.size.width(), options.size.height());
    camera.setZClippingCoefficient(5.0);
    if (!loadScene(scene, options.scene, &camera)) {
        return 1;
    }
    applyOptions(scene, options);
    vec center;
    float radius;
    scene.viewSphere(false, center, radius);
    camera.setSceneRadius(radius);
    camera.setSceneCenter(qglviewer::Vec(center[0], center[1], center[2]));
    camera.showEntireScene();

    if (!options.povFile.isEmpty() && !writePov(scene, &camera, options.povFile)) {
        return 1;
    }
    if (!options.renderImage.isEmpty() &&
        !render(scene, &camera, options.size, options.renderImage)) {
        return 1;
    }
    return 0;
}

int runWithView(const CommandLineOptions& options)
{
    PovScene scene;
    GLViewer viewer;
    viewer.setScene(&scene);
    viewer.setWindowTitle(QStringLiteral("Kelvane"));
    viewer.resize(options.size);
    viewer.show();
    while (!viewer.isValid()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    viewer.makeCurrent();
    const bool loaded = loadScene(scene, options.scene, viewer.camera());
    viewer.doneCurrent();
    if (!loaded) {
        return 1;
    }
    applyOptions(scene, options);
    viewer.resetCamera();
    if (viewer.width() != options.size.width() || viewer.height() != options.size.height()) {
        say(QStringLiteral("the view could only be made %1x%2 on this display")
                .arg(viewer.width())
                .arg(viewer.height()));
    }

    // The view's framebuffer may have an alpha channel; its bytes are what
    // the screen shows.
    const QImage grabbed = viewer.grabFramebuffer();
    const QImage shown = QImage(grabbed.constBits(), grabbed.width(), grabbed.height(),
                                grabbed.bytesPerLine(), QImage::Format_RGB32)
                             .copy();
    if (!saveImage(shown, options.previewImage)) {
        return 1;
    }
    if (!options.povFile.isEmpty() && !writePov(scene, viewer.camera(), options.povFile)) {
        return 1;
    }
    if (!options.renderImage.isEmpty() &&
        !render(scene, viewer.camera(), options.size, options.renderImage)) {
        return 1;
    }
    viewer.makeCurrent();
    scene.clear();
    viewer.doneCurrent();
    return 0;
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
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            error = QStringLiteral("unknown option '%1' (see kelvane --help)").arg(a);
            return false;
        } else if (options.scene.isEmpty()) {
            options.scene = a;
        } else {
            error = QStringLiteral("only one scene can be given ('%1' and '%2')")
                        .arg(options.scene, a);
            return false;
        }
    }
    if (options.help || options.version) {
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
    return true;
}

namespace {

// The --help line saying where the sample scenes are.
QString samplesHelp()
{
    const QString samples = installedSamplesDirectory();
    if (samples.isEmpty()) {
        return QStringLiteral("\nThis copy of Kelvane is not installed; the sample scenes are in the\n"
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
        "  --help           show this text\n"
        "  --version        show the version\n"
        "\n"
        "The modes combine in one run and share one camera, fitted to the scene as\n"
        "the view fits it after a load. --pov and --render need no display.\n") +
           samplesHelp();
}

int runCommandLine(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
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
    absolute(options.scene);
    absolute(options.povFile);
    absolute(options.renderImage);
    absolute(options.previewImage);

    if (options.previewImage.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runHeadless(options);
    }
    if (!hasDisplay() && !std::getenv("QT_QPA_PLATFORM")) {
        say(QStringLiteral("--preview needs a display; on a machine without one run "
                           "xvfb-run -a kelvane --preview ..."));
        return 1;
    }
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setAlphaBufferSize(8);
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    return runWithView(options);
}
