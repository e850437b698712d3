// Start-up on Linux: bind the device library beside the program, then run.
#include <cstdio>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"

int main() {
    const device::BindResult bound = device::LoadDeviceLibrary(device::Device());
    if (!bound.ok) {
        std::fprintf(stderr, "QDX-Update: %s\n", platform::ToUtf8(bound.error).c_str());
        return 2;
    }
    device::DeviceLibrary& lib = device::Device();
    const int32_t open = lib.OpenLink();
    uint8_t a = 0, b = 0, c = 0, d = 0;
    const int32_t result = lib.ReadVersion(0, &a, &b, &c, &d);
    std::printf("OpenLink %d, ReadVersion %d: %X.%X.%X.%X\n", open, result, a, b, c, d);
    lib.CloseLink();
    return 0;
}
