// The main window's logic: start-up, the 50 ms device monitor tick, the three
// buttons and the close request. It talks to the window only through WindowOps
// and to the device only through device::Device().
#pragma once

#include <cstdint>
#include <functional>

#include "ui/UpdateObserver.h"
#include "ui/WindowOps.h"

namespace update {
enum class WorkerStatus : int32_t;
}

namespace ui {

class CFlasherDlg {
public:
    explicit CFlasherDlg(WindowOps& window) : window_(window) {}

    // After the window's controls exist: resets the update state, starts the
    // window's 50 ms timer through `startTimer`, opens the link and sets the
    // fields and buttons.
    bool OnInitDialog(const std::function<void()>& startTimer = {});
    // The 50 ms tick: poll or present the worker, count down, one sequence step.
    void OnTimer();
    void OnUpdateButton();
    void OnRestartButton();
    void OnInfoButton();

    // Exit, Escape or the close box. True: the dialog may end now. False: a
    // worker still uses the device, so the end waits for its final status;
    // closeDue() turns true at the tick that sees it.
    bool RequestClose();
    bool closeDue() const { return closeDue_; }

    // Told where each update starts and ends (the update record); may be null.
    void SetObserver(UpdateObserver* observer) { observer_ = observer; }

private:
    void Poll();
    void PresentWorker(update::WorkerStatus status);

    WindowOps& window_;
    UpdateObserver* observer_ = nullptr;
    bool closePending_ = false;
    bool closeDue_ = false;
};

}  // namespace ui
