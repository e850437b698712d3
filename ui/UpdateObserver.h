// Told where an update begins and ends, beside the window operations.
#pragma once

namespace ui {

class UpdateObserver {
public:
    virtual ~UpdateObserver() = default;
    // The Update button has started the sequence; the files are not yet opened.
    virtual void UpdateStarted() = 0;
    // The sequence has returned to rest: with "QDX-Update OK" or without.
    virtual void UpdateEnded(bool succeeded) = 0;
};

}  // namespace ui
