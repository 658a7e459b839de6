#!/usr/bin/env bash
# Installs every Debian package Vorel needs (only what is missing), then configures
# and builds. Usage: scripts/setup.sh [--sanitize] [--no-build]
#   --sanitize  build into build-asan/ with AddressSanitizer and UBSan
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build g++ pkg-config bzip2
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-svg-dev libqt6sql6-sqlite libsdl2-dev libmpg123-dev libsndfile1-dev libavformat-dev libavcodec-dev libswresample-dev libsoundtouch-dev libbz2-dev libjpeg-dev libquazip1-qt6-dev libebur128-dev
  libx11-dev libxtst-dev fonts-wqy-microhei qt6-translations-l10n
  libaubio-dev libespeak-ng-dev pocketsphinx-testdata fillets-ng-data fillets-ng-data-nl fillets-ng-data-cs
  xvfb x11-utils x11-apps imagemagick xdotool espeak-ng sox libsox-fmt-mp3 lame mpg123 ffmpeg vorbis-tools opus-tools time
  dbus playerctl
  desktop-file-utils dpkg-dev jwm
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "setup: missing packages; run this once, then setup again:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
fi

build=build
opts=()
do_build=1
for a in "$@"; do
  case "$a" in
    --sanitize) build=build-asan; opts+=(-DVOREL_SANITIZE=ON) ;;
    --no-build) do_build=0 ;;
    *) echo "setup: unknown option $a" >&2; exit 2 ;;
  esac
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}" >/dev/null
if ((do_build)); then
  cmake --build "$build" -j "$(nproc)"
fi
