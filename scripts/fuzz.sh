#!/usr/bin/env bash
# Builds libFuzzer targets of tests/fuzz/ and runs each for the given time on its
# seed corpus. Crashes and the corpus go to build-fuzz/<target>/.
# Usage: scripts/fuzz.sh <lrc|samplebuffer|wavlayout|openstream|openav|all> <seconds> [libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(lrc samplebuffer wavlayout openstream openav)
if (($# < 2)); then
  echo "usage: $0 <$(IFS='|'; echo "${targets[*]}")|all> <seconds> [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2

CXX=${CXX_FUZZ:-clang++-14}
command -v "$CXX" >/dev/null || CXX=clang++
launcher=()
command -v ccache >/dev/null && launcher=(ccache)
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
       -I. -Iaudiolib/include -Iaudiolib/core -DVOREL_AUDIOLIB_BUILD)

# The sources of each target, taken from the folders so that a source added there
# cannot be missing here: the pure segmentation units (the sampler needs the
# engine) with the platform's safe file writing the LRC writer uses, and for the
# open paths the whole core library.
sources_of() {
  case $1 in
    lrc) ls segment/*.cpp | grep -v '/samplelist\.cpp$'; echo platform/safefile.cpp platform/tempfolder.cpp ;;
    samplebuffer) echo segment/samplebuffer.cpp ;;
    wavlayout) echo segment/wavlayout.cpp segment/samplebuffer.cpp ;;
    openstream | openav) ls audiolib/core/*.cpp ;;
    *) echo "fuzz: unknown target $1" >&2; exit 2 ;;
  esac
}

# pkg-config --cflags or --libs of what the target's sources use.
packages_of() {
  [[ $1 == open* ]] || return 0
  pkg-config "$2" libmpg123 sndfile sdl2 libavformat libavcodec libswresample libavutil
  [[ $2 == --libs ]] && echo -lpthread
  return 0
}

# Seeds made here, never committed: a short WAV and MP3 for the WAV/MP3 open path,
# a short tone in each container for the other one.
make_seeds() {
  local dir=$1
  case $dir in
    */openstream)
      mkdir -p "$dir"
      [[ -f $dir/tone.mp3 ]] && return 0
      sox -n -r 8000 -c 1 -b 16 "$dir/tone.wav" synth 0.2 sine 440 vol 0.4
      sox -n -r 11025 -c 2 -b 8 -e unsigned "$dir/stereo8.wav" synth 0.1 sine 300 vol 0.4
      lame --quiet -b 32 "$dir/tone.wav" "$dir/tone.mp3" ;;
    */openav)
      mkdir -p "$dir"
      [[ -f $dir/video.mp4 ]] && return 0
      local src="$dir/../tone-av.wav"
      sox -n -r 44100 -c 2 -b 16 "$src" synth 0.3 sine 440
      ffmpeg -nostdin -v error -y -i "$src" -c:a aac -b:a 32k "$dir/aac.m4a"
      ffmpeg -nostdin -v error -y -i "$src" -c:a libopus -b:a 24k "$dir/opus.webm"
      ffmpeg -nostdin -v error -y -i "$src" -c:a flac "$dir/flac.mkv"
      ffmpeg -nostdin -v error -y -i "$src" -c:a libvorbis "$dir/vorbis.ogg"
      ffmpeg -nostdin -v error -y -f lavfi -i color=s=16x16:d=0.4 -i "$src" -shortest -c:v mpeg4 -c:a aac "$dir/video.mp4"
      rm -f "$src" ;;
  esac
}

# Compiles every source to an object (through ccache when there is one, two at a
# time per core) and links the fuzzer; stops at the first failure.
build_one() {
  local name=$1 out=build-fuzz/$1 objs=() src obj failed=0
  mkdir -p "$out/obj"
  for src in "tests/fuzz/${name}_fuzz.cpp" $(sources_of "$name"); do
    obj=$out/obj/${src//\//_}.o
    objs+=("$obj")
    # shellcheck disable=SC2046
    "${launcher[@]}" "$CXX" "${flags[@]}" $(packages_of "$name" --cflags) -c "$src" -o "$obj" &
    while (($(jobs -rp | wc -l) >= $(nproc))); do wait -n || failed=1; done
  done
  while (($(jobs -rp | wc -l) > 0)); do wait -n || failed=1; done
  ((failed == 0)) || { echo "fuzz: $name does not build" >&2; exit 1; }
  # shellcheck disable=SC2046
  "$CXX" "${flags[@]}" -fsanitize=fuzzer -o "$out/fuzzer" "${objs[@]}" $(packages_of "$name" --libs)
}

run_one() {
  local name=$1
  shift
  local out=build-fuzz/$name seeds=tests/fuzz/seeds/$name
  [[ $name == open* ]] && seeds=build-fuzz/seeds/$name
  build_one "$name"
  make_seeds "$seeds"
  mkdir -p "$out/corpus" "$out/crashes"
  echo "fuzz: running $name for $seconds s" >&2
  # libmpg123 reports damaged frames on stderr even when told to be quiet.
  "$out/fuzzer" "$out/corpus" "$seeds" -max_total_time="$seconds" -artifact_prefix="$out/crashes/" \
    -print_final_stats=1 "$@" 2> >(grep -v '^\[src/libmpg123/' >&2)
}

if [[ $target == all ]]; then
  for t in "${targets[@]}"; do run_one "$t" "$@"; done
else
  sources_of "$target" >/dev/null
  run_one "$target" "$@"
fi
