#!/usr/bin/env bash
# Runs the fuzz targets for as long as asked: each one as the test suite
# runs it (same seeds, corpus and options) but for SECONDS seconds each
# (default 600). NAME picks targets by a regular expression on the test
# name (fuzz_SceneDocument, collada_fuzz_kmz, ...). What a run finds is left
# beside the target in the build folder, named after it.
#
#   scripts/fuzz.sh [SECONDS] [NAME]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
seconds=${1:-600}
pattern=${2:-.}
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "fuzz.sh: SECONDS must be a whole number" >&2; exit 2; }
build kelvane_sanitized
# Qt's own leaks are not the readers' (see tests/fuzz/scene/lsan.supp).
export LSAN_OPTIONS="suppressions=$ROOT/tests/fuzz/scene/lsan.supp"
status=0
while IFS= read -r command; do
  command=$(sed -E "s/\"-max_total_time=[0-9]+\"/\"-max_total_time=$seconds\"/" <<<"$command")
  binary=$(eval "set -- $command"; echo "$1")
  echo "== $(basename "$binary") for $seconds s"
  (cd "$(dirname "$binary")" && eval "$command") || status=1
done < <(ctest --test-dir "$BUILD_DIR" -N -V -L fuzz -R "$pattern" | sed -n 's/^[0-9]*: Test command: //p')
exit $status
