// Monotonic time for the workers' time limits. Tests put the simulated
// device's clock in its place, so that a limit runs on the device's virtual
// time, deterministic and without waiting.
#pragma once

#include <cstdint>

namespace platform {

using ClockSource = int64_t (*)();

// Microseconds from an arbitrary start; never goes back.
int64_t NowUs();

// nullptr: the system's monotonic clock again.
void SetClockSource(ClockSource source);

}  // namespace platform
