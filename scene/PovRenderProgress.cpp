#include "scene/PovRenderProgress.h"

#include <algorithm>

namespace {

bool isBanner(const QByteArray& line) { return line.startsWith("==== ["); }

// The stage named by a banner such as "==== [Rendering...] ====".
bool bannerStage(const QByteArray& line, PovRenderStage& stage)
{
    if (line.startsWith("==== [Parsing")) {
        stage = PovRenderStage::Parsing;
        return true;
    }
    if (line.startsWith("==== [Rendering")) {
        stage = PovRenderStage::Rendering;
        return true;
    }
    return false;
}

// "Rendered 1024 of 30000 pixels (3%)": the counts, or false.
bool renderedLine(const QByteArray& line, long long& done, long long& total)
{
    if (!line.startsWith("Rendered ")) {
        return false;
    }
    const QList<QByteArray> words = line.split(' ');
    if (words.size() < 5 || words[2] != "of") {
        return false;
    }
    bool okDone = false, okTotal = false;
    done = words[1].toLongLong(&okDone);
    total = words[3].toLongLong(&okTotal);
    return okDone && okTotal && total > 0 && done >= 0;
}

} // namespace

QString PovProgress::text() const
{
    switch (stage) {
    case PovRenderStage::Starting:
        return QStringLiteral("Starting POV-Ray");
    case PovRenderStage::Parsing:
        return detail.isEmpty() ? QStringLiteral("Parsing")
                                : QStringLiteral("Parsing (%1)").arg(detail);
    case PovRenderStage::Rendering:
        return QStringLiteral("Rendering %1%").arg(std::max(percent, 0));
    case PovRenderStage::Finished:
        break;
    }
    return QStringLiteral("Finished");
}

bool PovRenderProgress::feed(const QByteArray& chunk)
{
    bool changed = false;
    int start = 0;
    for (int i = 0; i < chunk.size(); ++i) {
        if (chunk[i] == '\r' || chunk[i] == '\n') {
            pending.append(chunk.constData() + start, i - start);
            changed |= takeLine(pending);
            pending.clear();
            start = i + 1;
        }
    }
    pending.append(chunk.constData() + start, chunk.size() - start);
    // A line that never ends is no progress line; keep the memory bounded.
    if (pending.size() > 4096) {
        pending.clear();
    }
    return changed;
}

bool PovRenderProgress::finish()
{
    const bool changed = takeLine(pending);
    pending.clear();
    return changed;
}

bool PovRenderProgress::takeLine(const QByteArray& line)
{
    PovProgress next = current;
    PovRenderStage stage;
    long long done = 0, total = 0;
    if (bannerStage(line, stage)) {
        next.stage = stage;
        next.percent = stage == PovRenderStage::Rendering ? 0 : -1;
        next.detail.clear();
    } else if (line.startsWith("Parsing ")) {
        next.stage = PovRenderStage::Parsing;
        next.percent = -1;
        next.detail = QString::fromLatin1(line.mid(8).trimmed());
    } else if (renderedLine(line, done, total)) {
        next.stage = PovRenderStage::Rendering;
        next.percent = int(std::min(done, total) * 100 / total);
        next.detail = QStringLiteral("%1 of %2 pixels").arg(done).arg(total);
    } else if (line.startsWith("POV-Ray finished")) {
        next.stage = PovRenderStage::Finished;
        next.percent = 100;
        next.detail.clear();
    } else {
        return false;
    }
    if (next == current) {
        return false;
    }
    current = next;
    return true;
}

QStringList PovRenderProgress::messages(const QByteArray& output)
{
    QByteArray text = output;
    text.replace('\r', '\n');
    const QList<QByteArray> lines = text.split('\n');
    QStringList result;
    bool afterBanner = false;
    bool inOptions = false;
    // Whether the last line read was kept as (part of) a message.
    bool inMessage = false;
    for (const QByteArray& line : lines) {
        if (isBanner(line)) {
            afterBanner = true;
            inOptions = false;
            continue;
        }
        if (line.startsWith("----")) {
            // An option summary runs to the next banner.
            inOptions = afterBanner;
            inMessage = false;
            continue;
        }
        PovRenderProgress probe;
        if (line.trimmed().isEmpty() || probe.takeLine(line)) {
            continue;
        }
        if (line.startsWith(' ') && !line.startsWith("  ")) {
            // POV-Ray wraps its messages at 80 columns, indenting the rest.
            if (inMessage) {
                result.last() += QString::fromLocal8Bit(line);
            }
            continue;
        }
        // The parser and the console run in threads of their own, so a
        // message about the scene ("File '...' line N: ...") may come
        // before the banner of its stage, amid the start-up text or an
        // option summary.
        inMessage = (afterBanner && !inOptions) || line.startsWith("File '");
        if (inMessage) {
            result << QString::fromLocal8Bit(line.trimmed());
        }
    }
    return result;
}
