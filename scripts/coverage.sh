#!/usr/bin/env bash
# Line coverage per source folder: an instrumented build (build-coverage, no
# benchmarks), the whole test suite, then gcovr's figures summed by folder.
# The full report per file goes to build-coverage/coverage.txt.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-coverage
cmake -S "$top" -B "$build" -DVESPERON_COVERAGE=ON -DVESPERON_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}"
find "$build" -name '*.gcda' -delete
"$top/scripts/run-tests.sh" "$build" >"$build/coverage-tests.log" 2>&1 ||
  echo "(some tests failed, see $build/coverage-tests.log; coverage still reported)"
cd "$top"
gcovr -r "$top" --object-directory "$build" -f 'src/' -j "${JOBS:-$(nproc)}" \
  --txt "$build/coverage.txt" --json-summary "$build/coverage.json" >/dev/null
python3 - "$build/coverage.json" <<'PY'
import json, sys
folders = {}
for f in json.load(open(sys.argv[1]))["files"]:
    parts = f["filename"].split("/")
    key = "/".join(parts[:2])
    total, covered = folders.get(key, (0, 0))
    folders[key] = (total + f["line_total"], covered + f["line_covered"])
all_total = sum(t for t, _ in folders.values())
all_covered = sum(c for _, c in folders.values())
for key in sorted(folders):
    total, covered = folders[key]
    print(f"{key:14} {100.0 * covered / max(total, 1):5.1f} %  ({covered} of {total} lines)")
print(f"{'all of src':14} {100.0 * all_covered / max(all_total, 1):5.1f} %  ({all_covered} of {all_total} lines)")
PY
