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
# 5. The update record: killed mid-update (SIGKILL), the record keeps every
#    line up to then; a stage failing 11 times; a records folder that cannot be
#    written (the update is the same, the footer says so).
# 6. SIGHUP while a worker programs the firmware: the worker goes on, then the
#    tool ends by SIGHUP, terminal restored.
# 7. Ctrl-C again while a worker programs: the bottom edge asks; N and further
#    Ctrl-C keep waiting, Y quits at once.
# 8. SIGQUIT while idle: ends like the other signals, terminal restored.
# Each run has its own records folder (XDG_STATE_HOME) in the work folder.
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
export XDG_STATE_HOME="$3"
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
  state="${4:-$work/state-$run}"
  records="$state/qdx-update/records"
  tmux_ new-session -d -s qdx -x "$1" -y "$2" "bash '$work/pane.sh' '$work/demo' '$3' '$state'"
}
# The records of this run's folder, newest last.
record_files() { ls "$records" 2>/dev/null | grep -E '^[0-9]{8}-[0-9]{6}-.*\.txt$' | grep -v -- '-log\.txt$' | sort; }
# The log part of a record: "+SECONDS COLOUR TEXT" lines, as "COLOUR TEXT".
record_log() { grep '^+' "$1" | sed -E 's/^\+[0-9]+\.[0-9]{3} //'; }
record_texts() { record_log "$1" | sed -E 's/^(Black|Blue|Red|Green) ? ? ? ?//; s/^(Black|Blue|Red|Green)$//'; }
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

# The record of this update: named by its start and the serial number, the
# header, every line with its colour, the result and the device at the end.
wait_for "Record: " 5
rec=$(record_files)
[ "$(echo "$rec" | grep -c .)" = 1 ] || fail "one record expected in $records: $rec"
echo "$rec" | grep -qE '^[0-9]{8}-[0-9]{6}-1A2B\.txt$' || fail "record name: $rec"
wait_for "$rec " 5
rec="$records/$rec"
head -1 "$rec" | grep -qx "QDX-Update record" || fail "record header"
grep -qF "Device at start: USB Interface: Ready | Firmw. Version: 2.4.0.0 | Serial Number: 1A2B" "$rec" ||
  fail "device at the start: $(cat "$rec")"
[ "$(grep -cE '^File: QDX140-.*\.Bic \| [0-9]+ bytes \| SHA-256 [0-9a-f]{64} \| header version' "$rec")" = 4 ] ||
  fail "four files with size, digest and version: $(cat "$rec")"
[ "$(record_texts "$rec")" = "$expected" ] || fail "the record's log:
$(record_log "$rec")"
record_log "$rec" | head -1 | grep -qx "Blue  Start Update" || fail "colour of the first line"
record_log "$rec" | tail -1 | grep -qx "Green QDX-Update OK" || fail "colour of the last line"
grep -qx "Result: OK" "$rec" || fail "result"
grep -qE "^Device at end: USB Interface: Ready \| Firmw. Version: 2.5.0.0 \| Serial Number: 1A2B$" "$rec" ||
  fail "device at the end: $(tail -3 "$rec")"

# S saves the log as shown; H shows the history.
key s
wait_for "Log saved: " 5
saved=$(ls "$records" | grep -- '-log\.txt$')
[ -n "$saved" ] || fail "no saved log in $records"
[ "$(without_trailing_blanks <"$records/$saved")" = "$expected" ] || fail "the saved log: $(cat "$records/$saved")"
key h
wait_for "Update History" 5
wait_for "1A2B  2.4.0.0 -> 2.5.0.0  OK  " 5
key x
until_true 5 "any key should close the history" not_shown "Update History"

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
rec="$records/$(record_files)"
grep -qx "Result: closed during the update" "$rec" || fail "a close during the update: $(tail -4 "$rec")"

# ---- 4. a crash -------------------------------------------------------------------------------
start 80 24 "$fast"
wait_for "[I] QDX Info" 10
kill -SEGV "$(pgrep -P "$(tmux_ display -p -t qdx '#{pane_pid}')" -x qdx-update)"
ended_restored 139

