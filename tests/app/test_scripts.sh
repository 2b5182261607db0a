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

# The spreading script refuses what it cannot do before any work, with
# status 2 and the reason, and never waits on a missing value.
spread() {
  local said
  said=$(cd "$work" && timeout 20 "$ROOT/scripts/kelvane-spread.sh" "$@" 2>&1 >/dev/null)
  echo "$?:$said"
}
expect() {
  local got
  got=$(spread "${@:3}")
  [[ "$got" == "$1:"*"$2"* ]] || fail "spread $* said '$got', not status $1 with '$2'"
}
expect 2 "-j needs a value" -j
expect 2 "--sshloginfile needs a value" --sshloginfile
expect 2 "from 1 to 100000, not '50000000'" turntable 50000000 a_%d.png s.off
expect 2 "from 1 to 512, not '513'" bands 513 a.png s.off
expect 2 "--jobs takes a whole number from 1 to 1024" -j 99999999999999999999 turntable 2 a_%d.png s.off
expect 2 "such as 3 or 2,5, not '1,x'" --only 1,x turntable 2 a_%d.png s.off
expect 2 "'011' is not a frame of this run (0 to 10)" --only 011 turntable 11 a_%d.png s.off
expect 2 "gives --render to the pieces itself" turntable 2 a_%d.png s.off --render b.png
expect 2 "name the frames .png" turntable 2 'g_%d.png$(touch PWNED)' s.off
expect 2 "has a '%' that is not %d" turntable 2 '50%off/a_%d.png' s.off
expect 2 "has more than one frame number" turntable 2 'a_%d_%d.png' s.off
[ ! -e "$work/PWNED" ] || fail "a frame pattern ran a command"
echo "the spreading script refuses bad options, numbers and patterns"
