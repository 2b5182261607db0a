// Turntables and bands end to end: the real program, the real POV-Ray and
// the spreading script with the real GNU parallel, on tiny pictures.
#include "tests/support/RunProgram.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Runs `program` in `dir` with `path` ahead of the usual PATH.
Run run(const QString& program, const QStringList& arguments, const QString& dir,
        const QString& path = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!path.isEmpty()) {
        env.insert("PATH", path + ":" + env.value("PATH"));
    }
    return runProgram(program, arguments, env, dir, 180000);
}

// Pixel for pixel, whatever the files' formats and text.
bool samePixels(const QString& a, const QString& b)
{
    const QImage x(a), y(b);
    return !x.isNull() &&
           x.convertToFormat(QImage::Format_RGB32) == y.convertToFormat(QImage::Format_RGB32);
}

bool writeScript(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() &&
           f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

} // namespace

class TestSpread : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString scene;
    QString torus;
    const QString script = QStringLiteral(KELVANE_SOURCE_DIR "/scripts/kelvane-spread.sh");
    const QStringList size = {"--size", "80x60"};
    // Three of POV-Ray's 32-row blocks: three bands.
    const QStringList tall = {"--size", "80x96"};

    Run kelvane(const QStringList& arguments, const QString& path = QString())
    {
        return run(KELVANE_EXE, arguments, dir.path(), path);
    }
    Run spread(const QStringList& arguments, const QString& path = QString())
    {
        return run(script, QStringList{"--kelvane", KELVANE_EXE} + arguments, dir.path(), path);
    }
    QString file(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        if (QStandardPaths::findExecutable("povray").isEmpty()) {
            QSKIP("POV-Ray is not installed (packages povray, povray-includes)");
        }
        // The scene in a folder of its own, away from where pieces are made.
        QVERIFY(QDir(dir.path()).mkpath("scenes"));
        scene = file("scenes/boxes.npr");
        QVERIFY(QFile::copy(QStringLiteral(KELVANE_SOURCE_DIR "/samples/boxes.npr"), scene));
        // The torus crosses the bands' edges, where antialiasing needs the
        // row below.
        torus = file("scenes/torus.off");
        QVERIFY(QFile::copy(QStringLiteral(KELVANE_SOURCE_DIR "/samples/torus.off"), torus));
        const Run plain = kelvane(QStringList{"--render", "plain.png"} + size + QStringList{scene});
        QVERIFY2(plain.status == 0, qPrintable(plain.err));
    }

    // Frame 0 is today's picture; the others turn; --preview frames follow
    // the same turn.
    void turntableFrameZeroIsThePlainPicture()
    {
        const Run spin = kelvane(
            QStringList{"--render", "spin_%03d.png", "--turntable", "4", "--frames", "0-1"} + size +
            QStringList{scene});
        QVERIFY2(spin.status == 0, qPrintable(spin.err));
        QVERIFY(samePixels(file("spin_000.png"), file("plain.png")));
        QVERIFY(QFile::exists(file("spin_001.png")));
        QVERIFY(!samePixels(file("spin_001.png"), file("plain.png")));
        QVERIFY(!QFile::exists(file("spin_002.png")));

        const Run bad = kelvane(QStringList{"--render", "spin.png", "--turntable", "4", scene});
        QCOMPARE(bad.status, 2);
        QVERIFY2(bad.err.contains("has no frame number"), qPrintable(bad.err));

        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            QSKIP("--preview needs a display (run under xvfb-run)");
        }
        const Run preview =
            kelvane(QStringList{"--preview", "view.png"} + size + QStringList{scene});
        QVERIFY2(preview.status == 0, qPrintable(preview.err));
        const Run previews =
            kelvane(QStringList{"--preview", "view_%d.png", "--turntable", "4", "--frames", "0-1"} +
                    size + QStringList{scene});
        QVERIFY2(previews.status == 0, qPrintable(previews.err));
        QVERIFY(samePixels(file("view_0.png"), file("view.png")));
        QVERIFY(!samePixels(file("view_1.png"), file("view.png")));
    }

    // Arguments that cannot make pieces are refused before any work, with
    // status 2 and the reason; the scene's files are listed for copying.
    void argumentsAndSceneFiles()
    {
        const QList<QPair<QStringList, QString>> refused = {
            {{"--render", "a_%d.png", "--frames", "0-1", scene}, "--frames needs --turntable N"},
            {{"--render", "a_%d.png", "--turntable", "4", "--frames", "2-4", scene},
             "0 <= A <= B <= 3"},
            {{"--render", "a_%d_%d.png", "--turntable", "4", scene}, "more than one frame number"},
            {{"--render", "a.png", "--turntable", "0", scene},
             "--turntable takes a number of frames"},
            {{"--render", "a.bmp", "--band", "1/2", scene}, "a band is saved as PNG"},
            {{"--render", "a.png", "--band", "1/3", "--size", "80x64", scene}, "at most 2 bands"},
            {{"--render", "a.png", "--band", "3/2", scene}, "--band takes I/N"},
            {{"--render", "a_%d.png", "--band", "1/2", "--turntable", "2", scene},
             "--band goes with --render alone"},
            {{"--render", "a.png", "--threads", "0", scene}, "--threads takes a number of threads"},
            {{"--merge", "out.png"}, "--merge needs the band files"},
            {{"--merge", "out.png", "--render", "a.png", "b.png"}, "--merge works alone"},
        };
        for (const auto& r : refused) {
            const Run run = kelvane(r.first);
            QCOMPARE(run.status, 2);
            QVERIFY2(run.err.contains(r.second), qPrintable(run.err));
        }
        QProcess listing;
        listing.setWorkingDirectory(dir.path());
        listing.start(KELVANE_EXE, {"--scene-files", "scenes/boxes.npr"});
        QVERIFY(listing.waitForFinished());
        QCOMPARE(listing.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(listing.readAllStandardOutput()), scene + "\n");
        QCOMPARE(kelvane({"--scene-files", "scenes/none.npr"}).status, 1);
    }

    // Two jobs here, and two stand-in machines reached through a stand-in
    // ssh (each with a home of its own, so the scene must be copied and the
    // frames brought back), give the frames rendered one at a time.
    void scriptFramesMatchFramesOneByOne()
    {
        if (QStandardPaths::findExecutable("parallel").isEmpty()) {
            QSKIP("GNU parallel is not installed (package parallel)");
        }
        for (int k = 0; k < 4; ++k) {
            const Run one = kelvane(QStringList{"--render", "alone_%d.png", "--turntable", "4",
                                                "--frames", QString("%1-%1").arg(k)} +
                                    size + QStringList{scene});
            QVERIFY2(one.status == 0, qPrintable(one.err));
        }
        const Run local =
            spread(QStringList{"-j", "2", "turntable", "4", "local_%02d.png", scene} + size);
        QVERIFY2(local.status == 0, qPrintable(local.err));

        QVERIFY(QDir(dir.path()).mkpath("remote/bin"));
        QVERIFY(QFile::link(KELVANE_EXE, file("remote/bin/kelvane")));
        QVERIFY(writeScript(file("fakessh"), QByteArray(R"(#!/bin/bash
while [ $# -gt 0 ]; do
  case "$1" in
    -o|-l|-p|-i|-F|-S) shift 2 ;;
    --) shift; break ;;
    -*) shift ;;
    *) break ;;
  esac
done
host=$1; shift
[ "${1:-}" = -- ] && shift
home=)") + QFile::encodeName(file("remote")) + R"(/$host
mkdir -p "$home" && cd "$home" && HOME=$home PATH=${home%/*}/bin:$PATH exec bash -c "$*"
)"));
        QVERIFY(writeScript(file("logins"), "hostA\nhostB\n"));
        qputenv("PARALLEL_SSH", QFile::encodeName(file("fakessh")));
        // As under CI runners and service managers: no SHELL in the
        // environment, which GNU parallel needs to start remote jobs.
        const QByteArray shell = qgetenv("SHELL");
        qunsetenv("SHELL");
        const Run remote = spread(
            QStringList{"--sshloginfile", "logins", "turntable", "4", "remote_%d.png", scene} +
            size);
        qunsetenv("PARALLEL_SSH");
        if (!shell.isNull()) {
            qputenv("SHELL", shell);
        }
        QVERIFY2(remote.status == 0, qPrintable(remote.err));
        for (int k = 0; k < 4; ++k) {
            QVERIFY2(samePixels(file(QString("local_%1.png").arg(k, 2, 10, QChar('0'))),
                                file(QString("alone_%1.png").arg(k))),
                     qPrintable(QString("frame %1 here").arg(k)));
            QVERIFY2(samePixels(file(QString("remote_%1.png").arg(k)),
                                file(QString("alone_%1.png").arg(k))),
                     qPrintable(QString("frame %1 elsewhere").arg(k)));
        }
        // Neither machine keeps the scene or the pieces.
        QVERIFY(QDir(file("remote/hostA"))
                    .entryList({"*.png", "*.npr", "*.tar"}, QDir::Files)
                    .isEmpty());
    }

    // Bands rendered with antialiasing and merged give the single render;
    // the merge refuses what does not make one picture and then writes
    // nothing.
    void bandsMergeToTheSingleRender()
    {
        const QStringList settings = tall + QStringList{"--antialias"};
        const Run whole =
            kelvane(QStringList{"--render", "whole.png"} + settings + QStringList{torus});
        QVERIFY2(whole.status == 0, qPrintable(whole.err));
        for (int i = 1; i <= 3; ++i) {
            const Run b = kelvane(QStringList{"--render", QString("band%1.png").arg(i), "--band",
                                              QString("%1/3").arg(i), "--threads", "1"} +
                                  settings + QStringList{torus});
            QVERIFY2(b.status == 0, qPrintable(b.err));
            QCOMPARE(QImage(file(QString("band%1.png").arg(i))).height(), 32);
        }
        const Run merged =
            kelvane({"--merge", "merged.png", "band3.png", "band1.png", "band2.png"});
        QVERIFY2(merged.status == 0, qPrintable(merged.err));
        QVERIFY(samePixels(file("merged.png"), file("whole.png")));

        // Another scene description (the ground shown) and other settings.
        const Run ground =
            kelvane(QStringList{"--render", "ground2.png", "--band", "2/3", "--ground"} + settings +
                    QStringList{torus});
        QVERIFY2(ground.status == 0, qPrintable(ground.err));
        const Run plain = kelvane(QStringList{"--render", "plain2.png", "--band", "2/3"} + tall +
                                  QStringList{torus});
        QVERIFY2(plain.status == 0, qPrintable(plain.err));

        QFile::remove(file("out.png"));
        const QByteArray before = "not to be replaced";
        QFile existing(file("kept.png"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write(before);
        existing.close();
        struct Refusal {
            QStringList parts;
            const char* says;
        };
        const QList<Refusal> refusals = {
            {{"band1.png", "band3.png"}, "band 2 (rows 33 to 64) of 3 is missing"},
            {{"band1.png", "band2.png", "band2.png", "band3.png"}, "band 2 of 3 is given twice"},
            {{"band1.png", "ground2.png", "band3.png"}, "different scene description"},
            {{"band1.png", "plain2.png", "band3.png"}, "other settings"},
            {{"band1.png", "plain.png", "band3.png"}, "it is not a band"},
        };
        for (const Refusal& r : refusals) {
            for (const char* out : {"out.png", "kept.png"}) {
                const Run refused = kelvane(QStringList{"--merge", out} + r.parts);
                QCOMPARE(refused.status, 1);
                QVERIFY2(refused.err.contains(r.says), qPrintable(refused.err));
            }
            QVERIFY(!QFile::exists(file("out.png")));
            QVERIFY(existing.open(QIODevice::ReadOnly));
            QCOMPARE(existing.readAll(), before);
            existing.close();
        }
    }

    // POV-Ray killed while rendering band 2: the script names the band,
    // merges nothing, and the command it gives reruns that band alone and
    // completes the picture.
    void failedPieceIsNamedAndRerunAlone()
    {
        if (QStandardPaths::findExecutable("parallel").isEmpty()) {
            QSKIP("GNU parallel is not installed (package parallel)");
        }
        QVERIFY(QDir(dir.path()).mkpath("failing"));
        QVERIFY(writeScript(file("failing/povray"),
                            "#!/bin/sh\ngrep -q '^+SR33' POVRAY.INI && kill -9 $$\n"
                            "exec " +
                                QFile::encodeName(QStandardPaths::findExecutable("povray")) +
                                " \"$@\"\n"));
        const Run plain =
            kelvane(QStringList{"--render", "plain96.png"} + tall + QStringList{scene});
        QVERIFY2(plain.status == 0, qPrintable(plain.err));
        const QStringList arguments =
            QStringList{"-j", "2", "bands", "3", "poster.png", scene} + tall;
        const Run failed = spread(arguments, file("failing"));
        QCOMPARE(failed.status, 1);
        QVERIFY2(failed.err.contains("band 2 of 3 failed"), qPrintable(failed.err));
        QVERIFY(!failed.err.contains("band 1 of 3 failed"));
        QVERIFY(!QFile::exists(file("poster.png")));
        QVERIFY2(failed.err.contains("--only 2 "), qPrintable(failed.err));

        const Run rerun = spread(QStringList{"--only", "2"} + arguments);
        QVERIFY2(rerun.status == 0, qPrintable(rerun.err));
        QVERIFY(samePixels(file("poster.png"), file("plain96.png")));
        QVERIFY(!QFile::exists(file("poster.bands")));
    }
};

QTEST_GUILESS_MAIN(TestSpread)
#include "tst_Spread.moc"
