#pragma once
// A large model made on the spot, for tests of what a load needs.

#include <QByteArray>
#include <QFile>
#include <QString>

// A binary PLY of a flat n x n grid of vertices, two triangles per cell.
inline bool writeGridPly(const QString& fileName, int n)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const qint64 faces = 2LL * (n - 1) * (n - 1);
    file.write("ply\nformat binary_little_endian 1.0\nelement vertex " + QByteArray::number(n * n) +
               "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
               QByteArray::number(faces) +
               "\nproperty list uchar int vertex_indices\nend_header\n");
    QByteArray row;
    for (int y = 0; y < n; ++y) {
        row.clear();
        for (int x = 0; x < n; ++x) {
            const float v[3] = {float(x), float(y), float((x * y) % 7) * 0.1f};
            row.append(reinterpret_cast<const char*>(v), sizeof v);
        }
        file.write(row);
    }
    for (int y = 0; y + 1 < n; ++y) {
        row.clear();
        for (int x = 0; x + 1 < n; ++x) {
            const qint32 a = y * n + x;
            const qint32 t[2][3] = {{a, a + 1, a + n + 1}, {a, a + n + 1, a + n}};
            for (const auto& f : t) {
                row.append(char(3));
                row.append(reinterpret_cast<const char*>(f), sizeof f);
            }
        }
        file.write(row);
    }
    return file.flush();
}
