#!/usr/bin/env bash
# Configures and builds the normal tree in build/ (warnings are errors under CI).
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
[[ -n "${CI:-}" ]] && werror=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVEX_WERROR="$werror" >/dev/null
cmake --build build -j2
