// The device library: 21 operations, all returning a signed 32-bit result.
// Every operation but OpenLink and CloseLink takes the device number first
// (always 0 here); outputs follow the inputs as pointers.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32) && !defined(_WIN64)
#define QDX_CALL __stdcall
#else
#define QDX_CALL
#endif

// The one list of operations: ordinal, name, parameters and arguments, and in
// its comment what the callers take as success. The binding table, the
// simulated library and its export files (.def, version script) are generated
// from it.
#define QDX_OPERATIONS(X)                                                                          \
    /* > 0 opened (at start-up); != 0 opened (when re-opening) */                                  \
    X(1, OpenLink, (void), ())                                                                     \
    /* nothing */                                                                                  \
    X(2, CloseLink, (void), ())                                                                    \
    /* != 0 the restart has begun */                                                               \
    X(5, RestartDevice, (int32_t dev), (dev))                                                      \
    /* < 0 the link is lost; otherwise the four values were read */                                \
    X(12, ReadVersion, (int32_t dev, uint8_t * a, uint8_t * b, uint8_t * c, uint8_t * d),          \
      (dev, a, b, c, d))                                                                           \
    /* nothing */                                                                                  \
    X(13, ReadFpgaVersion, (int32_t dev, uint32_t * version), (dev, version))                      \
    /* == 1 read (only while the firmware runs) */                                                 \
    X(14, ReadSerialNumber, (int32_t dev, uint32_t * serial), (dev, serial))                       \
    /* nothing */                                                                                  \
    X(33, ReadModuleRegister, (int32_t dev, int32_t bank, int32_t reg, uint32_t * value),          \
      (dev, bank, reg, value))                                                                     \
    /* == 0 failed */                                                                              \
    X(171, ReadModuleParameter, (int32_t dev, int32_t param, int32_t * value),                     \
      (dev, param, value))                                                                         \
    /* != 0 saved */                                                                               \
    X(173, SaveModuleParameters, (int32_t dev), (dev))                                             \
    /* nothing */                                                                                  \
    X(175, WriteModuleParameter, (int32_t dev, int32_t param, int32_t value), (dev, param, value)) \
    /* != 0 saved */                                                                               \
    X(176, SaveUserParameters, (int32_t dev), (dev))                                               \
    /* == 1 read */                                                                                \
    X(177, ReadSystemParameter, (int32_t dev, int32_t index, int32_t * value),                     \
      (dev, index, value))                                                                         \
    /* == 1 read */                                                                                \
    X(181, JtagStatus, (int32_t dev, uint16_t * status, uint16_t * buffers),                       \
      (dev, status, buffers))                                                                      \
    /* nothing */                                                                                  \
    X(182, JtagControl, (int32_t dev, int32_t length, uint8_t target), (dev, length, target))      \
    /* == 1 taken */                                                                               \
    X(183, JtagWrite, (int32_t dev, const uint8_t* data, int32_t count), (dev, data, count))       \
    /* == 1 taken */                                                                               \
    X(184, JtagWriteEncrypted, (int32_t dev, const uint8_t* data, int32_t count),                  \
      (dev, data, count))                                                                          \
    /* != 0 the restart into the boot loader has begun */                                          \
    X(191, EnterBootloader, (int32_t dev), (dev))                                                  \
    /* >= 1 and status 0 erased (< 1 the call failed; status != 0 refused) */                      \
    X(192, EraseSector, (int32_t dev, uint8_t sector, uint8_t * status), (dev, sector, status))    \
    /* >= 1 and status 0 programmed (< 1 the call failed; status != 0 refused) */                  \
    X(193, ProgramPage, (int32_t dev, uint8_t sector, uint32_t page, uint8_t * status),            \
      (dev, sector, page, status))                                                                 \
    /* nothing */                                                                                  \
    X(194, WritePageWord,                                                                          \
      (int32_t dev, uint32_t offset, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3),              \
      (dev, offset, b0, b1, b2, b3))                                                               \
    /* nothing */                                                                                  \
    X(195, WritePageBlock, (int32_t dev, uint32_t offset, const uint8_t* data, int32_t count),     \
      (dev, offset, data, count))

namespace device {

// Function pointer types: OpenLinkFn, CloseLinkFn, ...
#define QDX_DECLARE_FN(ord, name, params, args) using name##Fn = int32_t(QDX_CALL*) params;
QDX_OPERATIONS(QDX_DECLARE_FN)
#undef QDX_DECLARE_FN

struct Operation {
    int ordinal;
    const char* name;
};

// The table the rest of the system calls through.
struct DeviceLibrary {
#define QDX_MEMBER(ord, name, params, args) name##Fn name = nullptr;
    QDX_OPERATIONS(QDX_MEMBER)
#undef QDX_MEMBER
};

#define QDX_COUNT_ONE(ord, name, params, args) +1
inline constexpr int kOperationCount = 0 QDX_OPERATIONS(QDX_COUNT_ONE);
#undef QDX_COUNT_ONE
extern const Operation kOperations[kOperationCount];

// Looks an operation up by ordinal and name; returns nullptr when the library lacks it.
using Resolver = void* (*)(void* context, const Operation& op);

struct BindResult {
    bool ok = false;
    std::wstring error;  // names the missing file or the missing operation
};

// Fills `lib` from a resolver; stops at the first missing operation.
BindResult BindOperations(DeviceLibrary& lib, Resolver resolve, void* context);

// Loads the maker's library from the program's own folder (and, on Windows, the
// system folder; never the current directory) and binds every operation. A
// library that cannot be loaded is explained: missing (and where it was looked
// for), of the other architecture, lacking a library it needs, or the system's
// own text beside the number.
BindResult LoadDeviceLibrary(DeviceLibrary& lib);

#ifndef _WIN32
// The same with the program's folder taken from the link `programLink`
// (/proc/self/exe); a link that cannot be read fails, it never means "here".
BindResult LoadDeviceLibraryBeside(DeviceLibrary& lib, const char* programLink);
#endif

// The library the tool talks to; bound once at start-up, before any window.
DeviceLibrary& Device();

}  // namespace device
