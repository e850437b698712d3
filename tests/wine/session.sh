#!/usr/bin/env bash
# A private display and Wine prefix for the Windows tests.
#
#   eval "$(tests/wine/session.sh start DIR)"   starts Xvfb on a free display and
#                                                prepares the prefix DIR/prefix;
#                                                prints the variables to export
#   tests/wine/session.sh stop DIR              ends that Xvfb (by its process id)
#                                                and the prefix's wineserver
set -euo pipefail
command=${1:?start or stop}
dir=$(mkdir -p "${2:?state folder}" && cd "$2" && pwd)
prefix=$dir/prefix

case "$command" in
start)
  # Xvfb picks a free display number itself and writes it to fd 3.
  rm -f "$dir/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$dir/display" ] && break
    sleep 0.1
  done
  [ -s "$dir/display" ] || { echo "Xvfb did not start (see $dir/xvfb.log)" >&2; exit 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$dir/display")"
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$prefix/system.reg" ]; then
    echo "preparing the Wine prefix $prefix (once)" >&2
    wineboot -i >/dev/null 2>&1 || true
    # A crashing program ends instead of waiting on a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
    # No window manager runs on the display: Wine frames the windows itself
    # and does not wait for a manager to map or unmap them.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    wineserver -w
  fi
  # One server for all test programs, until stop.
  wineserver -p
  cat <<VARS
export DISPLAY='$DISPLAY' WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' QDX_WINE_SESSION='$dir'
VARS
  ;;
stop)
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  if [ -f "$dir/xvfb.pid" ]; then
    pid=$(cat "$dir/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$dir/xvfb.pid" "$dir/display"
  fi
  ;;
*)
  echo "usage: session.sh start|stop DIR" >&2
  exit 2
  ;;
esac
