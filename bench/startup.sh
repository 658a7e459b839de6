#!/usr/bin/env bash
# Start-up time of Vorelplay: from the start of main (the trace's clock) to the end
# of loading the lesson given on the command line (the trace's "load" line), i.e.
# extraction and binding of both libraries, the window, opening, sampling and
# splitting. Each run is then ended by SIGTERM, the normal close. Builds nothing.
# Usage: bench/startup.sh [path/to/Vorelplay] [runs] [lesson]
#        (default build/app/Vorelplay, 10, resources/demo/02-directions.wav)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/app/Vorelplay}
runs=${2:-10}
lesson=$(realpath "${3:-resources/demo/02-directions.wav}")
[[ -x $exe ]] || { echo "startup: $exe not built" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export TMPDIR=$tmp XDG_RUNTIME_DIR=$tmp XDG_DATA_HOME=$tmp/data VORELPLAY_NO_DIALOGS=1
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
tab=$(printf '\t')

# One run: prints the trace's time of the load line in ms.
once() {
  rm -f "$tmp/trace"
  VORELPLAY_TRACE=$tmp/trace "$exe" "$lesson" > /dev/null 2>&1 &
  local pid=$! ms=""
  for ((i = 0; i < 600; i++)); do
    ms=$(grep -F "${tab}load${tab}$lesson " "$tmp/trace" 2> /dev/null | cut -f1 | head -1) || true
    [[ -n $ms ]] && break
    kill -0 $pid 2> /dev/null || break
    sleep 0.02
  done
  kill -TERM $pid 2> /dev/null || true
  wait $pid || { echo "startup: $exe did not end cleanly" >&2; exit 1; }
  [[ -n $ms ]] || { echo "startup: $exe did not load $lesson" >&2; exit 1; }
  echo "$ms"
}

once > /dev/null # warm the page cache

times=()
for ((r = 0; r < runs; r++)); do
  times+=("$(once)")
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
n=${#sorted[@]}
if ((n % 2)); then
  median=${sorted[n / 2]}
else
  median=$(((sorted[n / 2 - 1] + sorted[n / 2]) / 2))
fi
printf 'runs (ms): %s\n' "${sorted[*]}"
echo "median start to lesson loaded ($(basename "$lesson")): $median ms"
