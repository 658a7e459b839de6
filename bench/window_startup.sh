#!/usr/bin/env bash
# Start-up time of the window: from exec of Vorelplay to its main window mapped on a
# private Xvfb, median of ten starts (each then ended), beside the time from
# the start to a lesson loaded (bench/startup.sh, offscreen) in the same run. Builds nothing.
# Usage: bench/window_startup.sh [build]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
exe=$build/app/Vorelplay
[[ -x $exe && -x $build/bench/vorel-mapwait ]] || { echo "window_startup: build first" >&2; exit 1; }

tmp=$(mktemp -d)
display=:$((200 + RANDOM % 100))
Xvfb "$display" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$tmp"' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

export TMPDIR=$tmp XDG_RUNTIME_DIR=$tmp SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb
echo "== exec to main window mapped (Xvfb, no window manager)"
DISPLAY=$display "$build/bench/vorel-mapwait" TfMainFree 1 "$exe" >/dev/null # warms the page cache
DISPLAY=$display "$build/bench/vorel-mapwait" TfMainFree 10 "$exe"
echo "== start to lesson loaded (the trace's times, offscreen)"
bench/startup.sh "$exe" 10
