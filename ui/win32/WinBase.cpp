#include "ui/win32/WinBase.h"

namespace win32 {

// ---- application ------------------------------------------------------------------------------

namespace {
CWinAppBase* g_application = nullptr;
}  // namespace

CWinAppBase::CWinAppBase() { g_application = this; }

CWinAppBase::~CWinAppBase() {
    if (g_application == this) g_application = nullptr;
}

CWinAppBase* CWinAppBase::Current() { return g_application; }

int CWinAppBase::Run(HINSTANCE instance) {
    instance_ = instance;
    if (!InitInstance()) return exitCode_;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return exitCode_;
}

// ---- list box ---------------------------------------------------------------------------------

void CListBoxBase::DrawItem(const DRAWITEMSTRUCT&) {}
void CListBoxBase::MeasureItem(MEASUREITEMSTRUCT&) {}
void CListBoxBase::DpiChanged(UINT) {}

LRESULT CListBoxBase::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageW(hwnd_, message, wParam, lParam);
}

int CListBoxBase::AddString(const wchar_t* text) const {
    return static_cast<int>(Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int CListBoxBase::SetItemData(int index, DWORD_PTR data) const {
    return static_cast<int>(
        Send(LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
}

DWORD_PTR CListBoxBase::GetItemData(int index) const {
    return static_cast<DWORD_PTR>(Send(LB_GETITEMDATA, static_cast<WPARAM>(index)));
}

int CListBoxBase::GetCount() const { return static_cast<int>(Send(LB_GETCOUNT)); }

int CListBoxBase::DeleteString(int index) const {
    return static_cast<int>(Send(LB_DELETESTRING, static_cast<WPARAM>(index)));
}

int CListBoxBase::SetCurSel(int index) const {
    return static_cast<int>(Send(LB_SETCURSEL, static_cast<WPARAM>(index)));
}

void CListBoxBase::SetRedraw(bool on) const { Send(WM_SETREDRAW, on ? TRUE : FALSE); }

std::wstring CListBoxBase::GetText(int index) const {
    const LRESULT length = Send(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length == LB_ERR) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        Send(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : static_cast<size_t>(copied));
    return text;
}

LONG_PTR CListBoxBase::GetStyle() const { return GetWindowLongPtrW(hwnd_, GWL_STYLE); }

// ---- dialog -----------------------------------------------------------------------------------

CDialogBase::CDialogBase(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CDialogBase::~CDialogBase() {
    // The derived parts are gone: no message may reach them any more.
    attached_.clear();
    if (hwnd_ != nullptr && !modal_) {
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        DestroyWindow(hwnd_);
    }
}

INT_PTR CDialogBase::DoModal() {
    modal_ = true;
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_),
                                           parent_, DialogProc, reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    attached_.clear();
    return result;
}

HWND CDialogBase::Create() {
    modal_ = false;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent_,
                              DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialogBase::EndDialog(INT_PTR result) {
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

BOOL CDialogBase::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

bool CDialogBase::OnCommand(WORD id, WORD code, HWND) {
    if (code != BN_CLICKED) return false;
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

bool CDialogBase::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void CDialogBase::DDX_Control(int id, CListBoxBase& control) {
    control.Attach(GetDlgItem(id));
    for (Attached& entry : attached_) {
        if (entry.id == id) {
            entry.control = &control;
            return;
        }
    }
    attached_.push_back({id, &control});
}

CListBoxBase* CDialogBase::OwnerDrawn(UINT controlId) const {
    for (const Attached& entry : attached_)
        if (static_cast<UINT>(entry.id) == controlId) return entry.control;
    return nullptr;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialogBase* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialogBase*>(lParam);
        dialog->hwnd_ = window;
        SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
    } else {
        dialog = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (dialog == nullptr) return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT, ...)
    const INT_PTR result = dialog->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        dialog->hwnd_ = nullptr;
    }
    return result;
}

INT_PTR CDialogBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog();
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))
                       ? TRUE
                       : FALSE;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (CListBoxBase* control = OwnerDrawn(item->CtlID)) {
                control->DrawItem(*item);
                return TRUE;
            }
            break;
        }
        case WM_MEASUREITEM: {
            auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (CListBoxBase* control = OwnerDrawn(item->CtlID)) {
                control->MeasureItem(*item);
                return TRUE;
            }
            break;
        }
        case WM_DPICHANGED:
            // The dialog manager scales the dialog and its fonts itself;
            // owner-drawn items are ours to measure anew.
            for (const Attached& entry : attached_) entry.control->DpiChanged(LOWORD(wParam));
            break;
        default: break;
    }
    LRESULT result = 0;
    if (!OnMessage(message, wParam, lParam, result)) return FALSE;
    // A few messages return their result from the dialog procedure itself;
    // the others through DWLP_MSGRESULT.
    switch (message) {
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORMSGBOX:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM: return static_cast<INT_PTR>(result);
        default: SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result); return TRUE;
    }
}

}  // namespace win32

// The program's entry: the one application object does the rest.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    win32::CWinAppBase* application = win32::CWinAppBase::Current();
    return application != nullptr ? application->Run(instance) : 1;
}
