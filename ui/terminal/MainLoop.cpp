#include "ui/terminal/MainLoop.h"

#include <curses.h>

#include <cstdio>

#include "platform/UserFiles.h"
#include "ui/FlasherDlg.h"
#include "ui/terminal/KeyMap.h"
#include "ui/terminal/RecordKeys.h"
#include "ui/terminal/TerminalSession.h"
#include "ui/terminal/TerminalWindow.h"
#include "ui/terminal/TickClock.h"

namespace ui::terminal {
namespace {

class MainWindow {
public:
    MainWindow() : logic_(records_.front()) { logic_.SetObserver(&records_.observer()); }

    // Runs until the dialog ends; returns the signal that ended it, or 0.
    int Run() {
        logic_.OnInitDialog();
        window_.Present();
        TickClock clock(TickClock::Clock::now());
        while (!ended_) {
            const int signals = TerminalSession::EndSignals();
            if (signals >= 2 || (signals == 1 && TerminalSession::LastEndSignal() == SIGHUP)) {
                // Asked twice, or the terminal is gone: no more waiting.
                return TerminalSession::LastEndSignal();
            }
            if (signals == 1 && !signalSeen_) {
                signalSeen_ = true;
                Close();
                if (ended_) break;
            }
            window_.Present();
            wtimeout(stdscr, clock.WaitMs(TickClock::Clock::now()));
            const int key = wgetch(stdscr);
            if (key != ERR) OnKey(key);
            if (!ended_ && clock.TakeDue(TickClock::Clock::now())) {
                logic_.OnTimer();
                if (logic_.closeDue()) ended_ = true;
            }
            records_.Refresh();
        }
        return signalSeen_ ? TerminalSession::LastEndSignal() : 0;
    }

private:
    void OnKey(int key) {
        const Command command = CommandForKey(key);
        if (command == Command::Resize) {
            window_.Relayout();
            return;
        }
        if (window_.aboutOpen()) {
            // Any key closes the About box and does nothing else.
            window_.CloseAbout();
            return;
        }
        const int button = ButtonOf(command);
        if (button != 0 && !window_.IsEnabled(button)) return;
        switch (command) {
            case Command::Update: logic_.OnUpdateButton(); break;
            case Command::Info: logic_.OnInfoButton(); break;
            case Command::Restart: logic_.OnRestartButton(); break;
            case Command::Exit:
            case Command::Cancel: Close(); break;
            case Command::About: window_.ShowAbout(); break;
            case Command::SaveLog: records_.SaveLog(); break;
            case Command::History: records_.ShowHistory(); break;
            case Command::LineUp: window_.ScrollLines(-1); break;
            case Command::LineDown: window_.ScrollLines(1); break;
            case Command::PageUp: window_.ScrollPages(-1); break;
            case Command::PageDown: window_.ScrollPages(1); break;
            case Command::Home: window_.ScrollToStart(); break;
            case Command::End: window_.ScrollToEnd(); break;
            default: break;
        }
    }

    // Exit, Escape or an end signal. While a worker still uses the device the
    // end waits for the tick that sees its final status.
    void Close() {
        if (closePending_) return;
        if (logic_.RequestClose()) {
            ended_ = true;
            return;
        }
        closePending_ = true;
        window_.ShowClosing();
    }

    CTerminalWindow window_;
    RecordKeys records_{window_, platform::RecordsFolder()};
    CFlasherDlg logic_;
    bool ended_ = false;
    bool closePending_ = false;
    bool signalSeen_ = false;
};

}  // namespace

RunResult RunMainWindow() {
    TerminalSession session;
    if (!session.ok()) {
        std::fprintf(stderr, "%s\n", session.error());
        return {1, 0};
    }
    RunResult result;
    {
        MainWindow window;
        result.endSignal = window.Run();
    }
    session.Restore();
    return result;
}

}  // namespace ui::terminal
