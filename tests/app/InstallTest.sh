#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that every piece lands in its usual place.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
for f in bin/zarvex bin/zarvex-cli libexec/zarvex/zarvex-cli-media; do
  [[ -x "$prefix/$f" ]] || { echo "missing program $f"; fail=1; }
done
for f in share/doc/zarvex/manual.html share/icons/hicolor/scalable/apps/zarvex.svg \
  share/applications/zarvex.desktop; do
  [[ -s "$prefix/$f" ]] || { echo "missing $f"; fail=1; }
done
# Every picture the manual shows is installed beside it.
manual=$prefix/share/doc/zarvex/manual.html
if [[ -s "$manual" ]]; then
  for img in $(grep -o 'src="manual/[^"]*"' "$manual" | sed 's/src="//; s/"$//'); do
    [[ -s "$prefix/share/doc/zarvex/$img" ]] || { echo "manual picture $img not installed"; fail=1; }
  done
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/zarvex.desktop" || fail=1
elif [[ -n "${CI:-}" ]]; then
  echo "desktop-file-validate is missing"; fail=1
fi
# --help is answered by zarvex-cli-media, which zarvex-cli finds in libexec.
"$prefix/bin/zarvex-cli" --help >/dev/null || { echo "installed zarvex-cli does not run"; fail=1; }
exit $fail
