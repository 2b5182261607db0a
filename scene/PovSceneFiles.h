#pragma once
// The files a scene needs when it is rendered on another machine: the scene
// file itself and, for a file that refers to others (a scene document names
// its model files, an OBJ file its .mtl libraries and their images, a .gltf
// file its buffers and images), those files too, when they lie inside the
// file's folder. Used to ship a scene to the machines
// that render its frames or bands.

#include <QString>
#include <QStringList>

// Absolute paths, the scene file first. Returns an empty list with a
// sentence in `error` when the scene file does not exist.
QStringList sceneFiles(const QString& scene, QString* error = nullptr);

// Why `path` cannot be read as a scene whatever its format: a folder, a
// named pipe or a device could never be read to its end. Empty for a
// regular file (through links) and for a name that does not exist.
QString notAFileReason(const QString& path);

// A file name on one line, whatever characters it holds: a backslash is
// written "\\", a line feed "\n", a carriage return "\r", a tab "\t" and
// any other control character "\xHH"; other names are unchanged. The shell
// reads it back with printf '%b'.
QString escapedFileName(const QString& name);

// Copies the scene and the files it needs into `folder`, which is made and
// must not exist yet, keeping their places relative to each other, so the
// copy renders without the originals: a scene document's copy names its
// model by the model's copy. `copied` receives the scene's copy, relative
// to `folder`. Returns false with a sentence in `error` when the scene
// cannot be read or a copy cannot be made.
bool copyScene(const QString& scene, const QString& folder, QString* copied,
               QString* error = nullptr);
