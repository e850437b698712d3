#include "ui/terminal/TerminalLayout.h"

#include "update/WindowOps.h"

namespace ui::terminal {

Layout ComputeLayout(int rows, int cols) {
    Layout l;
    l.rows = rows;
    l.cols = cols;
    l.fits = rows >= kMinRows && cols >= kMinCols;
    if (!l.fits) return l;

    // Row 0 and the last row are the frame; column 0 and the last column too.
    const int left = 2;
    const int right = cols - 2 - kButtonWidth;    // the button column
    const int middle = right - 2 - kButtonWidth;  // QDX Info, beside the firmware version

    l.currentFile = {2, left, 1, right - 2 - left};
    l.updateButton = {2, right, 1, kButtonWidth};
    l.progress = {3, right, 1, kButtonWidth};
    l.linkStatus = {4, left, 1, right - 2 - left};
    l.restartButton = {4, right, 1, kButtonWidth};
    l.firmwareVersion = {5, left, 1, middle - 2 - left};
    l.infoButton = {5, middle, 1, kButtonWidth};
    l.exitButton = {5, right, 1, kButtonWidth};
    l.serialNumber = {6, left, 1, right - 2 - left};
    l.logRuleRow = 7;
    l.log = {8, 1, rows - 1 - 8, cols - 2};
    return l;
}

const Rect* ControlRect(const Layout& layout, int controlId) {
    switch (controlId) {
        case exitButton: return &layout.exitButton;
        case linkStatusField: return &layout.linkStatus;
        case logList: return &layout.log;
        case restartButton: return &layout.restartButton;
        case firmwareVersionField: return &layout.firmwareVersion;
        case serialNumberField: return &layout.serialNumber;
        case progressField: return &layout.progress;
        case currentFileField: return &layout.currentFile;
        case infoButton: return &layout.infoButton;
        case updateButton: return &layout.updateButton;
        default: return nullptr;
    }
}

}  // namespace ui::terminal
