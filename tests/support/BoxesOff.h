#pragma once
// Models made of boxes, written on the spot as OFF files, for the tests
// that look at a model from known directions.

#include <QFile>
#include <QTextStream>
#include <QVector>

#include <array>

// A box from (x0, y0, z0) to (x1, y1, z1).
using Box6 = std::array<double, 6>;

// One closed box of 12 triangles per entry, all in one OFF file.
inline bool writeBoxesOff(const QString& fileName, const QVector<Box6>& boxes)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QTextStream out(&file);
    out << "OFF\n" << 8 * boxes.size() << ' ' << 12 * boxes.size() << " 0\n";
    for (const Box6& b : boxes) {
        // Corner k has x from bit 0, y from bit 1, z from bit 2.
        for (int k = 0; k < 8; ++k) {
            out << b[(k & 1) ? 3 : 0] << ' ' << b[(k & 2) ? 4 : 1] << ' ' << b[(k & 4) ? 5 : 2]
                << '\n';
        }
    }
    // Each face as two triangles, wound outwards.
    const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (int i = 0; i < boxes.size(); ++i) {
        for (const auto& q : quads) {
            out << "3 " << 8 * i + q[0] << ' ' << 8 * i + q[1] << ' ' << 8 * i + q[2] << '\n';
            out << "3 " << 8 * i + q[0] << ' ' << 8 * i + q[2] << ' ' << 8 * i + q[3] << '\n';
        }
    }
    out.flush();
    return file.error() == QFile::NoError;
}

// A tall box (2 along x, 1.2 along y, 3 high) with a smaller one stuck on
// at its top, front (-y) and right (+x) corner, sticking out to the right,
// to the front and above: each side of it and its top show another outline.
inline QVector<Box6> boxWithBump()
{
    return {{-1.0, -0.6, 0.0, 1.0, 0.6, 3.0}, {0.75, -1.0, 2.5, 2.0, -0.25, 3.5}};
}

// An upright T: a thin post under a wide square slab.
inline QVector<Box6> uprightTee()
{
    return {{-0.4, -0.4, 0.0, 0.4, 0.4, 2.5}, {-1.2, -1.2, 2.5, 1.2, 1.2, 3.1}};
}
