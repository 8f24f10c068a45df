#!/usr/bin/env bash
# Builds every libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for the given minutes.
#   tools/fuzz/run-fuzzers.sh MINUTES [target ...]
# Seeds come from tests/data/fuzz/<target>/; new inputs go to
# build-fuzz/corpus/<target>/; crashes are copied to
# tests/data/fuzz/<target>/crashes/, where the normal test suite of the
# subsystem replays them.
set -euo pipefail
minutes=${1:?usage: run-fuzzers.sh MINUTES [target ...]}
shift
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$top/build-fuzz
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DVESPERON_FUZZ=ON -DVESPERON_TESTS=OFF \
  -DVESPERON_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$top"/tools/fuzz/fuzz_*.cpp; do targets+=("$(basename "${f%.cpp}")"); done
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
for t in "${targets[@]}"; do
  seeds=$top/tests/data/fuzz/$t
  corpus=$build/corpus/$t
  crashes=$seeds/crashes
  mkdir -p "$corpus" "$crashes"
  echo "== $t for $minutes minute(s)"
  set +e
  "$build/tools/fuzz/$t" "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) \
    -max_total_time=$((minutes * 60 > 0 ? minutes * 60 : 5)) -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$crashes/" -print_final_stats=1 2>&1 | tail -n 25
  set -e
done
