#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kelvane on a scene (the
# bundled sample when none is given).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "kelvane: no display found (DISPLAY is not set). Kelvane is a graphical program and needs an X11 or Wayland display." >&2
  exit 1
fi
cd "$ROOT"
exec "$BUILD_DIR/app/kelvane" "${@:-samples/boxes.npr}"
