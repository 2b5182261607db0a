// Recovery of unsaved work: a real Kelvane window in a child process (this
// program, started with --child) makes an edit, autosaves it within the
// second and is killed; the next start offers the work back. A child
// started with --limited shows a window refusing a model too large for the
// memory it has left, and one leaving out a model it cannot draw.

#include "app/Autosave.h"
#include "app/MainWindow.h"
#include "tests/support/GridPly.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/ModalDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

#include <sys/resource.h>

namespace {

const float editedDiffuse = 0.123f;

QStringList recoveryFiles()
{
    return QDir(Autosave::folder()).entryList({"*.kelvane"}, QDir::Files);
}

// The child: opens the model, edits its material and says "saved" once the
// edit has been autosaved; then waits to be killed.
int runChild(const QString& model)
{
    MainWindow w;
    w.show();
    w.loadScene(model);
    inside(w).scene.textures[0].diffuse = editedDiffuse;
    w.setModified();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll]() {
        if (!recoveryFiles().isEmpty()) {
            std::puts("saved");
            std::fflush(stdout);
            poll.stop();
        }
    });
    poll.start(100);
    return QApplication::exec();
}

// The process's address space in bytes, from /proc (0 when unknown).
qint64 addressSpace()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("VmSize:")) {
            return line.mid(7).trimmed().split(' ').first().toLongLong() * 1024;
        }
    }
    return 0;
}

// The child with little memory: a window showing `model` is allowed 150 MB
// more address space than it has, then asked to open `big`. It prints the
// error box's text, the model count and the title, one per line.
int runLimitedChild(const QString& model, const QString& big)
{
    MainWindow w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) {
        return 2;
    }
    w.loadScene(model);
    rlimit limit;
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = rlim_t(addressSpace() + 150 * 1024 * 1024);
    if (addressSpace() == 0 || setrlimit(RLIMIT_AS, &limit) != 0) {
        return 2;
    }
    w.loadScene(big);
    auto* box = w.findChild<QMessageBox*>("loadErrorBox");
    std::printf("%s\n%d\n%s\n", box ? qPrintable(box->informativeText()) : "no box",
                inside(w).scene.modelCount(), qPrintable(w.windowTitle()));
    if (box) {
        box->accept();
    }
    // A model that loads in the memory left but cannot be drawn in it: the
    // view leaves it out and the status bar says so.
    const QString drawn = QFileInfo(big).dir().filePath("drawn.ply");
    if (!writeGridPly(drawn, 1000)) { // 2 million triangles, about 90 MB loaded
        return 2;
    }
    limit.rlim_cur = rlim_t(addressSpace() + 300 * 1024 * 1024);
    if (setrlimit(RLIMIT_AS, &limit) != 0) {
        return 2;
    }
    w.loadScene(drawn);
    inside(w).viewer->grabFramebuffer();
    QApplication::processEvents();
    inside(w).viewer->grabFramebuffer();
    std::printf("%d\n%s\n", inside(w).scene.modelCount(),
                qPrintable(w.statusBar()->currentMessage()));
    return 0;
}

// Answers the next recovery question and keeps its text.
void answerQuestion(QMessageBox::StandardButton button, QString* text)
{
    answerModal<QMessageBox>([button, text](QMessageBox* box) {
        if (box->objectName() != "recoveryBox") {
            return false;
        }
        *text = box->text() + "|" + box->informativeText();
        box->button(button)->click();
        return true;
    });
}

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT
    QString model;

    // Starts a child that edits the model, waits for its autosave and kills
    // it (SIGKILL).
    bool crashAfterAnEdit()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--child", model});
        QElapsedTimer clock;
        clock.start();
        QByteArray said;
        while (!said.contains("saved") && clock.elapsed() < 30000 &&
               child.state() != QProcess::NotRunning) {
            child.waitForReadyRead(200);
            said += child.readAllStandardOutput();
        }
        child.kill();
        child.waitForFinished();
        return said.contains("saved");
    }

