#include "app/CommandLineJobs.h"

#include "scene/PovScene.h"
#include "scene/PovSceneDocument.h"
#include "viewer/GLStandIn.h"
#include "viewer/GLViewer.h"

#include <QCoreApplication>
#include <QImage>

int runWithView(const CommandLineOptions& given)
{
    CommandLineOptions options = given;
    PovScene scene;
    GLViewer viewer;
    viewer.setScene(&scene);
    viewer.standInModels().enabled = false;
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
    const bool loaded = loadScene(scene, options.scene, options.imports, viewer.camera(), view, read);
    viewer.doneCurrent();
    if (!loaded) {
        return 1;
    }
    options = withDocumentSettings(given, view);
    if (!applyOptions(scene, options)) {
        return 1;
    }
    viewer.wireframe = view.wireframe;
    viewer.showLights = view.showLights;
    PovNamedView named;
    if (runView(options, view, *viewer.camera(), named)) {
        if (view.hasCamera) {
            viewer.camera()->setFieldOfView(view.fieldOfView);
        }
        viewer.showView(named);
    } else {
        viewer.resetCamera();
        applyCamera(viewer.camera(), view);
    }
    viewer.refreshLines(); // the picture shows the lines whatever the mesh's size
    if (viewer.width() != options.size.width() || viewer.height() != options.size.height()) {
        say(QStringLiteral("the view could only be made %1x%2 on this display")
                .arg(viewer.width())
                .arg(viewer.height()));
    }

    bool leftOut = false;
    QObject::connect(&viewer, &GLViewer::notEnoughMemoryToDraw, [&](int) { leftOut = true; });
    const bool made = forEachFrame(options, viewer.camera(), read, [&](const FrameFiles& files) {
        // The view's framebuffer may have an alpha channel; its bytes are
        // what the screen shows.
        const QImage grabbed = viewer.grabFramebuffer();
        if (leftOut) {
            say(QStringLiteral("not enough memory to draw the scene in the view"));
            return false;
        }
        const QImage shown = QImage(grabbed.constBits(), grabbed.width(), grabbed.height(),
                                    grabbed.bytesPerLine(), QImage::Format_RGB32)
                                 .copy();
        if (!saveImage(shown, files.preview)) {
            return false;
        }
        if (!files.pov.isEmpty() && !writePov(scene, viewer.camera(), files.pov, options.render)) {
            return false;
        }
        return files.render.isEmpty() ||
               renderPicture(scene, viewer.camera(), options, files.render);
    });
    viewer.makeCurrent();
    scene.clear();
    viewer.doneCurrent();
    return made ? 0 : 1;
}
