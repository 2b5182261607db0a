// Turntable benchmark (not a test): an 8-frame turntable of a 300k-triangle
// torus at 400x300, rendered by scripts/kelvane-spread.sh with the real GNU
// parallel and POV-Ray, all in one run:
//   1 job,  POV-Ray 2 threads   (one frame at a time, as a plain loop does)
//   1 job,  POV-Ray 1 thread
//   2 jobs, POV-Ray 1 thread each
//   2 stand-in machines, 1 job and 1 thread each: the same pieces shipped
//     through GNU parallel's copying (scene archive out, frame back) to two
//     "machines" that are folders on this one, which prices the copying
//     that one more real machine would cost.
// The cases take turns, `rounds` times (default 2), and each keeps its
// fastest run, so a burst of other work on the shared machine hurts one
// round of one case rather than the comparison. Ratios are against the
// first row.
//   build/bench/bench_Turntable [triangles] [frames] [rounds]

#include "BenchProcess.h"
#include "BenchUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

bool writeExecutable(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size() &&
           f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const long wanted = argc > 1 ? std::atol(argv[1]) : 300000;
    const int frames = argc > 2 ? std::atoi(argv[2]) : 8;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
    QTemporaryDir work;
    if (!work.isValid() || wanted < 8 || frames < 1) {
        std::fprintf(stderr, "usage: bench_Turntable [triangles] [frames] [rounds]\n");
        return 1;
    }
    int n = 2;
    while (2L * n * n < wanted) {
        ++n;
    }
    const long triangles = 2L * n * n;
    const QString ply = work.filePath(QStringLiteral("torus.ply"));
    {
        QuietStderr quiet;
        if (!makeTorus(n).write(ply.toLocal8Bit().constData())) {
            return 1;
        }
    }
    const QString script = QStringLiteral(KELVANE_SOURCE_DIR "/scripts/kelvane-spread.sh");
    const QString kelvane = QStringLiteral(KELVANE_EXE);

    // Stand-in machines: a stand-in ssh runs each command here, in a home
    // of the host's own, where Kelvane is installed.
    QDir(work.path()).mkpath(QStringLiteral("remote/bin"));
    QFile::link(kelvane, work.filePath(QStringLiteral("remote/bin/kelvane")));
    writeExecutable(work.filePath(QStringLiteral("fakessh")),
                    QByteArray("#!/bin/bash\n"
                               "while [ $# -gt 0 ]; do case \"$1\" in -o|-l|-p|-i|-F|-S) shift 2 ;;"
                               " --) shift; break ;; -*) shift ;; *) break ;; esac; done\n"
                               "host=$1; shift; [ \"${1:-}\" = -- ] && shift\n"
                               "home=") +
                        QFile::encodeName(work.filePath(QStringLiteral("remote"))) +
                        "/$host\nmkdir -p \"$home\" && cd \"$home\" && HOME=$home "
                        "PATH=${home%/*}/bin:$PATH exec bash -c \"$*\"\n");
    writeExecutable(work.filePath(QStringLiteral("logins")), "1/hostA\n1/hostB\n");

    struct Case {
        const char* name;
        QStringList options;
        bool remote;
    };
    const QList<Case> cases = {
        {"1 job,  2 threads", {"--jobs", "1", "--threads", "2"}, false},
        {"1 job,  1 thread", {"--jobs", "1", "--threads", "1"}, false},
        {"2 jobs, 1 thread each", {"--jobs", "2", "--threads", "1"}, false},
        {"2 stand-in machines", {"--sshloginfile", "logins", "--threads", "1"}, true},
    };
    std::printf("%d-frame turntable of a %ld-triangle torus at 400x300 (%.1f MB PLY),\n"
                "scripts/kelvane-spread.sh with GNU parallel, best of %d interleaved runs\n",
                frames, triangles, double(QFile(ply).size()) / 1e6, rounds);
    QVector<TimedRun> best(cases.size());
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            if (c.remote) {
                env.insert(QStringLiteral("PARALLEL_SSH"),
                           work.filePath(QStringLiteral("fakessh")));
            }
            const TimedRun run =
                timedRun(script,
                         QStringList{"--kelvane", kelvane} + c.options +
                             QStringList{"turntable", QString::number(frames),
                                         work.filePath(QStringLiteral("frame_%03d.png")), ply,
                                         "--size", "400x300"},
                         work.path(), env, true);
            if (!run.ok) {
                std::printf("%s: FAILED\n", c.name);
            }
            if (best[i].seconds < 0.0 || (run.ok && run.seconds < best[i].seconds)) {
                best[i] = run;
            }
        }
    }
    std::printf("%-24s  %9s  %9s  %8s  %9s  %5s\n", "pieces at once", "seconds", "s/frame",
                "speed-up", "cpu s", "cores");
    for (int i = 0; i < cases.size(); ++i) {
        const TimedRun& run = best[i];
        std::printf("%-24s  %9.2f  %9.2f  %7.2fx  %9.2f  %5.2f%s\n", cases[i].name, run.seconds,
                    run.seconds / frames, best[0].seconds / run.seconds, run.cpu,
                    run.cpu / run.seconds, run.ok ? "" : "  FAILED");
    }
    std::printf("speed-up = the first row's time / the row's time; cpu s = processor time of\n"
                "all processes of the run; cores = cpu s / seconds, the cores the run actually\n"
                "got (this machine has %d, shared with whatever else runs on it)\n",
                QThread::idealThreadCount());
    return 0;
}
