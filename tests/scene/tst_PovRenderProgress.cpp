#include "scene/PovRenderProgress.h"

#include <QFile>
#include <QtTest>

#include <vector>

// The recordings under tests/data/povray are POV-Ray 3.7's standard error,
// captured as the renderer runs it (+GR with -GS -GD -GW):
//   antialiased_render  a small box scene at 200x150 with +A0.3
//   large_mesh_render   a 300,000-triangle mesh, parsed for several seconds
//   parse_error         a scene with a syntax error on its line 3

namespace {

QByteArray recording(const char* name)
{
    QFile f(QFINDTESTDATA(QStringLiteral("../data/povray/%1.stderr").arg(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every progress state the parser reports, feeding `output` in pieces of
// `piece` bytes.
std::vector<PovProgress> states(const QByteArray& output, int piece)
{
    PovRenderProgress parser;
    std::vector<PovProgress> seen;
    for (int at = 0; at < output.size(); at += piece) {
        if (parser.feed(output.mid(at, piece))) {
            seen.push_back(parser.progress());
        }
    }
    if (parser.finish()) {
        seen.push_back(parser.progress());
    }
    return seen;
}

} // namespace

class TestPovRenderProgress : public QObject {
    Q_OBJECT

private slots:
    void stagesAndPercentages_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("renderSteps");
        QTest::newRow("antialiased render") << QByteArray("antialiased_render") << 36;
        QTest::newRow("large mesh") << QByteArray("large_mesh_render") << 21;
    }
    void stagesAndPercentages()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, renderSteps);
        const QByteArray output = recording(name.constData());
        QVERIFY2(!output.isEmpty(), "recording missing");
        // Byte by byte every change shows.
        const std::vector<PovProgress> whole = states(output, 1);

        // Parsing first, then rendering with rising percentages, then done.
        QVERIFY(whole.size() > 3);
        QCOMPARE(whole.front().stage, PovRenderStage::Parsing);
        QCOMPARE(whole.front().percent, -1);
        QCOMPARE(whole.back().stage, PovRenderStage::Finished);
        QCOMPARE(whole.back().percent, 100);
        int rendering = 0;
        int last = -1;
        PovRenderStage stage = PovRenderStage::Starting;
        for (const PovProgress& p : whole) {
            QVERIFY(int(p.stage) >= int(stage));
            stage = p.stage;
            if (p.stage == PovRenderStage::Rendering) {
                QVERIFY2(p.percent >= last, qPrintable(p.text()));
                last = p.percent;
                ++rendering;
            }
        }
        // The banner (0 %) and one state per "Rendered" line that moved.
        QCOMPARE(rendering, renderSteps);
        QCOMPARE(last, 100);

        // The same states however the output is split, even inside a line
        // or between a carriage return and what follows; pieces longer than
        // a line may skip states but never report one that was not there.
        for (int piece : {2, 3, 7, 64, 1000, int(output.size())}) {
            const std::vector<PovProgress> split = states(output, piece);
            size_t at = 0;
            for (const PovProgress& p : split) {
                while (at < whole.size() && whole[at] != p) {
                    ++at;
                }
                QVERIFY2(at < whole.size(), qPrintable(p.text()));
            }
            if (piece <= 7) {
                QCOMPARE(int(split.size()), int(whole.size()));
            }
            QVERIFY(split.back() == whole.back());
        }
    }

    void parseProgressOfALargeMesh()
    {
        const std::vector<PovProgress> seen = states(recording("large_mesh_render"), 5);
        QStringList parsing;
        for (const PovProgress& p : seen) {
            if (p.stage == PovRenderStage::Parsing) {
                parsing << p.text();
            }
        }
        QCOMPARE(parsing, QStringList({"Parsing", "Parsing (3929K tokens)",
                                       "Parsing (6019K tokens)", "Parsing (7560K tokens)",
                                       "Parsing (8520K tokens)", "Parsing (9671K tokens)"}));
        PovRenderProgress parser;
        parser.feed("Rendered 1024 of 19200 pixels (5%)\r");
        QCOMPARE(parser.progress().text(), QString("Rendering 5%"));
        QCOMPARE(parser.progress().detail, QString("1024 of 19200 pixels"));
        // Noise and a line cut off without its end change nothing.
        QVERIFY(!parser.feed("Rendered x of 19200 pixels\nRendered 2048 of 0 pixels\r"));
        QVERIFY(!parser.feed("Rendered 3072 of 19200 pix"));
        QCOMPARE(parser.progress().percent, 5);
        QVERIFY(parser.feed("els (16%)\r"));
        QCOMPARE(parser.progress().percent, 16);
    }

    void messages()
    {
        // POV-Ray's own reason, its 80-column wrap undone.
        QCOMPARE(PovRenderProgress::messages(recording("parse_error")),
                 QStringList({"File '/tmp/i14/bad.pov' line 3: Parse Error: No matching } in "
                              "'box', undeclared identifier 'foo' found instead",
                              "Fatal error in parser: Cannot parse input.", "Render failed"}));
        // The same message printed before the parse banner, among the
        // start-up text (POV-Ray's threads race for the console).
        QCOMPARE(PovRenderProgress::messages(recording("parse_error_early")),
                 QStringList({"File 'tempscene.pov' line 3: Parse Error: No matching } in "
                              "'box', undeclared identifier 'foo' found instead",
                              "Fatal error in parser: Cannot parse input.", "Render failed"}));
        // A good render says nothing: the option summaries and progress are
        // not messages.
        QCOMPARE(PovRenderProgress::messages(recording("antialiased_render")), QStringList());
        QCOMPARE(PovRenderProgress::messages(recording("large_mesh_render")), QStringList());
        QCOMPARE(PovRenderProgress::messages(QByteArray()), QStringList());
    }
};

QTEST_APPLESS_MAIN(TestPovRenderProgress)
#include "tst_PovRenderProgress.moc"
