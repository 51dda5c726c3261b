#!/usr/bin/env bash
# Fails when a layer reaches above itself: core sources (and the headers they include, all the
# way down) must not include Qt or FFmpeg headers; media sources must not include Qt headers.
# Usage: CheckLayers.sh SRC_DIR core|media FILE...
set -euo pipefail
src=$1 layer=$2
shift 2
forbidden='^#include <(Q|qt)'
[[ $layer == core ]] && forbidden='^#include <(Q|qt|lib(av|sw)|jpeglib)'

declare -A seen=()
queue=()
for f in "$@"; do
  queue+=("${f#"$src"/}")
  h=${f%.cpp}.h
  [[ -f $h ]] && queue+=("${h#"$src"/}")
done
bad=0
while ((${#queue[@]})); do
  f=${queue[0]}
  queue=("${queue[@]:1}")
  [[ -n ${seen[$f]:-} || ! -f $src/$f ]] && continue
  seen[$f]=1
  if grep -nE "$forbidden" "$src/$f" | sed "s|^|$layer: $f:|" | grep .; then bad=1; fi
  while read -r inc; do queue+=("$inc"); done < <(sed -nE 's/^#include "([^"]+)".*/\1/p' "$src/$f")
done
echo "$layer: ${#seen[@]} files checked"
exit $bad
