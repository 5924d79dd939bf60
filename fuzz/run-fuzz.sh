#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs them for a while: the S-record reader for the
# given time, the frame reader (untrusted reply bytes) for a third of it.
#   fuzz/run-fuzz.sh [seconds]     (default 60)
# The seed corpora in fuzz/ are copied, so a run never changes the tree. A crash, a sanitizer
# report or a broken invariant ends with a non-zero exit status; its input is kept in
# build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build_dir=build/fuzz

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not installed, skipped"
  exit 0
fi

cmake -S fuzz -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build_dir" --target fuzz_srecord_reader fuzz_frame_reader

artifacts="$build_dir/artifacts"
mkdir -p "$artifacts"

# run_target <target> <seed folder> <seconds> <max input length>
run_target() {
  local target=$1 seeds=$2 time=$3 max_len=$4
  local work_corpus="$build_dir/corpus-$target"
  mkdir -p "$work_corpus"
  cp -n "$seeds"/* "$work_corpus"/
  echo "fuzz: $target for $time s"
  # Leak checks stay on: neither reader owns anything beyond one call.
  ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
    "$build_dir/$target" "$work_corpus" \
    -max_total_time="$time" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" -print_final_stats=1
}

run_target fuzz_srecord_reader fuzz/corpus "$seconds" 8192
run_target fuzz_frame_reader fuzz/corpus-frames "$(( (seconds + 2) / 3 ))" 4096
