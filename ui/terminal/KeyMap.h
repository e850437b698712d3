// What a key does in the main window.
#pragma once

namespace ui::terminal {

enum class Command {
    None,
    Update,   // U
    Info,     // I
    Restart,  // R
    Exit,     // E: the Exit button
    Cancel,   // Escape: ends the dialog like the Exit button, but is never disabled
    About,    // F1 or ?
    SaveLog,  // S: the shown log into the records folder
    History,  // H: the last update records
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    Home,
    End,
    Resize,
    Yes,  // Y: quit now, when the window asks
    No,   // N: keep waiting, when the window asks
};

// `key` is a key as the curses library reports it.
Command CommandForKey(int key);

// The button a command presses, or 0 when it presses none.
int ButtonOf(Command command);

}  // namespace ui::terminal
