// Update files: opened by relative name against the current directory, read
// only, as an existing file, with no sharing, so another process cannot change
// a file while it is sent and a file another process holds counts as missing.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class InputFile {
public:
    InputFile() = default;
    ~InputFile() { Close(); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens for reading only, relative to the current directory, without
    // sharing (as every update file is opened). Fails when the file is
    // missing, held by another process, not a regular file, or when its full
    // path does not fit in 260 characters.
    bool Open(const std::wstring& name);
    // Bytes read (0 at the end of the file), or -1 when the read failed.
    int32_t Read(void* buffer, uint32_t count);
    // The file's length; false when it cannot be taken.
    bool Length(uint64_t& length);
    void Close();
    bool isOpen() const { return handle_ != kNone; }

private:
    static constexpr intptr_t kNone = -1;
    intptr_t handle_ = kNone;
};

inline constexpr size_t kMaxPath = 260;

// An ANSI file name to wide text with this thread's code page.
std::wstring AnsiToWide(const char* ansi);

}  // namespace platform
