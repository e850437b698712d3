// The main window drawn in a terminal with curses: the status fields, the four
// buttons with their keys, the coloured message log and the About box. It
// realizes the window operations for the window logic; the loop that feeds it
// keys and ticks is RunMainWindow (MainLoop.h).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/LogModel.h"
#include "ui/terminal/LogView.h"
#include "ui/terminal/TerminalLayout.h"
#include "update/WindowOps.h"

struct _win_st;  // a curses window

namespace ui::terminal {

class CTerminalWindow : public WindowOps {
public:
    // Curses must be running (TerminalSession).
    CTerminalWindow();
    ~CTerminalWindow() override;

    void SetFieldText(int controlId, const std::wstring& text) override;
    void EnableControl(int controlId, bool enabled) override;
    void RefreshControl(int controlId) override;
    void AppendLogLine(std::wstring text, LogColour colour) override;
    void ClearLog() override;

    bool IsEnabled(int controlId) const;

    // Draws every change made since the last call onto the terminal.
    void Present();
    // Takes the terminal's new size and draws everything again.
    void Relayout();

    void ShowAbout();
    // The update history in the About box's place; any key closes it too.
    void ShowHistory(const std::vector<std::wstring>& lines);
    void CloseAbout();
    bool aboutOpen() const { return about_ != nullptr; }

    // A note in the bottom edge in place of the scroll keys (where the update
    // record or a saved log went); empty: the scroll keys again.
    void SetFooterNote(const std::wstring& note);
    const std::wstring& footerNote() const { return footerNote_; }

    // The end was asked for but waits for the device to be free.
    void ShowClosing();
    // Asked again while a worker programs the device: the bottom edge asks
    // whether to quit now and says what that would leave.
    void ShowQuitQuestion(bool shown);
    bool quitQuestionShown() const { return asking_; }

    // Scrolling the log: lines (negative: older), pages, start, end.
    void ScrollLines(long lines);
    void ScrollPages(long pages);
    void ScrollToStart();
    void ScrollToEnd();

    const LogModel& log() const { return log_; }

private:
    struct Field {
        std::wstring text;
        bool enabled = true;
    };

    void PaintAll();
    void PaintFrame();
    void PaintControl(int controlId);
    void PaintField(int controlId, const Rect& rect);
    void PaintButton(int controlId, const Rect& rect);
    void PaintLog();
    void PaintLogPosition();
    void PaintQuitQuestion();
    void PaintAbout();
    void PaintHistory();
    void PaintFooterNote();
    void OpenBox(int height, int width);
    void PaintTooSmall();

    std::map<int, Field> controls_;
    LogModel log_;
    LogView view_;
    Layout layout_;
    _win_st* about_ = nullptr;           // the About box (or the history) while it is shown
    std::vector<std::wstring> history_;  // the history's lines while it is shown
    bool historyShown_ = false;
    std::wstring footerNote_;
    bool closing_ = false;
    bool asking_ = false;
    bool colours_ = false;
};

}  // namespace ui::terminal
