// Start-up on Linux: read the command line, bind the device library beside the
// program, run the main window in the terminal, close the link once the window
// has ended.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"
#include "qdx_version.h"
#include "ui/FlasherDlg.h"
#include "ui/terminal/MainLoop.h"

namespace {

constexpr const char* kUsage = "usage: qdx-update [--help | --version]\n";

constexpr const char* kHelp =
    "QDX-Update " QDX_VERSION_STRING
    ": brings a QDX device up to date over USB.\n"
    "\n"
    "It watches the device link, shows the firmware version and serial number, and on\n"
    "Update programs the boot loader (when its version differs), the firmware, the\n"
    "system parameters, the interpolator configuration and the FPGA, then has the\n"
    "device save its parameters. Every stage is reported in a colour message log.\n"
    "\n"
    "Keys:\n"
    "  U           Update\n"
    "  I           QDX Info: the device's versions into the log\n"
    "  R           Restart the device (after a successful update)\n"
    "  E, Esc      Exit (Esc during an update: the tool ends when the running stage is done;\n"
    "              pressed again, it asks whether to quit now: Y quits, N keeps waiting)\n"
    "  F1, ?       About\n"
    "  S           save the shown log into the records folder\n"
    "  H           the update history: the last records, one line each\n"
    "  Up, Down, PgUp, PgDn, Home, End   scroll the log\n"
    "\n"
    "Files:\n"
    "  The device library libQDX140.so is loaded from the folder of qdx-update, and\n"
    "  only from there. The four update files QDX140-BL0602.Bic, QDX140-FW2500.Bic,\n"
    "  QDX140-IP0005.Bic and QDX140-GA0010.Bic are read from the current directory.\n"
    "  A record of every update is written into\n"
    "  ${XDG_STATE_HOME:-$HOME/.local/state}/qdx-update/records/.\n"
    "\n"
    "The simulated device:\n"
    "  The libQDX140.so of the package is a simulated device. It reads QDX140_SIM, a\n"
    "  comma-separated list of scenarios (bootloader, old-bootloader, unplugged, ...);\n"
    "  qdx-update itself reads no variable. qdx-samples FOLDER writes sample update\n"
    "  files; demo.sh writes them into demo/ and starts the tool there.\n"
    "\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        // Only one question at a time is understood; anything else is a mistake.
        if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
            std::fputs(kHelp, stdout);
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
            std::puts("QDX-Update " QDX_VERSION_STRING);
            return 0;
        }
        std::fprintf(stderr, "qdx-update: unknown argument '%s'\n", argv[1]);
        std::fputs(kUsage, stderr);
        std::fputs("Try 'qdx-update --help' for the keys and the files it uses.\n", stderr);
        return 2;
    }
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
