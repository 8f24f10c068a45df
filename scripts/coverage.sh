#!/usr/bin/env bash
# Line coverage per source folder: an instrumented build, the whole test
# suite, then gcovr's summary by folder.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-coverage
cmake -S "$top" -B "$build" -DVESPERON_COVERAGE=ON -DVESPERON_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j "$(nproc)"
find "$build" -name '*.gcda' -delete
"$top/scripts/run-tests.sh" "$build" >/dev/null || echo "(some tests failed; coverage still reported)"
cd "$top"
for dir in core platform audiolib audio media script skin update windows app; do
  [ -d "src/$dir" ] || continue
  line=$(gcovr -r "$top" --object-directory "$build" -f "src/$dir/" --txt-summary 2>/dev/null | grep '^lines:' || true)
  printf '%-10s %s\n' "src/$dir" "${line:-no data}"
done
