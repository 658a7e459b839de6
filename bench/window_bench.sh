#!/usr/bin/env bash
# The program as a learner runs it, on a private Xvfb with SDL's paced disk driver:
#  1. click on play to the first sound written (median of 20), with the 100-ms buffer;
#  2. CPU of the whole program over 20 s of reading sentences at 80 % speed;
#  3. opening a 60-minute MP3 until the sentence count shows (trace "load"), beside
#     `mpg123 -q -t` on the same file (median of 3), and the program's peak memory.
# Usage: bench/window_bench.sh [build]   (needs bench/run.sh's bench/out/speech60.mp3
# for part 3, and a build with the bench tools)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
exe=$build/app/Vorelplay
PRIVATEX_BASE=300 source bench/privatex.sh
export QT_QPA_PLATFORM=xcb
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$tmp/played.raw VORELPLAY_TRACE=$tmp/trace

start() { # start FILE: the program with FILE open; sets app and win
  : > "$tmp/trace"
  "$exe" "$1" 2>/dev/null &
  app=$!
  until grep -q $'\tload\t' "$tmp/trace" 2>/dev/null; do sleep 0.05; done
  win=$(xdotool search --class '^TfMainFree$' | while read -r w; do
    xprop -id "$w" _NET_WM_NAME | grep -q '(免费体验版)"' && echo "$w"; done | head -1)
  eval "$(xwininfo -id "$win" | awk '/Absolute upper-left X/{print "ox="$4} /Absolute upper-left Y/{print "oy="$4}')"
}
clickAt() { xdotool mousemove --sync $((ox + $1)) $((oy + $2)) click 1; }
stopApp() { kill "$app"; wait "$app" 2>/dev/null || true; app=; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

lesson=resources/demo/01-classroom.mp3
# Sound from the very first sample, so that what is measured is the program's delay.
sox -n -r 44100 -c 2 -b 16 "$tmp/tone.wav" synth 5 sine 440
echo "== click on play to first sound (median of 20; paced disk output, 100-ms buffer)"
start "$tmp/tone.wav"
for i in $(seq 20); do
  size=$(stat -c %s "$tmp/played.raw")
  clickAt 77 98 # play
  sleep 0.6
  "$build/bench/vorel-firstsound" "$tmp/played.raw" "$size"
  clickAt 44 98 # stop
  sleep 0.3
done | tee "$tmp/lat" | tr '\n' ' '
echo; echo "median: $(median < "$tmp/lat") ms"

stopApp
echo "== CPU of the program reading sentences at 80 % for 20 s"
start "$lesson"
# Speed slider to 80 %: drag its thumb left until the notice says so.
tx=$((ox + 693)); ty=$((oy + 157))
xdotool mousemove --sync $tx $ty mousedown 1
for dx in $(seq 1 60); do
  grep -q '播放速率调整：80%' "$tmp/trace" && break
  xdotool mousemove --sync $((tx - dx)) $ty sleep 0.03
done
xdotool mouseup 1
clickAt 359 156; xdotool key Home Return # repeat: 永远
clickAt 556 156; xdotool key Home Return # pause: 无
clickAt 77 98
sleep 1
ticks=$(getconf CLK_TCK)
read -r u0 s0 < <(awk '{print $14, $15}' /proc/$app/stat)
sleep 20
read -r u1 s1 < <(awk '{print $14, $15}' /proc/$app/stat)
echo "CPU: $(awk -v d=$(( (u1 + s1) - (u0 + s0) )) -v t="$ticks" 'BEGIN {printf "%.1f", 100 * d / t / 20}') % of one core"
stopApp

mp3=bench/out/speech60.mp3
if [[ -f $mp3 ]]; then
  echo "== open a 60-minute MP3 until the sentence count shows (median of 3)"
  for i in 1 2 3; do
    t0=$(date +%s%N); start "$mp3"; t1=$(date +%s%N)
    echo "$(( (t1 - t0) / 1000000 )) $(awk '/VmHWM/{print $2}' /proc/$app/status)"
    stopApp
  done > "$tmp/open"
  echo "Vorelplay (exec to sentence count): $(cut -d' ' -f1 "$tmp/open" | median) ms, peak memory $(cut -d' ' -f2 "$tmp/open" | sort -n | tail -1) KB"
  for i in 1 2 3; do
    t0=$(date +%s%N); mpg123 -q -t "$mp3"; t1=$(date +%s%N); echo $(( (t1 - t0) / 1000000 ))
  done > "$tmp/mpg"
  echo "mpg123 -q -t: $(median < "$tmp/mpg") ms"
else
  echo "(no $mp3: run bench/run.sh once to make it)"
fi
