#!/usr/bin/env bash
# Takes a picture of the main window under a private Xvfb: scripts/screenshot.sh
# [out.png] [audio file to open]. Needs a build (scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/mainwindow.png}
file=${2:-}
program=${VOREL_PROGRAM:-build/app/Vorelplay}
mkdir -p "$(dirname "$out")"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
runtime=$(mktemp -d)
cleanup() {
  [[ -n ${app:-} ]] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

DISPLAY=$display XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy \
  "$program" ${file:+"$file"} >/dev/null 2>&1 &
app=$!
win=$(DISPLAY=$display xdotool search --sync --classname --class TfMainFree | head -1)
sleep "${VOREL_SCREENSHOT_DELAY:-1.5}"
DISPLAY=$display import -window "$win" "$out"
echo "$out"
