#include "app/EditWindow.h"
#include "app/MainWindow.h"
#include "app/OutputWindow.h"
#include "app/RenderSettingsDialog.h"
#include "scene/PovPictureFrame.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/ModalDialog.h"
#include "tests/support/PovrayChildren.h"
#include "viewer/GLViewer.h"

#include "tests/support/FileDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray readFile(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestRenderWindows : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString previous;

private slots:
    void initTestCase()
    {
        // The working files land in the current directory.
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    void cleanupTestCase() { QDir::setCurrent(previous); }

    void editWindow()
    {
        EditWindow editor;
        QCOMPARE(editor.windowTitle(), QString("Edit POV-Ray Scene"));
        QCOMPARE(editor.objectName(), QString("EditWindowForm"));
        QCOMPARE(editor.ui.renderButton->text(), QString("Render in POV-Ray"));
        QCOMPARE(editor.ui.saveAsButton->text(), QString("Save As..."));
        QVERIFY(!editor.ui.textEdit->acceptRichText());
        QCOMPARE(editor.ui.textEdit->font().family(), QString("Courier New"));

        editor.setSceneText("camera {\n}\n<b>not bold</b>\n");
        QCOMPARE(editor.ui.textEdit->toPlainText(), QString("camera {\n}\n<b>not bold</b>\n"));
        QCOMPARE(editor.ui.textEdit->textCursor().position(), 0);
        QVERIFY(!editor.ui.textEdit->textCursor().hasSelection());

        // Saved under the name as given, without a suffix added.
        QVERIFY(editor.saveToFile("scene"));
        QCOMPARE(readFile("scene"), QByteArray("camera {\n}\n<b>not bold</b>\n"));
        QVERIFY(!editor.findChild<QMessageBox*>("saveErrorBox"));

        // An empty editor still writes the file and asks for a render.
        editor.setSceneText(QString());
        QSignalSpy requested(&editor, &EditWindow::renderRequested);
        editor.ui.renderButton->click();
        QCOMPARE(requested.count(), 1);
        QVERIFY(QFile::exists("tempscene.pov"));
        QCOMPARE(readFile("tempscene.pov"), QByteArray());
    }

    void saveAsDialogs()
    {
        EditWindow editor;
        editor.setSceneText("sphere { 0, 1 }\n");
        QString asked;
        answerFileDialog(dir.filePath("edited"), &asked);
        editor.ui.saveAsButton->click();
        QCOMPARE(asked, QString("Save POV-Ray Scene|POV-Ray scenes (*.pov)"));
        QCOMPARE(readFile(dir.filePath("edited")), QByteArray("sphere { 0, 1 }\n"));
        answerFileDialog(QString());
        editor.setSceneText("changed\n");
        editor.ui.saveAsButton->click();
        QCOMPARE(readFile(dir.filePath("edited")), QByteArray("sphere { 0, 1 }\n"));

        OutputWindow output;
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::green);
        QVERIFY(picture.save("tempscene.bmp"));
        output.loadImage("tempscene.bmp");
        // PNG by default, else the format of the suffix.
        answerFileDialog(dir.filePath("saved"), &asked);
        output.ui.saveAsButton->click();
        QCOMPARE(
            asked,
            QString("Save Image|PNG image (*.png);JPEG image (*.jpg *.jpeg);BMP image (*.bmp)"));
        const QImage saved(dir.filePath("saved.png"));
        QCOMPARE(saved.size(), QSize(64, 48));
        QCOMPARE(saved.pixelColor(5, 5), QColor(Qt::green));
        QCOMPARE(QImageReader(dir.filePath("saved.png")).format(), QByteArray("png"));
        for (const char* name : {"saved.jpg", "saved.JPEG", "saved.bmp"}) {
            answerFileDialog(dir.filePath(name));
            output.ui.saveAsButton->click();
            const QByteArray format = QImageReader(dir.filePath(name)).format();
            QCOMPARE(format,
                     QByteArray(name).endsWith("bmp") ? QByteArray("bmp") : QByteArray("jpeg"));
        }
        QVERIFY(!output.saveErrorBox);

        // A failed save says why.
        answerFileDialog(dir.filePath("no/such/dir/picture.png"));
        output.ui.saveAsButton->click();
        QTRY_VERIFY(output.saveErrorBox && output.saveErrorBox->isVisible());
        QVERIFY2(output.saveErrorBox->text().contains("No such file or directory"),
                 qPrintable(output.saveErrorBox->text()));
        output.saveErrorBox->close();
        QString name = dir.filePath("picture.tif"), error;
        QVERIFY(!output.saveImage(name, error));
        QCOMPARE(error,
                 QString("\"picture.tif\" does not end in .png, .jpg or .bmp, so the picture "
                         "format is unknown."));
        QVERIFY(!QFile::exists(name));
        OutputWindow empty;
        QVERIFY(!empty.saveImage(name, error));
        QCOMPARE(error, QString("There is no rendered picture to save."));
    }

    // Every file the windows write reports a failure in a message box that
    // names the file and the reason: a full disk (seen only when the last
    // blocks are flushed) and a folder that cannot hold the file (a regular
    // file, or a folder taking the file's name: root cannot write there
    // either).
    void failedWritesAreReported()
    {
        if (!QFile::exists("/dev/full")) {
            QSKIP("no /dev/full to provoke a full disk");
        }
        EditWindow editor;
        editor.setSceneText("sphere { 0, 1 }\n");
        QVERIFY(!editor.saveToFile("/dev/full"));
        QMessageBox* box = editor.findChild<QMessageBox*>("saveErrorBox");
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->text(), QString("The scene could not be saved as \"/dev/full\"."));
        QCOMPARE(box->informativeText(), QString("No space left on device."));
        box->accept();

        // The render button renders only what was saved.
        QFile::remove("tempscene.pov");
        QVERIFY(QDir().mkdir("tempscene.pov"));
        QSignalSpy requested(&editor, &EditWindow::renderRequested);
        editor.ui.renderButton->click();
        QCOMPARE(requested.count(), 0);
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->text(), QString("The scene could not be saved as \"tempscene.pov\"."));
        box->accept();
        QVERIFY(QDir().rmdir("tempscene.pov"));

        OutputWindow output;
        output.image = QImage(16, 16, QImage::Format_RGB32);
        output.image.fill(Qt::blue);
        QFile::link("/dev/full", dir.filePath("full.png"));
        QString name = dir.filePath("full.png"), error;
        QVERIFY(!output.saveImage(name, error));
        QVERIFY2(error.contains("No space left on device"), qPrintable(error));
        name = dir.filePath("scene/picture.bmp"); // "scene" is a file
        QVERIFY(!output.saveImage(name, error));
        QVERIFY2(error.contains("scene/picture.bmp"), qPrintable(error));
        name = dir.filePath("picture.bmp");
        QVERIFY2(output.saveImage(name, error), qPrintable(error));
        QCOMPARE(QImage(dir.filePath("picture.bmp")).pixelColor(3, 3), QColor(Qt::blue));

        // The main window renders nothing it could not write.
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        QVERIFY(QDir().mkdir(workFile(w, "tempscene.pov")));
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(!inside(w).renderThread.isRunning());
        box = w.findChild<QMessageBox*>("renderErrorBox");
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->text(), QString("The scene could not be written, so it is not rendered."));
        QVERIFY2(box->informativeText().startsWith(
                     "Cannot write '" + workFile(w, "tempscene.pov") + "': "),
                 qPrintable(box->informativeText()));
        box->accept();
        QVERIFY(QDir().rmdir(workFile(w, "tempscene.pov")));

        QVERIFY(QDir().mkdir(workFile(w, "POVRAY.INI")));
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(!inside(w).renderThread.isRunning());
        QTRY_VERIFY(box->isVisible());
        QVERIFY(box->informativeText().startsWith("Cannot write '" + workFile(w, "POVRAY.INI") +
                                                  "': "));
        box->accept();
        QVERIFY(QDir().rmdir(workFile(w, "POVRAY.INI")));
        QVERIFY(inside(w).ui.actionRender_Full_Size->isEnabled());
    }

    // A write that fails part way (here at a file size limit, as on a full
    // disk) leaves the file that was there whole, and nothing beside it.
    void failedWriteKeepsTheOldFile()
    {
        QTemporaryDir folder;
        const QString name = folder.filePath("kept.pov");
        EditWindow editor;
        editor.setSceneText("sphere { 0, 1 }\n");
        QVERIFY(editor.saveToFile(name));
        rlimit previous;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit small = previous;
        small.rlim_cur = 4096;
        std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of ending the test
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        editor.setSceneText(QString(100000, 'x'));
        const bool saved = editor.saveToFile(name);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &previous), 0);
        std::signal(SIGXFSZ, SIG_DFL);
        QVERIFY(!saved);
        QMessageBox* box = editor.findChild<QMessageBox*>("saveErrorBox");
        QVERIFY(box);
        QVERIFY2(box->informativeText().contains("too large"), qPrintable(box->informativeText()));
        box->accept();
        QCOMPARE(readFile(name), QByteArray("sphere { 0, 1 }\n"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.pov"});
    }

    // Closing the main window during a render stops the renderer rather
    // than waiting for it (here a stand-in that would take 30 seconds).
    void closingStopsTheRender()
    {
        const QString slow = dir.filePath("slow-renderer");
        QFile script(slow);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexec sleep 30\n");
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        auto* w = new MainWindow;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        inside(w).renderThread.program = slow;
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(inside(w).renderThread.isRunning());
        QTest::qWait(300); // the renderer is up
        QElapsedTimer timer;
        timer.start();
        w->close();
        QVERIFY(inside(w).renderThread.wait(5000));
        QVERIFY(inside(w).renderThread.started);
        QVERIFY(!inside(w).renderThread.timedOut);
        delete w;
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    }

    void outputWindow()
    {
        OutputWindow output;
        QCOMPARE(output.windowTitle(), QString("Output"));
        QCOMPARE(output.objectName(), QString("OutputWindowForm"));
        QVERIFY(output.ui.imageSpace->text().isEmpty());

        QFile::remove("tempscene.bmp");
        output.loadImage("tempscene.bmp");
        QCOMPARE(output.windowTitle(), QString("Error"));
        QCOMPARE(output.ui.imageSpace->text(), QString("POV-Ray failed to render the scene."));
        QVERIFY(output.image.isNull());

        QImage picture(320, 240, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save("tempscene.bmp"));
        output.loadImage("tempscene.bmp");
        QCOMPARE(output.windowTitle(), QString("tempscene.bmp (320 x 240)"));
        QCOMPARE(output.image.size(), QSize(320, 240));
        QVERIFY(output.ui.imageSpace->text().isEmpty());
        QCOMPARE(output.ui.imageSpace->pixmap(Qt::ReturnByValue).size(), QSize(320, 240));

        // A failed load keeps the last image, but neither shows nor saves it.
        QVERIFY(output.ui.saveAsButton->isEnabled());
        output.loadImage("missing.bmp");
        QCOMPARE(output.windowTitle(), QString("Error"));
        QCOMPARE(output.image.size(), QSize(320, 240));
        QVERIFY(!output.ui.saveAsButton->isEnabled());
        QString name = "stale.png", error;
        QVERIFY(!output.saveImage(name, error));
        QVERIFY(!QFile::exists("stale.png"));
        QVERIFY(error.contains("failed"));
        output.loadImage("tempscene.bmp");
        QVERIFY(output.ui.saveAsButton->isEnabled());
        QVERIFY(output.saveImage(name, error));
    }

    // With a fixed picture size the camera takes the picture's shape,
    // whatever the docks leave of the view: nothing is stretched.
    void fixedSizeRenderKeepsThePicturesShape_data()
    {
        QTest::addColumn<bool>("material");
        QTest::addColumn<bool>("light");
        QTest::addColumn<QSize>("picture");
        QTest::newRow("no docks, 800x600") << false << false << QSize(800, 600);
        QTest::newRow("material dock, 800x600") << true << false << QSize(800, 600);
        QTest::newRow("both docks, 800x600") << true << true << QSize(800, 600);
        QTest::newRow("light dock, 300x900") << false << true << QSize(300, 900);
        QTest::newRow("no docks, 1920x400") << false << false << QSize(1920, 400);
    }
    void fixedSizeRenderKeepsThePicturesShape()
    {
        QFETCH(bool, material);
        QFETCH(bool, light);
        QFETCH(QSize, picture);
        MainWindow w;
        w.resize(760, 560);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        inside(w).ui.materialDockWidget->setVisible(material);
        inside(w).ui.lightDockWidget->setVisible(light);
        QCoreApplication::processEvents();
        inside(w).renderSettings.useViewSize = false;
        inside(w).renderSettings.size = picture;
        w.applyRenderSettingsToView();
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        const QString text = inside(w).editWindow->ui.textEdit->toPlainText();
        inside(w).editWindow->close();
        const QRegularExpressionMatch right =
            QRegularExpression("right <([0-9.]+), 0, 0,>\n\tangle ([0-9.]+)").match(text);
        QVERIFY2(right.hasMatch(), qPrintable(text.left(400)));
        const double aspect = double(picture.width()) / picture.height();
        QVERIFY2(std::fabs(right.captured(1).toDouble() - aspect) < 1e-4,
                 qPrintable(right.captured(1)));
        // The picture's frame in the view: what the render shows across
        // is what the view shows across the frame.
        GLViewer* viewer = inside(w).viewer;
        const QRect frame = pictureFrame(viewer->size(), picture);
        const double viewAcross = viewer->camera()->horizontalFieldOfView();
        const double expected = 2.0 * std::atan(std::tan(viewAcross / 2.0) * frame.width() /
                                                viewer->width());
        QVERIFY2(std::fabs(right.captured(2).toDouble() - expected * 180.0 / 3.14159) < 0.05,
                 qPrintable(right.captured(2) + " " + QString::number(expected * 57.2958)));
    }

    // Starting a render keeps the output window (and its last picture) up;
    // after a cancel, File > Show Last Render brings it back.
    void outputWindowStaysWithItsPicture()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        QVERIFY(!inside(w).ui.actionShow_Last_Render->isEnabled());
        QImage earlier(40, 30, QImage::Format_RGB32);
        earlier.fill(Qt::red);
        QVERIFY(earlier.save("earlier.bmp"));
        inside(w).outputWindow->loadImage("earlier.bmp");
        w.updateUi();
        QVERIFY(inside(w).ui.actionShow_Last_Render->isEnabled());
        inside(w).ui.actionShow_Last_Render->trigger();
        QVERIFY(inside(w).outputWindow->isVisible());

        QSignalSpy finished(&inside(w).renderThread, &QThread::finished);
        inside(w).renderThread.program = "/nonexistent/povray";
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(inside(w).outputWindow->isVisible());
        QVERIFY(finished.wait(10000));
        inside(w).outputWindow->close();
        inside(w).ui.actionShow_Last_Render->trigger();
        QVERIFY(inside(w).outputWindow->isVisible());
        QVERIFY(inside(w).outputWindow->windowTitle() == "Error");
        QVERIFY(!inside(w).outputWindow->ui.saveAsButton->isEnabled());
    }

    void renderFromTheMainWindow()
    {
        SKIP_WITHOUT_POVRAY();
        MainWindow w;
        w.resize(500, 400);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        QImage stale(8, 8, QImage::Format_RGB32);
        QVERIFY(stale.save(workFile(w, "tempscene.bmp")));

        QSignalSpy finished(&inside(w).renderThread, &QThread::finished);
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(!inside(w).ui.actionRender_Full_Size->isEnabled());
        QVERIFY(!inside(w).editWindow->ui.renderButton->isEnabled());
        const QSize view = inside(w).viewer->size();
        QCOMPARE(readFile(workFile(w, "POVRAY.INI")),
                 QString("+W%1 +H%2\n").arg(view.width()).arg(view.height()).toLatin1());
        QVERIFY(readFile(workFile(w, "tempscene.pov")).startsWith("#include \"colors.inc\"\n"));
        // A second request while rendering, from a view of another size,
        // leaves the working files alone.
        const QByteArray ini = readFile(workFile(w, "POVRAY.INI"));
        inside(w).viewer->resize(view - QSize(10, 10));
        w.on_render_requested();
        QCOMPARE(readFile(workFile(w, "POVRAY.INI")), ini);
        inside(w).viewer->resize(view);

        QVERIFY(finished.wait(60000));
        QTRY_VERIFY(inside(w).outputWindow->isVisible());
        QVERIFY(inside(w).ui.actionRender_Full_Size->isEnabled());
        QVERIFY(inside(w).editWindow->ui.renderButton->isEnabled());
        QCOMPARE(inside(w).outputWindow->windowTitle(),
                 QString("tempscene.bmp (%1 x %2)").arg(view.width()).arg(view.height()));
        // The cube is drawn in the middle of the picture.
        const QImage image = inside(w).outputWindow->image;
        QVERIFY(qGray(image.pixel(image.width() / 2, image.height() / 2)) > 60);
        QCOMPARE(qGray(image.pixel(2, 2)), 0);

        // Resizing the window changes the next render's size.
        w.resize(420, 330);
        QTRY_VERIFY(inside(w).viewer->size() != view);
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(finished.wait(60000));
        QTRY_COMPARE(inside(w).outputWindow->image.size(), inside(w).viewer->size());
    }

    // Two windows started from one folder render different scenes at the
    // same time: each works in its own folder and shows its own picture,
    // and neither leaves working files in the folder they share.
    void twoWindowsRenderTheirOwnScenes()
    {
        SKIP_WITHOUT_POVRAY();
        QTemporaryDir shared;
        QDir::setCurrent(shared.path());
        MainWindow first, second;
        const QColor colours[2] = {Qt::red, Qt::blue};
        const QSize sizes[2] = {QSize(100, 80), QSize(120, 90)};
        MainWindow* windows[2] = {&first, &second};
        for (int i = 0; i < 2; ++i) {
            MainWindow& w = *windows[i];
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
            inside(w).renderSettings.useViewSize = false;
            inside(w).renderSettings.size = sizes[i];
            inside(w).renderSettings.background = PovBackgroundKind::Colour;
            inside(w).renderSettings.backgroundColour = colours[i];
        }
        QVERIFY(workFile(first, "tempscene.pov") != workFile(second, "tempscene.pov"));
        QSignalSpy firstDone(&inside(first).renderThread, &QThread::finished);
        QSignalSpy secondDone(&inside(second).renderThread, &QThread::finished);
        inside(first).ui.actionRender_Full_Size->trigger();
        inside(second).ui.actionRender_Full_Size->trigger();
        QVERIFY(inside(first).renderThread.isRunning() || firstDone.count() == 1);
        QVERIFY(firstDone.count() == 1 || firstDone.wait(60000));
        QVERIFY(secondDone.count() == 1 || secondDone.wait(60000));
        for (int i = 0; i < 2; ++i) {
            MainWindow& w = *windows[i];
            QTRY_VERIFY(inside(w).outputWindow->isVisible());
            const QImage image = inside(w).outputWindow->image;
            QCOMPARE(image.size(), sizes[i]);
            QCOMPARE(QColor(image.pixel(2, 2)), colours[i]);
            QCOMPARE(inside(w).outputWindow->windowTitle(),
                     QString("tempscene.bmp (%1 x %2)").arg(sizes[i].width()).arg(sizes[i].height()));
        }
        QCOMPARE(QDir(shared.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
        QDir::setCurrent(dir.path());
    }

    void previewEditAndRender()
    {
        SKIP_WITHOUT_POVRAY();
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        QVERIFY(inside(w).editWindow->isVisible());
        QVERIFY(!QFile::exists(workFile(w, "tempscene.pov"))); // nothing written
        const QString generated = inside(w).scene.povText(inside(w).viewer->camera());
        QCOMPARE(inside(w).editWindow->ui.textEdit->toPlainText(), generated);

        // Hand edits are rendered: paint the background white.
        inside(w).editWindow->setSceneText(generated + "background { color rgb <1, 1, 1> }\n");
        QSignalSpy finished(&inside(w).renderThread, &QThread::finished);
        inside(w).editWindow->ui.renderButton->click();
        QVERIFY(!inside(w).editWindow->isVisible());
        QVERIFY(readFile(workFile(w, "tempscene.pov"))
                    .endsWith("background { color rgb <1, 1, 1> }\n"));
        QVERIFY(finished.wait(60000));
        QTRY_VERIFY(inside(w).outputWindow->isVisible());
        QCOMPARE(qGray(inside(w).outputWindow->image.pixel(2, 2)), 255);
    }

    void failedRenderShowsTheFailureText()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        inside(w).renderThread.program = dir.filePath("no-such-renderer");
        QSignalSpy finished(&inside(w).renderThread, &QThread::finished);
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(finished.wait(30000));
        QTRY_VERIFY(inside(w).outputWindow->isVisible());
        QCOMPARE(inside(w).outputWindow->windowTitle(), QString("Error"));
        QVERIFY2(inside(w).outputWindow->ui.imageSpace->text().startsWith(
                     "POV-Ray failed to render the scene.\n\nPOV-Ray could not be started (" +
                     dir.filePath("no-such-renderer")),
                 qPrintable(inside(w).outputWindow->ui.imageSpace->text()));
        QVERIFY(!QFile::exists(workFile(w, "tempscene.bmp")));
        QVERIFY(inside(w).ui.actionRender_Full_Size->isEnabled());
    }

    void syntaxErrorShowsPovRaysLineAndNoOldPicture()
    {
        SKIP_WITHOUT_POVRAY();
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // An earlier picture on show.
        QImage earlier(40, 30, QImage::Format_RGB32);
        earlier.fill(Qt::red);
        QVERIFY(earlier.save("tempscene.bmp"));
        inside(w).outputWindow->loadImage("tempscene.bmp");
        inside(w).outputWindow->show();

        inside(w).editWindow->setSceneText("camera { location <0, 0, 5> look_at <0, 0, 0> }\n"
                                           "box {\n  <1, 2, 3> <4, 5, 6> foo\n}\n");
        QSignalSpy finished(&inside(w).renderThread, &QThread::finished);
        inside(w).editWindow->ui.renderButton->click();
        QVERIFY(finished.wait(30000));
        QTRY_VERIFY(inside(w).outputWindow->isVisible());
        QCOMPARE(inside(w).outputWindow->windowTitle(), QString("Error"));
        const QString text = inside(w).outputWindow->ui.imageSpace->text();
        QVERIFY2(text.startsWith("POV-Ray failed to render the scene.\n\nFile '") &&
                     text.contains("tempscene.pov' line 3: Parse Error: No matching } in 'box', "
                                   "undeclared identifier 'foo' found instead\n"),
                 qPrintable(text));
        // The earlier picture is neither shown nor taken for the new one.
        QVERIFY(inside(w).outputWindow->ui.imageSpace->pixmap(Qt::ReturnByValue).isNull());
        QCOMPARE(inside(w).outputWindow->image.size(), QSize(40, 30));
        QVERIFY(!QFile::exists(workFile(w, "tempscene.bmp")));
    }

    void cancelEndsPovRayAndKeepsThePicture()
    {
        SKIP_WITHOUT_POVRAY();
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QImage earlier(40, 30, QImage::Format_RGB32);
        earlier.fill(Qt::red);
        QVERIFY(earlier.save("earlier.bmp"));
        inside(w).outputWindow->loadImage("earlier.bmp");
        QVERIFY(!inside(w).cancelRenderButton->isVisible());
        QVERIFY(!inside(w).cancelRenderAction->isEnabled());

        QSignalSpy finished(&inside(w).renderThread, &QThread::finished);
        for (const char* how : {"Escape", "button"}) {
            inside(w).editWindow->setSceneText(slowScene);
            inside(w).editWindow->ui.renderButton->click();
            // The status bar shows the stage and the time taken, with Cancel.
            QVERIFY(inside(w).cancelRenderButton->isVisible());
            QVERIFY(inside(w).renderProgressBar->isVisible());
            QVERIFY(!inside(w).ui.actionRender_Full_Size->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(
                inside(w).renderStatusLabel->text().startsWith("Parsing - 0:0"), 20000);
            QCOMPARE(inside(w).renderProgressBar->maximum(), 0); // busy: parsing has no percentage
            QCOMPARE(povrayChildren().size(), 1);
            QElapsedTimer clock;
            clock.start();
            if (QByteArray(how) == "Escape") {
                QTest::keyClick(inside(w).viewer, Qt::Key_Escape);
            } else {
                inside(w).cancelRenderButton->click();
            }
            QVERIFY(finished.wait(5000));
            QVERIFY2(clock.elapsed() < 2000, how);
            QTRY_COMPARE(w.statusBar()->currentMessage(), QString("Render cancelled"));
            QTRY_VERIFY(inside(w).ui.actionRender_Full_Size->isEnabled());
            QVERIFY(inside(w).editWindow->ui.renderButton->isEnabled());
            QVERIFY(!inside(w).cancelRenderButton->isVisible());
            QCOMPARE(povrayChildren(), QStringList());
            // Nothing new is shown; the earlier picture stays, and can be
            // brought back.
            QVERIFY(!inside(w).outputWindow->isVisible());
            QCOMPARE(inside(w).outputWindow->image.size(), QSize(40, 30));
            QCOMPARE(inside(w).outputWindow->windowTitle(), QString("earlier.bmp (40 x 30)"));
            QVERIFY(inside(w).ui.actionShow_Last_Render->isEnabled());
        }
        inside(w).ui.actionShow_Last_Render->trigger();
        QVERIFY(inside(w).outputWindow->isVisible());
        QVERIFY(inside(w).outputWindow->ui.saveAsButton->isEnabled());
    }

    void renderSettingsDialogReachesTheRender()
    {
        SKIP_WITHOUT_POVRAY();
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        QVERIFY(inside(w).renderSettings == PovRenderSettings());

        // Cancel changes nothing; OK keeps the values for the session.
        inside(w).ui.actionRender_Settings->trigger();
        QTRY_VERIFY(inside(w).renderSettingsDialog && inside(w).renderSettingsDialog->isVisible());
        RenderSettingsDialog* dialog = inside(w).renderSettingsDialog;
        QVERIFY(dialog->viewSizeButton->isChecked() && !dialog->widthBox->isEnabled());
        QVERIFY(!dialog->thresholdBox->isEnabled());
        dialog->fixedSizeButton->click();
        dialog->reject();
        QVERIFY(inside(w).renderSettings == PovRenderSettings());
        inside(w).ui.actionRender_Settings->trigger();
        QVERIFY(dialog->viewSizeButton->isChecked());
        dialog->fixedSizeButton->click();
        QVERIFY(dialog->widthBox->isEnabled());
        dialog->widthBox->setValue(100);
        dialog->heightBox->setValue(80);
        dialog->antialiasBox->click();
        QVERIFY(dialog->thresholdBox->isEnabled());
        dialog->thresholdBox->setValue(0.2);
        dialog->meshFormBox->setCurrentIndex(2);
        dialog->accept();
        QVERIFY(!inside(w).renderSettings.useViewSize);
        QCOMPARE(inside(w).renderSettings.size, QSize(100, 80));
        QVERIFY(inside(w).renderSettings.antialias);
        QCOMPARE(inside(w).renderSettings.antialiasThreshold, 0.2);
        QCOMPARE(inside(w).renderSettings.meshForm, PovMeshForm::Mesh2);
        inside(w).ui.actionRender_Settings->trigger();
        QCOMPARE(dialog->widthBox->value(), 100); // shown again as kept
        dialog->reject();

        QSignalSpy finished(&inside(w).renderThread, &QThread::finished);
        inside(w).ui.actionRender_Full_Size->trigger();
        QCOMPARE(readFile(workFile(w, "POVRAY.INI")), QByteArray("+W100 +H80\n+A0.2\n"));
        QVERIFY(readFile(workFile(w, "tempscene.pov")).contains("\nmesh2 {\n"));
        QVERIFY(finished.wait(30000));
        QTRY_VERIFY(inside(w).outputWindow->isVisible());
        QCOMPARE(inside(w).outputWindow->image.size(), QSize(100, 80));
        QVERIFY(inside(w).renderThread.output.contains("Antialiasing.........On"));
    }

    void largeSceneQuestionNamesTheMeshForm()
    {
        // A grid of 10,082 triangles (ground included), over the question's
        // limit and under the automatic form's.
        QFile off(dir.filePath("grid.off"));
        QVERIFY(off.open(QIODevice::WriteOnly));
        const int n = 71;
        QByteArray text = "OFF\n" + QByteArray::number((n + 1) * (n + 1)) + " " +
                          QByteArray::number(2 * n * n) + " 0\n";
        for (int y = 0; y <= n; ++y) {
            for (int x = 0; x <= n; ++x) {
                text += QByteArray::number(x) + " " + QByteArray::number(y) + " 0\n";
            }
        }
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const int a = y * (n + 1) + x;
                text += "3 " + QByteArray::number(a) + " " + QByteArray::number(a + 1) + " " +
                        QByteArray::number(a + n + 2) + "\n";
                text += "3 " + QByteArray::number(a) + " " + QByteArray::number(a + n + 2) + " " +
                        QByteArray::number(a + n + 1) + "\n";
            }
        }
        off.write(text);
        off.close();
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(off.fileName());
        QCOMPARE(inside(w).scene.triangleCount(), 2LL * n * n + 2);

        QString question;
        answerMessageBox(QMessageBox::No, &question);
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY2(question.contains("written for POV-Ray as separate triangles."),
                 qPrintable(question));
        QVERIFY(!QFile::exists(workFile(w, "tempscene.pov")));
        inside(w).renderSettings.meshForm = PovMeshForm::Mesh2;
        // The question before subdividing names no form.
        answerMessageBox(QMessageBox::No, &question);
        QVERIFY(!w.confirmLargeScene());
        QVERIFY2(!question.contains("POV-Ray"), qPrintable(question));
        answerMessageBox(QMessageBox::No, &question);
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        QVERIFY2(question.contains("compact mesh2 form"), qPrintable(question));
        QVERIFY(!inside(w).editWindow->isVisible());
    }
};

QTEST_MAIN(TestRenderWindows)
#include "tst_RenderWindows.moc"
