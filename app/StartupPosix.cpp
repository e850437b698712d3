// Start-up on Linux: bind the device library beside the program, run the main
// window in the terminal, close the link once the window has ended.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"
#include "ui/FlasherDlg.h"
#include "ui/terminal/MainLoop.h"

int main() {
    const device::BindResult bound = device::LoadDeviceLibrary(device::Device());
    if (!bound.ok) {
        std::fprintf(stderr, "QDX-Update: %s\n", platform::ToUtf8(bound.error).c_str());
        return 2;
    }
    const ui::terminal::RunResult run = ui::terminal::RunMainWindow();
    // After the operator chose to quit under a running worker, that worker is
    // still the library's only caller: the link is left to the system, and the
    // process ends without running its destructors beside the worker.
    const bool workerRuns = ui::WorkerHoldsDevice();
    if (!workerRuns) device::Device().CloseLink();
    if (run.endSignal != 0) {
        // Ended by a signal: end the way its sender expects, now that the
        // terminal is back and the link closed. A core file of a tool that
        // ended in order would tell nothing.
        if (run.endSignal == SIGQUIT) {
            const struct rlimit noCore = {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
        }
        std::signal(run.endSignal, SIG_DFL);
        std::raise(run.endSignal);
    }
    if (workerRuns) std::_Exit(run.exitCode);
    return run.exitCode;
}
