#!/usr/bin/env bash
# Side-by-side benchmarks on 60-minute recordings, in one run:
#   decode throughput of the core library vs `mpg123 -q -t` and `sox FILE -n`,
#   CPU of a tempo stream at 60 % and 140 % on the no-sound device,
#   vorel-bench's whole load vs `mpg123 -q -t` (MP3) and `cat FILE > /dev/null` (WAV),
#   vorel-bench's whole load of M4A (AAC) and Opus vs `ffmpeg -v quiet -i FILE -f null -`.
# Usage: bench/run.sh [--formats | --ready] [build-dir]   (media are made once into bench/out/)
#   --formats  only the M4A and Opus rows
#   --ready    only the first sentence of ten hours at 128 kbit/s, its whole load vs
#              `mpg123 -q -t`, and the 60-minute WAV vs `cat` (median of 5)
set -euo pipefail
cd "$(dirname "$0")/.."
only_formats=0 only_ready=0
if [[ ${1:-} == --formats ]]; then only_formats=1; shift; fi
if [[ ${1:-} == --ready ]]; then only_ready=1; shift; fi
build=${1:-build}
bench="$build/bench/vorel-bench"
out=bench/out
mkdir -p "$out"
export SDL_AUDIODRIVER=dummy

# --formats needs the hour of speech only to encode its M4A and Opus copies.
if [[ ! -f $out/speech60.wav ]] && ! ((only_formats)) || [[ ! -f $out/speech60.m4a || ! -f $out/speech60.opus ]]; then
  bench/make-speech60.sh "$out"
fi
if [[ ! -f $out/speech60.mp3 ]] && ((!only_formats)); then
  lame --quiet -b 128 "$out/speech60.wav" "$out/speech60.mp3"
fi
if [[ ! -f $out/speech600.mp3 ]] && ((!only_formats)); then
  # Ten hours at 32 kbit/s: ten copies of an untagged hour, joined into one stream.
  lame --quiet -t -b 32 "$out/speech60.wav" "$out/hour32.mp3"
  for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$out/hour32.mp3"; done > "$out/speech600.mp3"
  rm -f "$out/hour32.mp3"
fi

if [[ ! -f $out/book600.mp3 ]] && ((!only_formats)); then
  # Ten hours at 128 kbit/s, the size of a real audiobook: ten untagged hours joined.
  lame --quiet -t -b 128 "$out/speech60.wav" "$out/hour128.mp3"
  for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$out/hour128.mp3"; done > "$out/book600.mp3"
  rm -f "$out/hour128.mp3"
fi

# median wall time (s) of N runs of a command, and its largest max RSS (KB)
measure() {
  local n=$1; shift
  local times=() rss=0 f
  f=$(mktemp)
  for ((k = 0; k < n; k++)); do
    local t0 t1 m
    t0=$(date +%s%N)
    /usr/bin/time -f "%M" -o "$f" "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    times+=("$(( (t1 - t0) / 1000000 ))")
    m=$(tail -n 1 "$f")
    ((m > rss)) && rss=$m
  done
  rm -f "$f"
  local med
  med=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((n + 1) / 2))p")
  printf '%d.%03d %s\n' $((med / 1000)) $((med % 1000)) "$rss"
}

row() { printf '%-44s %8s s  %8s KB\n' "$1" "$2" "$3"; }
row_ms() { printf '%-44s %8s ms\n' "$1" "$2"; }

# median of five runs of vorel-bench FILE of one field of its JSON line (ms)
median_field() {
  local file=$1 field=$2 values=()
  for _ in 1 2 3 4 5; do
    values+=("$("$bench" "$file" | grep -o "\"$field\":[0-9.]*" | cut -d: -f2)")
  done
  printf '%s\n' "${values[@]}" | sort -n | sed -n 3p
}

