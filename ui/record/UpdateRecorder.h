// The record of an update: a window in front of the real one that passes every
// operation on unchanged and writes, from the Update button to the end of the
// update, one text file in the records folder: the tool and the device as
// shown at the start, the four update files with size, SHA-256 and header
// version, every log line as it is appended with its time and colour, and the
// result. Each line reaches the disk as it is written. A folder that cannot be
// written leaves no record and changes nothing else.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/UserFiles.h"
#include "ui/UpdateObserver.h"
#include "update/WindowOps.h"

namespace ui::record {

struct Clocks {
    std::function<int64_t()> nowMs = platform::MonotonicMs;
    std::function<platform::LocalTime()> localTime = platform::LocalNow;
};

class UpdateRecorder : public WindowOps, public UpdateObserver {
public:
    // `folder` empty: no records folder is known.
    UpdateRecorder(WindowOps& window, std::string folder, Clocks clocks = {});
    // The window closed while an update ran: the record says so.
    ~UpdateRecorder() override;

    void SetFieldText(int controlId, const std::wstring& text) override;
    void EnableControl(int controlId, bool enabled) override;
    void RefreshControl(int controlId) override;
    void AppendLogLine(std::wstring text, LogColour colour) override;
    void ClearLog() override;

    void UpdateStarted() override;
    void UpdateEnded(bool succeeded) override;

    const std::string& folder() const { return folder_; }
    // The file of the running or last update; empty when none was written.
    const std::string& recordPath() const { return recordPath_; }
    bool recording() const { return file_.isOpen(); }
    // What became of the last record, for the operator ("Record: PATH", or
    // why there is none); empty before the first update.
    const std::wstring& note() const { return note_; }
    // False once the folder could not be created or written.
    bool writable() const { return writable_; }

private:
    void Write(const std::wstring& line);
    void End(const wchar_t* result);
    std::wstring DeviceShown() const;

    WindowOps& window_;
    std::string folder_;
    Clocks clocks_;
    platform::LineFile file_;
    std::string recordPath_;
    std::wstring note_;
    bool writable_ = true;
    int64_t startMs_ = 0;
    std::wstring linkStatus_, firmwareVersion_, serialNumber_;
};

// "Blue", "Red", "Green" or "Black" (every other value draws as Black).
const wchar_t* ColourName(LogColour colour);

// The serial number as the field shows it ("Serial Number: 1A2B3"), for a
// file name; "unknown" when the field shows none.
std::string SerialForName(const std::wstring& serialField);

// Writes the lines, one per line, into a new file "YYYYMMDD-HHMMSS-log.txt"
// of the folder (created when missing). Returns the file's path, empty when
// it could not be written.
std::string SaveLogLines(const std::string& folder, const std::vector<std::wstring>& lines,
                         const platform::LocalTime& time);

// The log's lines as UTF-8 text, each ended by `lineEnd`.
std::string LogText(const std::vector<std::wstring>& lines, const char* lineEnd);

}  // namespace ui::record
