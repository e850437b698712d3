// Windows: QDX140.dll from the program's folder or the system folder, never from
// the current directory (where update files from anywhere lie); operations by ordinal.
#include <windows.h>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"

#ifndef LOAD_LIBRARY_SEARCH_APPLICATION_DIR
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace device {
namespace {

void* ResolveByOrdinal(void* handle, const Operation& op) {
    return reinterpret_cast<void*>(GetProcAddress(
        static_cast<HMODULE>(handle), MAKEINTRESOURCEA(static_cast<WORD>(op.ordinal))));
}

}  // namespace

BindResult LoadDeviceLibrary(DeviceLibrary& lib) {
    HMODULE module = LoadLibraryExW(
        L"QDX140.dll", nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        return {false, platform::FormatText(
                           L"The device library QDX140.dll could not be loaded (error %lu).",
                           static_cast<unsigned long>(GetLastError()))};
    }
    BindResult result = BindOperations(lib, ResolveByOrdinal, module);
    if (!result.ok) FreeLibrary(module);
    return result;
}

}  // namespace device
