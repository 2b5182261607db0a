#include "app/HelpDialogs.h"

#include "app/InstallPaths.h"

#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>

namespace {

void showBox(QWidget* parent, const QString& name, const QString& title, const QString& html)
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, title, html, QMessageBox::Close, parent);
    box->setObjectName(name);
    box->setTextFormat(Qt::RichText);
    box->setTextInteractionFlags(Qt::TextBrowserInteraction);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

QString povrayVersion(const QString& program)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {QStringLiteral("--version")}, QIODevice::ReadOnly);
    if (!process.waitForStarted(3000)) {
        return QStringLiteral("POV-Ray was not found (\"%1\" could not be started).").arg(program);
    }
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
    }
    const QString output = QString::fromLocal8Bit(process.readAll());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("POV-Ray\\s+[0-9][^\\s]*")).match(output);
    if (m.hasMatch()) {
        return m.captured(0);
    }
    return QStringLiteral("\"%1\" answered, but gave no POV-Ray version.").arg(program);
}

QString guideText()
{
    return QStringLiteral(
        "<h3>Kelvane</h3>"
        "<p><b>Open</b> a model or a scene with File &gt; Open (Ctrl+O), File &gt; Open "
        "Recent or by dropping the file on the window.</p>"
        "<p><b>Look around:</b> drag with the left button to orbit (the ground stays "
        "level; View &gt; Trackball Rotation turns freely), with the middle button to "
        "move, with the right button or the wheel to zoom. View &gt; Reset Camera shows "
        "the whole scene again; View &gt; Views looks from the front, a side, above, below "
        "or three-quarter (keys 1, 3, 7, with Ctrl the opposite side, 0).</p>"
        "<p><b>Materials:</b> double-click a model to select it; the Material panel "
        "sets its colour or a wood or stone texture, its finish and its surface.</p>"
        "<p><b>Lights:</b> View &gt; Show Lights shows them; double-click a light to "
        "select it, then drag it to move it. Lighting &gt; Outdoor gives a sun and sky, "
        "Indoor three lamps; Add Light and Remove Light change the lamps. "
        "Lighting &gt; Environment... lights the scene from an HDR panorama (.hdr, .exr) "
        "shown behind it; Lighting &gt; Studio sets the models on a seamless backdrop "
        "with key, fill and rim lights.</p>"
        "<p><b>Render:</b> File &gt; Render (Ctrl+R) has POV-Ray ray-trace what the view "
        "shows; File &gt; Render Settings chooses the size, quality and background. "
        "When a fixed picture size has another shape than the view, the view dims what "
        "the picture leaves out. File &gt; Show Last Render (Ctrl+L) brings the picture "
        "back.</p>"
        "<p><b>Save</b> the scene (Ctrl+S) to keep materials, lights, camera and render "
        "settings in a .kelvane document.</p>"
        "<p>The command line, the file formats and more are described in the README and "
        "in the manual page (<tt>man kelvane</tt>).</p>");
}

QString shortcutsText()
{
    return QStringLiteral(
        "<table cellspacing='4'>"
        "<tr><td><b>Ctrl+O</b></td><td>Open a model or scene</td></tr>"
        "<tr><td><b>Ctrl+I</b></td><td>Import a model into the scene</td></tr>"
        "<tr><td><b>Ctrl+S</b></td><td>Save the scene</td></tr>"
        "<tr><td><b>Ctrl+Z</b></td><td>Undo</td></tr>"
        "<tr><td><b>Ctrl+Shift+Z</b></td><td>Redo</td></tr>"
        "<tr><td><b>M</b></td><td>Move mode: drag a model to move it, Shift+drag to "
        "turn it</td></tr>"
        "<tr><td><b>1, 3, 7</b></td><td>Front, Right, Top view (with Ctrl: Back, Left, "
        "Bottom)</td></tr>"
        "<tr><td><b>0</b></td><td>Three-Quarter view</td></tr>"
        "<tr><td><b>Ctrl+R</b></td><td>Render</td></tr>"
        "<tr><td><b>Ctrl+L</b></td><td>Show the last render</td></tr>"
        "<tr><td><b>Escape</b></td><td>Cancel a render</td></tr>"
        "<tr><td><b>Ctrl+Q</b></td><td>Quit</td></tr>"
        "<tr><td><b>F1</b></td><td>Help</td></tr>"
        "<tr><td colspan='2'>&nbsp;</td></tr>"
        "<tr><td><b>Left drag</b></td><td>Orbit the camera (or drag the selected "
        "light)</td></tr>"
        "<tr><td><b>Middle drag</b></td><td>Move the camera</td></tr>"
        "<tr><td><b>Right drag, wheel</b></td><td>Zoom</td></tr>"
        "<tr><td><b>Double-click</b></td><td>Select a model or light</td></tr>"
        "</table>");
}

QString aboutText(const QString& povray)
{
    QString html = QStringLiteral("<h3>Kelvane %1</h3>"
                                  "<p>Look at a 3D model and get a photorealistic picture of "
                                  "it.</p>"
                                  "<p>Renderer: %2</p>")
                       .arg(QStringLiteral(KELVANE_VERSION), povray.toHtmlEscaped());
    html += QStringLiteral(
        "<p>Kelvane is free software: you may redistribute and modify it under the terms of "
        "the GNU General Public License, version 3 or later. It uses Qt (LGPL 3), "
        "libQGLViewer (GPL) and POV-Ray (AGPL 3), each under its own licence.</p>");
    const QString samples = installedSamplesDirectory();
    if (!samples.isEmpty()) {
        html += QStringLiteral("<p>Sample scenes: %1</p>").arg(samples.toHtmlEscaped());
    }
    return html;
}

void showGuide(QWidget* parent)
{
    showBox(parent, QStringLiteral("helpBox"), QStringLiteral("Kelvane Help"), guideText());
}

void showShortcuts(QWidget* parent)
{
    showBox(parent, QStringLiteral("shortcutsBox"), QStringLiteral("Keyboard and Mouse"),
            shortcutsText());
}

void showAbout(QWidget* parent, const QString& povrayProgram)
{
    showBox(parent, QStringLiteral("aboutBox"), QStringLiteral("About Kelvane"),
            aboutText(povrayVersion(povrayProgram)));
}
