// The main window's logic: start-up, the 50 ms device monitor tick, the three
// buttons and the close request. It talks to the window only through WindowOps
// and to the device only through device::Device().
#pragma once

#include <cstdint>
#include <functional>

#include "ui/UpdateObserver.h"
#include "update/WindowOps.h"

namespace update {
enum class WorkerStatus : int32_t;
}

namespace ui {

// What a request to close the window (Exit, Escape, the close box, a signal)
// leads to.
enum class CloseAction {
    End,         // no worker uses the device: the window ends now
    AfterStage,  // a worker's stage is not over: the window ends at the tick
                 // that shows its result (closeDue)
    AskQuitNow,  // asked again while the worker still programs the device: the
                 // window asks whether to quit at once
};

// True while a worker still calls the device library (its stage is not over).
bool WorkerHoldsDevice();

// The tool's exit code when the operator chose to quit while a worker was
// programming the device (the device may be left partly programmed).
inline constexpr int kQuitNowExitCode = 3;

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

    // Exit, Escape, the close box or a signal. The first request while a
    // worker programs the device waits for its result; closeDue() turns true at
    // the tick that shows it. No further step of the update runs meanwhile.
    CloseAction RequestClose();
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
