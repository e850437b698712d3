#include <windows.h>

#include <vector>

#include "platform/File.h"

namespace platform {

bool InputFile::Open(const std::wstring& name) {
    Close();
    wchar_t full[kMaxPath];
    const DWORD n = GetFullPathNameW(name.c_str(), kMaxPath, full, nullptr);
    if (n == 0 || n >= kMaxPath) return false;  // a full path over 260 characters
    HANDLE h =
        CreateFileW(full, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

int32_t InputFile::Read(void* buffer, uint32_t count) {
    DWORD read = 0;
    if (!isOpen() || !ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, count, &read, nullptr))
        return -1;
    return static_cast<int32_t>(read);
}

bool InputFile::Length(uint64_t& length) {
    LARGE_INTEGER size;
    if (!isOpen() || !GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) return false;
    length = static_cast<uint64_t>(size.QuadPart);
    return true;
}

void InputFile::Close() {
    if (isOpen()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kNone;
}

std::wstring AnsiToWide(const char* ansi) {
    const int n = MultiByteToWideChar(CP_THREAD_ACP, 0, ansi, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(n));
    MultiByteToWideChar(CP_THREAD_ACP, 0, ansi, -1, wide.data(), n);
    return std::wstring(wide.data());
}

}  // namespace platform
