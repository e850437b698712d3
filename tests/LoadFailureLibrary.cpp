// Device libraries that cannot be loaded, each for its own reason:
//   QDX_NEEDS_ABSENT  imports a function from a library that is not shipped
//   QDX_ABSENT        that library
//   QDX_INIT_FAILS    refuses to be loaded (Windows: DllMain returns FALSE)
#include <cstdint>

#ifdef _WIN32
#define QDX_EXPORT extern "C" __declspec(dllexport)
#else
#define QDX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#if defined(QDX_ABSENT)
QDX_EXPORT int32_t AbsentHelper(int32_t value) { return value + 1; }
#elif defined(QDX_NEEDS_ABSENT)
extern "C" int32_t AbsentHelper(int32_t value);
QDX_EXPORT int32_t OpenLink() { return AbsentHelper(0); }
#elif defined(QDX_INIT_FAILS)
#include <windows.h>
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    return reason != DLL_PROCESS_ATTACH;
}
QDX_EXPORT int32_t OpenLink() { return 1; }
#endif
