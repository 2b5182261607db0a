#pragma once
// CdaCamera: one <camera> of library_cameras. Read and counted; nothing
// outside the importer uses its values.

#include <QDomElement>
#include <QString>

class CdaCamera {
public:
    // Reads optics/technique_common's first element: its tag name is the
    // projection, and its xfov, yfov, aspect_ratio, znear and zfar children
    // the values (-1 when absent, 0 when not a number).
    explicit CdaCamera(const QDomElement& element);

    QString id;
    QString projection; // e.g. "perspective"
    float xfov = -1.0f;
    float yfov = -1.0f;
    float aspectRatio = -1.0f;
    float znear = -1.0f;
    float zfar = -1.0f;
};
