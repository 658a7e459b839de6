#!/usr/bin/env bash
# Builds a libFuzzer target of tests/fuzz/ against the segmentation sources and
# runs it for the given time. Crashes and the corpus go to build-fuzz/<target>/.
# Usage: scripts/fuzz.sh <lrc|samplebuffer|wavlayout|all> <seconds> [libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# < 2)); then
  echo "usage: $0 <lrc|samplebuffer|wavlayout|all> <seconds> [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2

CXX=${CXX_FUZZ:-clang++-14}
command -v "$CXX" >/dev/null || CXX=clang++
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I. -Iaudiolib/include)

# Only the pure units: no audio engine, no platform layer.
declare -A sources=(
  [lrc]="segment/segmentlist.cpp segment/splitwave.cpp segment/lrctext.cpp"
  [samplebuffer]="segment/samplebuffer.cpp"
  [wavlayout]="segment/wavlayout.cpp segment/samplebuffer.cpp"
)

run_one() {
  local name=$1
  shift
  [[ -n ${sources[$name]:-} ]] || { echo "fuzz: unknown target $name" >&2; exit 2; }
  local out=build-fuzz/$name
  mkdir -p "$out/corpus" "$out/crashes"
  # shellcheck disable=SC2086
  "$CXX" "${flags[@]}" -o "$out/fuzzer" "tests/fuzz/${name}_fuzz.cpp" ${sources[$name]}
  echo "fuzz: running $name for $seconds s" >&2
  "$out/fuzzer" "$out/corpus" "tests/fuzz/seeds/$name" -max_total_time="$seconds" -artifact_prefix="$out/crashes/" \
    -print_final_stats=1 "$@"
}

if [[ $target == all ]]; then
  for t in lrc samplebuffer wavlayout; do run_one "$t" "$@"; done
else
  run_one "$target" "$@"
fi
