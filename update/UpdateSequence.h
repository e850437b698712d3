// The update as a step machine, one step per 50 ms tick on the window thread.
// All waiting is staying in a step; long stages run on a worker thread.
#pragma once

#include "ui/WindowOps.h"

namespace update {

// Steps of note; the others are numbered 1 to 33 in order.
inline constexpr int32_t kStepEndWithError = 99;
inline constexpr int32_t kStepEndQuietly = 100;
inline constexpr int32_t kSettleTicks = 20;  // one second

void UpdateSequenceStep(ui::WindowOps& window);

}  // namespace update
