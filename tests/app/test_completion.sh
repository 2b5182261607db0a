#!/usr/bin/env bash
# The bash completion installed with the program: it offers --quality's
# and --view's values (also after --quality=), every option --help lists,
# and the files Kelvane opens rather than any file.
set -euo pipefail
ROOT=$1
KELVANE=$2
source "$ROOT/packaging/kelvane.bash-completion"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# What the completion offers for the words given, the last being completed.
offers() {
  COMP_WORDS=(kelvane "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _kelvane
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

[ "$(offers --quality '')" = "draft photo " ] || fail "--quality offers '$(offers --quality '')'"
[ "$(offers --quality = p)" = "photo " ] || fail "--quality=p offers '$(offers --quality = p)'"
[ "$(offers --mesh-form m)" = "mesh2 " ] || fail "--mesh-form m"
[ "$(offers --view t)" = "three-quarter top " ] || fail "--view t offers '$(offers --view t)'"
[ "$(offers --lines contours,s)" = "contours,suggestive " ] || fail "--lines contours,s"

listed=$("$KELVANE" --help | grep -o -- '^  --[a-z-]*' | sed 's/^ *//' | sort | tr '\n' ' ')
[ -n "$listed" ] || fail "--help lists no options"
[ "$(offers --)" = "$listed" ] || fail "options offered '$(offers --)', --help lists '$listed'"

cd "$work"
touch model.ply SCAN.STL notes.txt scene.kelvane
mkdir folder
[ "$(offers '')" = "SCAN.STL folder model.ply scene.kelvane " ] || fail "scene files: '$(offers '')'"
echo "completion offers --quality's values, every option and the scene files"
