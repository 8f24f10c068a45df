#!/usr/bin/env bash
# Runs the whole test suite of a build folder through CTest. Tests that need
# an X server get one: a private Xvfb is started when none is given.
#   scripts/run-tests.sh [BUILD [CTEST-ARGUMENTS...]]
# Further arguments go to ctest, e.g. "-LE timing" to leave out a label.
# Without arguments, the tests labelled "timing" (they compare with the wall
# clock) run after the others, one at a time, so that no other test competes
# with them for the processor.
set -euo pipefail
build=${1:-build}
shift || true
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${VESPERON_TEST_DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export VESPERON_TEST_DISPLAY=":$n"
    break
  done
fi
cd "$build"
if [ $# -gt 0 ]; then
  ctest --output-on-failure -j "$(nproc)" --timeout 600 "$@"
  exit $?
fi
status=0
ctest --output-on-failure -j "$(nproc)" --timeout 600 -LE timing || status=1
ctest --output-on-failure -j 1 --timeout 600 -L timing || status=1
exit $status
