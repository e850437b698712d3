#!/usr/bin/env bash
# One Wine test case (a ctest case of the native build):
#   run-case.sh ARCH WINDOWS-BUILD CASE WORK-FOLDER QDX-SAMPLES
# Puts QDX-Update.exe, the simulated QDX140.dll, the driver and the four sample
# update files into a folder of the case's own, then runs the driver (or the
# in-process window tests) there under Wine. Exit 77 means skipped.
set -uo pipefail
arch=$1 build=$2 case=$3 work=$4 samples=$5

if [ -z "${QDX_WINE_SESSION:-}" ] || [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "no Wine session: run scripts/test, or eval \"\$(tests/wine/session.sh start DIR)\" first"
  exit 77
fi

files=("$build/app/QDX-Update.exe" "$build/QDX140.dll" "$build/tests/wine/qdx-wine-driver.exe"
       "$build/tests/wine/QDX140-missing-op.dll")
[ "$case" = ui-tests ] && files=("$build/tests/wine/qdx-win32-ui-tests.exe")
[ "$case" = log-bench ] && files=("$build/tests/wine/qdx-log-bench.exe")
for f in "${files[@]}"; do
  [ -f "$f" ] || { echo "$f is missing: build the Windows $arch preset first"; exit 1; }
done

folder=$work/$arch/$case
rm -rf "$folder"
mkdir -p "$folder"
cp "${files[@]}" "$folder/"
cd "$folder" || exit 1

# A Wine without 32-bit support cannot start i686 programs; that skips them.
# For x86_64 the program must run.
probe="./qdx-wine-driver.exe --probe"
[ "$case" = ui-tests ] && probe="./qdx-win32-ui-tests.exe --gtest_list_tests"
[ "$case" = log-bench ] && probe="./qdx-log-bench.exe --probe"
if ! wine $probe >probe.log 2>&1; then
  if [ "$arch" = i686 ]; then
    echo "this Wine cannot run $arch programs (for Debian: dpkg --add-architecture i386 and wine32:i386):"
    cat probe.log
    exit 77
  fi
  echo "Wine cannot run the $arch programs:"
  cat probe.log
  exit 1
fi

if [ "$case" = ui-tests ]; then
  exec wine ./qdx-win32-ui-tests.exe --gtest_color=no
fi

# The benchmark prints figures and is never judged by them; it ran when it
# left both of them in its file.
if [ "$case" = log-bench ]; then
  wine ./qdx-log-bench.exe || exit 1
  grep -q "^ClearLog of 10000 lines: " log-bench.txt 2>/dev/null &&
    grep -q "^append at 10000 lines: " log-bench.txt || { echo "the benchmark left no figures"; exit 1; }
  exit 0
fi

"$samples" . >/dev/null || exit 1
wine ./qdx-wine-driver.exe "$case" &
driver=$!
# The driver asks for a picture of the window by leaving screenshot.request.
while kill -0 "$driver" 2>/dev/null; do
  if [ -f screenshot.request ]; then
    read -r x y w h <screenshot.request
    shot=$work/screenshot-$arch.png
    import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot" &&
      echo "screenshot: $shot"
    rm -f screenshot.request
    touch screenshot.done
  fi
  sleep 0.1
done
wait "$driver"
