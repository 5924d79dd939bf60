#!/usr/bin/env bash
# Builds the S-record reader's fuzz target with clang and runs it for a while.
#   fuzz/run-fuzz.sh [seconds]     (default 60)
# The seed corpus in fuzz/corpus/ is copied, so the run never changes the tree. A crash, a
# sanitizer report or a broken invariant ends with a non-zero exit status; its input is kept
# in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build_dir=build/fuzz

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not installed, skipped"
  exit 0
fi

cmake -S fuzz -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build_dir" --target fuzz_srecord_reader

work_corpus="$build_dir/corpus"
artifacts="$build_dir/artifacts"
mkdir -p "$work_corpus" "$artifacts"
cp -n fuzz/corpus/* "$work_corpus"/

# Leak checks stay on: the reader owns nothing beyond one call.
ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
  "$build_dir/fuzz_srecord_reader" "$work_corpus" \
  -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" -print_final_stats=1
