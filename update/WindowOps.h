// The five operations through which the window logic touches the window. The
// Win32 dialog, the terminal and the headless test window each realize them.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

// Control identifiers of the main window.
enum ControlId : int {
    exitButton = 1,
    linkStatusField = 1008,
    logList = 1010,
    restartButton = 1011,
    firmwareVersionField = 1013,
    serialNumberField = 1014,
    progressField = 1016,
    currentFileField = 1017,
    infoButton = 1022,
    updateButton = 1023,
};

// Colour of a log line. Any value other than Blue, Red and Green draws as Black.
enum class LogColour : uint8_t { Black = 0, Blue = 1, Red = 2, Green = 3 };

class WindowOps {
public:
    virtual ~WindowOps() = default;
    virtual void SetFieldText(int controlId, const std::wstring& text) = 0;
    virtual void EnableControl(int controlId, bool enabled) = 0;
    // Repaints the control at once, without waiting for the message loop.
    virtual void RefreshControl(int controlId) = 0;
    // Appends one line, keeps at most 10000 (the oldest goes), shows the newest.
    virtual void AppendLogLine(std::wstring text, LogColour colour) = 0;
    virtual void ClearLog() = 0;
};

}  // namespace ui
