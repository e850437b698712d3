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

bool StartThread(WorkerEntry entry, int32_t argument, ThreadRecord& record) {
    auto* start = new (std::nothrow) Start{entry, argument};
    if (start == nullptr) return false;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Run, start, 0, &id);
    if (thread == nullptr) {
        delete start;
        return false;
    }
    // Nothing waits on the handle: the previous one is released when replaced.
    if (record.handle != 0) CloseHandle(reinterpret_cast<HANDLE>(record.handle));
    record.handle = reinterpret_cast<uintptr_t>(thread);
    record.id = id;
    return true;
}

void SleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace platform
