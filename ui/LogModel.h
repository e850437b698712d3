// The message log as every window keeps it: lines with their stored colour,
// at most 10000, the oldest removed first.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "update/WindowOps.h"

namespace ui {

// The colour value stored with a line, 0x00BBGGRR; 0 means "the system's text colour".
uint32_t StoredColour(LogColour colour);

struct LogLine {
    std::wstring text;
    uint32_t colour;  // 0x00BBGGRR, 0 for Black
};

class LogModel {
public:
    static constexpr size_t kMaxLines = 10000;

    void Append(std::wstring text, LogColour colour);
    void Clear() { lines_.clear(); }
    size_t size() const { return lines_.size(); }
    const LogLine& operator[](size_t index) const { return lines_[index]; }
    const std::deque<LogLine>& lines() const { return lines_; }

private:
    std::deque<LogLine> lines_;
};

}  // namespace ui
