#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite in the default and the asan build,
# the link and command-layer tests also under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

# No test may reach anything outside 127.0.0.0/8.
export RIVIVOZUZUVOD_LOOPBACK_ONLY=1
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

passed=0
failed=0
# Adds the counts of a ctest log ("100% tests passed, 0 tests failed out of 204").
count_results() {
  local summary total failures
  summary=$(grep -E 'tests failed out of [0-9]+' "$1" | tail -n 1)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  failures=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
  passed=$((passed + total - failures))
  failed=$((failed + failures))
}

# The package checks (Packaging.*) run in the default build only: the asan preset builds
# neither the man pages nor the package.
for preset in default asan; do
  echo "=== build: $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== tests: $preset ==="
  ctest --preset "$preset" | tee "build/$preset-ctest.log"
  count_results "build/$preset-ctest.log"
done

# The link and the command layer hand exchanges between threads: their tests run under
# ThreadSanitizer as well, and any report fails the test that caused it. The progress bar's
# widget tests (in the link's test program) paint, and painting runs in the toolkit's own
# thread pool, whose locks the checker cannot see: they stay out.
echo "=== build: tsan (link and command layer) ==="
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target commdll_tests comm_tests
echo "=== tests: tsan ==="
ctest --preset tsan -L '^(commdll_tests|comm_tests)$' -E '^TextProgressCtrl\.' |
  tee build/tsan-ctest.log
count_results build/tsan-ctest.log

# The fuzz targets need clang (installed by install-deps.sh); a crash, a
# sanitizer report or a broken invariant fails this script. The run in CI is a regression
# net over the seed corpora; longer searches run by hand: ./fuzz/run-fuzz.sh 600
if command -v clang++ >/dev/null 2>&1; then
  echo "=== fuzz: S-record reader (30 s) and frame reader (10 s) ==="
  ./fuzz/run-fuzz.sh 30
else
  echo "=== fuzz: skipped, clang++ not installed ==="
fi

echo "=== all builds ==="
echo "tests: $passed passed, $failed failed"
