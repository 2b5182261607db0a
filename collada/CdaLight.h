#pragma once
// CdaLight: one <light> of library_lights. Read and counted; nothing outside
// the importer uses its values.

#include <QDomElement>
#include <QString>

class CdaLight {
public:
    // kind = tag name of technique_common's first element; r, g, b from the
    // text of that element's first <color> (0 for numbers that cannot be
    // read, all three 0 without a <color>); a stays 1.
    explicit CdaLight(const QDomElement& element);

    QString id;
    QString kind; // e.g. "point", "directional"
    float color[4] = {1.0f, 1.0f, 1.0f, 1.0f};
};
