#include "ui/terminal/EndControl.h"

#include <csignal>

namespace ui::terminal {

void EndControl::OnRequest(CloseAction action, int signal) {
    if (signal != 0) endSignal_ = signal;
    if (signal == SIGHUP) {
        // The terminal is gone: the stage ends on its own, then the tool does.
        hungUp_ = true;
        asking_ = false;
    }
    switch (action) {
        case CloseAction::End: ended_ = true; break;
        case CloseAction::AfterStage: closing_ = true; break;
        case CloseAction::AskQuitNow:
            closing_ = true;
            asking_ = !hungUp_;
            break;
    }
}

bool EndControl::OnAnswer(Command command) {
    if (!asking_) return false;
    switch (command) {
        case Command::Yes:
            asking_ = false;
            quitNow_ = true;
            ended_ = true;
            return true;
        case Command::No:
        case Command::Cancel: asking_ = false; return true;
        default: return false;
    }
}

}  // namespace ui::terminal
