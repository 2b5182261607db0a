// Turntables and bands end to end: the real program, the real POV-Ray and
// the spreading script with the real GNU parallel, on tiny pictures.
#include "tests/support/BoxesOff.h"
#include "tests/support/PovrayChildren.h"
#include "tests/support/RunProgram.h"
#include "tests/support/Silhouette.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

// Runs `program` in `dir` with `path` ahead of the usual PATH and the
// variables `more` set (an empty value: removed).
Run run(const QString& program, const QStringList& arguments, const QString& dir,
        const QString& path = QString(), const QMap<QString, QString>& more = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!path.isEmpty()) {
        env.insert("PATH", path + ":" + env.value("PATH"));
    }
    for (auto v = more.begin(); v != more.end(); ++v) {
        if (v.value().isEmpty()) {
            env.remove(v.key());
        } else {
            env.insert(v.key(), v.value());
        }
    }
    return runProgram(program, arguments, env, dir, 180000);
}

// Names that a shell, GNU parallel's replacement strings or printf would
// read as their own: newline, tab, {} {#} {=...=}, $(...), ;, quotes, %
// and a leading '-'. Each tries to make a file named PWNED.
const QString hostile = QStringLiteral("-a\n\t{}{#}{=system(\"touch PWNED\")=}$(touch PWNED);'\"%%");

// Whether a file named PWNED was made anywhere under `path`.
bool pwned(const QString& path)
{
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (QFileInfo(it.next()).fileName() == QLatin1String("PWNED")) {
            return true;
        }
    }
    return false;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Pixel for pixel, whatever the files' formats and text.
bool samePixels(const QString& a, const QString& b)
{
    const QImage x(a), y(b);
    return !x.isNull() &&
           x.convertToFormat(QImage::Format_RGB32) == y.convertToFormat(QImage::Format_RGB32);
}

