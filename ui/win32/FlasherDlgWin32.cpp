#include "ui/win32/FlasherDlgWin32.h"

#include <algorithm>
#include <cwchar>

#include "platform/UserFiles.h"
#include "ui/win32/resource.h"

static_assert(IDC_EXIT == ui::exitButton && IDC_LINK_STATUS == ui::linkStatusField &&
                  IDC_LOG == ui::logList && IDC_RESTART == ui::restartButton &&
                  IDC_FIRMWARE_VERSION == ui::firmwareVersionField &&
                  IDC_SERIAL_NUMBER == ui::serialNumberField && IDC_PROGRESS == ui::progressField &&
                  IDC_CURRENT_FILE == ui::currentFileField && IDC_INFO == ui::infoButton &&
                  IDC_UPDATE == ui::updateButton,
              "the dialog template and the logic name the same controls");

namespace win32 {

CAboutDlg::CAboutDlg(HWND parent) : CDialogBase(IDD_ABOUTBOX, parent) {}

CFlasherDlg::CFlasherDlg(HWND parent)
    : CDialogBase(IDD_QDX_UPDATE_DIALOG, parent),
      icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      recorder_(*this, platform::RecordsFolder()),
      logic_(recorder_) {
    logic_.SetObserver(&recorder_);
}

CFlasherDlg::~CFlasherDlg() = default;

void CFlasherDlg::DoDataExchange() { DDX_Control(IDC_LOG, logList_); }

BOOL CFlasherDlg::OnInitDialog() {
    CDialogBase::OnInitDialog();

    // The About entry, only when its text exists.
    if (HMENU systemMenu = GetSystemMenu(hwnd(), FALSE)) {
        wchar_t text[256];
        if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 256) > 0 &&
            text[0] != L'\0') {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
        }
    }

    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

    logMenu_.Attach(hwnd(), logList_, recorder_);

    // The logic resets the update state, has the timer started, opens the
    // link and sets fields and buttons.
    const bool focusDefault =
        logic_.OnInitDialog([this] { SetTimer(hwnd(), kTimerId, kTimerPeriodMs, nullptr); });
    return focusDefault ? TRUE : FALSE;
}

bool CFlasherDlg::OnCommand(WORD id, WORD code, HWND control) {
    if (control == nullptr && logMenu_.OnCommand(id)) return true;
    if (code == BN_CLICKED) {
        switch (id) {
            case IDC_RESTART: logic_.OnRestartButton(); return true;
            case IDC_INFO: logic_.OnInfoButton(); return true;
            case IDC_UPDATE: logic_.OnUpdateButton(); return true;
            default: break;
        }
    }
    return CDialogBase::OnCommand(id, code, control);
}

// Exit, Escape and the close box. While a worker still uses the device the
// end waits for the tick that shows the worker's result; a further request
// asks whether to quit at once.
void CFlasherDlg::Close() {
    if (asking_) return;
    switch (logic_.RequestClose()) {
        case ui::CloseAction::End: EndDialog(IDCANCEL); break;
        case ui::CloseAction::AfterStage:
            // The caption is the one text of the window that nothing else
            // writes: the fields and the log keep what the tick and the update
            // show there, and the taskbar shows the caption too.
            SetWindowTextW(hwnd(), kClosingCaption);
            break;
        case ui::CloseAction::AskQuitNow: AskQuitNow(); break;
    }
}

