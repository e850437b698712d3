// The 50 ms timer of the main window as a deadline: the input wait lasts until
// the next tick is due, so key presses neither delay nor hasten the ticks. A
// tick that comes late by more than a whole period is not caught up: like a
// window timer, missed expiries merge into one.
#pragma once

#include <chrono>

namespace ui::terminal {

class TickClock {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPeriod{50};

    explicit TickClock(Clock::time_point start) : due_(start + kPeriod) {}

    // Milliseconds to wait for a key before the next tick is due, rounded up;
    // 0 when it is due.
    int WaitMs(Clock::time_point now) const;

    // True when a tick is due at `now`; then the next one is set.
    bool TakeDue(Clock::time_point now);

    Clock::time_point due() const { return due_; }

private:
    Clock::time_point due_;
};

}  // namespace ui::terminal
