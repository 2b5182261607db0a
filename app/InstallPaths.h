#pragma once
// Where an installed Kelvane finds its own files. They are looked up relative
// to the running executable (bin/ beside share/ under one prefix), so an
// installation works under whatever prefix it was installed to and never
// reads from the source tree.

#include <QString>

// The installed sample scenes folder (PREFIX/share/kelvane/samples for the
// program PREFIX/bin/kelvane), as a canonical absolute path; an empty string
// when this copy of the program is not installed (it runs from its build
// folder). Works before a QCoreApplication exists.
QString installedSamplesDirectory();
