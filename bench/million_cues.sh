#!/usr/bin/env bash
# A million subtitle cues (an SRT of 47 MB, under the 64 MB limit) over 4000 s of
# audio, opened as a learner opens them, on a private Xvfb. From the program's own
# trace (ms since its start): exec to the transcript filled (trace "rows"), exec to
# the end of the load (trace "load"), and the longest time the window's event loop
# was away (trace "stall": what a click would have waited) from exec until a
# second after the load; each run's figures, then the medians of three runs.
# Usage: bench/million_cues.sh [build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
exe=$build/app/Vorelplay
[[ -x $exe ]] || { echo "million_cues: build first" >&2; exit 1; }
PRIVATEX_BASE=400 source bench/privatex.sh
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy
export XDG_DATA_HOME=$tmp/data XDG_CONFIG_HOME=$tmp/config VORELPLAY_TRACE=$tmp/trace

# A cue every 4 ms, 3 ms long: one sentence each.
awk 'BEGIN {
  for (i = 0; i < 1000000; i++) {
    s = i * 4; e = s + 3
    printf "%d\n%02d:%02d:%02d,%03d --> %02d:%02d:%02d,%03d\nw%d\n\n", i + 1,
      s / 3600000, s / 60000 % 60, s / 1000 % 60, s % 1000, e / 3600000, e / 60000 % 60, e / 1000 % 60, e % 1000, i
  } }' > "$tmp/lesson.srt"
sox -n -r 8000 -c 1 -b 16 "$tmp/lesson.wav" synth 4001 sine 300
echo "SRT: $(stat -c %s "$tmp/lesson.srt") bytes, $(grep -c -- '-->' "$tmp/lesson.srt") cues"

field() { awk -F'\t' -v k="$1" '$2 == k && (k != "rows" || $3 >= 1000000) { print $1; exit }' "$tmp/trace"; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
printf '%-4s %10s %10s %14s\n' run rows_ms load_ms longest_stall
for run in 1 2 3; do
  : > "$tmp/trace"
  "$exe" "$tmp/lesson.wav" 2>/dev/null &
  app=$!
  for _ in $(seq 1200); do grep -q $'\tload\t' "$tmp/trace" && [[ -n $(field rows) ]] && break; sleep 0.1; done
  sleep 1
  kill "$app"; wait "$app" 2>/dev/null || true; app=
  stall=$(awk -F'\t' '$2 == "stall" && $3 + 0 > m { m = $3 + 0 } END { print m + 0 }' "$tmp/trace")
  printf '%-4s %10s %10s %14s\n' "$run" "$(field rows)" "$(field load)" "$stall" | tee -a "$tmp/runs"
done
echo "median: rows $(awk '{print $2}' "$tmp/runs" | median) ms, load $(awk '{print $3}' "$tmp/runs" | median) ms," \
  "longest stall $(awk '{print $4}' "$tmp/runs" | median) ms"
