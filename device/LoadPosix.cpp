// Linux: the library is libQDX140.so in the program's own folder, resolved from
// /proc/self/exe so that neither the search path nor the current directory counts.
#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <string>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"

namespace device {
namespace {

constexpr const char* kLibraryName = "libQDX140.so";

// The folder of the program, or empty when the program cannot tell where it
// lies (no /proc): then there is no safe place to load the library from.
std::string ProgramFolder(const char* programLink, int& error) {
    char path[PATH_MAX];
    const ssize_t n = readlink(programLink, path, sizeof path - 1);
    if (n <= 0) {
        error = n < 0 ? errno : ENOENT;
        return {};
    }
    std::string full(path, static_cast<size_t>(n));
    const size_t slash = full.rfind('/');
    if (slash == std::string::npos) {
        error = ENOENT;
        return {};
    }
    return slash == 0 ? std::string("/") : full.substr(0, slash);
}

struct ElfKind {
    bool read = false;
    unsigned char elfClass = 0;  // ELFCLASS32 or ELFCLASS64
    unsigned machine = 0;
};

// Class and machine from an ELF header (both header layouts agree up to e_machine).
ElfKind ReadElfKind(const std::string& file) {
    ElfKind kind;
    std::ifstream in(file, std::ios::binary);
    unsigned char header[EI_NIDENT + 4] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return kind;
    if (std::memcmp(header, ELFMAG, SELFMAG) != 0) return kind;
    kind.read = true;
    kind.elfClass = header[EI_CLASS];
    const unsigned lo = header[EI_NIDENT + 2], hi = header[EI_NIDENT + 3];
    kind.machine = header[EI_DATA] == ELFDATA2MSB ? (lo << 8 | hi) : (hi << 8 | lo);
    return kind;
}

const wchar_t* ClassName(unsigned char elfClass) {
    return elfClass == ELFCLASS32 ? L"32-bit" : elfClass == ELFCLASS64 ? L"64-bit" : L"unknown";
}

// What went wrong, in words, from what is in the folder and what dlopen said.
std::wstring Explain(const std::string& folder, const std::string& file,
                     const std::string& programLink, const std::string& systemText) {
    const std::wstring wideFile = platform::Widen(file.c_str());
    const std::wstring reason = L"\n(" + platform::Widen(systemText.c_str()) + L")";
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        return L"The device library " + platform::Widen(kLibraryName) +
               L" was not found. It was looked for in " + platform::Widen(folder.c_str()) +
               L", the folder of qdx-update, and only there. Put libQDX140.so beside qdx-update." +
               reason;
    }
    const ElfKind library = ReadElfKind(file);
    const ElfKind program = ReadElfKind(programLink);
    if (library.read && program.read && library.elfClass != program.elfClass) {
        return platform::FormatText(
                   L"The device library %ls is a %ls library; qdx-update is a %ls "
                   L"program and needs a %ls libQDX140.so.",
                   wideFile.c_str(), ClassName(library.elfClass), ClassName(program.elfClass),
                   ClassName(program.elfClass)) +
               reason;
    }
    if (library.read && program.read && library.machine != program.machine) {
        return platform::FormatText(
                   L"The device library %ls is built for another processor "
                   L"(machine %u, this computer runs machine %u).",
                   wideFile.c_str(), library.machine, program.machine) +
               reason;
    }
    // dlopen names a missing dependency first: "libfoo.so.1: cannot open shared object file".
    const std::string missing = ": cannot open shared object file";
    const size_t at = systemText.find(missing);
    if (at != std::string::npos && systemText.compare(0, at, file) != 0) {
        return L"The device library " + wideFile + L" needs " +
               platform::Widen(systemText.substr(0, at).c_str()) +
               L", which is not installed on this computer. Install the package that provides it." +
               reason;
    }
    return L"The device library " + wideFile + L" could not be loaded." + reason;
}

void* ResolveByName(void* handle, const Operation& op) { return dlsym(handle, op.name); }

}  // namespace

BindResult LoadDeviceLibraryBeside(DeviceLibrary& lib, const char* programLink) {
    int error = 0;
    const std::string folder = ProgramFolder(programLink, error);
    if (folder.empty()) {
        // Never fall back to the current directory: update files from anywhere lie there.
        return {false,
                L"The device library libQDX140.so is loaded only from the folder of "
                L"qdx-update, and that folder could not be found (" +
                    platform::Widen(programLink) + L": " + platform::Widen(std::strerror(error)) +
                    L"). Start qdx-update where /proc is mounted."};
    }
    const std::string file = (folder == "/" ? std::string() : folder) + "/" + kLibraryName;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        return {false, Explain(folder, file, programLink, text != nullptr ? text : "")};
    }
    BindResult result = BindOperations(lib, ResolveByName, handle);
    if (!result.ok) dlclose(handle);
    return result;
}

BindResult LoadDeviceLibrary(DeviceLibrary& lib) {
    return LoadDeviceLibraryBeside(lib, "/proc/self/exe");
}

}  // namespace device
