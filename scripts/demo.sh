#!/usr/bin/env bash
# The main job: installs what is missing and builds; then starts Zarvex when there is a display,
# and otherwise makes a small sample AVI with ffmpeg and shows what the command-line program
# reads in it and cuts from it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec build/src/zarvex
fi
echo "demo: no display, so the command-line program instead of the window"
mkdir -p build/sample
sample=build/sample/sample.avi
ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine=f=440:sample_rate=44100 \
  -t 4 -c:v mpeg4 -g 25 -c:a pcm_s16le "$sample"
build/src/zarvex-cli info "$sample"
build/src/zarvex-cli cut "$sample" --from 1 --to 3 -o build/sample/cut.avi --yes --quiet
build/src/zarvex-cli info build/sample/cut.avi
