#!/usr/bin/env bash
# Static analysis of src/: clang-tidy with the checked-in .clang-tidy, then
# cppcheck. Exits non-zero on any finding.
set -uo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json: build first"; exit 2; }
status=0
files=$(git ls-files 'src/*.cpp')
echo "== clang-tidy"
out=$(run-clang-tidy -quiet -p "$build" -j "$(nproc)" $files 2>/dev/null | grep -E '^/.*(warning|error):' | sort -u)
if [ -n "$out" ]; then echo "$out"; status=1; fi
echo "== cppcheck"
cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
  --inline-suppr --suppress=missingIncludeSystem --std=c++20 --language=c++ \
  -I src src || status=1
[ $status -eq 0 ] && echo "lint: clean"
exit $status
