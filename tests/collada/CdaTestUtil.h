#pragma once
// Helpers shared by the importer's tests: COLLADA text built from pieces,
// zip archives written with minizip's writer, and the load lines a
// well-formed document writes.

#include <QByteArray>
#include <QDomDocument>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <QtTest>

#include <zip.h>
#include <zlib.h>

namespace cdatest {

using Entry = QPair<QByteArray, QByteArray>; // name, bytes

// A COLLADA document: the library elements as given, then a visual scene
// holding `scene` (no visual scene at all when `scene` is null).
inline QByteArray document(const QString& libraries, const QString& scene = QString())
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                  "<COLLADA xmlns=\"http://www.collada.org/2005/11/"
                                  "COLLADASchema\" version=\"1.4.1\">\n") +
                   libraries;
    if (!scene.isNull()) {
        text += QStringLiteral("<library_visual_scenes><visual_scene id=\"scene\">") + scene +
                QStringLiteral("</visual_scene></library_visual_scenes>\n");
    }
    text += QStringLiteral("</COLLADA>\n");
    return text.toUtf8();
}

// A <geometry> with one triangle per three positions: positions and normals
// given as "x y z ..." text, VERTEX at offset 0 and NORMAL at offset 1.
inline QString triangleGeometry(const QString& id, const QString& positions, const QString& normals,
                                const QString& p, int count)
{
    const int np = positions.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
    const int nn = normals.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
    return QStringLiteral(
               "<geometry id=\"%1\"><mesh>"
               "<source id=\"%1-pos\"><float_array count=\"%2\">%3</float_array>"
               "<technique_common><accessor stride=\"3\"/></technique_common></source>"
               "<source id=\"%1-nor\"><float_array count=\"%4\">%5</float_array>"
               "<technique_common><accessor stride=\"3\"/></technique_common></source>"
               "<vertices id=\"%1-vtx\"><input semantic=\"POSITION\" source=\"#%1-pos\"/>"
               "</vertices>"
               "<triangles count=\"%6\"><input semantic=\"VERTEX\" source=\"#%1-vtx\" "
               "offset=\"0\"/>"
               "<input semantic=\"NORMAL\" source=\"#%1-nor\" offset=\"1\"/><p>%7</p></triangles>"
               "</mesh></geometry>")
        .arg(id)
        .arg(np)
        .arg(positions)
        .arg(nn)
        .arg(normals)
        .arg(count)
        .arg(p);
}

// The unit triangle in the z = 0 plane with normals +z, as a geometry.
inline QString unitTriangle(const QString& id)
{
    return triangleGeometry(id, QStringLiteral("0 0 0 1 0 0 0 1 0"),
                            QStringLiteral("0 0 1 0 0 1 0 0 1"), QStringLiteral("0 0 1 1 2 2"), 1);
}

// Expects the lines a well-formed document writes, totals as given.
inline void expectLoadLines(int effects, int materials, int lights, int cameras, int geometries,
                            int nodes)
{
    const auto expect = [](const QString& line) {
        QTest::ignoreMessage(QtWarningMsg, line.toUtf8().constData());
    };
    expect(QStringLiteral("CdaScene::load: Read %1 effects\n").arg(effects));
    expect(QStringLiteral("CdaScene::load: Read %1 materials\n").arg(materials));
    expect(QStringLiteral("CdaScene::load: Read %1 lights\n").arg(lights));
    expect(QStringLiteral("CdaScene::load: Read %1 cameras\n").arg(cameras));
    expect(QStringLiteral("CdaScene::load: Read %1 geometries\n").arg(geometries));
    expect(QStringLiteral("CdaScene::load: Read %1 library nodes\n").arg(nodes));
    expect(QStringLiteral("CdaScene::load: Read root node\n"));
    expect(QStringLiteral("CdaScene::load: success!\n"));
}

inline void expectLine(const QString& line)
{
    QTest::ignoreMessage(QtWarningMsg, line.toUtf8().constData());
}

// Writes a deflated zip archive of the entries, in order.
inline bool writeZip(const QString& path, const QList<Entry>& entries)
{
    zipFile zip = zipOpen(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip) {
        return false;
    }
    bool ok = true;
    for (const Entry& e : entries) {
        zip_fileinfo info = {};
        ok = ok &&
             zipOpenNewFileInZip(zip, e.first.constData(), &info, nullptr, 0, nullptr, 0, nullptr,
                                 Z_DEFLATED, Z_DEFAULT_COMPRESSION) == ZIP_OK &&
             zipWriteInFileInZip(zip, e.second.constData(), unsigned(e.second.size())) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

// Writes an archive with one stored entry whose header declares
// `declaredSize` uncompressed bytes whatever it holds.
inline bool writeLyingZip(const QString& path, const QByteArray& name, const QByteArray& bytes,
                          unsigned long declaredSize)
{
    zipFile zip = zipOpen(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip) {
        return false;
    }
    zip_fileinfo info = {};
    const uLong crc =
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size()));
    const bool ok = zipOpenNewFileInZip2(zip, name.constData(), &info, nullptr, 0, nullptr, 0,
                                         nullptr, 0, 0, 1) == ZIP_OK &&
                    zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size())) == ZIP_OK &&
                    zipCloseFileInZipRaw(zip, declaredSize, crc) == ZIP_OK;
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

// An XML snippet parsed; keep the document while its elements are used.
inline QDomDocument xml(const QString& text)
{
    QDomDocument document;
    document.setContent(text);
    return document;
}

// The triangles the surface primitives of a document declare by their
// "count" attributes, counted straight from the XML.
inline int declaredTriangles(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    QXmlStreamReader reader(&file);
    int total = 0;
    const QStringList surfaces = {QStringLiteral("triangles"), QStringLiteral("polylist"),
                                  QStringLiteral("polygons"), QStringLiteral("tristrips"),
                                  QStringLiteral("trifans")};
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement &&
            surfaces.contains(reader.name().toString())) {
            total += reader.attributes().value(QStringLiteral("count")).toInt();
        }
    }
    return total;
}

// Collects every message while it lives, so that a test can look at the
// importer's lines instead of listing every count line.
class MessageLog {
public:
    MessageLog() { previous = qInstallMessageHandler(&MessageLog::record); }
    ~MessageLog()
    {
        qInstallMessageHandler(previous);
        lines().clear();
    }
    static QStringList& lines()
    {
        static QStringList all;
        return all;
    }

private:
    static void record(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        lines().append(text);
    }
    QtMessageHandler previous;
};

} // namespace cdatest
