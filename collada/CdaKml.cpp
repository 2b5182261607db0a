#include "collada/CdaKml.h"

#include <QXmlStreamReader>

QHash<QString, QString> kmlResourceAliases(const QByteArray& kml, int maxAliases)
{
    QHash<QString, QString> aliases;
    QXmlStreamReader reader(kml);
    QString source, target;
    bool inAlias = false;
    while (!reader.atEnd() && aliases.size() < maxAliases) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QStringRef name = reader.name();
            if (name == QLatin1String("Alias")) {
                inAlias = true;
                source.clear();
                target.clear();
            } else if (inAlias && name == QLatin1String("sourceHref")) {
                source = reader.readElementText().trimmed();
            } else if (inAlias && name == QLatin1String("targetHref")) {
                target = reader.readElementText().trimmed();
            }
        } else if (token == QXmlStreamReader::EndElement &&
                   reader.name() == QLatin1String("Alias")) {
            inAlias = false;
            if (!source.isEmpty() && !target.isEmpty() && !aliases.contains(source)) {
                aliases.insert(source, target);
            }
        }
    }
    return aliases;
}
