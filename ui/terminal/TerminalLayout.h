// Where the main window's controls sit in a terminal of a given size. The
// arrangement follows the dialog: the current file across the top, the buttons
// in a column on the right with the progress field under Update, the three
// status fields on the left, QDX Info beside them, and the log below.
#pragma once

namespace ui::terminal {

struct Rect {
    int y = 0;
    int x = 0;
    int height = 0;
    int width = 0;
};

// The smallest terminal that holds the whole window with three log lines.
inline constexpr int kMinRows = 12;
inline constexpr int kMinCols = 64;
inline constexpr int kButtonWidth = 14;

struct Layout {
    int rows = 0;
    int cols = 0;
    bool fits = false;  // false: too small, only a request to enlarge is shown
    Rect currentFile;
    Rect progress;
    Rect linkStatus;
    Rect firmwareVersion;
    Rect serialNumber;
    Rect updateButton;
    Rect restartButton;
    Rect infoButton;
    Rect exitButton;
    int logRuleRow = 0;  // the rule between the status part and the log
    Rect log;            // the log's lines, inside the frame
};

Layout ComputeLayout(int rows, int cols);

// The rectangle of a control, or nullptr for an id the window does not have.
const Rect* ControlRect(const Layout& layout, int controlId);

}  // namespace ui::terminal
