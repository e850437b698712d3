// Worker threads: `int32_t worker(int32_t argument)`, started at once with the
// default stack; nobody waits for them.
#pragma once

#include <cstdint>

namespace platform {

using WorkerEntry = int32_t (*)(int32_t argument);

struct ThreadRecord {
    uintptr_t handle = 0;
    uintptr_t id = 0;
};

// Starts `entry(argument)` on a new thread. On success the record holds the
// thread's handle and identifier (the previous handle is released).
bool StartThread(WorkerEntry entry, int32_t argument, ThreadRecord& record);

// A short pause for a worker thread (never called on the window thread).
void SleepMs(uint32_t ms);

}  // namespace platform
