#!/usr/bin/env bash
# The main job for now: make a small sample AVI with ffmpeg and show what Zarvex reads in it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
mkdir -p build/sample
sample=build/sample/sample.avi
ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine=f=440:sample_rate=44100 \
  -t 4 -c:v mpeg4 -g 25 -c:a pcm_s16le "$sample"
build/src/zarvex-cli info "$sample"