// The stand-in ssh: runs the command in a home of its own for each
// machine, between these two parts the folder of the homes.
const char* const sshHead = R"(#!/bin/bash
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
home=)";
const char* const sshTail = R"(/$host
mkdir -p "$home" && cd "$home" &&
  exec env -i HOME="$home" SHELL=/bin/bash PATH="$(dirname "$home")/bin:$PATH" bash -c "$*"
)";

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
    // The script with the stand-in machines of `logins` (see
    // initTestCase), from `where`, without SHELL as under CI runners.
    Run spreadRemote(const QStringList& arguments, const QString& where,
                     const QMap<QString, QString>& more = {})
    {
        QMap<QString, QString> env = more;
        env.insert("PARALLEL_SSH", file("fakessh"));
        env.insert("SHELL", QString());
        return run(script,
                   QStringList{"--kelvane", KELVANE_EXE, "--sshloginfile", file("logins")} +
                       arguments,
                   where, file("remote/bin"), env);
    }
    QString file(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        SKIP_WITHOUT_POVRAY();
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

        // Stand-in machines reached through a stand-in ssh, each with a
        // home of its own (so the scene must be copied and the pieces
        // brought back) and, as sshd gives, only a home, a login shell and
        // a path: none of this machine's variables.
        QVERIFY(QDir(dir.path()).mkpath("remote/bin"));
        QVERIFY(QFile::link(KELVANE_EXE, file("remote/bin/kelvane")));
        const QByteArray fakeSsh = QByteArray(sshHead) + QFile::encodeName(file("remote")) + sshTail;
        QVERIFY(writeScript(file("fakessh"), fakeSsh));
        QVERIFY(writeScript(file("logins"), "hostA\nhostB\n"));
    }

    // A model file's turntable circles it from Three-Quarter: frame 0 is
    // the picture --view three-quarter gives, the others turn, --preview
    // frames follow the same turn, and an upright T stays upright (its wide
    // top above its post) in every frame.
    void turntableCirclesFromThreeQuarter()
    {
        const QStringList threeQuarter = {"--view", "three-quarter"};
        const Run plain = kelvane(QStringList{"--render", "quarter.png"} + threeQuarter + size +
                                  QStringList{scene});
        QVERIFY2(plain.status == 0, qPrintable(plain.err));
        const Run spin = kelvane(
            QStringList{"--render", "spin_%03d.png", "--turntable", "4", "--frames", "0-1"} + size +
            QStringList{scene});
        QVERIFY2(spin.status == 0, qPrintable(spin.err));
        QVERIFY(samePixels(file("spin_000.png"), file("quarter.png")));
        QVERIFY(!samePixels(file("spin_000.png"), file("plain.png")));
        QVERIFY(QFile::exists(file("spin_001.png")));
        QVERIFY(!samePixels(file("spin_001.png"), file("quarter.png")));
        QVERIFY(!QFile::exists(file("spin_002.png")));

        const Run bad = kelvane(QStringList{"--render", "spin.png", "--turntable", "4", scene});
        QCOMPARE(bad.status, 2);
        QVERIFY2(bad.err.contains("has no frame number"), qPrintable(bad.err));

        const QString tee = file("scenes/tee.off");
        QVERIFY(writeBoxesOff(tee, uprightTee()));
        const Run turn = kelvane(
            QStringList{"--render", "tee_%d.png", "--turntable", "6", "--size", "150x200", tee});
        QVERIFY2(turn.status == 0, qPrintable(turn.err));
        for (int k = 0; k < 6; ++k) {
            const Outline o = outline(QImage(file(QString("tee_%1.png").arg(k))));
            QVERIFY2(o.top > 2.0 * o.bottom && o.box.height() > 80,
                     qPrintable(QString("frame %1: top fifth %2, bottom fifth %3")
                                    .arg(k)
                                    .arg(o.top)
                                    .arg(o.bottom)));
        }

        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            QSKIP("--preview needs a display (run under xvfb-run)");
        }
        const Run preview = kelvane(QStringList{"--preview", "view.png"} + threeQuarter + size +
                                    QStringList{scene});
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

        const Run remote =
            spreadRemote(QStringList{"turntable", "4", "remote_%d.png", scene} + size, dir.path());
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

    // Names are data everywhere: a working folder, a scene document, its
    // model (in another folder, so the document names it by its absolute
    // path) and a frame pattern whose names a shell or GNU parallel would
    // read as code give the frames named so, here and on the stand-in
    // machines and on ":" (this machine) in the login file, and run
    // nothing. The machines render the copy of the model they were sent.
    void hostileNamesAreOnlyNames()
    {
        if (QStandardPaths::findExecutable("parallel").isEmpty()) {
            QSKIP("GNU parallel is not installed (package parallel)");
        }
        const QString base = file("hostile");
        const QString work = base + "/work " + hostile + "50%off";
        const QString models = base + "/models " + hostile;
        QVERIFY(QDir().mkpath(work));
        QVERIFY(QDir().mkpath(models));
        const QString model = models + "/" + hostile + ".off";
        QVERIFY(QFile::copy(torus, model));
        const QString document = work + "/" + hostile + ".kelvane";
        const QJsonArray entries{QJsonObject{}, QJsonObject{}}; // the torus and the ground
        QVERIFY(writeFile(document, QJsonDocument(QJsonObject{{"version", 1},
                                                              {"model", model},
                                                              {"models", entries}})
                                        .toJson()));
        // The listing names every file on a line of its own.
        const Run listed = kelvane({"--scene-files", document});
        QCOMPARE(listed.status, 0);
        const QStringList lines = listed.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY(!lines[1].contains('\t') && lines[1].contains("\\n\\t{}"));

        const QString pattern = hostile + "_%d.png";
        auto frame = [&](int k) {
            return work + "/" + QString(pattern).replace("%%", "%").replace("%d", QString::number(k));
        };
        for (int k = 0; k < 2; ++k) {
            const Run one =
                run(KELVANE_EXE,
                    QStringList{"--render", "alone_%d.png", "--threads", "1",
                                "--turntable", "3", "--frames", QString("%1-%1").arg(k)} +
                        size + QStringList{document},
                    base);
            QVERIFY2(one.status == 0, qPrintable(one.err));
        }
        const Run local = run(script,
                              QStringList{"--kelvane", KELVANE_EXE, "-j", "2", "--only", "0,1",
                                          "turntable", "3", pattern, hostile + ".kelvane"} +
                                  size,
                              work);
        QVERIFY2(local.status == 0, qPrintable(local.err));
        for (int k = 0; k < 2; ++k) {
            QVERIFY2(samePixels(frame(k), base + QString("/alone_%1.png").arg(k)),
                     qPrintable(QString("frame %1 here").arg(k)));
            QVERIFY(QFile::remove(frame(k)));
        }
        QVERIFY(writeScript(file("logins-here"), "hostA\n:\n"));
        const Run remote = spreadRemote(QStringList{"--sshloginfile", file("logins-here"),
                                                    "turntable", "3", pattern,
                                                    hostile + ".kelvane"} +
                                            size,
                                        work);
        QVERIFY2(remote.status == 0, qPrintable(remote.err));
        for (int k = 0; k < 2; ++k) {
            QVERIFY2(samePixels(frame(k), base + QString("/alone_%1.png").arg(k)),
                     qPrintable(QString("frame %1 elsewhere").arg(k)));
        }
        QVERIFY(!pwned(dir.path()));
        QVERIFY(!pwned(QDir::homePath() + "/.parallel"));

        // The copy a machine is sent names its own model: it renders with
        // the original gone (from Three-Quarter, as the turntable of a
        // document without a camera starts).
        const Run copied = kelvane({"--copy-scene", "shipped", document});
        QVERIFY2(copied.status == 0, qPrintable(copied.err));
        QVERIFY(QFile::rename(model, model + ".away"));
        const Run fromCopy = kelvane(
            QStringList{"--render", "fromcopy.png", "--threads", "1", "--view", "three-quarter"} +
            size + QStringList{file("shipped/work " + hostile + "50%off/" + hostile + ".kelvane")});
        QVERIFY(QFile::rename(model + ".away", model));
        QVERIFY2(fromCopy.status == 0, qPrintable(fromCopy.err));
        QVERIFY(samePixels(file("fromcopy.png"), file("hostile/alone_0.png")));
    }

    // The script writes only its pieces' names and nothing else: numbers
    // are decimal (--only 010 is frame 10), a '%' of the working folder is
    // no pattern, nothing is deleted beforehand, a name that is a link is
    // refused, and a bands folder it did not make is left alone; one it
    // made loses only the band files.
    void onlyTheJobsOwnFilesAreWritten()
    {
        if (QStandardPaths::findExecutable("parallel").isEmpty()) {
            QSKIP("GNU parallel is not installed (package parallel)");
        }
        const QStringList small = {"--size", "16x12"};
        for (const char* sibling : {"500ff", "501ff"}) {
            QVERIFY(QDir(dir.path()).mkpath(sibling));
            QVERIFY(writeFile(file(QString(sibling) + "/spin_000.png"), "keep"));
        }
        QVERIFY(QDir(dir.path()).mkpath("50%off"));
        const QString work = file("50%off");
        auto spreadIn = [&](const QStringList& arguments) {
            return run(script, QStringList{"--kelvane", KELVANE_EXE} + arguments, work);
        };
        const QStringList turn = QStringList{"turntable", "11", "spin_%03d.png", scene} + small;
        const Run all = spreadIn(turn);
        QVERIFY2(all.status == 0, qPrintable(all.err));
        for (const char* sibling : {"500ff", "501ff"}) {
            QCOMPARE(contents(file(QString(sibling) + "/spin_000.png")), QByteArray("keep"));
        }
        QVERIFY(writeFile(work + "/spin_008.png", "eight"));
        QVERIFY(writeFile(work + "/spin_000.png", "zero"));
        const QByteArray ten = contents(work + "/spin_010.png");
        QVERIFY(QFile::remove(work + "/spin_010.png"));
        QVERIFY(QFile::remove(work + "/spin_009.png"));
        for (const char* only : {"010", "09"}) {
            const Run one = spreadIn(QStringList{"--only", only} + turn);
            QVERIFY2(one.status == 0, qPrintable(one.err));
        }
        QCOMPARE(contents(work + "/spin_008.png"), QByteArray("eight"));
        QCOMPARE(contents(work + "/spin_000.png"), QByteArray("zero"));
        QCOMPARE(contents(work + "/spin_010.png"), ten);
        QVERIFY(QFile::exists(work + "/spin_009.png"));

        // A frame's name that is a link: refused before any work.
        QVERIFY(writeFile(work + "/victim", "victim"));
        QVERIFY(QFile::link(work + "/victim", work + "/link_002.png"));
        const Run linked = spreadIn(QStringList{"turntable", "3", "link_%03d.png", scene} + small);
        QCOMPARE(linked.status, 1);
        QVERIFY2(linked.err.contains("symbolic link"), qPrintable(linked.err));
        QCOMPARE(contents(work + "/victim"), QByteArray("victim"));
        QVERIFY(!QFile::exists(work + "/link_000.png"));

        // A bands folder of the user's own.
        QVERIFY(QDir(work).mkpath("pic.bands/mine"));
        QVERIFY(writeFile(work + "/pic.bands/notes.txt", "notes"));
        const QStringList bands = QStringList{"bands", "3", "pic.png", scene} + tall;
        const Run theirs = spreadIn(bands);
        QCOMPARE(theirs.status, 1);
        QVERIFY2(theirs.err.contains("was not made by"), qPrintable(theirs.err));
        QCOMPARE(contents(work + "/pic.bands/notes.txt"), QByteArray("notes"));
        QVERIFY(QFileInfo(work + "/pic.bands/mine").isDir());
        QVERIFY(!QFile::exists(work + "/pic.png"));
        // One of its own goes when the merge empties it.
        const Run ours = spreadIn(QStringList{"bands", "3", "ours.png", scene} + tall);
        QVERIFY2(ours.status == 0, qPrintable(ours.err));
        QVERIFY(QFile::exists(work + "/ours.png"));
        QVERIFY(!QFile::exists(work + "/ours.bands"));
    }

    // Kelvane writes only regular files or new names, never through a
    // link, onto a named pipe or over the files it reads; a '%' of the
    // working folder is no frame number; a temporary folder whose name
    // POV-Ray would split still renders.
    void writesOnlyPlainFilesItDoesNotRead()
    {
        QVERIFY(QDir(dir.path()).mkpath("plainwrites"));
        const QString here = file("plainwrites");
        for (const QString folder : {"50%off", "a%%b"}) {
            QVERIFY(QDir(here).mkpath(folder));
            const Run frames = run(KELVANE_EXE, {"--pov", "spin_%03d.pov", "--turntable", "3", torus},
                                   here + "/" + folder);
            QVERIFY2(frames.status == 0, qPrintable(frames.err));
            QCOMPARE(QDir(here + "/" + folder).entryList(QDir::Files),
                     QStringList({"spin_000.pov", "spin_001.pov", "spin_002.pov"}));
        }
        QVERIFY(!QFile::exists(here + "/a%b"));

        for (const char* fifo : {"/fifo.png", "/fifo.npr", "/fifo.off"}) {
            QVERIFY(::mkfifo(QFile::encodeName(here + fifo).constData(), 0600) == 0);
        }
        QVERIFY(writeFile(here + "/victim.png", "victim"));
        QVERIFY(QFile::link(here + "/victim.png", here + "/link.png"));
        QVERIFY(QFile::link(here + "/fifo.png", here + "/fifolink.png"));
        QVERIFY(QFile::copy(KELVANE_SOURCE_DIR "/samples/showcase.kelvane", here + "/showcase.kelvane"));
        QVERIFY(QFile::copy(KELVANE_SOURCE_DIR "/samples/showcase.off", here + "/showcase.off"));
        const QByteArray model = contents(here + "/showcase.off");
        const Run band = kelvane(QStringList{"--render", "plainband.png", "--band", "1/1"} + size + QStringList{torus});
        QVERIFY2(band.status == 0, qPrintable(band.err));
        struct Refusal {
            QStringList arguments;
            const char* says;
        };
        const QList<Refusal> refusals = {
            {{"--merge", here + "/link.png", file("plainband.png")}, "symbolic link"},
            {{"--merge", here + "/fifolink.png", file("plainband.png")}, "symbolic link"},
            {{"--merge", here + "/fifo.png", file("plainband.png")}, "named pipe"},
            {{"--merge", here + "/out.png", here + "/fifo.png"}, "not a regular file"},
            {{"--render", here + "/fifo.png", torus}, "named pipe"},
            {{"--render", here + "/link.png", torus}, "symbolic link"},
            {{"--pov", here + "/showcase.off", here + "/showcase.kelvane"}, "which this run reads"},
            {{"--render", here + "/out.png", here + "/fifo.npr"}, "not a regular file"},
            {{"--render", here + "/out.png", here + "/fifo.off"}, "not a regular file"},
        };
        for (const Refusal& r : refusals) {
            const Run refused = kelvane(r.arguments);
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.err.contains(r.says), qPrintable(refused.err));
        }
        QCOMPARE(contents(here + "/victim.png"), QByteArray("victim"));
        QCOMPARE(contents(here + "/showcase.off"), model);
        QVERIFY(QFileInfo(here + "/fifo.png").isSymLink() == false);
        QVERIFY(!QFileInfo(here + "/fifo.png").isFile());
        QVERIFY(!QFile::exists(here + "/out.png"));

        const QString odd = here + "/tmp dir=a;b";
        QVERIFY(QDir().mkpath(odd));
        const Run rendered = run(KELVANE_EXE, QStringList{"--render", "oddtmp.png"} + size + QStringList{scene},
                                 dir.path(), QString(), {{"TMPDIR", odd}});
        QVERIFY2(rendered.status == 0, qPrintable(rendered.err));
        QVERIFY(samePixels(file("oddtmp.png"), file("plain.png")));
    }

    // Bands rendered with antialiasing and merged give the single render;
    // the merge refuses a band of another scene and then writes nothing.
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
        // A band saved with 16 bits a channel, its band information kept,
        // merges to the same picture.
        QImage deep = QImage(file("band2.png")).convertToFormat(QImage::Format_RGBA64);
        QVERIFY(!deep.isNull());
        const QImage band2(file("band2.png"));
        for (const QString& key : band2.textKeys()) {
            deep.setText(key, band2.text(key));
        }
        QVERIFY(deep.save(file("band2deep.png")));
        QCOMPARE(QImage(file("band2deep.png")).depth(), 64);
        const Run mergedDeep =
            kelvane({"--merge", "mergeddeep.png", "band1.png", "band2deep.png", "band3.png"});
        QVERIFY2(mergedDeep.status == 0, qPrintable(mergedDeep.err));
        QVERIFY(samePixels(file("mergeddeep.png"), file("whole.png")));

        // A band of another scene description (the ground shown): the
        // program refuses it, writes nothing and keeps what was there. The
        // other refusals are the band merge's own (tst_PovPieces).
        const Run ground =
            kelvane(QStringList{"--render", "ground2.png", "--band", "2/3", "--ground"} + settings +
                    QStringList{torus});
        QVERIFY2(ground.status == 0, qPrintable(ground.err));
        QFile::remove(file("out.png"));
        const QByteArray before = "not to be replaced";
        QFile existing(file("kept.png"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write(before);
        existing.close();
        for (const char* out : {"out.png", "kept.png"}) {
            const Run refused = kelvane({"--merge", out, "band1.png", "ground2.png", "band3.png"});
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.err.contains("different scene description"), qPrintable(refused.err));
        }
        QVERIFY(!QFile::exists(file("out.png")));
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), before);
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
