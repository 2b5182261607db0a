#!/usr/bin/env bash
# Installs what is missing, builds the program (not the tests), and starts
# Kelvane on a scene (the bundled sample when none is given). Without a
# display it ray-traces the scene with POV-Ray instead and says where the
# picture went.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build kelvane
cd "$ROOT"
scene=${1:-samples/showcase.kelvane}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  picture="$ROOT/kelvane-render.png"
  echo "No display found: Kelvane's window needs an X11 or Wayland display."
  echo "Rendering $scene with POV-Ray instead..."
  "$BUILD_DIR/app/kelvane" --render "$picture" "$scene"
  echo "The picture is in $picture"
  exit 0
fi
exec "$BUILD_DIR/app/kelvane" "$scene"
