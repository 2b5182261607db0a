#pragma once
// The files a scene needs when it is rendered on another machine: the scene
// file itself and, for a file that refers to others (a scene document names
// its model file), those files too. Used to ship a scene to the machines
// that render its frames or bands.

#include <QString>
#include <QStringList>

// Absolute paths, the scene file first. Returns an empty list with a
// sentence in `error` when the scene file does not exist.
QStringList sceneFiles(const QString& scene, QString* error = nullptr);
