#!/usr/bin/env bash
# Installs every Debian package that the build and the tests need; skips apt when all are there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git python3
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-svg-dev libgl-dev
  clang clang-format libclang-rt-14-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libjpeg62-turbo-dev qt6-multimedia-dev
  ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-libav mediainfo imagemagick desktop-file-utils
  mencoder dvgrab comskip
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
