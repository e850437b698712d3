#include "ui/terminal/KeyMap.h"

#include <curses.h>

#include "update/WindowOps.h"

namespace ui::terminal {

Command CommandForKey(int key) {
    switch (key) {
        case 'u':
        case 'U': return Command::Update;
        case 'i':
        case 'I': return Command::Info;
        case 'r':
        case 'R': return Command::Restart;
        case 'e':
        case 'E': return Command::Exit;
        case 's':
        case 'S': return Command::SaveLog;
        case 'h':
        case 'H': return Command::History;
        case 'y':
        case 'Y': return Command::Yes;
        case 'n':
        case 'N': return Command::No;
        case 27: return Command::Cancel;
        case '?': return Command::About;
        case KEY_UP: return Command::LineUp;
        case KEY_DOWN: return Command::LineDown;
        case KEY_PPAGE: return Command::PageUp;
        case KEY_NPAGE: return Command::PageDown;
        case KEY_HOME: return Command::Home;
        case KEY_END: return Command::End;
        case KEY_RESIZE: return Command::Resize;
        default: return key == KEY_F(1) ? Command::About : Command::None;
    }
}

int ButtonOf(Command command) {
    switch (command) {
        case Command::Update: return updateButton;
        case Command::Info: return infoButton;
        case Command::Restart: return restartButton;
        case Command::Exit: return exitButton;
        default: return 0;
    }
}

}  // namespace ui::terminal
