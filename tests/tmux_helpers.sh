# Driving a program in a tmux pane, for the tmux tests (sourced). The caller
# sets $work (a folder of its own, for the server's socket) and $run (the
# number of the current run: a server of its own for each), and names its
# session qdx.

# A server of our own for each run, its socket in the work folder (a new one
# each run: no race with the end of the last).
tmux_() { tmux -S "$work/tmux-$run" -f /dev/null "$@"; }
screen() { tmux_ capture-pane -p -t qdx; }
fail() {
  echo "FAIL (run $run): $*"
  echo "---- screen ----"
  screen || true
  exit 1
}
# wait_for TEXT SECONDS: until the screen shows TEXT.
wait_for() {
  local deadline=$((SECONDS + $2))
  until screen | grep -qF -- "$1"; do
    [ $SECONDS -lt $deadline ] || fail "no \"$1\" within $2 s"
    sleep 0.1
  done
}
absent() { if screen | grep -qF -- "$1"; then fail "\"$1\" should not be shown"; fi; }
# until_true SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; WHAT is
# the failure when it does not within the time.
until_true() {
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    [ $SECONDS -lt $deadline ] || fail "$what"
    sleep 0.1
  done
}
shown() { screen | grep -qF -- "$1"; }
not_shown() { ! shown "$1"; }
key() { tmux_ send-keys -t qdx "$@"; }