// A modal box: its message loop keeps the timer ticking, and the tick that
// shows the worker's result takes the box away and ends the window.
void CFlasherDlg::AskQuitNow() {
    asking_ = true;
    const int answer = MessageBoxW(hwnd(), kQuitNowQuestion, L"QDX-Update",
                                   MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    asking_ = false;
    if (answer == IDYES && !logic_.closeDue()) EndDialog(IDABORT);
}

namespace {
struct OwnedDialog {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<OwnedDialog*>(lParam);
    wchar_t className[16] = L"";
    GetClassNameW(window, className, 16);
    if (GetWindow(window, GW_OWNER) != search->owner || wcscmp(className, L"#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}
}  // namespace

// The question's box belongs to this thread and is owned by the window.
void CFlasherDlg::CloseQuestion() {
    OwnedDialog search{hwnd(), nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) ::EndDialog(search.found, IDNO);
}

void CFlasherDlg::OnTimer() {
    logic_.OnTimer();
    BlockShutdownWhileWorkerRuns();
    if (logic_.closeDue()) {
        if (asking_) CloseQuestion();
        EndDialog(IDCANCEL);
    }
}

// A shutdown or log-off would end the program in the middle of a write: while
// a worker runs, Windows is told why it has to wait, and the query is refused.
void CFlasherDlg::BlockShutdownWhileWorkerRuns() {
    const bool busy = ui::WorkerHoldsDevice();
    if (busy == blockingShutdown_) return;
    blockingShutdown_ = busy;
    if (busy)
        shutdownReasonCreate(hwnd(), kShutdownReason);
    else
        shutdownReasonDestroy(hwnd());
}

void CFlasherDlg::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd(), &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(hwnd(), &paint);
}

bool CFlasherDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (message) {
        case WM_TIMER:
            // After the tick the message goes on to the default processing.
            OnTimer();
            return false;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                CAboutDlg about(hwnd());
                about.DoModal();
                result = 0;
                return true;
            }
            return false;
        case WM_PAINT:
            if (!IsIconic(hwnd())) return false;
            OnPaint();
            result = 0;
            return true;
        case WM_QUERYDRAGICON: result = reinterpret_cast<LRESULT>(icon_); return true;
        case WM_QUERYENDSESSION:
            BlockShutdownWhileWorkerRuns();
            result = blockingShutdown_ ? FALSE : TRUE;
            return true;
        default: return false;
    }
}

// ---- window operations ------------------------------------------------------------------------

void CFlasherDlg::SetFieldText(int controlId, const std::wstring& text) {
    SetDlgItemTextW(hwnd(), controlId, text.c_str());
}

void CFlasherDlg::EnableControl(int controlId, bool enabled) {
    EnableWindow(GetDlgItem(controlId), enabled ? TRUE : FALSE);
}

void CFlasherDlg::RefreshControl(int controlId) {
    HWND control = GetDlgItem(controlId);
    // The log's own operations invalidate exactly what they changed; painting
    // that at once is the refresh. Repainting every line in view for each new
    // line made a busy log cost the window thread 10 ms and more per line.
    if (controlId == IDC_LOG) {
        RedrawWindow(control, nullptr, nullptr, RDW_UPDATENOW);
        return;
    }
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

namespace {

SCROLLINFO VerticalScroll(HWND list) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (!GetScrollInfo(list, SB_VERT, &info)) info.fMask = 0;
    return info;
}

bool SameScroll(const SCROLLINFO& a, const SCROLLINFO& b) {
    return a.fMask == b.fMask && a.nMin == b.nMin && a.nMax == b.nMax && a.nPage == b.nPage &&
           a.nPos == b.nPos;
}

}  // namespace

// The list is out of sight while the line goes in: adding it, dropping the
// oldest line at the cap and scrolling to the newest would each repaint or
// scroll the list and its scroll bar, and turning its redrawing back on would
// repaint all of it. Then the picture scrolls once, and RefreshControl paints
// the new line before this returns.
void CFlasherDlg::AppendLogLine(std::wstring text, ui::LogColour colour) {
    HWND list = logList_.hwnd();
    const int topBefore = static_cast<int>(logList_.Send(LB_GETTOPINDEX));
    const SCROLLINFO scrollBefore = VerticalScroll(list);
    const bool shown = IsWindowVisible(list) != FALSE;
    // Something still to be painted would move with the scrolled picture.
    const bool pending = shown && GetUpdateRect(list, nullptr, FALSE) != FALSE;
    // Without WS_VISIBLE, which is what redrawing off means to a window, the
    // list takes its new state but paints and scrolls nothing.
    const LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
    if (shown) SetWindowLongPtrW(list, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_VISIBLE));
    logList_.SetRedraw(false);
    const int index = logList_.AddString(text.c_str());
    if (index >= 0) logList_.SetItemData(index, ui::StoredColour(colour));
    bool dropped = false;
    if (logList_.GetCount() > kMaxLogLines) dropped = logList_.DeleteString(0) != LB_ERR;
    const int count = logList_.GetCount();
    if (count >= 1) {
        // Making the newest line current scrolls it into view (the list shows no selection).
        logList_.SetCurSel(count - 1);
        ShowLastLine(count);
    }
    logList_.SetRedraw(true);
    if (shown) {
        SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) | WS_VISIBLE);
        // Showing it again asks for its frame; the scroll bar is drawn below when it changed.
        RedrawWindow(list, nullptr, nullptr, RDW_VALIDATE | RDW_NOFRAME);
        // The line that was first in view now has this index.
        InvalidateAppended(pending ? -1 : topBefore - (dropped ? 1 : 0), count);
        SCROLLINFO scroll = VerticalScroll(list);
        if (!SameScroll(scrollBefore, scroll)) {
            scroll.fMask = SIF_ALL;
            SetScrollInfo(list, SB_VERT, &scroll, TRUE);
        }
    }
    RefreshControl(IDC_LOG);
}

