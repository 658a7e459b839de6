#!/usr/bin/env bash
# Renders the application icon's PNG sizes from resources/desktop/vorel.svg
# (committed; rerun after changing the drawing). Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../resources/desktop"
for size in 48 256; do
  rsvg-convert -w $size -h $size vorel.svg -o vorel-$size.png
done
