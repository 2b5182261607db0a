#pragma once
// Runs a reader in a child process of its own, so that a library that
// crashes, aborts or corrupts memory on a damaged file takes down only the
// child: the program gets the scene back through a pipe, or a reason.

#include "scene/ImportedScene.h"

#include <functional>

// Forks; the child runs `read` on a fresh scene, sends it back and ends
// without running any clean-up of its own (a library that fails while
// tearing itself down then harms nothing). The child's standard output goes
// to standard error. `out` is the scene the child sent; when the child
// crashed, was killed, ran past `timeoutSeconds`, or sent damaged data,
// `out` holds no mesh and its reason says so, naming `what` (such as
// "the Assimp importer"). Returns whether a scene came back.
bool readInChildProcess(const std::function<void(ImportedScene&)>& read, ImportedScene& out,
                        const char* what, int timeoutSeconds = 600);
