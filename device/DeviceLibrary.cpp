#include "device/DeviceLibrary.h"

#include "platform/Text.h"

namespace device {

const Operation kOperations[kOperationCount] = {
#define QDX_ENTRY(ord, name, params, args) {ord, #name},
    QDX_OPERATIONS(QDX_ENTRY)
#undef QDX_ENTRY
};

BindResult BindOperations(DeviceLibrary& lib, Resolver resolve, void* context) {
    DeviceLibrary bound;
    int index = 0;
#define QDX_BIND(ORD, NAME, PARAMS, ARGS)                                                         \
    {                                                                                             \
        const Operation& op = kOperations[index++];                                               \
        void* fn = resolve(context, op);                                                          \
        if (fn == nullptr) {                                                                      \
            return {false, platform::FormatText(L"The device library has no operation %d (%ls).", \
                                                op.ordinal, platform::Widen(op.name).c_str())};   \
        }                                                                                         \
        bound.NAME = reinterpret_cast<NAME##Fn>(fn);                                              \
    }
    QDX_OPERATIONS(QDX_BIND)
#undef QDX_BIND
    lib = bound;
    return {true, {}};
}

DeviceLibrary& Device() {
    static DeviceLibrary library;
    return library;
}

}  // namespace device
