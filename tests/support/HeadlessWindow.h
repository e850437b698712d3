// A window without a screen: it records what the logic shows, for tests and
// benchmarks.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/LogModel.h"
#include "update/WindowOps.h"

namespace ui {

class HeadlessWindow : public WindowOps {
public:
    void SetFieldText(int controlId, const std::wstring& text) override;
    void EnableControl(int controlId, bool enabled) override;
    void RefreshControl(int controlId) override;
    void AppendLogLine(std::wstring text, LogColour colour) override;
    void ClearLog() override;

    std::wstring field(int controlId) const;
    bool enabled(int controlId) const;  // controls start enabled, as in the template
    int refreshes(int controlId) const;
    const LogModel& log() const { return log_; }
    // Every EnableControl in order, as "+1023" or "-1011".
    const std::vector<std::string>& enableEvents() const { return enableEvents_; }
    void ForgetEvents() { enableEvents_.clear(); }

private:
    std::map<int, std::wstring> fields_;
    std::map<int, bool> enabled_;
    std::map<int, int> refreshes_;
    std::vector<std::string> enableEvents_;
    LogModel log_;
};

}  // namespace ui
