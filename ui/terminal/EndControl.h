// How the terminal window ends: the requests to close it (Escape, Exit, an end
// signal) and the answer to the quit-now question. The window logic says
// whether a worker still programs the device; this decides what the window
// shows and when its loop ends. A signal never ends a running worker's stage:
// only the Y key does, and only after the question.
#pragma once

#include "ui/FlasherDlg.h"
#include "ui/terminal/KeyMap.h"

namespace ui::terminal {

class EndControl {
public:
    // A close request and the logic's answer to it; `signal` is the end signal
    // that made the request, 0 for a key.
    void OnRequest(CloseAction action, int signal);
    // A key while the question is shown: true when it answered the question.
    bool OnAnswer(Command command);
    // The logic's end came due: the worker's result is shown, the question
    // (if any) has no subject any more.
    void OnCloseDue() {
        ended_ = true;
        asking_ = false;
    }

    bool ended() const { return ended_; }
    bool quitNow() const { return quitNow_; }     // ended while a worker programs the device
    bool closing() const { return closing_; }     // the end waits for a worker's stage
    bool asking() const { return asking_; }       // the question is shown
    bool hungUp() const { return hungUp_; }       // SIGHUP: no one is there to answer
    int endSignal() const { return endSignal_; }  // the last end signal, 0 for none

private:
    bool ended_ = false;
    bool quitNow_ = false;
    bool closing_ = false;
    bool asking_ = false;
    bool hungUp_ = false;
    int endSignal_ = 0;
};

}  // namespace ui::terminal
