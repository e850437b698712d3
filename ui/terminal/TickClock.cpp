#include "ui/terminal/TickClock.h"

namespace ui::terminal {

int TickClock::WaitMs(Clock::time_point now) const {
    if (now >= due_) return 0;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due_ - now);
    return static_cast<int>(left.count());
}

bool TickClock::TakeDue(Clock::time_point now) {
    if (now < due_) return false;
    due_ += kPeriod;
    if (due_ <= now) due_ = now + kPeriod;
    return true;
}

}  // namespace ui::terminal
