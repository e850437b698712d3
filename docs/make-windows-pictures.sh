#!/usr/bin/env bash
# Runs the complete-update Wine case at 96 and at 144 dpi and keeps the window
# after the update: build/native/wine/screenshot-96dpi.png to compare, and
# docs/screenshot-windows-144dpi.png (the dialog and the owner-drawn log scale
# with the DPI).
#   docs/make-windows-pictures.sh    (after the native and win64 builds)
set -euo pipefail
cd "$(dirname "$0")/.."
state=build/native/wine
eval "$(tests/wine/session.sh start "$state")"
desktop='HKCU\Control Panel\Desktop'
trap 'wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1 || true; tests/wine/session.sh stop "$state"' EXIT
for dpi in 96 144; do
  wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  ctest --preset native -R '^wine\.x86_64\.update$' --output-on-failure >/dev/null
  picture=$state/screenshot-96dpi.png
  [ "$dpi" = 96 ] || picture=docs/screenshot-windows-${dpi}dpi.png
  cp "$state/screenshot-x86_64.png" "$picture"
  echo "$picture: $(identify -format '%w x %h' "$picture") pixels at $dpi dpi"
done
