#!/usr/bin/env bash
# The release packages as they are shipped (scripts/package writes them):
#
#   package_test.sh DIST VERSION WIN64-BUILD WIN32-BUILD
#
# Each package is unpacked into a fresh folder and must hold exactly its files,
# stripped, of its architecture. Then it is used as an operator would:
#   - the tarball: demo.sh in tmux starts the tool, which runs one update;
#   - the win64 and win32 zips: demo\demo.cmd under Wine writes the sample files
#     and starts the program, which runs one complete update (our Wine driver,
#     not part of the package, is copied into demo\ for that and drives it).
# Needs the Wine session of scripts/test (tests/wine/session.sh). With
# QDX_RUN_I686=no (a kernel that runs no 32-bit programs) the win32 zip is
# checked but its demo cannot run, and the test says so.
set -euo pipefail
dist=$(cd "$1" && pwd) version=$2 win64=$3 win32=$4
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/qdx-package-test.XXXXXX")
run=0
source "$here/tmux_helpers.sh"
cleanup() {
  tmux_ kill-server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Errors before a pane exists need no screen.
die() { echo "FAIL: $*"; exit 1; }
[ -n "${QDX_WINE_SESSION:-}" ] && [ -n "${WINEPREFIX:-}" ] && [ -n "${DISPLAY:-}" ] ||
  die "no Wine session: run scripts/test, or eval \"\$(tests/wine/session.sh start DIR)\" first"

# unpack ARCHIVE: into a fresh folder; prints the package's folder.
unpack() {
  local folder
  folder=$(mktemp -d "$work/unpacked.XXXXXX")
  (cd "$folder" && cmake -E tar xf "$1") || die "$1 cannot be unpacked"
  echo "$folder/$(basename "$1" | sed -e 's/\.zip$//' -e 's/\.tar\.gz$//')"
}

# expect_files FOLDER FILE...: the folder holds exactly these files.
expect_files() {
  local folder=$1
  shift
  local actual expected
  actual=$(cd "$folder" && find . -type f | sed 's|^\./||' | sort)
  expected=$(printf '%s\n' "$@" | sort)
  [ "$actual" = "$expected" ] || die "$(basename "$folder") holds:
$actual
---- expected ----
$expected"
}

# ---- the Linux tarball ---------------------------------------------------------------------
tarball=$dist/qdx-update-$version-linux-x86_64.tar.gz
[ -f "$tarball" ] || die "$tarball is missing: run scripts/package"
package=$(unpack "$tarball")
expect_files "$package" qdx-update libQDX140.so qdx-samples demo.sh QDX-Update-Guide.txt
for f in qdx-update libQDX140.so qdx-samples; do
  ! readelf -S "$package/$f" | grep -q '\.symtab' || die "$f is not stripped"
  # What a Debian machine with the ncurses runtime has, and nothing more.
  others=$(ldd "$package/$f" | awk '{print $1}' |
    grep -vE '^(linux-vdso\.so\.1|/lib64/ld-linux-x86-64\.so\.2|lib(c|m|gcc_s|stdc\+\+|ncursesw|tinfo)\.so\.[0-9]+)$' || true)
  [ -z "$others" ] || die "$f needs more than the ncurses runtime: $others"
done
[ -x "$package/demo.sh" ] || die "demo.sh is not executable"

echo "== linux: demo.sh and a complete update in tmux"
run=1
cat >"$work/pane.sh" <<'EOF'
QDX140_SIM=latency:20,reboot:200,drain:5000 "$1/demo.sh"
echo "TOOL EXIT $?"
exec sleep 600
EOF
# Started from elsewhere: the tool finds its library beside it.
(cd / && tmux_ new-session -d -s qdx -x 100 -y 40 "bash $work/pane.sh $package")
wait_for "USB Interface: Ready" 10
wait_for "[U] Update" 10
for f in QDX140-BL0602.Bic QDX140-FW2500.Bic QDX140-IP0005.Bic QDX140-GA0010.Bic; do
  [ -f "$package/demo/$f" ] || fail "demo.sh did not write demo/$f"
done
key u
wait_for "QDX-Update OK" 90
absent "ERROR"
key Escape
wait_for "TOOL EXIT" 20
shown "TOOL EXIT 0" || fail "the tool should have ended with 0"
tmux_ kill-server


# ---- the Windows zips ----------------------------------------------------------------------
for arch in win64 win32; do
  zip=$dist/QDX-Update-$version-$arch.zip
  [ -f "$zip" ] || die "$zip is missing: run scripts/package"
  package=$(unpack "$zip")
  expect_files "$package" QDX-Update.exe QDX-Update-Guide.txt demo/QDX140.dll demo/qdx-samples.exe demo/demo.cmd
  if [ $arch = win64 ]; then
    format=pei-x86-64 objdump=x86_64-w64-mingw32-objdump driver=$win64/tests/wine/qdx-wine-driver.exe
  else
    format=pei-i386 objdump=i686-w64-mingw32-objdump driver=$win32/tests/wine/qdx-wine-driver.exe
  fi
  for f in QDX-Update.exe demo/QDX140.dll demo/qdx-samples.exe; do
    "$objdump" -f "$package/$f" | grep -q "file format $format" || die "$arch: $f is not $format"
    [ "$("$objdump" -t "$package/$f" | grep -c '^\[')" = 0 ] || die "$arch: $f is not stripped"
  done
  grep -q "QDX-Update" "$package/QDX-Update-Guide.txt" || die "$arch: the guide is empty"

  [ -f "$driver" ] || die "$driver is missing: build the $arch preset first"
  if [ $arch = win32 ] && [ "${QDX_RUN_I686:-yes}" = no ]; then
    echo "NOT RUN: the win32 package's demo under Wine (this kernel runs no 32-bit programs)"
    continue
  fi
  cp "$driver" "$package/demo/"
  echo "== $arch: demo.cmd and a complete update under Wine"
  (cd "$package/demo" && wine ./qdx-wine-driver.exe demo >driver.log 2>&1) || true
  cat "$package/demo/driver.log"
  # The driver's own verdict (its last line), not Wine's exit code, tells that it ran.
  verdict=$(tr -d '\r' <"$package/demo/driver.log" | tail -1)
  case $verdict in
    "qdx-wine-driver: demo passed ($( [ $arch = win64 ] && echo x86_64 || echo i686 ))") ;;
    *) die "$arch: the demo folder did not run a complete update" ;;
  esac
done

echo "PASS: the three packages as shipped"
