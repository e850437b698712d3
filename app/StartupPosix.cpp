// Start-up on Linux: bind the device library beside the program, run the main
// window in the terminal, close the link once the window has ended.
#include <csignal>
#include <cstdio>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"
#include "ui/terminal/MainLoop.h"

int main() {
    const device::BindResult bound = device::LoadDeviceLibrary(device::Device());
    if (!bound.ok) {
        std::fprintf(stderr, "QDX-Update: %s\n", platform::ToUtf8(bound.error).c_str());
        return 2;
    }
    const ui::terminal::RunResult run = ui::terminal::RunMainWindow();
    device::Device().CloseLink();
    if (run.endSignal != 0) {
        // Ended by a signal: end the way its sender expects, now that the
        // terminal is back and the link closed.
        std::signal(run.endSignal, SIG_DFL);
        std::raise(run.endSignal);
    }
    return run.exitCode;
}
