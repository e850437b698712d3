// Files of the user's own: the records folder, files written line by line,
// folder listings. Paths are UTF-8 text on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The per-user records folder: %LOCALAPPDATA%\QDX-Update\records on Windows,
// ${XDG_STATE_HOME:-$HOME/.local/state}/qdx-update/records elsewhere. Empty
// when neither is known. Nothing is created.
std::string RecordsFolder();

// The process's current directory.
std::string CurrentFolder();

// Creates the folder and every missing parent; true when it exists afterwards.
bool MakeFolders(const std::string& path);

// Every regular file's name in a folder (not its path), in no order.
std::vector<std::string> ListFiles(const std::string& folder);

// At most `limit` bytes of a file; false when it cannot be read.
bool ReadFileText(const std::string& path, std::string& text, size_t limit);

// Joins a folder and a name with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

struct LocalTime {
    int year, month, day, hour, minute, second;
};
LocalTime LocalNow();
// A steady clock in milliseconds, for durations.
int64_t MonotonicMs();

// A new file written in whole lines: each Append reaches the disk before it
// returns, so a crash or power loss keeps every line appended so far.
class LineFile {
public:
    LineFile() = default;
    ~LineFile() { Close(); }
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    // Fails when the file exists already or cannot be created.
    bool Create(const std::string& path);
    // Writes the text as it is (the caller gives the line ends); false on a
    // write error, after which the file takes nothing more.
    bool Append(const std::string& text);
    void Close();
    bool isOpen() const { return handle_ != kNone; }

private:
    static constexpr intptr_t kNone = -1;
    intptr_t handle_ = kNone;
};

}  // namespace platform
