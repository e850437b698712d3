#include "ui/terminal/LogView.h"

namespace ui::terminal {

void LogView::SetHeight(size_t lines, size_t count) {
    height_ = lines > 0 ? lines : 1;
    if (!follow_ && first_ >= LastFirst(count)) follow_ = true;
}

void LogView::LineAdded(size_t count, bool droppedOldest) {
    if (follow_) return;
    // The same lines stay in view: they moved up by one index.
    if (droppedOldest && first_ > 0) --first_;
    if (first_ > LastFirst(count)) first_ = LastFirst(count);
}

void LogView::Cleared() {
    first_ = 0;
    follow_ = true;
}

void LogView::ScrollBy(long lines, size_t count) {
    const long last = static_cast<long>(LastFirst(count));
    long first = static_cast<long>(First(count)) + lines;
    if (first < 0) first = 0;
    if (first >= last) {
        follow_ = true;
        return;
    }
    first_ = static_cast<size_t>(first);
    follow_ = false;
}

void LogView::ToStart(size_t count) {
    if (LastFirst(count) == 0) {
        follow_ = true;
        return;
    }
    first_ = 0;
    follow_ = false;
}

void LogView::ToEnd(size_t) { follow_ = true; }

size_t LogView::First(size_t count) const { return follow_ ? LastFirst(count) : first_; }

}  // namespace ui::terminal
