#!/usr/bin/env bash
# Runs every benchmark of a build folder (bench/ programs, never part of the tests).
set -euo pipefail
build=${1:-build}
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
