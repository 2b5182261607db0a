#pragma once

// The KML document of a KMZ archive, as far as the models need it.

#include <QByteArray>
#include <QHash>
#include <QString>

// The <ResourceMap> aliases of a KML document: each <Alias>'s
// <sourceHref> (the path the COLLADA document names) to its <targetHref>
// (where the file really is, relative to the same document). Aliases with
// an empty half are left out, as is everything after a malformed part or
// past `maxAliases` aliases.
QHash<QString, QString> kmlResourceAliases(const QByteArray& kml, int maxAliases = 100000);
