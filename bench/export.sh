#!/usr/bin/env bash
# Flashcard export of 1,000 sentences of an hour of speech (vorel-bench --export:
# clips read, levelled, encoded to MP3 and packed into an .apkg) beside `ffmpeg`
# encoding the same hour to MP3 once at the same bit rate, in one run.
# Usage: bench/export.sh [build-dir]   (the hour is made once into bench/out/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=bench/out
mkdir -p "$out"
export SDL_AUDIODRIVER=dummy
[[ -f $out/speech60.wav ]] || bench/make-speech60.sh "$out"

# 1,000 sentences of 3.6 s: a breakpoint file beside a link to the hour.
ln -sf speech60.wav "$out/export60.wav"
python3 -c "
for k in range(1000):
    ms = k * 3600
    print('[%02d:%02d.%02d]sentence %d' % (ms // 60000, ms // 1000 % 60, ms % 1000 // 10, k + 1))
" > "$out/export60.lrc"

rm -f "$out/export60.apkg" "$out/export60.mp3"
"$build/bench/vorel-bench" --export "$out/export60.wav" "$out/export60.apkg"
# Stereo clips at 64 kbit/s per channel: the hour at 128 kbit/s.
/usr/bin/time -f '%e %U %S' -o "$out/ffmpeg.time" \
  ffmpeg -nostdin -v error -y -i "$out/speech60.wav" -c:a libmp3lame -b:a 128k "$out/export60.mp3"
awk '{printf "{\"ffmpeg_hour_to_mp3_ms\":%.1f,\"ffmpeg_cpu_ms\":%.1f}\n", $1 * 1000, ($2 + $3) * 1000}' "$out/ffmpeg.time"
ls -l "$out/export60.apkg" "$out/export60.mp3" | awk '{print $5, $9}' >&2
