#include <windows.h>

#include <new>

#include "platform/Thread.h"

namespace platform {
namespace {

struct Start {
    WorkerEntry entry;
    int32_t argument;
};

DWORD WINAPI Run(LPVOID raw) {
    const Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    return static_cast<DWORD>(start.entry(start.argument));
}

}  // namespace

bool StartThread(WorkerEntry entry, int32_t argument) {
    auto* start = new (std::nothrow) Start{entry, argument};
    if (start == nullptr) return false;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Run, start, 0, &id);
    if (thread == nullptr) {
        delete start;
        return false;
    }
    CloseHandle(thread);  // nothing ever waits for a worker: the thread runs on without it
    return true;
}

void SleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace platform
