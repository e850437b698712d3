#include <pthread.h>
#include <time.h>

#include <new>

#include "platform/Thread.h"

namespace platform {
namespace {

struct Start {
    WorkerEntry entry;
    int32_t argument;
};

void* Run(void* raw) {
    const Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    start.entry(start.argument);
    return nullptr;
}

}  // namespace

bool StartThread(WorkerEntry entry, int32_t argument) {
    auto* start = new (std::nothrow) Start{entry, argument};
    if (start == nullptr) return false;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, Run, start) != 0) {
        delete start;
        return false;
    }
    pthread_detach(thread);  // nothing ever waits for a worker
    return true;
}

void SleepMs(uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

}  // namespace platform
