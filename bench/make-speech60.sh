#!/usr/bin/env bash
# Makes OUT/speech60.wav: an hour of synthetic speech (four sentences with pauses,
# repeated), 44.1 kHz stereo. Usage: bench/make-speech60.sh OUT
set -euo pipefail
out=$1
echo "making 60-minute test recordings (once)..." >&2
i=0
for s in "Good morning. How are you today?" "I would like a cup of tea, please." \
         "The train to the city leaves at nine o'clock." "Could you speak a little more slowly?"; do
  espeak-ng -w "$out/s$i.wav" "$s"
  sox "$out/s$i.wav" -r 44100 -c 2 -b 16 "$out/p$i.wav" pad 0 0.$((4 + i))
  i=$((i + 1))
done
sox "$out"/p?.wav "$out/block.wav"
len=$(soxi -D "$out/block.wav")
reps=$(python3 -c "import math; print(math.ceil(3600 / $len) - 1)")
sox "$out/block.wav" "$out/long.wav" repeat "$reps"
sox "$out/long.wav" "$out/speech60.wav" trim 0 3600
rm -f "$out"/s?.wav "$out"/p?.wav "$out/block.wav" "$out/long.wav"
