#!/usr/bin/env bash
# Start-up time of Vorelplay: wall time from exec to exit with
# VORELPLAY_EXIT_AFTER_LOAD=1, i.e. start, extraction of both libraries, loading and
# binding, then the normal shut-down (unload, delete two files, remove the folder,
# well under a millisecond). Builds nothing.
# Usage: bench/startup.sh [path/to/Vorelplay] [runs]   (default build/app/Vorelplay, 10)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/app/Vorelplay}
runs=${2:-10}
[[ -x $exe ]] || { echo "startup: $exe not built" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export TMPDIR=$tmp VORELPLAY_EXIT_AFTER_LOAD=1 VORELPLAY_NO_DIALOGS=1
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$tmp}

"$exe" || { echo "startup: $exe failed" >&2; exit 1; } # warm the page cache

times=()
for ((i = 0; i < runs; i++)); do
  t0=$(date +%s%N)
  "$exe"
  t1=$(date +%s%N)
  times+=($(((t1 - t0) / 1000)))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
n=${#sorted[@]}
if ((n % 2)); then
  median=${sorted[n / 2]}
else
  median=$(((sorted[n / 2 - 1] + sorted[n / 2]) / 2))
fi
printf 'runs (ms): %s\n' "$(printf '%s\n' "${sorted[@]}" | awk '{printf "%.1f ", $1 / 1000}')"
awk -v m="$median" 'BEGIN { printf "median start-up to libraries bound (and shut down): %.1f ms\n", m / 1000 }'
