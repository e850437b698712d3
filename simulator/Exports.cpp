// The simulated device library's exported operations (libQDX140.so by name,
// QDX140.dll by ordinal through its .def file). The device is set up on the
// first call from the QDX140_SIM scenario variable; the tool itself reads none.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "simulator/SimDevice.h"

namespace {

sim::Device& Configured() {
    static std::once_flag once;
    std::call_once(once, [] {
        sim::Config config;
        config.virtualTime = false;
        config.callCostUs = 100;  // about what one USB round trip costs
        config.trace = false;
        config.jtagDrainBytesPerMs = 400;
        const char* scenario = std::getenv("QDX140_SIM");
        if (scenario != nullptr) {
            const std::string error = sim::ApplyScenario(config, scenario);
            if (!error.empty()) std::fprintf(stderr, "QDX140_SIM: %s\n", error.c_str());
        }
        sim::Instance().Reset(config);
    });
    return sim::Instance();
}

}  // namespace

#if defined(_WIN32)
#define SIM_EXPORT extern "C"  // the .def file gives each its ordinal
#else
#define SIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#define SIM_EXPORTED(ord, name, params, args) \
    SIM_EXPORT int32_t QDX_CALL name params { return Configured().name args; }
QDX_OPERATIONS(SIM_EXPORTED)
#undef SIM_EXPORTED
