#include "ui/LogModel.h"

namespace ui {

uint32_t StoredColour(LogColour colour) {
    switch (colour) {
        case LogColour::Blue: return 0x00CD0000;
        case LogColour::Red: return 0x000000FF;
        case LogColour::Green: return 0x0032C832;
        default: return 0;
    }
}

void LogModel::Append(std::wstring text, LogColour colour) {
    lines_.push_back(LogLine{std::move(text), StoredColour(colour)});
    if (lines_.size() > kMaxLines) lines_.pop_front();
}

}  // namespace ui