// When the lines in view only moved up, scroll the picture and invalidate what
// it does not show yet: the strip the scroll uncovered and the newest line.
// Otherwise (`oldFirstIndex` -1 among them) the whole list is repainted.
void CFlasherDlg::InvalidateAppended(int oldFirstIndex, int count) {
    HWND list = logList_.hwnd();
    RECT client;
    GetClientRect(list, &client);
    const int top = static_cast<int>(logList_.Send(LB_GETTOPINDEX));
    const int height = count >= 1 ? static_cast<int>(logList_.Send(LB_GETITEMHEIGHT, 0)) : 0;
    const int visible = height > 0 ? static_cast<int>(client.bottom - client.top) / height : 0;
    const int shift = top - oldFirstIndex;
    if (oldFirstIndex < 0 || count < 1 || height <= 0 || shift < 0 || shift >= visible) {
        RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
        return;
    }
    if (shift > 0)
        ScrollWindowEx(list, 0, -shift * height, nullptr, nullptr, nullptr, nullptr,
                       SW_INVALIDATE | SW_ERASE);
    RECT last;
    if (logList_.Send(LB_GETITEMRECT, static_cast<WPARAM>(count - 1),
                      reinterpret_cast<LPARAM>(&last)) != LB_ERR)
        InvalidateRect(list, &last, TRUE);
}

// Some list box implementations (Wine's among them) ignore LB_SETCURSEL on a
// list without selection and do not scroll; then scroll to the newest line here.
void CFlasherDlg::ShowLastLine(int count) {
    RECT client, last;
    GetClientRect(logList_.hwnd(), &client);
    if (logList_.Send(LB_GETITEMRECT, static_cast<WPARAM>(count - 1),
                      reinterpret_cast<LPARAM>(&last)) == LB_ERR ||
        (last.top >= client.top && last.bottom <= client.bottom))
        return;
    const auto height =
        static_cast<int>(logList_.Send(LB_GETITEMHEIGHT, static_cast<WPARAM>(count - 1)));
    const int visible =
        height > 0 ? std::max(1, static_cast<int>(client.bottom - client.top) / height) : 1;
    logList_.Send(LB_SETTOPINDEX, static_cast<WPARAM>(std::max(0, count - visible)));
}

// A full log is 10000 deletions: each one repainted and scrolled the list,
// which held the window thread for a minute. The list is painted once, empty.
void CFlasherDlg::ClearLog() {
    const int count = logList_.GetCount();
    if (count <= 0) return;
    logList_.SetRedraw(false);
    for (int index = count - 1; index >= 0; --index) logList_.DeleteString(index);
    logList_.SetRedraw(true);
    RedrawWindow(logList_.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    RefreshControl(IDC_LOG);
}

}  // namespace win32
