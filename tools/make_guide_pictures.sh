#!/usr/bin/env bash
# Makes the pictures of the user guide (docs/guide.md) in docs/pictures with
# the real program: the window and its panels under Xvfb, and renders by
# kelvane --render of the showcase scene. Run it again after changing the
# window or the renderer, so the guide shows what the program does:
#   tools/make_guide_pictures.sh            (build folder: build/, or
#                                            KELVANE_BUILD_DIR)
# Needs xvfb-run (Debian package xvfb) and POV-Ray.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KELVANE_BUILD_DIR:-$ROOT/build}
OUT=$ROOT/docs/pictures
cmake --build "$BUILD" -j2 --target kelvane kelvane_guide_pictures
kelvane=$BUILD/app/kelvane
tool=$BUILD/tools/kelvane_guide_pictures
scene=$ROOT/samples/showcase.kelvane
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The window keeps its recent files and recovery copies here, not at home.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
mkdir -p "$OUT"

echo "The window and its panels"
xvfb-run -a -s '-screen 0 1280x1024x24' "$tool" window "$OUT" "$scene"

strip() { QT_QPA_PLATFORM=offscreen "$tool" strip "$@"; }
echo "Draft and Photo"
"$kelvane" --render "$work/draft.png" --size 400x300 --quality draft "$scene"
"$kelvane" --render "$work/photo.png" --size 400x300 --quality photo "$scene"
strip "$OUT/draft-photo.jpg" 300 "$work/draft.png" "$work/photo.png"
strip "$OUT/photo.jpg" 300 "$work/photo.png"

echo "Feature lines as ink"
"$kelvane" --render "$work/ink.png" --size 400x300 --lines contours,suggestive "$scene"
strip "$OUT/lines-ink.jpg" 300 "$work/ink.png"

echo "A turntable"
"$kelvane" --render "$work/spin_%d.png" --turntable 6 --size 200x150 "$scene"
strip "$OUT/turntable.jpg" 150 "$work"/spin_{0..5}.png
ls -l "$OUT"
