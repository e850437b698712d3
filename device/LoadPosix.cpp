// Linux: the library is libQDX140.so in the program's own folder, resolved from
// /proc/self/exe so that neither the search path nor the current directory counts.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"

namespace device {
namespace {

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string full(path, static_cast<size_t>(n));
    const size_t slash = full.rfind('/');
    return slash == std::string::npos ? std::string(".") : full.substr(0, slash);
}

void* ResolveByName(void* handle, const Operation& op) { return dlsym(handle, op.name); }

}  // namespace

BindResult LoadDeviceLibrary(DeviceLibrary& lib) {
    const std::string file = ProgramFolder() + "/libQDX140.so";
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return {false, L"The device library " + platform::Widen(file.c_str()) +
                           L" could not be loaded: " + platform::Widen(dlerror())};
    }
    BindResult result = BindOperations(lib, ResolveByName, handle);
    if (!result.ok) dlclose(handle);
    return result;
}

}  // namespace device
