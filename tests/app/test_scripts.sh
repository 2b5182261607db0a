#!/usr/bin/env bash
# Runs scripts/run.sh and scripts/test.sh with stand-ins for cmake, ctest,
# dpkg-query, xvfb-run and the program, and checks what each one builds:
# run.sh only the program, test.sh everything.
set -euo pipefail
ROOT=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/build/app"
log=$work/calls
for tool in cmake ctest xvfb-run; do
  printf '#!/bin/sh\necho "%s $*" >> "%s"\n' "$tool" "$log" > "$work/bin/$tool"
done
# Every package counts as installed.
printf '#!/bin/sh\nprintf "install ok installed"\n' > "$work/bin/dpkg-query"
printf '#!/bin/sh\necho "kelvane $*" >> "%s"\n' "$log" > "$work/build/app/kelvane"
chmod +x "$work/bin/"* "$work/build/app/kelvane"
export PATH="$work/bin:$PATH" KELVANE_BUILD_DIR="$work/build"

fail() { echo "FAIL: $*"; cat "$log"; exit 1; }

env -u DISPLAY -u WAYLAND_DISPLAY "$ROOT/scripts/run.sh" "$ROOT/samples/boxes.npr" > /dev/null
builds=$(grep -c '^cmake --build' "$log" || true)
[ "$builds" -eq 1 ] || fail "run.sh should build once"
grep -q -- '^cmake --build .* --target kelvane$' "$log" || fail "run.sh should build only the kelvane target"
grep -q '^kelvane --render' "$log" || fail "run.sh should start the program"
rm -f "$ROOT/kelvane-render.png"

: > "$log"
"$ROOT/scripts/test.sh" -R nothing > /dev/null
grep -q '^cmake --build' "$log" || fail "test.sh should build"
if grep -q -- '--target' "$log"; then fail "test.sh should build every target"; fi
grep -q 'ctest --test-dir' "$log" || fail "test.sh should run ctest"
echo "run.sh builds the program only; test.sh builds everything"
