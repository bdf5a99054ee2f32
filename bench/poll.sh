#!/usr/bin/env bash
# Runs the poll benchmark on a private X server: bench/poll.sh [BUILD_DIR] [TICKS]
set -euo pipefail
build=${1:-build}
ticks=${2:-20}
cmake --build "$build" --target bench_poll -j2 >/dev/null
dispfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dispfile" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -f "$dispfile"' EXIT
for _ in $(seq 50); do [ -s "$dispfile" ] && break; sleep 0.1; done
DISPLAY=:$(cat "$dispfile") "$build/bench/bench_poll" "$ticks"
