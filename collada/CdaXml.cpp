#include "collada/CdaXml.h"

#include <QtGlobal>

#include <cstdarg>
#include <cstdio>

void cdaWarning(const char* format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    if (std::vsnprintf(message, sizeof message, format, args) < 0) {
        message[0] = '\0';
    }
    va_end(args);
    qWarning("%s", message);
}

QString cdaStripHash(const QString& reference)
{
    return reference.startsWith(QLatin1Char('#')) ? reference.mid(1) : reference;
}

int cdaIntAttribute(const QDomElement& element, const QString& name)
{
    bool ok = false;
    const int value = element.attribute(name).toInt(&ok, 10);
    return ok ? value : 0;
}

float cdaReadFloat(QTextStream& stream)
{
    float value = 0.0f;
    stream >> value;
    return stream.status() == QTextStream::Ok ? value : 0.0f;
}

double cdaReadDouble(QTextStream& stream)
{
    double value = 0.0;
    stream >> value;
    return stream.status() == QTextStream::Ok ? value : 0.0;
}

int cdaReadInt(QTextStream& stream)
{
    int value = 0;
    stream >> value;
    return stream.status() == QTextStream::Ok ? value : 0;
}
