#!/usr/bin/env bash
# Aligning an hour of speech to its text, beside eSpeak NG alone speaking that
# text to a file, in one run on this machine:
#   espeak_ms  `espeak-ng -v en -f TEXT -w FILE` (the synthesis the aligner also does)
#   bench      vorel-bench on the recording with the text beside it (source "txt",
#              align_ms: decoding, synthesis, warping and snapping)
# The "recording" is synthetic: another eSpeak NG voice, slower, with pauses of
# its own, as MP3. Usage: bench/align_bench.sh [build-dir]   (media made once into bench/out/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bench="$build/bench/vorel-bench"
out=bench/out
mkdir -p "$out"
export SDL_AUDIODRIVER=dummy
text=$out/book60.txt
if [[ ! -f $out/book60.mp3 || ! -f $text ]]; then
  echo "making an hour of read text (once)..." >&2
  # Sentences of 5 to 16 words drawn from a fixed vocabulary, paragraphs of 3 to 7.
  awk 'BEGIN {
    srand(60);
    n = split("the a morning train station window garden river city house letter book friend teacher " \
              "doctor village mountain evening rain wind light road market bridge child mother father " \
              "old small quiet long early late happy tired walked waited looked found opened closed " \
              "carried remembered wrote read heard saw said asked answered returned travelled slowly " \
              "again never always together before after under over across through beside near far", w, " ");
    words = 0;
    while (words < 7250) {
      p = 3 + int(rand() * 5);
      line = "";
      for (s = 0; s < p; s++) {
        k = 5 + int(rand() * 12);
        sent = "";
        for (i = 0; i < k; i++) sent = sent (i ? " " : "") w[1 + int(rand() * n)];
        sent = toupper(substr(sent, 1, 1)) substr(sent, 2) (rand() < 0.15 ? "?" : ".");
        line = line (s ? " " : "") sent;
        words += k;
      }
      print line; print "";
    }
  }' > "$text"
  espeak-ng -v en-us+m3 -s 150 -g 4 -f "$text" -w "$out/book60.wav"
  lame --quiet -b 64 "$out/book60.wav" "$out/book60.mp3"
  rm -f "$out/book60.wav"
fi
minutes=$(soxi -D "$out/book60.mp3" | awk '{printf "%.1f", $1 / 60}')
start=$(date +%s%N)
espeak-ng -v en -f "$text" -w "$out/espeak-only.wav"
espeak_ms=$((($(date +%s%N) - start) / 1000000))
rm -f "$out/espeak-only.wav"
line=$(command time -f "%e %M" -o "$out/time.txt" "$bench" "$out/book60.mp3")
read -r wall rss < "$out/time.txt"
echo "{\"recording_min\":$minutes,\"words\":$(wc -w < "$text"),\"espeak_ms\":$espeak_ms,\"bench_wall_s\":$wall,\"bench_rss_kb\":$rss}"
echo "$line" | sed -E 's/"breakpoints_ms":\[[^]]*\],"stops_ms":\[[^]]*\],//'
