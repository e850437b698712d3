#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "platform/UserFiles.h"

namespace platform {

std::string RecordsFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + "/qdx-update/records";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return std::string();
    return std::string(home) + "/.local/state/qdx-update/records";
}

std::string CurrentFolder() {
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) : std::string();
}

bool MakeFolders(const std::string& path) {
    if (path.empty()) return false;
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = readdir(dir)) {
        struct stat st;
        const std::string name = entry->d_name;
        if (stat(JoinPath(folder, name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

bool ReadFileText(const std::string& path, std::string& text, size_t limit) {
    text.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    char buffer[16384];
    while (text.size() < limit) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    if (text.size() > limit) text.resize(limit);
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

LocalTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

int64_t MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool LineFile::Create(const std::string& path) {
    Close();
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

bool LineFile::Append(const std::string& text) {
    if (!isOpen()) return false;
    const int fd = static_cast<int>(handle_);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Close();
            return false;
        }
        done += static_cast<size_t>(n);
    }
    fdatasync(fd);
    return true;
}

void LineFile::Close() {
    if (isOpen()) close(static_cast<int>(handle_));
    handle_ = kNone;
}

}  // namespace platform
