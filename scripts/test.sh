#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite; the GUI
# and OpenGL tests run under a virtual X server.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
# A test without a limit of its own is stopped after ten minutes, so a hang
# is a named failure rather than a stalled run.
xvfb-run -a -s '-screen 0 1280x1024x24' \
  ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 600 -j 2 "$@"
