#!/usr/bin/env bash
# Runs one complete update in the terminal tool under tmux (80 x 28) and saves
# the window afterwards as docs/terminal.txt and, drawn in its colours on a
# light background, docs/terminal.png (needs tmux, python3 and ImageMagick).
#   docs/make-terminal-picture.sh    (after a build in build/native)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/native
work=$(mktemp -d)
tmux_() { tmux -S "$work/tmux" -f /dev/null "$@"; }
trap 'tmux_ kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$build/app/qdx-update" "$build/libQDX140.so" "$work/"
"$build/qdx-samples" "$work" >/dev/null
# The update's record goes to a folder of its own, not the user's.
tmux_ new-session -d -s pic -x 80 -y 28 "cd $work && XDG_STATE_HOME=$work/state ./qdx-update; sleep 60"
sleep 1
tmux_ send-keys -t pic u
for _ in $(seq 1 600); do
  tmux_ capture-pane -p -t pic | grep -q "QDX-Update OK" && break
  sleep 0.1
done
sleep 0.3
tmux_ capture-pane -p -t pic >docs/terminal.txt
tmux_ capture-pane -p -e -t pic >"$work/screen.ans"
tmux_ send-keys -t pic Escape

python3 - "$work/screen.ans" "$work/draw.mvg" <<'PY'
import re, sys
size, cw, ch, pad = 15, 15 * 1233 / 2048, 20, 12
fg, bg, dim = "#1e1e1e", "#ffffff", "#9a9a9a"
basic = {30: "#000000", 31: "#cd0000", 32: "#00cd00", 33: "#cdcd00", 34: "#0000ee", 35: "#cd00cd", 36: "#00cdcd", 37: "#e5e5e5"}
def xterm256(n):
    if n < 16: return basic.get(30 + n % 8, fg)
    if n < 232:
        n -= 16; lv = [0, 95, 135, 175, 215, 255]
        return "#%02x%02x%02x" % (lv[n // 36], lv[n // 6 % 6], lv[n % 6])
    v = 8 + 10 * (n - 232); return "#%02x%02x%02x" % (v, v, v)
rows = open(sys.argv[1], encoding="utf-8").read().split("\n")[:28]
out = []
out.append(f"font 'DejaVu-Sans-Mono' font-size {size}")
for y, line in enumerate(rows):
    col, colour, bold, faint, rev = 0, None, False, False, False
    for part in re.split(r"(\x1b\[[0-9;]*m)", line):
        m = re.fullmatch(r"\x1b\[([0-9;]*)m", part)
        if m:
            codes = [int(c) if c else 0 for c in m.group(1).split(";")]
            i = 0
            while i < len(codes):
                c = codes[i]
                if c == 0: colour, bold, faint, rev = None, False, False, False
                elif c == 1: bold = True
                elif c == 2: faint = True
                elif c == 7: rev = True
                elif c == 22: bold = faint = False
                elif c == 27: rev = False
                elif c == 39: colour = None
                elif 30 <= c <= 37: colour = basic[c]
                elif c == 38 and codes[i + 1:i + 2] == [5]: colour = xterm256(codes[i + 2]); i += 2
                i += 1
            continue
        if not part: continue
        x, top = pad + col * cw, pad + y * ch
        ink = colour or (dim if faint else fg)
        if rev:
            out.append(f"fill '{ink}' rectangle {x:.1f},{top} {x + len(part) * cw:.1f},{top + ch}")
            ink = bg
        # Frame characters are drawn as lines, so that they join across rows.
        arms = {"│": "ns", "─": "we", "┌": "se", "┐": "sw", "└": "ne", "┘": "nw", "├": "nse", "┤": "nsw"}
        run = ""
        def flush(at):
            text = run.replace("\\", "\\\\").replace("'", "\\'")
            weight = "font-weight 700" if bold else "font-weight 400"
            if text.strip():
                out.append(f"{weight} fill '{ink}' text {pad + at * cw:.1f},{top + ch - 5} '{text}'")
        start = col
        for c in part:
            if c in arms or c == "▒":
                flush(start)
                run, start = "", col + 1
                cx, cy = int(pad + col * cw + cw / 2) + 0.5, int(top + ch / 2) + 0.5
                if c == "▒":
                    out.append(f"fill '{dim}' rectangle {pad + col * cw + 2:.1f},{top} {pad + (col + 1) * cw - 2:.1f},{top + ch}")
                for a in arms.get(c, ""):
                    ex, ey = {"n": (cx, top), "s": (cx, top + ch), "w": (pad + col * cw, cy), "e": (pad + (col + 1) * cw, cy)}[a]
                    out.append(f"stroke '{ink}' stroke-width 1.2 stroke-antialias 0 line {cx:.1f},{cy:.1f} {ex:.1f},{ey:.1f} stroke none")
            else:
                run += c
            col += 1
        flush(start)
open(sys.argv[2], "w", encoding="utf-8").write("\n".join(out) + "\n")
PY
convert -size "$(python3 -c 'print(int(80*15*1233/2048+24))')x$((28 * 20 + 24))" xc:white \
  -draw "$(cat "$work/draw.mvg")" docs/terminal.png
echo "docs/terminal.txt and docs/terminal.png written"
