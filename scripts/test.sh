#!/usr/bin/env bash
# Sets up, builds and runs every test: the normal build, a few seconds of each fuzz
# target, then the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
# Usage: scripts/test.sh [--quick]   (--quick: skip the sanitizer build)
set -euo pipefail
cd "$(dirname "$0")/.."

XDG_RUNTIME_DIR=$(mktemp -d /tmp/vorel-xdg-XXXXXX)
XDG_DATA_HOME=$(mktemp -d /tmp/vorel-data-XXXXXX) # study records of test runs stay out of the learner's
export XDG_RUNTIME_DIR XDG_DATA_HOME
trap 'rm -rf "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME"' EXIT
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy

scripts/setup.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
# Every fuzz target must still build and must not abort on its seeds.
scripts/fuzz.sh all 3 -print_final_stats=0

if [[ "${1:-}" != "--quick" ]]; then
  scripts/setup.sh --sanitize
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_odr_violation=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
fi
