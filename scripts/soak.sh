#!/usr/bin/env bash
# Runs the soak test (tests/soak/tst_Soak.cpp, built with the sanitizers)
# for as long as asked: the real window under a virtual X server through
# SECONDS seconds (default 600) of random user actions. SEED replays a run
# (a run prints its seed first); without it each run takes a new one.
#
#   scripts/soak.sh [SECONDS] [SEED]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
seconds=${1:-600}
seed=${2:-}
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "soak.sh: SECONDS must be a whole number" >&2; exit 2; }
[[ -z "$seed" || "$seed" =~ ^[0-9]+$ ]] || { echo "soak.sh: SEED must be a whole number" >&2; exit 2; }
build kelvane_sanitized
export LSAN_OPTIONS="suppressions=$ROOT/tests/soak/lsan.supp"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
exec xvfb-run -a -s '-screen 0 1280x1024x24' \
  "$BUILD_DIR/sanitized/tests/soak/tst_Soak" --seconds "$seconds" ${seed:+--seed "$seed"}
