#include "app/AppIcon.h"
#include "app/Autosave.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int runWindow(int argc, char* argv[], const QString& scene, const QStringList& imports)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Without a display Qt would abort with a long platform-plugin message;
    // say plainly what is missing instead.
    if (!displayAvailable()) {
        std::fprintf(stderr, "kelvane: no display found (DISPLAY is not set). Kelvane is a "
                             "graphical program and needs an X11 or Wayland display; "
                             "kelvane --help shows the command line that works without one.\n");
        return 1;
    }
#endif
    QApplication app(argc, argv);
    // Every window shows the program's icon; the desktop entry's name lets
    // Wayland desktops match the windows to the menu entry.
    app.setWindowIcon(kelvaneIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kelvane.Kelvane"));
    // Where QSettings keeps the recent files.
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    MainWindow window;
    window.resize(800, 600);
    window.show();
    window.setWindowTitle(QStringLiteral("Kelvane"));
    if (!scene.isEmpty()) {
        window.loadScene(scene);
    }
    // An import that fails says why in the window; the others still come
    // in (the first opens as the scene when there is none).
    for (const QString& file : imports) {
        window.importModelFile(file);
    }
    // Work a crash or a killed process left unsaved.
    QTimer::singleShot(0, &window, [&window]() { offerRecovery(&window); });
    return app.exec();
}
