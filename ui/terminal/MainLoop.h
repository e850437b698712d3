// The terminal tool's main window from start to end: starts curses, shows the
// window, runs the window logic with its 50 ms tick and the keys, and gives
// the terminal back.
#pragma once

namespace ui::terminal {

struct RunResult {
    int exitCode = 0;   // 0 after Exit or Escape; 1 when no terminal could be used;
                        // ui::kQuitNowExitCode after quitting under a running worker
    int endSignal = 0;  // the signal that ended the run, 0 for none
};

RunResult RunMainWindow();

}  // namespace ui::terminal
