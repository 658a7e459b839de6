#!/usr/bin/env bash
# Makes the demo lessons in resources/demo/ from synthetic speech (espeak-ng):
#   01-classroom.mp3 + 01-classroom.lrc  five sentences, the .lrc stamped in the
#                                         middle of the pause before each sentence
#                                         (the first at 0)
#   02-directions.wav                    three sentences, no .lrc (split automatically)
# Each sentence is spoken alone and its silence trimmed, then the sentences are
# joined with pauses of PAUSE seconds, so every start time is known to the sample.
# Needs espeak-ng, sox, lame. Usage: scripts/make-demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
out=resources/demo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

RATE=22050  # espeak-ng's own rate
PAUSE=0.7   # seconds between sentences
LEAD=0.3    # silence before the first sentence

# lesson <name> <voice> <speed> <sentence>...: writes $work/<name>.wav (mono, RATE)
# and $work/<name>.starts (where each sentence's stamp goes, in samples, one a line:
# the middle of the pause before it, so that the player's 100 ms past a sentence's
# end stays in silence; the first at 0, so the lead-in belongs to it).
lesson() {
  local name=$1 voice=$2 speed=$3
  shift 3
  local parts=() at i=0
  sox -n -r $RATE -c 1 -b 16 "$work/lead.wav" trim 0 $LEAD
  sox -n -r $RATE -c 1 -b 16 "$work/pause.wav" trim 0 $PAUSE
  parts+=("$work/lead.wav")
  at=$(soxi -s "$work/lead.wav")
  : > "$work/$name.starts"
  for s in "$@"; do
    espeak-ng -v "$voice" -s "$speed" -w "$work/raw$i.wav" "$s"
    # Trim the synthesiser's own silence at both ends.
    sox "$work/raw$i.wav" -r $RATE -c 1 -b 16 "$work/s$i.wav" \
      silence 1 0.01 0.5% reverse silence 1 0.01 0.5% reverse
    if ((i == 0)); then
      echo 0 >> "$work/$name.starts"
    else
      echo $((at - $(soxi -s "$work/pause.wav") / 2)) >> "$work/$name.starts"
    fi
    at=$((at + $(soxi -s "$work/s$i.wav")))
    parts+=("$work/s$i.wav")
    if ((i < $# - 1)); then
      parts+=("$work/pause.wav")
      at=$((at + $(soxi -s "$work/pause.wav")))
    fi
    i=$((i + 1))
  done
  parts+=("$work/pause.wav") # a little air after the last sentence
  # Loud enough that quiet consonants are not mistaken for pauses.
  sox "${parts[@]}" "$work/$name.wav" gain -n -1
}

# [mm:ss.cc] of a sample position, rounded down.
stamp() {
  local cs=$(($1 * 100 / RATE))
  printf '[%02d:%02d.%02d]' $((cs / 6000)) $((cs / 100 % 60)) $((cs % 100))
}

classroom=(
  "Good morning, everyone."
  "Today we are going to practise a short conversation."
  "Please listen to each sentence carefully."
  "Then repeat it aloud during the pause."
  "Let us begin with the first one."
)
lesson classroom en-gb 140 "${classroom[@]}"
# Mono MP3. The LAME tag carries the encoder delay (50 ms here), so gapless
# decoding keeps the sentence starts where the stamps say. At 22.05 kHz a frame of
# 48 kbit/s is too small to hold the tag and lame silently leaves it out: 64 is
# the least that keeps it.
lame --quiet -m m -b 64 "$work/classroom.wav" "$out/01-classroom.mp3"
grep -q -a LAME "$out/01-classroom.mp3" || { echo "make-demo: no LAME tag written" >&2; exit 1; }
{
  printf '[ti:Vorel demo lesson 1: In the classroom]\r\n'
  printf '[by:scripts/make-demo.sh (espeak-ng)]\r\n'
  i=0
  while read -r at; do
    printf '%s%s\r\n' "$(stamp "$at")" "${classroom[$i]}"
    i=$((i + 1))
  done < "$work/classroom.starts"
} > "$out/01-classroom.lrc"

directions=(
  "Where is the railway station?"
  "Go straight ahead and turn left at the bank."
  "It takes about ten minutes on foot."
)
lesson directions en-us 175 "${directions[@]}"
# 11.025 kHz keeps the file small; the synthetic voice has little above 5 kHz.
sox "$work/directions.wav" -r 11025 -b 16 "$out/02-directions.wav"

ls -l "$out"
cat "$out/01-classroom.lrc"
echo "02-directions.wav: sentences start at (ms):"
while read -r at; do echo $((at * 1000 / RATE)); done < "$work/directions.starts"
