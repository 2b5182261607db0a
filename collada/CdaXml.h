#pragma once
// Small reading helpers shared by the importer's records, and the one
// function that writes the importer's warnings.

#include <QDomElement>
#include <QString>
#include <QTextStream>

#if defined(__GNUC__)
#define CDA_PRINTF(a, b) __attribute__((format(printf, a, b)))
#else
#define CDA_PRINTF(a, b)
#endif

// Formats the message with printf rules and writes it through qWarning,
// unchanged (messages carry their own trailing "\n"). Every line the
// importer writes ("CdaScene::load: ...", "CdaGeometry: ...") goes through
// here.
void cdaWarning(const char* format, ...) CDA_PRINTF(1, 2);

// A reference ("#id" or "id") without its one leading '#'.
QString cdaStripHash(const QString& reference);

// The attribute as a base-10 integer; text that is not a number gives 0.
int cdaIntAttribute(const QDomElement& element, const QString& name);

// The next whitespace-separated number of the stream; a number that cannot
// be read (end of text, malformed text) gives 0.
float cdaReadFloat(QTextStream& stream);
double cdaReadDouble(QTextStream& stream);
int cdaReadInt(QTextStream& stream);

// An upper bound of the count of whitespace-separated numbers the text can
// hold: one number and one separator at least per number.
inline long long cdaMaxNumbers(const QString& text) { return (text.size() + 1) / 2; }
