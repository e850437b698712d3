#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/File.h"

namespace platform {

bool InputFile::Open(const std::wstring& name) {
    Close();
    // Wide name to the locale's multibyte text.
    std::vector<char> narrow(name.size() * MB_LEN_MAX + 1);
    if (std::wcstombs(narrow.data(), name.c_str(), narrow.size()) == static_cast<size_t>(-1))
        return false;
    std::string path(narrow.data());
    if (path.empty()) return false;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) == nullptr) return false;
        path = std::string(cwd) + "/" + path;
    }
    if (path.size() >= kMaxPath) return false;

    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    // No sharing: a file another process holds (or this one, twice) cannot be opened.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

int32_t InputFile::Read(void* buffer, uint32_t count) {
    if (!isOpen()) return -1;
    for (;;) {
        const ssize_t n = read(static_cast<int>(handle_), buffer, count);
        if (n >= 0) return static_cast<int32_t>(n);
        if (errno != EINTR) return -1;
    }
}

bool InputFile::Length(uint64_t& length) {
    struct stat st;
    if (!isOpen() || fstat(static_cast<int>(handle_), &st) != 0) return false;
    length = static_cast<uint64_t>(st.st_size);
    return true;
}

void InputFile::Close() {
    if (isOpen()) close(static_cast<int>(handle_));  // also releases the lock
    handle_ = kNone;
}

std::wstring AnsiToWide(const char* ansi) {
    std::vector<wchar_t> wide(std::char_traits<char>::length(ansi) + 1);
    const size_t n = std::mbstowcs(wide.data(), ansi, wide.size());
    if (n == static_cast<size_t>(-1)) {
        std::wstring bytes;  // not valid in the locale: byte for byte
        for (const char* p = ansi; *p != '\0'; ++p) bytes.push_back(static_cast<unsigned char>(*p));
        return bytes;
    }
    return std::wstring(wide.data(), n);
}

}  // namespace platform
