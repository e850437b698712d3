// The three workers, each the entry of a thread with one integer argument.
// They report only through the worker status and the two worker texts.
#pragma once

#include <cstdint>

#include "ui/WindowOps.h"

namespace update {

// Programs an update file into flash area 10, 9 or 3 (imageFileName names it).
int32_t FlashImageWorker(int32_t area);

// The 2048-byte system parameter area with its checksum, rebuilt from
// parameterValues; logs its line and starts ParameterImageWorker with 2.
inline constexpr int kSystemParameterImageSize = 2048;
extern uint8_t systemParameterImage[kSystemParameterImageSize];
void BuildSystemParameterImage(ui::WindowOps& window);
int32_t ParameterImageWorker(int32_t area);

// Streams the FPGA configuration (imageFileName) to the JTAG programmer. The
// argument's low byte, signed: target = a / 2, encrypted = a % 2 == 1.
int32_t FpgaTransferWorker(int32_t argument);

}  // namespace update
