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

PRIVATEX_BASE=200 source bench/privatex.sh

export SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb
echo "== exec to main window mapped (Xvfb, no window manager)"
DISPLAY=$display "$build/bench/vorel-mapwait" TfMainFree 1 "$exe" >/dev/null # warms the page cache
DISPLAY=$display "$build/bench/vorel-mapwait" TfMainFree 10 "$exe"
echo "== start to lesson loaded (the trace's times, offscreen)"
bench/startup.sh "$exe" 10
