#include "ui/terminal/MainLoop.h"

#include <curses.h>
#include <poll.h>

#include <cstdio>

#include "platform/UserFiles.h"
#include "ui/FlasherDlg.h"
#include "ui/terminal/EndControl.h"
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

    // Runs until the dialog ends.
    RunResult Run() {
        logic_.OnInitDialog();
        window_.Present();
        TickClock clock(TickClock::Clock::now());
        while (!end_.ended()) {
            while (const int signal = TerminalSession::TakeEndSignal()) Close(signal);
            if (end_.ended()) break;
            window_.Present();
            const int waitMs = clock.WaitMs(TickClock::Clock::now());
            if (end_.hungUp()) {
                // The terminal is gone: a read would return at once, so only
                // the ticks go on until the worker's stage is over.
                poll(nullptr, 0, waitMs);
            } else {
                wtimeout(stdscr, waitMs);
                const int key = wgetch(stdscr);
                if (key != ERR) OnKey(key);
            }
            if (!end_.ended() && clock.TakeDue(TickClock::Clock::now())) {
                logic_.OnTimer();
                if (logic_.closeDue()) end_.OnCloseDue();
            }
            records_.Refresh();
        }
        RunResult result;
        result.endSignal = end_.endSignal();
        if (end_.quitNow()) result.exitCode = ui::kQuitNowExitCode;
        return result;
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
        if (end_.OnAnswer(command)) {
            window_.ShowQuitQuestion(end_.asking());
            return;
        }
        const int button = ButtonOf(command);
        if (button != 0 && !window_.IsEnabled(button)) return;
        switch (command) {
            case Command::Update: logic_.OnUpdateButton(); break;
            case Command::Info: logic_.OnInfoButton(); break;
            case Command::Restart: logic_.OnRestartButton(); break;
            case Command::Exit:
            case Command::Cancel: Close(0); break;
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

    // Exit, Escape or an end signal (0 for a key). While a worker still uses
    // the device the end waits for the tick that shows its result; asked again,
    // the bottom edge asks whether to quit now.
    void Close(int signal) {
        const bool wasClosing = end_.closing();
        end_.OnRequest(logic_.RequestClose(), signal);
        if (end_.closing() && !wasClosing) window_.ShowClosing();
        window_.ShowQuitQuestion(end_.asking());
    }

    CTerminalWindow window_;
    RecordKeys records_{window_, platform::RecordsFolder()};
    CFlasherDlg logic_;
    EndControl end_;
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
        result = window.Run();
    }
    session.Restore();
    return result;
}

}  // namespace ui::terminal
