#!/usr/bin/env bash
# The sanitizer pass: everything built with AddressSanitizer and
# UndefinedBehaviorSanitizer (leak checking on) in its own build folder,
# without benchmarks, then the test suite except the tests labelled "timing"
# (they compare audio positions with the wall clock, which the sanitizers'
# slowdown would upset; the normal pass runs them).
#   scripts/run-sanitized-tests.sh [BUILD]        (default build-sanitize)
# Any sanitizer report fails the pass, also one from a child process such as
# the real executable that some tests start: every report is written to a
# file under BUILD/sanitizer-reports and printed at the end.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-sanitize}
# -O1 -g1 (line tables) compiles in less than half the time of -O2 -g and
# still gives reports with file and line; the tests take seconds either way.
cmake -S "$top" -B "$build" -DVESPERON_SANITIZE=ON -DVESPERON_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}"
reports=$(cd "$build" && pwd)/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"
export LSAN_OPTIONS="suppressions=$top/scripts/lsan-suppressions.txt:print_suppressions=0"
status=0
"$top/scripts/run-tests.sh" "$build" -LE timing || status=1
found=$(find "$reports" -type f | sort)
if [ -n "$found" ]; then
  for f in $found; do echo "== $f"; cat "$f"; done
  echo "sanitizer pass: $(echo "$found" | wc -l) report(s)"
  status=1
fi
[ $status -eq 0 ] && echo "sanitizer pass: clean"
exit $status
