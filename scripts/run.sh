#!/usr/bin/env bash
# Sets up, builds and starts Vorel.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [[ -x build/app/Vorelplay ]]; then
  exec build/app/Vorelplay "$@"
fi
exec build/audio/vorel-demo "$@"
