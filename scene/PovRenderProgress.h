#pragma once
// PovRenderProgress: reads POV-Ray 3.7's console output (its standard error
// with the render stream on) as it arrives and tells where the render is.
// POV-Ray separates its progress lines with carriage returns and its other
// lines with line feeds; a chunk may end anywhere, even inside a line.
//
//   ==== [Parsing...] ======       stage Parsing, percentage unknown
//   Parsing 3929K tokens           stage Parsing, detail "3929K tokens"
//   ==== [Rendering...] ====       stage Rendering, 0 %
//   Rendered 1024 of 30000 pixels (3%)   stage Rendering, 3 %
//   POV-Ray finished               stage Finished, 100 %
//
// Pure text handling: no process, no thread, no Qt objects.

#include <QByteArray>
#include <QString>
#include <QStringList>

enum class PovRenderStage { Starting, Parsing, Rendering, Finished };

struct PovProgress {
    PovRenderStage stage = PovRenderStage::Starting;
    int percent = -1; // 0 to 100; -1 while it cannot be told (starting, parsing)
    QString detail;   // "3929K tokens", "1024 of 30000 pixels"; may be empty

    // "Starting POV-Ray", "Parsing (3929K tokens)", "Rendering 3%", "Finished".
    QString text() const;
    bool operator==(const PovProgress& o) const
    {
        return stage == o.stage && percent == o.percent && detail == o.detail;
    }
    bool operator!=(const PovProgress& o) const { return !(*this == o); }
};

class PovRenderProgress {
public:
    // Takes the next piece of output. Returns true when progress() changed.
    bool feed(const QByteArray& chunk);
    // Takes what is left (a last line without separator).
    bool finish();
    const PovProgress& progress() const { return current; }

    // POV-Ray's own messages in a complete console output: the lines from
    // its first stage banner on, without banners, progress lines and the
    // option summaries, POV-Ray's 80-column wrapping undone. For a parse
    // error: "File '/x/tempscene.pov' line 3: Parse Error: ...", "Fatal error
    // in parser: Cannot parse input.", "Render failed". Empty when POV-Ray
    // printed nothing of the kind.
    static QStringList messages(const QByteArray& output);

private:
    bool takeLine(const QByteArray& line);

    PovProgress current;
    QByteArray pending; // the start of a line whose separator has not come yet
};
