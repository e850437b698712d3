// A device library that lacks one operation (JtagWriteEncrypted, ordinal 184):
// the tool must refuse to start and name it.
#include "device/DeviceLibrary.h"

#define JtagWriteEncrypted JtagWriteEncrypted_absent
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define STUB(ord, name, params, args) \
    extern "C" __attribute__((visibility("default"))) int32_t name params { return ord; }
QDX_OPERATIONS(STUB)
