// The terminal for the length of a run: curses started in cbreak mode without
// echo, keypad on, cursor hidden, and the terminal given back on every way
// out: the normal end, exit(), SIGINT, SIGTERM, SIGHUP, SIGQUIT, and a crash.
//
// SIGINT, SIGTERM, SIGHUP and SIGQUIT only count here; the window's loop takes
// each within one tick and decides how to end (EndControl).
#pragma once

#include <csignal>

namespace ui::terminal {

class TerminalSession {
public:
    TerminalSession();
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    // False when standard input and output are not a terminal curses can use;
    // error() then says why.
    bool ok() const { return ok_; }
    const char* error() const { return error_; }

    // Gives the terminal back (idempotent).
    void Restore();

    // One end signal that arrived and was not taken yet, or 0. Each arrival
    // is taken once, in the order of SIGHUP, SIGTERM, SIGINT, SIGQUIT.
    static int TakeEndSignal();

private:
    bool ok_ = false;
    const char* error_ = "";
};

}  // namespace ui::terminal
