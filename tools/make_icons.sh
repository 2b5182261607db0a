#!/usr/bin/env bash
# Renders the application icon's PNG sizes from packaging/icons/kelvane.svg.
# Run after editing the drawing and commit the PNGs with it (needs
# rsvg-convert, Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../packaging/icons"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" kelvane.svg -o "kelvane-$size.png"
done
