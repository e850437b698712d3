#include "platform/Clock.h"

#include <atomic>
#include <chrono>

namespace platform {
namespace {

int64_t SteadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::atomic<ClockSource> source{SteadyUs};

}  // namespace

int64_t NowUs() { return source.load(std::memory_order_relaxed)(); }

void SetClockSource(ClockSource clock) {
    source.store(clock != nullptr ? clock : SteadyUs, std::memory_order_relaxed);
}

}  // namespace platform
