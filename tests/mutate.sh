#!/usr/bin/env bash
# Breaks the program on purpose, one mutation at a time, and reports which
# mutations no test catches. A tool for the team, not part of the suite.
#
#   tests/mutate.sh [LIST] [NAME-PATTERN]
#
# LIST (default tests/mutations.txt) holds one mutation per line, four fields
# separated by tabs: the source file (from the repository root), a Perl
# regular expression that must match exactly once in it, the replacement
# (not empty; "\n" is a line break), and a CTest regular expression naming the tests
# that should catch it. Blank lines and lines starting with '#' are skipped.
# NAME-PATTERN keeps only the lines whose file or tests match it.
#
# Each mutation is applied to the source, the tests' programs are rebuilt
# (only those, in the build folder KELVANE_BUILD_DIR, default build/), the
# tests run, and the source is put back. The build must already be
# configured. The exit status is 1 when some mutation was not caught.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${KELVANE_BUILD_DIR:-$ROOT/build}
LIST=${1:-$ROOT/tests/mutations.txt}
ONLY=${2:-}
JOBS=${JOBS:-2}
[ -f "$BUILD_DIR/CMakeCache.txt" ] || { echo "mutate: $BUILD_DIR is not a configured build" >&2; exit 2; }
[ -f "$LIST" ] || { echo "mutate: no list $LIST" >&2; exit 2; }

# GUI tests need a display.
run_ctest=(ctest --test-dir "$BUILD_DIR" --output-on-failure)
if [ -z "${DISPLAY:-}" ]; then
  run_ctest=(xvfb-run -a -s '-screen 0 1280x1024x24' "${run_ctest[@]}")
fi

# The targets to rebuild for a test: its own program, or what it reads.
targets_for() {
  case "$1" in
    core_without_gl) echo kelvane_trimesh kelvane_ln_core ;;
    tst_Package) echo tst_Install ;;
    test_scripts) ;;
    *) echo "$1" ;;
  esac
}

backup=$(mktemp)
current=""
restore() {
  if [ -n "$current" ]; then
    cp -p "$backup" "$ROOT/$current"
    touch "$ROOT/$current"
    current=""
  fi
}
trap 'restore; rm -f "$backup"; exit 130' INT TERM

report=()
missed=0
number=0
all_targets=()
while IFS=$'\t' read -r file pattern replacement tests || [ -n "$file" ]; do
  case "$file" in '' | '#'*) continue ;; esac
  number=$((number + 1))
  if [ -n "$ONLY" ] && ! [[ "$file $tests" =~ $ONLY ]]; then
    continue
  fi
  label="#$number $file: $pattern"
  echo "=== $label" >&2
  if [ -z "$tests" ] || [ ! -f "$ROOT/$file" ]; then
    report+=("LIST ERROR  $label (no such file or no tests named)")
    missed=$((missed + 1))
    continue
  fi
  cp -p "$ROOT/$file" "$backup"
  current=$file
  count=$(PAT="$pattern" REP="$replacement" perl -0777 -i -pe '
      my $r = $ENV{REP}; $r =~ s/\\n/\n/g;
      my $n = () = /$ENV{PAT}/gm;
      s/$ENV{PAT}/$r/m if $n == 1;
      END { print STDERR $n }' "$ROOT/$file" 2>&1 >/dev/null)
  if [ "$count" != 1 ]; then
    restore
    report+=("LIST ERROR  $label (the pattern matches $count times)")
    missed=$((missed + 1))
    continue
  fi
  names=$(ctest --test-dir "$BUILD_DIR" -N -R "$tests" | sed -n 's/^ *Test *#[0-9]*: //p')
  targets=()
  for name in $names; do
    targets+=($(targets_for "$name"))
  done
  all_targets+=("${targets[@]}")
  if ! cmake --build "$BUILD_DIR" -j "$JOBS" --target "${targets[@]}" >/tmp/mutate-build.$$ 2>&1; then
    restore
    report+=("NO BUILD    $label (the mutant does not compile: $(grep -m1 'error' /tmp/mutate-build.$$))")
    missed=$((missed + 1))
    continue
  fi
  output=$("${run_ctest[@]}" -R "$tests" 2>&1)
  restore
  failed=$(sed -En 's/^[[:space:]]*[0-9]+ - ([^ ]+) \(.*/\1/p' <<<"$output" | sort -u | tr '\n' ' ')
  if [ -n "$failed" ]; then
    report+=("caught      $label -> by ${failed% }")
  else
    report+=("NOT CAUGHT  $label (ran: $(tr '\n' ' ' <<<"$names"))")
    missed=$((missed + 1))
  fi
done <"$LIST"
rm -f "$backup" /tmp/mutate-build.$$

# Leave the programs built from the sources as they are.
if [ ${#all_targets[@]} -gt 0 ]; then
  cmake --build "$BUILD_DIR" -j "$JOBS" --target $(printf '%s\n' "${all_targets[@]}" | sort -u) >/dev/null
fi

echo
echo "Mutation report ($LIST):"
printf '  %s\n' "${report[@]}"
echo "$missed of ${#report[@]} mutations not caught."
[ "$missed" -eq 0 ]
