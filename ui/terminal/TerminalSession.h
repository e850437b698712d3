// The terminal for the length of a run: curses started in cbreak mode without
// echo, keypad on, cursor hidden, and the terminal given back on every way
// out: the normal end, exit(), SIGINT, SIGTERM, SIGHUP, and a crash.
//
// SIGINT, SIGTERM and SIGHUP only set a flag here; the window's loop sees it
// within one tick and ends like the Escape key would. A second such signal
// asks for the end at once.
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

    // How many end signals arrived, and the last of them (0 for none).
    static int EndSignals();
    static int LastEndSignal();

private:
    bool ok_ = false;
    const char* error_ = "";
};

}  // namespace ui::terminal
