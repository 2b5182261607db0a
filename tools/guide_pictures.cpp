// The user guide's pictures of the window (docs/guide.md), taken from the
// real window on a display (tools/make_guide_pictures.sh runs it under
// Xvfb), and rendered frames laid side by side:
//
//   kelvane_guide_pictures window FOLDER SCENE
//       window.jpg (the window with SCENE open and its model selected),
//       material.jpg, lighting.jpg (the two panels), lines.jpg (the Lines
//       panel), render-settings.jpg and output.jpg (the output window after
//       a render in the window) in FOLDER
//   kelvane_guide_pictures strip OUT HEIGHT PICTURE...
//       the pictures scaled to HEIGHT pixels, side by side
//
// JPEG keeps the repository light; its quality is set where it is saved.

#include "app/LinesDialog.h"
#include "app/MainWindow.h"
#include "app/OutputWindow.h"
#include "app/RenderSettingsDialog.h"
#include "tests/support/MainWindowAccess.h"

#include <QApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QPainter>
#include <QScreen>

#include <cstdio>

namespace {

void wait(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// Saves what the screen shows of the widget: the X server's pixels, as a
// screenshot has them (the view's own framebuffer carries an alpha channel
// that a widget's grab() would take for transparency).
bool save(QWidget* widget, const QString& fileName)
{
    wait(300);
    QWidget* top = widget->window();
    const QRect area(widget->mapTo(top, QPoint(0, 0)), widget->size());
    const QImage picture =
        QGuiApplication::primaryScreen()
            ->grabWindow(top->winId(), area.x(), area.y(), area.width(), area.height())
            .toImage();
    if (picture.isNull() || !picture.save(fileName, "JPG", 85)) {
        std::fprintf(stderr, "cannot save %s\n", qPrintable(fileName));
        return false;
    }
    std::printf("%s\n", qPrintable(fileName));
    return true;
}

int windowPictures(const QString& folder, const QString& scene)
{
    MainWindow window;
    window.resize(960, 680);
    window.show();
    window.loadScene(scene);
    wait(1500);
    MainWindowTestAccess parts = inside(window);
    window.on_modelSelected(1); // the first model; 0 is the ground
    bool saved = save(&window, folder + "/window.jpg");
    saved = saved && save(parts.ui.materialDockWidget, folder + "/material.jpg");
    window.on_lightSelected(0);
    saved = saved && save(parts.ui.lightDockWidget, folder + "/lighting.jpg");
    window.on_actionFeature_Lines_triggered();
    saved = saved && save(parts.linesDialog, folder + "/lines.jpg");
    parts.linesDialog->hide();
    window.on_actionRender_Settings_triggered();
    saved = saved && save(parts.renderSettingsDialog, folder + "/render-settings.jpg");
    parts.renderSettingsDialog->reject();
    window.on_actionRender_Full_Size_triggered();
    QElapsedTimer clock;
    clock.start();
    wait(500);
    while ((parts.renderThread.isRunning() || !parts.outputWindow->isVisible()) &&
           clock.elapsed() < 600000) {
        wait(200);
    }
    saved = saved && save(parts.outputWindow, folder + "/output.jpg");
    window.setModified(false);
    return saved ? 0 : 1;
}

int strip(const QString& out, int height, const QStringList& files)
{
    QList<QImage> pictures;
    int width = 0;
    const int gap = 4;
    for (const QString& file : files) {
        const QImage picture = QImage(file).scaledToHeight(height, Qt::SmoothTransformation);
        if (picture.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
            return 1;
        }
        pictures << picture;
        width += picture.width() + (width ? gap : 0);
    }
    QImage all(width, height, QImage::Format_RGB32);
    all.fill(Qt::white);
    QPainter painter(&all);
    int x = 0;
    for (const QImage& picture : pictures) {
        painter.drawImage(x, 0, picture);
        x += picture.width() + gap;
    }
    painter.end();
    return all.save(out, nullptr, 85) ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 3 && arguments[0] == QLatin1String("window")) {
        return windowPictures(arguments[1], arguments[2]);
    }
    if (arguments.size() >= 4 && arguments[0] == QLatin1String("strip")) {
        return strip(arguments[1], arguments[2].toInt(), arguments.mid(3));
    }
    std::fprintf(stderr, "usage: kelvane_guide_pictures window FOLDER SCENE\n"
                         "       kelvane_guide_pictures strip OUT HEIGHT PICTURE...\n");
    return 2;
}
