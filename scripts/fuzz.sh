#!/usr/bin/env bash
# Builds a libFuzzer target of tests/fuzz/ against the segmentation sources (or the
# core library's decoders and their libraries) and
# runs it for the given time. Crashes and the corpus go to build-fuzz/<target>/.
# Usage: scripts/fuzz.sh <lrc|samplebuffer|wavlayout|openav|all> <seconds> [libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# < 2)); then
  echo "usage: $0 <lrc|samplebuffer|wavlayout|openav|all> <seconds> [libFuzzer options...]" >&2
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
  [openav]="$(echo audiolib/core/decoder*.cpp)"
)
# Targets over the core library's decoders, with their libraries.
declare -A libs=(
  [openav]="-Iaudiolib/core $(pkg-config --cflags --libs libavformat libavcodec libswresample libavutil sndfile libmpg123)"
)

# Seeds made here, never committed: a short tone in each container.
make_seeds() {
  local name=$1 dir=$2
  [[ $name == openav ]] || return 0
  mkdir -p "$dir"
  [[ -n $(ls -A "$dir") ]] && return 0
  local src="$dir/../tone.wav"
  sox -n -r 44100 -c 2 -b 16 "$src" synth 0.3 sine 440
  ffmpeg -nostdin -v error -y -i "$src" -c:a aac -b:a 32k "$dir/aac.m4a"
  ffmpeg -nostdin -v error -y -i "$src" -c:a libopus -b:a 24k "$dir/opus.webm"
  ffmpeg -nostdin -v error -y -i "$src" -c:a flac "$dir/flac.mkv"
  ffmpeg -nostdin -v error -y -i "$src" -c:a libvorbis "$dir/vorbis.ogg"
  ffmpeg -nostdin -v error -y -f lavfi -i color=s=16x16:d=0.4 -i "$src" -shortest -c:v mpeg4 -c:a aac "$dir/video.mp4"
  rm -f "$src"
}

run_one() {
  local name=$1
  shift
  [[ -n ${sources[$name]:-} ]] || { echo "fuzz: unknown target $name" >&2; exit 2; }
  local out=build-fuzz/$name
  mkdir -p "$out/corpus" "$out/crashes"
  # shellcheck disable=SC2086
  "$CXX" "${flags[@]}" -o "$out/fuzzer" "tests/fuzz/${name}_fuzz.cpp" ${sources[$name]} ${libs[$name]:-}
  local seeds=tests/fuzz/seeds/$name
  if [[ ! -d $seeds ]]; then
    seeds=$out/seeds
    make_seeds "$name" "$seeds"
  fi
  echo "fuzz: running $name for $seconds s" >&2
  "$out/fuzzer" "$out/corpus" "$seeds" -max_total_time="$seconds" -artifact_prefix="$out/crashes/" \
    -print_final_stats=1 "$@"
}

if [[ $target == all ]]; then
  for t in lrc samplebuffer wavlayout openav; do run_one "$t" "$@"; done
else
  run_one "$target" "$@"
fi
