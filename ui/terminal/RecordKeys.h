// The update record in the terminal: the recorder in front of the window, the
// S key (save the shown log into the records folder), the H key (the history
// of the last records) and the footer that says where the record went.
#pragma once

#include <string>

#include "ui/record/UpdateRecorder.h"
#include "ui/terminal/TerminalWindow.h"

namespace ui::terminal {

class RecordKeys {
public:
    RecordKeys(CTerminalWindow& window, std::string folder);

    // The window the logic writes to, and the observer of its updates.
    WindowOps& front() { return recorder_; }
    UpdateObserver& observer() { return recorder_; }

    void SaveLog();
    void ShowHistory();
    // After a key or a tick: the footer follows the record's note.
    void Refresh();

private:
    CTerminalWindow& window_;
    record::UpdateRecorder recorder_;
    std::wstring shownNote_;
};

}  // namespace ui::terminal
