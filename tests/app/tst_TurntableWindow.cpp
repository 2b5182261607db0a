// File > Render Turntable... in the real window with the real POV-Ray:
// the dialog, the frames, per-frame progress, and Cancel.
#include "app/MainWindow.h"
#include "app/TurntableDialog.h"
#include "app/TurntableRender.h"
#include "tests/support/PovrayChildren.h"

#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestTurntableWindow : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        if (QStandardPaths::findExecutable("povray").isEmpty()) {
            QSKIP("POV-Ray is not installed (packages povray, povray-includes)");
        }
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
        QVERIFY(window.ui.actionRender_Turntable->isEnabled());
        QCOMPARE(window.ui.actionRender_Turntable->text(), QStringLiteral("Render Turntable..."));

        window.ui.actionRender_Turntable->trigger();
        QVERIFY(window.turntableDialog && window.turntableDialog->isVisible());
        window.turntableDialog->framesBox->setValue(3);
        window.turntableDialog->folderEdit->setText(dir.filePath("spin"));
        window.turntableDialog->widthBox->setValue(80);
        window.turntableDialog->heightBox->setValue(60);
        window.turntableDialog->accept();
        QVERIFY(window.turntable && window.turntable->isRunning());
        QVERIFY(window.turntableProgress->isVisible());

        QSignalSpy progress(window.turntable, &TurntableRender::frameProgress);
        QSignalSpy finished(window.turntable, &TurntableRender::finished);
        // Another scene while the frames render: they keep the first one.
        window.loadScene(QStringLiteral(KELVANE_SOURCE_DIR "/samples/torus.off"));
        QVERIFY(finished.wait(120000));
        QCOMPARE(finished.first().at(0).toBool(), true);
        QVERIFY(!window.turntableProgress->isVisible());

        QStringList frames;
        for (int k = 0; k < 3; ++k) {
            frames << dir.filePath(QString("spin/frame_%1.png").arg(k, 3, 10, QChar('0')));
            const QImage image(frames.last());
            QCOMPARE(image.size(), QSize(80, 60));
        }
        QCOMPARE(window.turntable->saved, frames);
        QVERIFY(QImage(frames[0]) != QImage(frames[1]));
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

    // Cancel in the progress dialog stops POV-Ray at once and keeps the
    // frames already saved.
    void cancelStopsPovRay()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.loadScene(QStringLiteral(KELVANE_SOURCE_DIR "/samples/torus.off"));
        window.renderSettings.antialias = true;
        window.renderSettings.antialiasThreshold = 0.01;
        QVERIFY(window.startTurntable(50, dir.filePath("cancelled"), QSize(1600, 1200)));
        QSignalSpy progress(window.turntable, &TurntableRender::frameProgress);
        QSignalSpy finished(window.turntable, &TurntableRender::finished);
        QTRY_VERIFY_WITH_TIMEOUT(!povrayChildren().isEmpty(), 30000);
        auto* cancel = window.turntableProgress->findChild<QPushButton*>();
        QVERIFY(cancel && cancel->isVisible());
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QCOMPARE(finished.first().at(1).toString(), QString());
        QVERIFY(povrayChildren().isEmpty());
        QVERIFY(window.turntable->saved.size() < 50);
        QVERIFY(!window.turntable->isRunning());
        // A second turntable can follow.
        window.renderSettings.antialias = false;
        QVERIFY(window.startTurntable(1, dir.filePath("again"), QSize(40, 30)));
        QSignalSpy again(window.turntable, &TurntableRender::finished);
        QVERIFY(again.wait(60000));
        QCOMPARE(again.first().at(0).toBool(), true);
    }
};

QTEST_MAIN(TestTurntableWindow)
#include "tst_TurntableWindow.moc"
