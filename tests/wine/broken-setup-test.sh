#!/usr/bin/env bash
# A Wine case must fail (not pass, not skip) when its set-up is broken:
#   broken-setup-test.sh RUN-CASE WIN64-BUILD WIN32-BUILD WORK-FOLDER QDX-SAMPLES
# - the program missing from the case folder;
# - an x86_64 driver or window test program given as the i686 one;
# - a Wine without its 32-bit part, which (as Wine 8 does) says so, starts
#   nothing and still ends with 0. A `wine` ahead in PATH stands in for it:
#   i686 programs get that answer, x86_64 ones the real Wine, which must
#   still pass.
set -uo pipefail
run_case=$1 win64=$2 win32=$3 work=$4/broken-setups samples=$5

if [ -z "${QDX_WINE_SESSION:-}" ] || [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "no Wine session: run scripts/test, or eval \"\$(tests/wine/session.sh start DIR)\" first"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work"
failures=0

# expect CODE REASON ARCH BUILD CASE: run-case.sh must end with CODE and, when
# failing, name REASON.
expect() {
  local want=$1 reason=$2 out code other=$win32
  shift 2
  [ "$1" = i686 ] && other=$win64
  out=$("$run_case" "$@" "$work/cases" "$samples" "$other" 2>&1)
  code=$?
  if [ "$code" = "$want" ] && grep -qF -- "$reason" <<<"$out"; then
    echo "ok: $3 $1, ended with $code: $reason"
  else
    echo "FAIL: $3 $1 ended with $code, expected $want and \"$reason\":"
    sed 's/^/    /' <<<"$out"
    failures=$((failures + 1))
  fi
}

echo "== the program missing from the case folder"
QDX_WINE_BREAK=no-program expect 1 "QDX-Update.exe could not be started" x86_64 "$win64" startup-firmware

echo "== x86_64 programs given as i686"
mixed=$work/mixed-build
mkdir -p "$mixed/app" "$mixed/tests/wine"
cp "$win32/app/QDX-Update.exe" "$mixed/app/"
cp "$win32/QDX140.dll" "$mixed/"
cp "$win32/QDX140-missing-op.dll" "$mixed/"
cp "$win32/tests/wine/QDX140-needs-absent.dll" "$win32/tests/wine/QDX140-init-fails.dll" "$mixed/tests/wine/"
cp "$win64/tests/wine/qdx-wine-driver.exe" "$win64/tests/wine/qdx-win32-ui-tests.exe" "$mixed/tests/wine/"
expect 1 "qdx-wine-driver.exe is not an i686 program" i686 "$mixed" startup-firmware
expect 1 "qdx-win32-ui-tests.exe is not an i686 program" i686 "$mixed" ui-tests

echo "== a Wine without its 32-bit part"
shim=$work/no-wine32
mkdir -p "$shim"
real_wine=$(command -v wine)
cat >"$shim/wine" <<SHIM
#!/usr/bin/env bash
# i686 programs: what Wine 8 without wine32 answers. Others: the real Wine.
program=\$1
header=\$(od -An -tu4 -j60 -N4 "\$program" 2>/dev/null | tr -d ' ')
if [ -n "\$header" ] && [ "\$(od -An -tx2 -j\$((header + 4)) -N2 "\$program" | tr -d ' ')" = 014c ]; then
  echo "it looks like wine32 is missing, you should install it." >&2
  echo "wine: could not load kernel32.dll, status c0000135" >&2
  exit 0
fi
exec "$real_wine" "\$@"
SHIM
chmod +x "$shim/wine"
PATH=$shim:$PATH expect 1 "it looks like wine32 is missing" i686 "$win32" startup-firmware
PATH=$shim:$PATH expect 1 "the window tests left no result" i686 "$win32" ui-tests
PATH=$shim:$PATH expect 0 "" x86_64 "$win64" startup-firmware

[ "$failures" = 0 ] && echo "every broken set-up failed its case" && exit 0
echo "$failures checks failed"
exit 1
