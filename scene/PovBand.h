#pragma once
// Bands: one picture cut into bands of whole rows that POV-Ray renders one
// at a time (its start and end row options), possibly on other machines,
// and put back together afterwards.
//
// POV-Ray 3.7 renders a picture in blocks of 32 by 32 pixels, counted from
// the first row it is asked for, and its adaptive antialiasing looks at
// neighbouring pixels only within a block. So bands begin on the block rows
// of the whole picture: band i of n takes block rows floor((i-1)*b/n) to
// floor(i*b/n) - 1 of the b = ceil(height/32) there are, and then every
// pixel is computed exactly as in the single render, antialiasing included.
// Rows are counted from 1 at the top, as POV-Ray counts them. POV-Ray 3.7
// writes a partial render as a picture of the full size with the rows it
// did not render black; a band file keeps only its own rows and carries, as
// PNG text, where they belong and what they were rendered from:
//
//   "Kelvane band"     "2/3"
//   "Kelvane rows"     "21-40"
//   "Kelvane picture"  "80x60"                     the whole picture
//   "Kelvane scene"    SHA-1 of the scene description, in hex
//   "Kelvane source"   the scene file's name, for messages
//   "Kelvane settings" the render settings as compact JSON
//
// The scene description holds the camera, lights, materials and meshes, so
// two bands with the same scene digest show the same picture; the settings
// add what POV-Ray is told besides (size, antialiasing, quality).

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

struct PovBandRows {
    int first = 0; // 1-based, inclusive
    int last = -1;
    int count() const { return last - first + 1; }
};

// The rows POV-Ray renders as one block row.
constexpr int povBlockRows = 32;

// The most bands a picture `height` rows high can be cut into: its block
// rows.
int maxBands(int height);

// The rows of band `band` of `bands` in a picture `height` rows high. The
// caller keeps 1 <= band <= bands <= maxBands(height).
PovBandRows bandRows(int band, int bands, int height);

// Reads "i/n" for a picture `height` rows high. Returns false with a
// sentence in `error` unless 1 <= i <= n <= maxBands(height).
bool parseBand(const QString& text, int height, int& band, int& bands, QString* error = nullptr);

// The lines POV-Ray's settings file gets for the band: "+SR<first>" unless
// it starts at the top, "+ER<last>" unless it ends at the bottom. (An end
// row of 1, which POV-Ray would read as the fraction 1.0, never arises: a
// band ends on a block row or at the bottom.)
QByteArray bandIniText(const PovBandRows& rows, int height);

// Where a band belongs.
struct PovBandInfo {
    int band = 0;
    int bands = 0;
    PovBandRows rows;
    QSize picture;
    QString scene;    // digest of the scene description
    QString source;   // name of the scene file
    QString settings; // compact JSON

    // Stores the fields as the image's text.
    void writeTo(QImage& image) const;
    // Reads what writeTo() stored. Returns false with a sentence in `error`
    // when a field is missing or malformed.
    static bool readFrom(const QImage& image, PovBandInfo& info, QString* error = nullptr);
};

// True when every chunk of the PNG file lies within the file. Qt's PNG
// reader trusts a chunk's stated length and allocates it before reading,
// so a damaged length asks for up to 2 GB; bands come from other machines
// and mergeBands checks them first. Files that are not PNG pass (they are
// refused on their format).
bool pngChunksFit(const QString& fileName);

// The SHA-1 digest, in hex, of the file's bytes; empty when it cannot be
// read.
QString fileDigest(const QString& fileName);

// The band cut from POV-Ray's full-size partial render: the rows of `info`,
// with `info` stored as text. A null image when `rendered` is not of the
// full size.
QImage cutBand(const QImage& rendered, const PovBandInfo& info);

// Reads the band files and assembles the whole picture. Every file must be
// a band, all of the same picture size, scene digest, settings and band
// count, each band given exactly once and none missing. Returns a null
// image with one message in `error` (naming the files and bands at fault)
// otherwise.
QImage mergeBands(const QStringList& files, QString* error = nullptr);
