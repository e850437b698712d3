#include "app/FlasherApp.h"

#include <commctrl.h>

#include <cstdlib>

#include "device/DeviceLibrary.h"
#include "ui/FlasherDlg.h"
#include "ui/win32/FlasherDlgWin32.h"

// The one application object.
CFlasherApp theApp;

bool CFlasherApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    // Without the maker's library (or with one that lacks an operation) the
    // tool can do nothing: say which, and end before any window exists.
    const device::BindResult bound = device::LoadDeviceLibrary(device::Device());
    if (!bound.ok) {
        MessageBoxW(nullptr, bound.error.c_str(), L"QDX-Update", MB_OK | MB_ICONERROR);
        SetExitCode(2);
        return false;
    }

    win32::CFlasherDlg dialog;
    dialog.DoModal();  // its result tells nothing
    if (ui::WorkerHoldsDevice()) {
        // The operator chose to quit while a worker programs the device. The
        // worker stays the library's only caller: the link is left to the
        // system, and the process ends without running its destructors beside
        // the worker.
        std::_Exit(ui::kQuitNowExitCode);
    }
    device::Device().CloseLink();
    // No message loop of our own: the application ends here.
    return false;
}
