// The update history: the newest records of the records folder, one line each.
#pragma once

#include <string>
#include <vector>

namespace ui::record {

// "2026-12-11 14:30:12  1A2B3  2.4.0.0 -> 2.5.0.0  OK  10.250 s", newest
// first, at most `count` lines. A record cut short (the tool was killed)
// shows "no end" as its result.
std::vector<std::wstring> HistoryLines(const std::string& folder, size_t count);

// One record's line, from the record's text; empty when it is no record.
std::wstring HistoryLine(const std::string& record);

}  // namespace ui::record