ready() {
  echo "== ready at once (median of 5): the first sentence playable, the whole load, the 60-minute WAV"
  cat "$out/book600.mp3" > /dev/null
  row_ms "vorel-bench book600.mp3 first_sentence_ms" "$(median_field "$out/book600.mp3" first_sentence_ms)"
  read -r t m < <(measure 5 "$bench" "$out/book600.mp3"); row "vorel-bench book600.mp3" "$t" "$m"
  read -r t m < <(measure 5 mpg123 -q -t "$out/book600.mp3"); row "mpg123 -q -t book600.mp3" "$t" "$m"
  cat "$out/speech60.wav" > /dev/null
  row_ms "vorel-bench speech60.wav sample_ms" "$(median_field "$out/speech60.wav" sample_ms)"
  read -r t m < <(measure 5 "$bench" "$out/speech60.wav"); row "vorel-bench speech60.wav" "$t" "$m"
  read -r t m < <(measure 5 sh -c "cat '$out/speech60.wav' > /dev/null"); row "cat speech60.wav > /dev/null" "$t" "$m"
}
if ((only_ready)); then
  ready
  exit 0
fi

formats() {
  [[ -f $out/speech60.m4a ]] || ffmpeg -nostdin -v error -y -i "$out/speech60.wav" -c:a aac -b:a 96k "$out/speech60.m4a"
  [[ -f $out/speech60.opus ]] || opusenc --quiet --bitrate 48 "$out/speech60.wav" "$out/speech60.opus"
  echo "== whole load of other formats vs ffmpeg's decoding alone (median of 3; 60 min; $(nproc) cores)"
  for f in "$out/speech60.m4a" "$out/speech60.opus"; do
    cat "$f" >/dev/null
    read -r t m < <(measure 3 "$bench" "$f"); row "vorel-bench $(basename "$f")" "$t" "$m"
    read -r t m < <(measure 3 ffmpeg -v quiet -i "$f" -f null -); row "ffmpeg -v quiet -i $(basename "$f") -f null -" "$t" "$m"
  done
}
if ((only_formats)); then
  formats
  exit 0
fi

echo "== decode throughput (median of 3; 60 min of audio)"
for f in "$out/speech60.mp3" "$out/speech60.wav"; do
  read -r t m < <(measure 3 "$bench" --decode "$f"); row "core library decode $(basename "$f")" "$t" "$m"
  if [[ $f == *.mp3 ]]; then
    read -r t m < <(measure 3 mpg123 -q -t "$f"); row "mpg123 -q -t $(basename "$f")" "$t" "$m"
  fi
  read -r t m < <(measure 3 sox "$f" -n); row "sox FILE -n $(basename "$f")" "$t" "$m"
done

echo "== tempo stream CPU on the no-sound device (20 s each)"
"$bench" --tempo-cpu -40 20 "$out/speech60.mp3"
"$bench" --tempo-cpu 40 20 "$out/speech60.mp3"

echo "== whole load as the program does it (median of 3)"
cat "$out/speech60.wav" >/dev/null
read -r t m < <(measure 3 "$bench" "$out/speech60.mp3"); row "vorel-bench speech60.mp3" "$t" "$m"
read -r t m < <(measure 3 mpg123 -q -t "$out/speech60.mp3"); row "mpg123 -q -t speech60.mp3" "$t" "$m"
read -r t m < <(measure 3 "$bench" "$out/speech60.wav"); row "vorel-bench speech60.wav" "$t" "$m"
read -r t m < <(measure 3 sh -c "cat '$out/speech60.wav' > /dev/null"); row "cat speech60.wav > /dev/null" "$t" "$m"

echo "== ten hours (median of 3), private temporary folder on a 100 MB tmpfs where one can be mounted"
small=$(mktemp -d)
if mount -t tmpfs -o size=100m tmpfs "$small" 2>/dev/null; then
  echo "(TMPDIR on a 100 MB tmpfs)"
else
  echo "(no tmpfs could be mounted here: TMPDIR is a plain folder)"
fi
read -r t m < <(TMPDIR=$small measure 3 "$bench" "$out/speech600.mp3"); row "vorel-bench speech600.mp3" "$t" "$m"
read -r t m < <(measure 3 mpg123 -q -t "$out/speech600.mp3"); row "mpg123 -q -t speech600.mp3" "$t" "$m"
TMPDIR=$small "$bench" "$out/speech600.mp3" | cut -c1-200
umount "$small" 2>/dev/null || true
rmdir "$small"
ready
formats
"$bench" "$out/speech60.mp3" "$out/speech60.wav" | cut -c1-400
