#!/usr/bin/env bash
# The terminal tool as an operator uses it, driven through tmux: a demo folder
# with the four sample files and the simulated library beside the tool, the
# window read back with capture-pane.
#
#   terminal_tmux_test.sh TOOL LIBRARY SAMPLE-WRITER
#
# 1. Start, a disabled Restart key that does nothing, the About box, Update to
#    "QDX-Update OK" with the log in order and in colour, the Info report after
#    I, Restart after the update, scrolling and a resize, Escape: the tool ends
#    and the terminal is as it was.
# 2. Ctrl-C while idle: the tool ends at once, terminal restored.
# 3. SIGTERM while a worker programs the firmware: the tool ends once the
#    worker is done, terminal restored.
# 4. A crash (SIGSEGV): the terminal is restored all the same.
set -euo pipefail

tool=$1
library=$2
sampleWriter=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/qdx-terminal-test.XXXXXX")
run=0
source "$(dirname "$0")/tmux_helpers.sh"
cleanup() {
  tmux_ kill-server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/demo"
cp "$tool" "$work/demo/qdx-update"
cp "$library" "$work/demo/libQDX140.so"
"$sampleWriter" "$work/demo" >/dev/null

# The pane's shell: notes the terminal modes, runs the tool, says how it ended
# and whether the modes are back, then stays so that the pane can be read.
cat >"$work/pane.sh" <<'EOF'
trap 'echo "SHELL SAW SIGINT"' INT
cd "$1"
before=$(stty -g)
QDX140_SIM="$2" ./qdx-update
echo "TOOL EXIT $?"
if [ "$(stty -g)" = "$before" ]; then echo "MODES RESTORED"; else echo "MODES CHANGED"; fi
exec sleep 600
EOF

fast="latency:20,reboot:200,drain:5000"

first_log_line() { [ "$(log_lines | head -1)" = "$1" ]; }
not_first_log_line() { ! first_log_line "$1"; }
last_log_line() { log_lines | grep -v '^$' | tail -1 | grep -q -- "$1"; }
# The log's lines as shown: the rows between the rule under the status part
# and the bottom edge, without the frame.
log_lines() {
  screen | awk '/^├/ {inlog = 1; next} /^└/ {inlog = 0} inlog' |
    sed -e 's/^│//' -e 's/[│▒] *$//' -e 's/ *$//'
}
without_trailing_blanks() { awk '{line[NR] = $0} NF {last = NR} END {for (i = 1; i <= last; i++) print line[i]}'; }
start() {
  tmux_ kill-server 2>/dev/null || true
  run=$((run + 1))
  tmux_ new-session -d -s qdx -x "$1" -y "$2" "bash $work/pane.sh $work/demo $3"
}
ended_restored() {
  wait_for "MODES" 20
  screen | grep -qF "TOOL EXIT $1" || fail "the tool should have ended with $1"
  screen | grep -qF "MODES RESTORED" || fail "terminal modes not restored"
  [ "$(tmux_ display -p -t qdx '#{alternate_on} #{cursor_flag} #{keypad_flag}')" = "0 1 0" ] ||
    fail "screen, cursor or keypad not restored: $(tmux_ display -p -t qdx '#{alternate_on} #{cursor_flag} #{keypad_flag}')"
  absent "QDX Info"
}

# ---- 1. an update as an operator runs it --------------------------------------------------
start 100 40 "$fast"
wait_for "USB Interface: Ready" 10
wait_for "Serial Number: 1A2B" 10
wait_for "[I] QDX Info" 5
screen | grep -qF "[-] Restart" || fail "Restart should be disabled before an update"

key r  # disabled: nothing may happen
sleep 0.5
log_lines | grep -q . && fail "a disabled button's key wrote to the log"

for about in '?' F1; do
  key "$about"
  wait_for "Version 1.0.0" 5
  key x
  until_true 5 "any key should close the About box" not_shown "Version 1.0.0"
done

key u
wait_for "Start Update" 10
screen | grep -qF "[-] Exit" || fail "Exit should be disabled during the update"
key e  # disabled during the update: the update goes on
key u
wait_for "QDX-Update OK" 90
screen | grep -qF "[R] Restart" || fail "Restart should be enabled after the update"

expected="Start Update
Bootloader Version OK 0602
Programming BIN-File Encrypted: QDX140-FW2500.Bic
Programming OK
Read System Parameter OK
Programming System Parameter
Programming OK
Programming BIN-File Encrypted: QDX140-IP0005.Bic
Programming OK
Programming BIN-File Encrypted: QDX140-GA0010.Bic
Data Transfer OK
Programming OK
Save All Module Parameter
Save OK
Save All User Parameter
Save OK

QDX-Update OK"
actual=$(log_lines | without_trailing_blanks)
[ "$actual" = "$expected" ] || fail "log after the update:
$actual
---- expected ----
$expected"

# Colours: stages in blue, results in green (the fixed colours of the log).
coloured=$(tmux_ capture-pane -p -e -t qdx)
echo "$coloured" | grep -F "Start Update" | grep -qE $'\e\\[(38;5;20|34)m' || fail "Start Update not blue"
echo "$coloured" | grep -F "QDX-Update OK" | grep -qE $'\e\\[(38;5;77|32)m' || fail "QDX-Update OK not green"
echo "$coloured" | grep -F "Data Transfer OK" | grep -qE $'\e\\[38' && fail "a Black line must use the default colour"

key i
wait_for "Mod-Par-Version:" 5
info=$(log_lines)
ok_at=$(echo "$info" | grep -nF "QDX-Update OK" | cut -d: -f1)
serial_at=$(echo "$info" | grep -nF "Serial Number:        01A2B       HW-Version:" | cut -d: -f1)
fw_at=$(echo "$info" | grep -nF "FW-Version:           2.5.0.0       FPGA-Version:" | cut -d: -f1)
mod_at=$(echo "$info" | grep -nF "Mod-Par-Version:" | cut -d: -f1)
[ -n "$serial_at" ] && [ -n "$fw_at" ] && [ -n "$mod_at" ] || fail "Info report incomplete"
[ "$ok_at" -lt "$serial_at" ] && [ "$serial_at" -lt "$fw_at" ] && [ "$fw_at" -lt "$mod_at" ] ||
  fail "Info report out of order"

# Scrolling and resizing: a smaller window shows the newest lines; Home goes
# to the first line, which stays in view while new lines arrive; End follows.
tmux_ resize-window -t qdx -x 80 -y 24
wait_for "of 23 " 5
not_first_log_line "Start Update" || fail "after the resize the newest lines should be in view"
last_log_line "^Mod-Par-Version:" || fail "after the resize the newest line should be in view"
key Home
until_true 5 "Home should show the first line" first_log_line "Start Update"
key i
wait_for "of 28 " 5
first_log_line "Start Update" || fail "a scrolled view should stay while lines arrive"
key PageDown
until_true 5 "PgDn should scroll" not_first_log_line "Start Update"
key End
until_true 5 "End should show the newest lines" last_log_line "^Mod-Par-Version:"

# Restart, enabled by the successful update. (Last: the device is away for a
# moment afterwards, and Info with it.)
key r
until_true 5 "Restart should be logged as the newest line" last_log_line "^Restart$"

key Escape
ended_restored 0

# ---- 2. Ctrl-C while idle ----------------------------------------------------------------
start 80 24 "$fast"
wait_for "[I] QDX Info" 10
key C-c
ended_restored 130

# ---- 3. SIGTERM while the firmware is programmed --------------------------------------------
# A slow JTAG drain is not needed here; a higher latency keeps the firmware
# worker busy long enough to be caught running.
start 80 24 "latency:400,reboot:200"
wait_for "[I] QDX Info" 10
key u
wait_for "Programming BIN-File Encrypted: QDX140-FW2500.Bic" 60
toolPid=$(pgrep -P "$(tmux_ display -p -t qdx '#{pane_pid}')" -x qdx-update)
[ -n "$toolPid" ] || fail "no tool process under the pane"
kill -TERM "$toolPid"
sleep 0.2
screen | grep -qF "closing after this stage" || screen | grep -qF "TOOL EXIT" ||
  fail "the close should wait for the running worker"
ended_restored 143

# ---- 4. a crash -------------------------------------------------------------------------------
start 80 24 "$fast"
wait_for "[I] QDX Info" 10
kill -SEGV "$(pgrep -P "$(tmux_ display -p -t qdx '#{pane_pid}')" -x qdx-update)"
ended_restored 139

echo "PASS: terminal tool under tmux (4 runs)"
