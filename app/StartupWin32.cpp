// Start-up on Windows: bind QDX140.dll before any window exists.
#include <windows.h>

#include "device/DeviceLibrary.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const device::BindResult bound = device::LoadDeviceLibrary(device::Device());
    if (!bound.ok) {
        MessageBoxW(nullptr, bound.error.c_str(), L"QDX-Update", MB_OK | MB_ICONERROR);
        return 2;
    }
    device::Device().OpenLink();
    device::Device().CloseLink();
    return 0;
}
