#include <windows.h>

#include <cwchar>

#include "platform/UserFiles.h"

namespace platform {
namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::string RecordsFolder() {
    wchar_t local[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::string();
    return Utf8(local) + "\\QDX-Update\\records";
}

std::string CurrentFolder() {
    wchar_t cwd[MAX_PATH];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, cwd);
    return n == 0 || n >= MAX_PATH ? std::string() : Utf8(cwd);
}

bool MakeFolders(const std::string& path) {
    const std::wstring wide = Wide(path);
    if (wide.empty()) return false;
    for (size_t sep = wide.find_first_of(L"\\/", 3);; sep = wide.find_first_of(L"\\/", sep + 1)) {
        const std::wstring part = wide.substr(0, sep);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (sep == std::wstring::npos) break;
    }
    return IsFolder(wide);
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Wide(JoinPath(folder, "*")).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(Utf8(found.cFileName));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

bool ReadFileText(const std::string& path, std::string& text, size_t limit) {
    text.clear();
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buffer[16384];
    DWORD read = 0;
    while (text.size() < limit && ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(h);
    if (text.size() > limit) text.resize(limit);
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
}

LocalTime LocalNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

int64_t MonotonicMs() { return static_cast<int64_t>(GetTickCount64()); }

bool LineFile::Create(const std::string& path) {
    Close();
    // Others may read the record while it is written.
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

bool LineFile::Append(const std::string& text) {
    if (!isOpen()) return false;
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    DWORD written = 0;
    if (!WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        Close();
        return false;
    }
    FlushFileBuffers(h);
    return true;
}

void LineFile::Close() {
    if (isOpen()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kNone;
}

}  // namespace platform
