#!/usr/bin/env bash
# Runs one complete update in the terminal tool under tmux, with a records
# folder of its own, and keeps the update's record as docs/record.txt and,
# drawn as text, docs/record.png (needs tmux and ImageMagick).
#   docs/make-record-picture.sh    (after a build in build/native)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/native
work=$(mktemp -d)
tmux_() { tmux -S "$work/tmux" -f /dev/null "$@"; }
trap 'tmux_ kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/demo"
cp "$build/app/qdx-update" "$build/libQDX140.so" "$work/demo/"
"$build/qdx-samples" "$work/demo" >/dev/null
tmux_ new-session -d -s pic -x 100 -y 30 \
  "cd $work/demo && QDX140_SIM=old-bootloader XDG_STATE_HOME=$work/state ./qdx-update; sleep 60"
sleep 1
tmux_ send-keys -t pic u
records=$work/state/qdx-update/records
for _ in $(seq 1 600); do
  grep -qs "^Result: " "$records"/*.txt && break
  sleep 0.1
done
tmux_ send-keys -t pic Escape
record=$(ls "$records"/*.txt | head -1)
# The machine's own folder is of no interest in the picture.
sed -e "s|$work/demo|/home/service/qdx-update|" "$record" >docs/record.txt
lines=$(wc -l <docs/record.txt)
convert -size 1180x$((lines * 15 + 30)) xc:white -font DejaVu-Sans-Mono -pointsize 12 -fill '#1e1e1e' \
  -annotate +12+20 "$(cat docs/record.txt)" docs/record.png
echo "docs/record.txt and docs/record.png written ($(basename "$record"))"
