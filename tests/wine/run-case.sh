#!/usr/bin/env bash
# One Wine test case (a ctest case of the native build):
#   run-case.sh ARCH WINDOWS-BUILD CASE WORK-FOLDER QDX-SAMPLES OTHER-ARCH-BUILD
# Puts QDX-Update.exe, the simulated QDX140.dll, the driver and the four sample
# update files into a folder of the case's own, then runs the driver (or the
# in-process window tests) there under Wine.
#
# Wine's exit code proves nothing (Wine returns 0 when it cannot start a 32-bit
# program at all), so a case passes only on the result the program leaves: the
# driver's last line "qdx-wine-driver: CASE passed (ARCH)", or the window
# tests' GoogleTest XML with tests run and none failed, skipped or disabled.
# Exit 77 (skipped) only without a Wine session, for someone running ctest by
# hand; every other problem fails the case.
#
# QDX_WINE_BREAK=no-program removes QDX-Update.exe from the case folder; it
# exists for the check that a broken set-up fails (broken-setup-test.sh).
set -uo pipefail
arch=$1 build=$2 case=$3 work=$4 samples=$5 other=$6

if [ -z "${QDX_WINE_SESSION:-}" ] || [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "no Wine session: run scripts/test, or eval \"\$(tests/wine/session.sh start DIR)\" first"
  exit 77
fi

fail() {
  echo "FAIL ($arch $case): $*"
  exit 1
}

files=("$build/app/QDX-Update.exe" "$build/QDX140.dll" "$build/tests/wine/qdx-wine-driver.exe"
       "$build/QDX140-missing-op.dll" "$build/tests/wine/QDX140-needs-absent.dll"
       "$build/tests/wine/QDX140-init-fails.dll")
[ "$case" = ui-tests ] && files=("$build/tests/wine/qdx-win32-ui-tests.exe")
[ "$case" = log-bench ] && files=("$build/tests/wine/qdx-log-bench.exe")
for f in "${files[@]}"; do
  [ -f "$f" ] || fail "$f is missing: build the Windows $arch preset first"
done

folder=$work/$arch/$case
rm -rf "$folder"
mkdir -p "$folder"
cp "${files[@]}" "$folder/"
# The simulated library of the other architecture, for the loader to explain.
[ "$case" = ui-tests ] || cp "$other/QDX140.dll" "$folder/QDX140-other-arch.dll" ||
  fail "$other/QDX140.dll is missing: build both Windows presets first"
cd "$folder" || exit 1

# Every program and library must be built for the case's architecture: an
# x86_64 one would run where 32-bit programs cannot and pass for i686. (The
# other architecture's library is there on purpose, for the loader to explain.)
case $arch in
  x86_64) machine=8664 ;;
  i686) machine=014c ;;
  *) fail "unknown architecture" ;;
esac
shopt -s nullglob
for f in *.exe *.dll; do
  [ "$f" = QDX140-other-arch.dll ] && continue
  header=$(od -An -tu4 -j60 -N4 "$f" | tr -d ' ')
  found=$(od -An -tx2 -j$((header + 4)) -N2 "$f" | tr -d ' ')
  [ "$found" = "$machine" ] || fail "$f is not an $arch program (PE machine ${found:-none})"
done

[ "${QDX_WINE_BREAK:-}" = no-program ] && rm -f QDX-Update.exe

# What Wine itself says, shown when a case fails.
wine_said() {
  echo "Wine's output:"
  tr -d '\r' <wine.err
  [ "$arch" = i686 ] &&
    echo "(a Wine that cannot run 32-bit programs needs, on Debian, dpkg --add-architecture i386 and wine32:i386)"
}

if [ "$case" = ui-tests ]; then
  wine ./qdx-win32-ui-tests.exe --gtest_color=no --gtest_output=xml:ui-tests.xml >ui-tests.out 2>wine.err
  code=$?
  tr -d '\r' <ui-tests.out
  if [ ! -s ui-tests.xml ]; then
    wine_said
    fail "the window tests left no result (ui-tests.xml); Wine ended with $code"
  fi
  summary=$(grep -m1 '<testsuites ' ui-tests.xml)
  count() { sed -n "s/.* $1=\"\([0-9]*\)\".*/\1/p" <<<"$summary"; }
  tests=$(count tests) failures=$(count failures) errors=$(count errors) disabled=$(count disabled)
  skipped=$(grep -c '<skipped' ui-tests.xml)
  echo "ui-tests.xml: $tests tests, $failures failures, $errors errors, $skipped skipped, $disabled disabled"
  [ "${tests:-0}" -gt 0 ] && [ "$failures" = 0 ] && [ "$errors" = 0 ] && [ "$skipped" = 0 ] &&
    [ "$disabled" = 0 ] ||
    fail "the window tests did not all run and pass"
  [ "$code" = 0 ] || fail "Wine ended with $code"
  exit 0
fi

# The benchmark prints figures and is never judged by them; it ran when it
# left both of them in its file.
if [ "$case" = log-bench ]; then
  wine ./qdx-log-bench.exe 2>wine.err
  code=$?
  if ! grep -q "^ClearLog of 10000 lines: " log-bench.txt 2>/dev/null ||
     ! grep -q "^append at 10000 lines: " log-bench.txt; then
    wine_said
    fail "the benchmark left no figures (log-bench.txt); Wine ended with $code"
  fi
  [ "$code" = 0 ] || fail "Wine ended with $code"
  exit 0
fi

"$samples" . >/dev/null || exit 1
wine ./qdx-wine-driver.exe "$case" >driver.out 2>wine.err &
driver=$!
# The driver asks for a picture of the window by leaving screenshot.request.
while kill -0 "$driver" 2>/dev/null; do
  if [ -f screenshot.request ]; then
    read -r x y w h name < <(tr -d '\r' <screenshot.request)
    shot=$work/${name:-screenshot}-$arch.png
    import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot" &&
      echo "screenshot: $shot"
    rm -f screenshot.request
    touch screenshot.done
  fi
  sleep 0.1
done
wait "$driver"
code=$?
tr -d '\r' <driver.out
result=$(tr -d '\r' <driver.out | grep -v '^$' | tail -n1)
if [ "$result" != "qdx-wine-driver: $case passed ($arch)" ]; then
  [[ $result == qdx-wine-driver:* ]] || wine_said
  fail "no passing result from the driver; Wine ended with $code"
fi
[ "$code" = 0 ] || fail "Wine ended with $code"
