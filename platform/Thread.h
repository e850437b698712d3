// Worker threads: `int32_t worker(int32_t argument)`, started at once with the
// default stack; nobody waits for them.
#pragma once

#include <cstdint>

namespace platform {

using WorkerEntry = int32_t (*)(int32_t argument);

// Starts `entry(argument)` on a new thread; false when it cannot be created.
bool StartThread(WorkerEntry entry, int32_t argument);

// A short pause for a worker thread (never called on the window thread).
void SleepMs(uint32_t ms);

}  // namespace platform
