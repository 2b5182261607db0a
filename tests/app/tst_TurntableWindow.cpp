// File > Render Turntable... in the real window with the real POV-Ray:
// the dialog, the frames, per-frame progress, and Cancel.
#include "app/MainWindow.h"
#include "app/TurntableDialog.h"
#include "app/TurntableRender.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/Pixels.h"
#include "tests/support/PovrayChildren.h"

#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QMessageBox>
#include <QtTest>

// How well the model in `turned` covers the model in `still` once that is
// turned by `degrees` about the picture's centre, clockwise on the screen.
static double turnedOverlap(const QImage& still, const QImage& turned, double degrees)
{
    const QImage t = still.transformed(QTransform().rotate(degrees));
    const QRect middle(QPoint((t.width() - still.width()) / 2, (t.height() - still.height()) / 2),
                       still.size());
    return intersectionOverUnion(silhouette(t.copy(middle)), silhouette(turned));
}

class TestTurntableWindow : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        SKIP_WITHOUT_POVRAY();
        // The main window's own render files stay out of the source tree.
        QDir::setCurrent(dir.path());
    }

    // The dialog's values become the frames on disk, with progress for
    // each frame in turn; a scene opened meanwhile does not reach them.
    void dialogRendersTheFrames()
    {
        MainWindow window;
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.loadScene(QStringLiteral(KELVANE_SOURCE_DIR "/samples/boxes.npr"));
        QVERIFY(inside(window).ui.actionRender_Turntable->isEnabled());
        QCOMPARE(inside(window).ui.actionRender_Turntable->text(),
                 QStringLiteral("Render Turntable..."));

        inside(window).ui.actionRender_Turntable->trigger();
        QVERIFY(inside(window).turntableDialog && inside(window).turntableDialog->isVisible());
        inside(window).turntableDialog->framesBox->setValue(3);
        inside(window).turntableDialog->folderEdit->setText(dir.filePath("spin"));
        inside(window).turntableDialog->widthBox->setValue(80);
        inside(window).turntableDialog->heightBox->setValue(60);
        inside(window).turntableDialog->accept();
        QVERIFY(inside(window).turntable && inside(window).turntable->isRunning());
        QVERIFY(inside(window).turntableProgress->isVisible());

        QSignalSpy progress(inside(window).turntable, &TurntableRender::frameProgress);
        QSignalSpy finished(inside(window).turntable, &TurntableRender::finished);
        // Another scene while the frames render: they keep the first one.
        window.loadScene(QStringLiteral(KELVANE_SOURCE_DIR "/samples/torus.off"));
        QVERIFY(finished.wait(120000));
        QCOMPARE(finished.first().at(0).toBool(), true);
        QVERIFY(!inside(window).turntableProgress->isVisible());

        QStringList frames;
        for (int k = 0; k < 3; ++k) {
            frames << dir.filePath(QString("spin/frame_%1.png").arg(k, 3, 10, QChar('0')));
            const QImage image(frames.last());
            QCOMPARE(image.size(), QSize(80, 60));
        }
        QCOMPARE(inside(window).turntable->saved, frames);
        // The view looks down; the camera circles anticlockwise seen from
        // above, so the picture turns clockwise (overlaps measured: 0.90
        // turned clockwise, 0.41 turned the other way).
        const double clockwise = turnedOverlap(QImage(frames[0]), QImage(frames[1]), 120);
        const double anticlockwise = turnedOverlap(QImage(frames[0]), QImage(frames[1]), -120);
        QVERIFY2(clockwise > 0.8 && anticlockwise < 0.6,
                 qPrintable(QString("%1 %2").arg(clockwise).arg(anticlockwise)));
        // The end is announced, naming where the frames are.
        auto* done = window.findChild<QMessageBox*>("turntableDoneBox");
        QVERIFY(done);
        QTRY_VERIFY(done->isVisible());
        QCOMPARE(done->text(), QString("Turntable rendered: 3 frames."));
        QVERIFY(done->informativeText().contains(QDir::toNativeSeparators(dir.filePath("spin"))));
        done->close();
        QVERIFY(!QFile::exists(dir.filePath("spin/frame_003.png")));
        // Frames reported in order, ending with the last.
        int last = -1;
        for (const QList<QVariant>& signal : progress) {
            QVERIFY(signal.at(0).toInt() >= last);
            last = signal.at(0).toInt();
            QCOMPARE(signal.at(1).toInt(), 3);
        }
        QCOMPARE(last, 2);
    }

    // The frames are rendered with the window's render settings, all of
    // them: a coloured background, and a transparent one (a PNG with alpha).
    void framesUseTheRenderSettings()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.loadScene(QStringLiteral(KELVANE_SOURCE_DIR "/samples/torus.off"));
        inside(window).renderSettings.background = PovBackgroundKind::Colour;
        inside(window).renderSettings.backgroundColour = QColor(0x33, 0x66, 0x99);
        QVERIFY(window.startTurntable(1, dir.filePath("coloured"), QSize(40, 30)));
        QSignalSpy coloured(inside(window).turntable, &TurntableRender::finished);
        QVERIFY(coloured.wait(60000));
        QVERIFY2(coloured.first().at(0).toBool(), qPrintable(coloured.first().at(1).toString()));
        const QImage colour(dir.filePath("coloured/frame_000.png"));
        QCOMPARE(QColor(colour.pixel(0, 0)), QColor(0x33, 0x66, 0x99));

        inside(window).renderSettings.background = PovBackgroundKind::Transparent;
        QVERIFY(window.startTurntable(1, dir.filePath("clear"), QSize(40, 30)));
        QSignalSpy clear(inside(window).turntable, &TurntableRender::finished);
        QVERIFY(clear.wait(60000));
        QVERIFY2(clear.first().at(0).toBool(), qPrintable(clear.first().at(1).toString()));
        const QImage transparent(dir.filePath("clear/frame_000.png"));
        QVERIFY(transparent.hasAlphaChannel());
        QCOMPARE(qAlpha(transparent.pixel(0, 0)), 0);
        bool opaque = false; // the torus
        for (int y = 0; y < transparent.height(); ++y) {
            for (int x = 0; x < transparent.width(); ++x) {
                opaque = opaque || qAlpha(transparent.pixel(x, y)) == 255;
            }
        }
        QVERIFY(opaque);
    }

    // Cancel in the progress dialog stops POV-Ray at once and keeps the
    // frames already saved.
    void cancelStopsPovRay()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.loadScene(QStringLiteral(KELVANE_SOURCE_DIR "/samples/torus.off"));
        inside(window).renderSettings.antialias = true;
        inside(window).renderSettings.antialiasThreshold = 0.01;
        QVERIFY(window.startTurntable(50, dir.filePath("cancelled"), QSize(1600, 1200)));
        QSignalSpy progress(inside(window).turntable, &TurntableRender::frameProgress);
        QSignalSpy finished(inside(window).turntable, &TurntableRender::finished);
        QTRY_VERIFY_WITH_TIMEOUT(!povrayChildren().isEmpty(), 30000);
        auto* cancel = inside(window).turntableProgress->findChild<QPushButton*>();
        QVERIFY(cancel && cancel->isVisible());
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QCOMPARE(finished.first().at(1).toString(), QString());
        QVERIFY(povrayChildren().isEmpty());
        QVERIFY(inside(window).turntable->saved.size() < 50);
        QVERIFY(!inside(window).turntable->isRunning());
        // A second turntable can follow.
        inside(window).renderSettings.antialias = false;
        QVERIFY(window.startTurntable(1, dir.filePath("again"), QSize(40, 30)));
        QSignalSpy again(inside(window).turntable, &TurntableRender::finished);
        QVERIFY(again.wait(60000));
        QCOMPARE(again.first().at(0).toBool(), true);
    }
};

QTEST_MAIN(TestTurntableWindow)
#include "tst_TurntableWindow.moc"
