#include "tests/support/HeadlessWindow.h"

namespace ui {

void HeadlessWindow::SetFieldText(int controlId, const std::wstring& text) {
    fields_[controlId] = text;
}

void HeadlessWindow::EnableControl(int controlId, bool enabled) {
    enabled_[controlId] = enabled;
    std::string event(1, enabled ? '+' : '-');
    event += std::to_string(controlId);
    enableEvents_.push_back(std::move(event));
}

void HeadlessWindow::RefreshControl(int controlId) { ++refreshes_[controlId]; }

void HeadlessWindow::AppendLogLine(std::wstring text, LogColour colour) {
    log_.Append(std::move(text), colour);
    RefreshControl(logList);
}

void HeadlessWindow::ClearLog() { log_.Clear(); }

std::wstring HeadlessWindow::field(int controlId) const {
    auto it = fields_.find(controlId);
    return it == fields_.end() ? std::wstring() : it->second;
}

bool HeadlessWindow::enabled(int controlId) const {
    auto it = enabled_.find(controlId);
    return it == enabled_.end() || it->second;
}

int HeadlessWindow::refreshes(int controlId) const {
    auto it = refreshes_.find(controlId);
    return it == refreshes_.end() ? 0 : it->second;
}

}  // namespace ui
