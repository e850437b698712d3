// The update as a step machine, one step per 50 ms tick on the window thread.
// All waiting is staying in a step; long stages run on a worker thread.
#pragma once

#include "update/UpdateState.h"
#include "update/WindowOps.h"

namespace update {

// A device that has accepted a restart or the way into its boot loader drops
// its link within the settle second; one that still answers in its old mode
// five seconds after that has not followed the request (it refused it, or the
// request was lost on the way). Time away does not count: a device that is
// away is waited for without limit.
inline constexpr int32_t kWrongModeTicks = 100;  // five seconds
// Sent again twice: a request lost once on a disturbed link gets through; a
// device that has let three go by will not follow a fourth.
inline constexpr int32_t kRequestRepeats = 2;

void UpdateSequenceStep(ui::WindowOps& window);

}  // namespace update
