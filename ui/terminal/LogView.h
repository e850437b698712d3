// Which lines of the message log are in view. New lines keep the view at the
// end; once the operator scrolls up the view stays where it is (even while the
// oldest lines are dropped) until they scroll back to the end.
#pragma once

#include <cstddef>

namespace ui::terminal {

class LogView {
public:
    void SetHeight(size_t lines, size_t count);
    size_t height() const { return height_; }

    // After a line was appended; `droppedOldest` when the log was full and its
    // first line went.
    void LineAdded(size_t count, bool droppedOldest);
    void Cleared();

    // Negative: towards older lines.
    void ScrollBy(long lines, size_t count);
    void PageUp(size_t count) { ScrollBy(-static_cast<long>(Page()), count); }
    void PageDown(size_t count) { ScrollBy(static_cast<long>(Page()), count); }
    void ToStart(size_t count);
    void ToEnd(size_t count);

    // Index of the first line in view.
    size_t First(size_t count) const;
    bool following() const { return follow_; }

private:
    size_t Page() const { return height_ > 1 ? height_ - 1 : 1; }
    size_t LastFirst(size_t count) const { return count > height_ ? count - height_ : 0; }

    size_t height_ = 1;
    size_t first_ = 0;  // used only while not following
    bool follow_ = true;
};

}  // namespace ui::terminal