# ---- 5. records: killed mid-update, a stage failing 11 times, an unwritable folder ------------
start 80 24 "latency:400,reboot:200"
wait_for "[I] QDX Info" 10
key u
wait_for "Programming BIN-File Encrypted: QDX140-FW2500.Bic" 60
shown_log=$(log_lines | without_trailing_blanks)
kill -KILL "$(pgrep -P "$(tmux_ display -p -t qdx '#{pane_pid}')" -x qdx-update)"
wait_for "TOOL EXIT 137" 10
rec="$records/$(record_files)"
[ "$(record_texts "$rec")" = "$shown_log" ] || fail "a killed tool's record should hold every line shown:
$(cat "$rec")
---- shown ----
$shown_log"
grep -q "^Result: " "$rec" && fail "a killed tool's record has no end"
tmux_ kill-server

start 100 40 "$fast,program-fault:11"
wait_for "[I] QDX Info" 10
key u
wait_for "QDX-Update ERROR" 120
wait_for "Record: " 5
rec="$records/$(record_files)"
grep -qx "Result: ERROR" "$rec" || fail "result after 11 failures: $(tail -3 "$rec")"
[ "$(record_log "$rec" | grep -cx "Red   Programming ERROR")" = 11 ] || fail "11 failures in the record"
record_log "$rec" | tail -1 | grep -qx "Red   QDX-Update ERROR" || fail "the record's last line"
key Escape
ended_restored 0

echo x >"$work/a-file"
start 160 40 "$fast" "$work/a-file"
wait_for "[I] QDX Info" 10
key u
wait_for "QDX-Update OK" 90
[ "$(log_lines | without_trailing_blanks)" = "$expected" ] || fail "the update without a records folder"
wait_for "No record: $work/a-file/qdx-update/records cannot be written" 5
[ -f "$work/a-file" ] && [ "$(cat "$work/a-file")" = x ] || fail "the file in the way was changed"
key s
wait_for "Log not saved: " 5
key Escape
ended_restored 0


tool_pid() { pgrep -P "$(tmux_ display -p -t qdx '#{pane_pid}')" -x qdx-update; }
progress() { screen | grep -o '[0-9]\+%   [0-9A-F]\+' | head -1 || true; }
progress_moved() { local now; now=$(progress); [ -n "$now" ] && [ "$now" != "$1" ]; }
alive() { kill -0 "$1" 2>/dev/null; }

# ---- 6. SIGHUP while the firmware is programmed ---------------------------------------------
start 80 24 "latency:400,reboot:200"
wait_for "[I] QDX Info" 10
key u
wait_for "Programming BIN-File Encrypted: QDX140-FW2500.Bic" 60
until_true 10 "no progress of the firmware worker" progress_moved ""
toolPid=$(tool_pid)
[ -n "$toolPid" ] || fail "no tool process under the pane"
kill -HUP "$toolPid"
hupAt=$(progress)
# The worker is not cut: its progress goes on after the signal, with the note
# that the tool ends after this stage.
until_true 10 "the firmware worker stopped at the hang-up ($hupAt)" progress_moved "$hupAt"
shown "closing after this stage" || fail "the wait for the stage is not shown"
ended_restored 129

# ---- 7. Ctrl-C again while a worker programs ------------------------------------------------
# Slow calls: the firmware stage lasts minutes, so only quitting ends the tool.
start 80 24 "latency:3000,reboot:200"
wait_for "[I] QDX Info" 10
key u
wait_for "Programming BIN-File Encrypted: QDX140-FW2500.Bic" 120
until_true 10 "no progress of the firmware worker" progress_moved ""
toolPid=$(tool_pid)
[ -n "$toolPid" ] || fail "no tool process under the pane"
question="Quit now? The device may be left partly programmed. [Y/N]"
key C-c
wait_for "closing after this stage" 5
absent "$question"
key C-c
wait_for "$question" 5
key n
until_true 5 "N should take the question away" not_shown "$question"
kill -INT "$toolPid"
wait_for "$question" 5
kill -TERM "$toolPid"
key C-c
sleep 0.5
alive "$toolPid" || fail "repeated signals ended the tool under a running worker"
shown "$question" || fail "the question should still be shown"
asked=$(progress)
until_true 10 "the worker should go on while the question is shown" progress_moved "$asked"
key y
# Ended by the last signal, at once: the worker's stage is far from its end.
ended_restored 130

# ---- 8. SIGQUIT while idle --------------------------------------------------------------------
start 80 24 "$fast"
wait_for "[I] QDX Info" 10
kill -QUIT "$(tool_pid)"
ended_restored 131
ls "$work/demo" | grep -q '^core' && fail "SIGQUIT left a core file"

echo "PASS: terminal tool under tmux (11 runs)"
