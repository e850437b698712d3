// Binds the device library table straight to the simulated device, for tests
// and benchmarks that link the simulator in.
#include "platform/Clock.h"
#include "simulator/SimDevice.h"

namespace sim {
namespace {
#define SIM_THUNK(ord, name, params, args) \
    int32_t QDX_CALL Static##name params { return Instance().name args; }
QDX_OPERATIONS(SIM_THUNK)
#undef SIM_THUNK

int64_t DeviceNowUs() { return Instance().NowUs(); }
}  // namespace

device::DeviceLibrary StaticLibrary() {
    platform::SetClockSource(DeviceNowUs);
    device::DeviceLibrary lib;
#define SIM_SET(ord, name, params, args) lib.name = Static##name;
    QDX_OPERATIONS(SIM_SET)
#undef SIM_SET
    return lib;
}

}  // namespace sim