private slots:
    void initTestCase()
    {
        model = QFINDTESTDATA("../data/npr/cube.npr");
        QSettings().setValue("autosaveSeconds", 1);
    }

    void restoreAfterAKill()
    {
        QVERIFY(crashAfterAnEdit());
        const QVector<RecoveryDocument> left = leftRecoveryDocuments();
        QCOMPARE(left.size(), 1);
        QCOMPARE(left[0].title, model);
        QCOMPARE(left[0].from, QFileInfo(model).absoluteFilePath());

        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QString question;
        answerQuestion(QMessageBox::Yes, &question);
        offerRecovery(&w);
        QVERIFY2(question.startsWith("Kelvane stopped before \"" + model + "\" was saved.|"
                                     "The work was autosaved at "),
                 qPrintable(question));
        QVERIFY2(question.endsWith("(from \"" + QFileInfo(model).absoluteFilePath() +
                                   "\"). Restore it?"),
                 qPrintable(question));
        // The edit is back, unsaved, under the model's name.
        QCOMPARE(inside(w).scene.modelCount(), 2);
        QCOMPARE(inside(w).scene.textures[0].diffuse, editedDiffuse);
        QVERIFY(w.isModified());
        QCOMPARE(w.windowTitle(), "Kelvane - " + model + "*");
        QVERIFY(inside(w).documentFile.isEmpty());
        QVERIFY(!QFile::exists(left[0].file));
        QVERIFY(!MainWindow::recentFiles().contains(left[0].file));
        // The window keeps its own copy now, and drops it when the work is
        // discarded.
        QCOMPARE(recoveryFiles().size(), 1);
        w.setModified(false);
        QCOMPARE(recoveryFiles(), QStringList());
    }

    void declineRemovesTheCopy()
    {
        QVERIFY(crashAfterAnEdit());
        QCOMPARE(recoveryFiles().size(), 1);
        MainWindow w;
        w.show();
        QString question;
        answerQuestion(QMessageBox::No, &question);
        offerRecovery(&w);
        QVERIFY(!question.isEmpty());
        QCOMPARE(recoveryFiles(), QStringList());
        QCOMPARE(inside(w).scene.modelCount(), 0);
    }

    void damagedCopyIsReportedOnce()
    {
        QVERIFY(QDir().mkpath(Autosave::folder()));
        QFile damaged(QDir(Autosave::folder()).filePath("damaged.kelvane"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("{\"version\": 1, \"model\": ");
        damaged.close();
        MainWindow w;
        w.show();
        QString report;
        answerModal<QMessageBox>([&report](QMessageBox* box) {
            report = box->objectName() + "|" + box->text() + "|" + box->informativeText();
            box->accept();
        });
        offerRecovery(&w);
        QVERIFY2(report.startsWith("recoveryErrorBox|Unsaved work left by Kelvane could not be "
                                   "restored and was removed.|\"damaged.kelvane\": It is not a "
                                   "readable scene document ("),
                 qPrintable(report));
        QCOMPARE(recoveryFiles(), QStringList());
    }

    // A live window's copy is never offered to another Kelvane; closing
    // the window with Discard removes it.
    void liveCopyIsNotOffered()
    {
        MainWindow w;
        w.show();
        w.loadScene(model);
        w.setModified();
        QTRY_COMPARE_WITH_TIMEOUT(recoveryFiles().size(), 1, 5000);
        QCOMPARE(leftRecoveryDocuments().size(), 0);
        answerModal<QMessageBox>(
            [](QMessageBox* box) { box->button(QMessageBox::Discard)->click(); });
        QVERIFY(w.close());
        QCOMPARE(recoveryFiles(), QStringList());
    }

    // A model too large for the memory left is refused with the sentence;
    // the window keeps the scene it showed. One that loads but cannot be
    // drawn is left out of the view, with a message.
    void tooLargeForTheMemoryLeft()
    {
        QTemporaryDir dir;
        const QString big = dir.filePath("grid.ply");
        QVERIFY(writeGridPly(big, 2000)); // 8 million triangles, about 300 MB loaded
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--limited", model, big});
        QVERIFY(child.waitForFinished(120000));
        const QStringList said = QString::fromLocal8Bit(child.readAllStandardOutput())
                                     .split('\n', Qt::SkipEmptyParts);
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                     said.size() == 5,
                 qPrintable(QString::number(child.exitCode()) + "|" + said.join('|') + "|" +
                            child.readAllStandardError().right(2000)));
        const QRegularExpression sentence("^Not enough memory to open " +
                                          QRegularExpression::escape(big) +
                                          " \\(needs about (\\d+) MB\\)\\.$");
        QVERIFY2(sentence.match(said[0]).hasMatch(), qPrintable(said[0]));
        QCOMPARE(said[1], "2"); // the ground and the model shown before
        QCOMPARE(said[2], "Kelvane - " + model);
        QCOMPARE(said[3], "2");
        QCOMPARE(said[4], "Not enough memory to show drawn.ply in the view: it is left out. "
                          "Close other programs and open it again; rendering it may still work.");
    }
};

int main(int argc, char** argv)
{
    // Settings and recovery documents in a folder of the run's own.
    static QTemporaryDir home;
    const bool child = argc >= 3 && (qstrcmp(argv[1], "--child") == 0 ||
                                     qstrcmp(argv[1], "--limited") == 0);
    if (!child) {
        qputenv("XDG_STATE_HOME", home.filePath("state").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("KelvaneTests");
    QCoreApplication::setApplicationName("Recovery");
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0) {
        return runChild(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 4 && qstrcmp(argv[1], "--limited") == 0) {
        return runLimitedChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    TestRecovery test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Recovery.moc"
