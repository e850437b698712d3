#include "ui/terminal/TerminalWindow.h"

#include <curses.h>

#include <algorithm>

#include "platform/Text.h"

#ifndef QDX_VERSION
#define QDX_VERSION "0"
#endif

namespace ui::terminal {
namespace {

constexpr short kBluePair = 1;
constexpr short kRedPair = 2;
constexpr short kGreenPair = 3;

// The log's fixed colours: the nearest of the 256-colour palette where the
// terminal has it (0,0,205 / 255,0,0 / 50,200,50), else the basic ones.
void InitColours() {
    start_color();
    const short background = use_default_colors() == OK ? -1 : COLOR_BLACK;
    const bool many = COLORS >= 256;
    init_pair(kBluePair, many ? 20 : COLOR_BLUE, background);
    init_pair(kRedPair, many ? 196 : COLOR_RED, background);
    init_pair(kGreenPair, many ? 77 : COLOR_GREEN, background);
}

const struct {
    int id;
    char key;
    const wchar_t* text;
} kButtons[] = {
    {updateButton, 'U', L"Update"},
    {infoButton, 'I', L"QDX Info"},
    {restartButton, 'R', L"Restart"},
    {exitButton, 'E', L"Exit"},
};

const int kFields[] = {currentFileField, progressField, linkStatusField, firmwareVersionField,
                       serialNumberField};

void PutText(WINDOW* win, int y, int x, const std::wstring& text, int width) {
    if (width <= 0) return;
    mvwhline(win, y, x, ' ', width);
    mvwaddnwstr(win, y, x, text.c_str(), std::min<int>(width, static_cast<int>(text.size())));
}

void PutText(WINDOW* win, int y, int x, const wchar_t* text) { mvwaddwstr(win, y, x, text); }

}  // namespace

CTerminalWindow::CTerminalWindow() {
    // Every field starts empty and every button enabled, as the dialog's
    // template makes them; OnInitDialog sets them from there.
    for (int id : kFields) controls_[id] = Field{};
    for (const auto& b : kButtons) controls_[b.id] = Field{};
    colours_ = has_colors();
    if (colours_) InitColours();
    Relayout();
}

CTerminalWindow::~CTerminalWindow() { CloseAbout(); }

void CTerminalWindow::SetFieldText(int controlId, const std::wstring& text) {
    auto it = controls_.find(controlId);
    if (it == controls_.end() || it->second.text == text) return;
    it->second.text = text;
    PaintControl(controlId);
}

void CTerminalWindow::EnableControl(int controlId, bool enabled) {
    auto it = controls_.find(controlId);
    if (it == controls_.end() || it->second.enabled == enabled) return;
    it->second.enabled = enabled;
    PaintControl(controlId);
}

void CTerminalWindow::RefreshControl(int controlId) {
    PaintControl(controlId);
    Present();
}

void CTerminalWindow::AppendLogLine(std::wstring text, LogColour colour) {
    const size_t before = log_.size();
    log_.Append(std::move(text), colour);
    view_.LineAdded(log_.size(), log_.size() == before);
    PaintLog();
    Present();
}

void CTerminalWindow::ClearLog() {
    log_.Clear();
    view_.Cleared();
    PaintLog();
}

bool CTerminalWindow::IsEnabled(int controlId) const {
    auto it = controls_.find(controlId);
    return it != controls_.end() && it->second.enabled;
}

void CTerminalWindow::Present() {
    wnoutrefresh(stdscr);
    if (about_ != nullptr) {
        touchwin(about_);
        wnoutrefresh(about_);
    }
    doupdate();
}

void CTerminalWindow::Relayout() {
    layout_ = ComputeLayout(LINES, COLS);
    view_.SetHeight(static_cast<size_t>(std::max(layout_.log.height, 1)), log_.size());
    if (about_ != nullptr) {
        const bool history = historyShown_;
        const std::vector<std::wstring> lines = history_;
        CloseAbout();
        if (history)
            ShowHistory(lines);
        else
            ShowAbout();
    }
    PaintAll();
}

void CTerminalWindow::OpenBox(int height, int width) {
    height = std::min(height, LINES);
    width = std::min(width, COLS);
    about_ = newwin(height, width, (LINES - height) / 2, (COLS - width) / 2);
}

void CTerminalWindow::ShowAbout() {
    if (about_ != nullptr) return;
    OpenBox(7, 40);
    if (about_ != nullptr) PaintAbout();
}

void CTerminalWindow::ShowHistory(const std::vector<std::wstring>& lines) {
    if (about_ != nullptr) return;
    size_t widest = 30;
    for (const std::wstring& line : lines) widest = std::max(widest, line.size());
    OpenBox(static_cast<int>(lines.size()) + 4, static_cast<int>(widest) + 4);
    if (about_ == nullptr) return;
    history_ = lines;
    historyShown_ = true;
    PaintHistory();
}

void CTerminalWindow::CloseAbout() {
    if (about_ == nullptr) return;
    delwin(about_);
    about_ = nullptr;
    history_.clear();
    historyShown_ = false;
    touchwin(stdscr);
}

void CTerminalWindow::SetFooterNote(const std::wstring& note) {
    if (note == footerNote_) return;
    footerNote_ = note;
    PaintFooterNote();
}

void CTerminalWindow::ShowClosing() {
    closing_ = true;
    PaintAll();
}

void CTerminalWindow::ShowQuitQuestion(bool shown) {
    if (asking_ == shown) return;
    asking_ = shown;
    PaintFrame();
}

void CTerminalWindow::ScrollLines(long lines) {
    view_.ScrollBy(lines, log_.size());
    PaintLog();
}

void CTerminalWindow::ScrollPages(long pages) {
    if (pages < 0)
        view_.PageUp(log_.size());
    else
        view_.PageDown(log_.size());
    PaintLog();
}

void CTerminalWindow::ScrollToStart() {
    view_.ToStart(log_.size());
    PaintLog();
}

void CTerminalWindow::ScrollToEnd() {
    view_.ToEnd(log_.size());
    PaintLog();
}

void CTerminalWindow::PaintAll() {
    werase(stdscr);
    if (!layout_.fits) {
        PaintTooSmall();
        return;
    }
    PaintFrame();
    for (int id : kFields) PaintControl(id);
    for (const auto& b : kButtons) PaintControl(b.id);
    PaintLog();
}

void CTerminalWindow::PaintFrame() {
    if (!layout_.fits) return;
    const int cols = layout_.cols;
    wattrset(stdscr, A_NORMAL);
    box(stdscr, 0, 0);
    wattron(stdscr, A_BOLD);
    PutText(stdscr, 0, 2, L" QDX-Update ");
    wattroff(stdscr, A_BOLD);
    if (closing_) PutText(stdscr, 0, 15, L" closing after this stage ");
    PutText(stdscr, 0, cols - 18, L" F1 or ? About ");
    const int rule = layout_.logRuleRow;
    mvwaddch(stdscr, rule, 0, ACS_LTEE);
    mvwhline(stdscr, rule, 1, ACS_HLINE, cols - 2);
    mvwaddch(stdscr, rule, cols - 1, ACS_RTEE);
    PutText(stdscr, rule, 2, L" Log ");
    // The bottom edge holds the question while it is asked, else the note or
    // the scroll keys, and the log position.
    if (asking_) {
        mvwhline(stdscr, layout_.rows - 1, 1, ACS_HLINE, cols - 2);
        PaintQuitQuestion();
        return;
    }
    PaintFooterNote();
    PaintLogPosition();
}

void CTerminalWindow::PaintFooterNote() {
    if (!layout_.fits || asking_) return;
    const int bottom = layout_.rows - 1;
    const int width = layout_.cols - 2 - 28 - 3;  // up to the log position
    mvwhline(stdscr, bottom, 1, ACS_HLINE, width + 1);
    if (footerNote_.empty()) {
        // The scroll keys.
        mvwaddstr(stdscr, bottom, 2, " ");
        waddch(stdscr, ACS_UARROW);
        waddch(stdscr, ACS_DARROW);
        waddstr(stdscr, " PgUp PgDn Home End: scroll ");
        return;
    }
    // A long note keeps its label ("Record: ") and the end of its path, where
    // the file's name is.
    std::wstring text = footerNote_;
    const auto room = static_cast<size_t>(std::max(width - 2, 1));
    if (text.size() > room) {
        const size_t colon = text.find(L": ");
        const std::wstring label =
            colon != std::wstring::npos && colon + 3 < room / 2 ? text.substr(0, colon + 2) : L"";
        text = label + L"\u2026" + text.substr(text.size() - (room - label.size() - 1));
    }
    text = L" " + text + L" ";
    mvwaddnwstr(stdscr, bottom, 2, text.c_str(), static_cast<int>(text.size()));
}

void CTerminalWindow::PaintControl(int controlId) {
    if (!layout_.fits) return;
    if (controlId == logList) {
        PaintLog();
        return;
    }
    const Rect* rect = ControlRect(layout_, controlId);
    if (rect == nullptr) return;
    for (const auto& b : kButtons) {
        if (b.id == controlId) {
            PaintButton(controlId, *rect);
            return;
        }
    }
    PaintField(controlId, *rect);
}

void CTerminalWindow::PaintField(int controlId, const Rect& rect) {
    const std::wstring& text = controls_[controlId].text;
    wattrset(stdscr, A_NORMAL);
    if (controlId == progressField) {
        // The progress field centres its text.
        const int shown = std::min<int>(rect.width, static_cast<int>(text.size()));
        mvwhline(stdscr, rect.y, rect.x, ' ', rect.width);
        mvwaddnwstr(stdscr, rect.y, rect.x + (rect.width - shown) / 2, text.c_str(), shown);
        return;
    }
    PutText(stdscr, rect.y, rect.x, text, rect.width);
}

void CTerminalWindow::PaintButton(int controlId, const Rect& rect) {
    for (const auto& b : kButtons) {
        if (b.id != controlId) continue;
        mvwhline(stdscr, rect.y, rect.x, ' ', rect.width);
        const bool enabled = controls_[controlId].enabled;
        if (enabled) {
            wattrset(stdscr, A_NORMAL);
            mvwaddch(stdscr, rect.y, rect.x, '[');
            wattron(stdscr, A_BOLD | A_REVERSE);
            waddch(stdscr, static_cast<chtype>(b.key));
            wattrset(stdscr, A_NORMAL);
            waddstr(stdscr, "] ");
            waddwstr(stdscr, b.text);
        } else {
            // A disabled button shows no key: its key does nothing.
            wattrset(stdscr, A_DIM);
            mvwaddstr(stdscr, rect.y, rect.x, "[-] ");
            waddwstr(stdscr, b.text);
            wattrset(stdscr, A_NORMAL);
        }
        return;
    }
}

void CTerminalWindow::PaintLog() {
    if (!layout_.fits) return;
    const Rect& r = layout_.log;
    const size_t count = log_.size();
    const size_t first = view_.First(count);
    for (int row = 0; row < r.height; ++row) {
        const size_t index = first + static_cast<size_t>(row);
        wattrset(stdscr, A_NORMAL);
        mvwhline(stdscr, r.y + row, r.x, ' ', r.width);
        if (index >= count) continue;
        const LogLine& line = log_[index];
        attr_t attr = A_NORMAL;
        // The stored colour picks the ink; 0 draws in the terminal's own text colour.
        short pair = 0;
        if (line.colour == StoredColour(LogColour::Blue))
            pair = kBluePair;
        else if (line.colour == StoredColour(LogColour::Red))
            pair = kRedPair;
        else if (line.colour == StoredColour(LogColour::Green))
            pair = kGreenPair;
        if (pair != 0) {
            if (colours_)
                attr = COLOR_PAIR(pair);
            else if (pair == kRedPair)
                attr = A_BOLD;
        }
        wattrset(stdscr, static_cast<int>(attr));
        mvwaddnwstr(stdscr, r.y + row, r.x, line.text.c_str(),
                    std::min<int>(r.width, static_cast<int>(line.text.size())));
    }
    wattrset(stdscr, A_NORMAL);

    // A scroll bar in the right edge when the log holds more than fits.
    const int edge = layout_.cols - 1;
    const size_t height = static_cast<size_t>(r.height);
    size_t thumbTop = 0, thumbSize = height;
    if (count > height) {
        thumbSize = std::max<size_t>(1, height * height / count);
        thumbTop = first * (height - thumbSize) / (count - height);
    }
    for (size_t row = 0; row < height; ++row) {
        const bool thumb = count > height && row >= thumbTop && row < thumbTop + thumbSize;
        mvwaddch(stdscr, r.y + static_cast<int>(row), edge, thumb ? ACS_CKBOARD : ACS_VLINE);
    }
    PaintLogPosition();
}

void CTerminalWindow::PaintQuitQuestion() {
    wattrset(stdscr, A_BOLD | A_REVERSE);
    // 59 columns: it fits the smallest window.
    PutText(stdscr, layout_.rows - 1, 2,
            L" Quit now? The device may be left partly programmed. [Y/N] ");
    wattrset(stdscr, A_NORMAL);
}

void CTerminalWindow::PaintLogPosition() {
    if (!layout_.fits || asking_) return;
    const int bottom = layout_.rows - 1;
    const int width = 28;
    const int x = layout_.cols - 2 - width;
    mvwhline(stdscr, bottom, x, ACS_HLINE, width);
    const size_t count = log_.size();
    if (count == 0) return;
    const size_t first = view_.First(count);
    const size_t last = std::min(count, first + view_.height());
    std::wstring text = platform::FormatText(L" %zu-%zu of %zu ", first + 1, last, count);
    if (!view_.following()) text = L" End: newest " + text;
    const int shown = std::min<int>(width, static_cast<int>(text.size()));
    mvwaddnwstr(stdscr, bottom, x + width - shown, text.c_str(), shown);
}

void CTerminalWindow::PaintAbout() {
    WINDOW* w = about_;
    werase(w);
    box(w, 0, 0);
    const int width = getmaxx(w);
    auto centred = [&](int y, const std::wstring& text, attr_t attr) {
        const int shown = std::min<int>(width - 2, static_cast<int>(text.size()));
        wattrset(w, static_cast<int>(attr));
        mvwaddnwstr(w, y, std::max(1, (width - shown) / 2), text.c_str(), shown);
        wattrset(w, A_NORMAL);
    };
    centred(0, L" About QDX-Update ", A_NORMAL);
    centred(2, L"QDX-Update", A_BOLD);
    centred(3, platform::FormatText(L"Version %ls", platform::Widen(QDX_VERSION).c_str()),
            A_NORMAL);
    centred(5, L"Press any key", A_DIM);
}

void CTerminalWindow::PaintHistory() {
    WINDOW* w = about_;
    werase(w);
    box(w, 0, 0);
    const int width = getmaxx(w), height = getmaxy(w);
    mvwaddwstr(w, 0, 2, L" Update History ");
    for (size_t i = 0; i < history_.size() && static_cast<int>(i) + 2 < height - 1; ++i)
        mvwaddnwstr(w, static_cast<int>(i) + 1, 2, history_[i].c_str(),
                    std::min<int>(width - 4, static_cast<int>(history_[i].size())));
    wattrset(w, A_DIM);
    mvwaddwstr(w, height - 2, 2, L"Press any key");
    wattrset(w, A_NORMAL);
}

void CTerminalWindow::PaintTooSmall() {
    const std::wstring lines[] = {
        L"QDX-Update",
        platform::FormatText(L"Please enlarge the terminal to %d x %d", kMinCols, kMinRows),
        L"Esc: Exit",
    };
    int y = std::max(0, LINES / 2 - 1);
    for (const std::wstring& text : lines) {
        const int shown = std::min<int>(COLS, static_cast<int>(text.size()));
        mvwaddnwstr(stdscr, y++, std::max(0, (COLS - shown) / 2), text.c_str(), shown);
    }
}

}  // namespace ui::terminal
