// Windows: QDX140.dll from the program's folder or the system folder, never from
// the current directory (where update files from anywhere lie); operations by ordinal.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"

#ifndef LOAD_LIBRARY_SEARCH_APPLICATION_DIR
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace device {
namespace {

constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
constexpr WORD kOwnMachine =
    sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;

void* ResolveByOrdinal(void* handle, const Operation& op) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle),
                                                  MAKEINTRESOURCEA(static_cast<WORD>(op.ordinal))));
}

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring SystemFolder() {
    wchar_t path[MAX_PATH] = L"";
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The system's own text for an error, with its "%1" naming the library.
std::wstring SystemText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n > 0 && buffer != nullptr ? std::wstring(buffer, n) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    for (size_t at; (at = text.find(L"%1")) != std::wstring::npos;)
        text.replace(at, 2, L"QDX140.dll");
    return text.empty() ? L"no text for this error" : text;
}

// The headers of a PE file as far as the loader's explanation needs them: the
// machine and the names of the DLLs it imports from.
struct PeFile {
    bool read = false;
    WORD machine = 0;
    std::vector<std::string> imports;
};

PeFile ReadPeFile(const std::wstring& path) {
    PeFile pe;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return pe;
    LARGE_INTEGER size{};
    std::vector<unsigned char> bytes;
    // A device library is small; anything far larger is not one worth parsing.
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (64 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
        bytes.resize(got);
    }
    CloseHandle(file);

    auto fits = [&](size_t offset, size_t length) {
        return offset <= bytes.size() && length <= bytes.size() - offset;
    };
    auto word = [&](size_t at) { return static_cast<DWORD>(bytes[at] | bytes[at + 1] << 8); };
    auto dword = [&](size_t at) { return word(at) | word(at + 2) << 16; };

    if (!fits(0, 0x40) || bytes[0] != 'M' || bytes[1] != 'Z') return pe;
    const size_t nt = dword(0x3C);
    if (!fits(nt, 24) || std::memcmp(&bytes[nt], "PE\0\0", 4) != 0) return pe;
    pe.read = true;
    pe.machine = static_cast<WORD>(word(nt + 4));
    const size_t sections = word(nt + 6);
    const size_t optional = nt + 24;
    const size_t optionalSize = word(nt + 20);
    if (!fits(optional, 2)) return pe;
    const DWORD magic = word(optional);
    const size_t directories = optional + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? 112 : 96);
    if (!fits(directories + 8, 8) || directories + 16 > optional + optionalSize) return pe;
    const DWORD importRva = dword(directories + 8);

    // An address in the loaded image to its place in the file.
    auto offsetOf = [&](DWORD rva, size_t& offset) {
        for (size_t i = 0; i < sections; ++i) {
            const size_t s = optional + optionalSize + i * 40;
            if (!fits(s, 40)) return false;
            const DWORD virtualAddress = dword(s + 12), rawSize = dword(s + 16),
                        rawOffset = dword(s + 20);
            if (rva >= virtualAddress && rva - virtualAddress < rawSize) {
                offset = rawOffset + (rva - virtualAddress);
                return true;
            }
        }
        return false;
    };
    size_t descriptor = 0;
    if (importRva == 0 || !offsetOf(importRva, descriptor)) return pe;
    for (; fits(descriptor, 20) && dword(descriptor + 12) != 0; descriptor += 20) {
        size_t name = 0;
        if (!offsetOf(dword(descriptor + 12), name)) break;
        std::string text;
        while (fits(name, 1) && bytes[name] != 0 && text.size() < MAX_PATH)
            text += static_cast<char>(bytes[name++]);
        pe.imports.push_back(text);
    }
    return pe;
}

// The first DLL the library imports from that the loader cannot find where it
// would look for it (as the library itself: the program's and the system folder).
std::wstring MissingImport(const PeFile& library) {
    for (const std::string& name : library.imports) {
        // Names of the API sets are resolved inside the loader, not as files.
        if (_strnicmp(name.c_str(), "api-ms-", 7) == 0 ||
            _strnicmp(name.c_str(), "ext-ms-", 7) == 0)
            continue;
        if (GetModuleHandleA(name.c_str()) != nullptr) continue;
        HMODULE probe = LoadLibraryExA(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | kSearch);
        if (probe == nullptr) return platform::Widen(name.c_str());
        FreeLibrary(probe);
    }
    return {};
}

const wchar_t* MachineBits(WORD machine) {
    return machine == IMAGE_FILE_MACHINE_I386    ? L"32"
           : machine == IMAGE_FILE_MACHINE_AMD64 ? L"64"
                                                 : nullptr;
}

// What went wrong, in words, with what to do, and the system's text beside the number.
std::wstring Explain(DWORD error) {
    const std::wstring headline = L"The device library QDX140.dll could not be loaded.";
    const std::wstring programFolder = ProgramFolder();
    const std::wstring systemFolder = SystemFolder();
    // The file the loader takes: the program's folder first, then the system folder.
    std::wstring file = programFolder + L"\\QDX140.dll";
    if (!IsFile(file)) file = systemFolder + L"\\QDX140.dll";
    if (!IsFile(file)) {
        return headline + L"\n\nIt was looked for in " + programFolder +
               L" (the folder of QDX-Update.exe) and in " + systemFolder +
               L", and it is in neither. Put the maker's QDX140.dll beside QDX-Update.exe." +
               platform::FormatText(L"\n\n(error %lu: %ls)", static_cast<unsigned long>(error),
                                    SystemText(error).c_str());
    }
    const std::wstring reason =
        platform::FormatText(L"\n\n(%ls, error %lu: %ls)", file.c_str(),
                             static_cast<unsigned long>(error), SystemText(error).c_str());
    const PeFile library = ReadPeFile(file);
    if (library.read && library.machine != kOwnMachine) {
        const wchar_t* bits = MachineBits(library.machine);
        if (bits != nullptr) {
            return headline +
                   platform::FormatText(
                       L"\n\nQDX140.dll is a %ls-bit library; use the %ls-bit QDX-Update "
                       L"(win%ls package)",
                       bits, bits, bits) +
                   reason;
        }
        return headline +
               platform::FormatText(
                   L"\n\nQDX140.dll is built for another processor (machine 0x%04X); "
                   L"use a QDX140.dll for %ls Windows.",
                   static_cast<unsigned>(library.machine),
                   sizeof(void*) == 8 ? L"64-bit" : L"32-bit") +
               reason;
    }
    if (library.read && error == ERROR_MOD_NOT_FOUND) {
        const std::wstring missing = MissingImport(library);
        const std::wstring needs = missing.empty() ? L"another DLL" : missing;
        return headline + L"\n\nQDX140.dll needs " + needs +
               L", which is missing on this computer. Install the software that came with "
               L"QDX140.dll, or put " +
               needs + L" beside it." + reason;
    }
    return headline + reason;
}

}  // namespace

BindResult LoadDeviceLibrary(DeviceLibrary& lib) {
    HMODULE module = LoadLibraryExW(L"QDX140.dll", nullptr, kSearch);
    if (module == nullptr) return {false, Explain(GetLastError())};
    BindResult result = BindOperations(lib, ResolveByOrdinal, module);
    if (!result.ok) FreeLibrary(module);
    return result;
}

}  // namespace device
