// A small class layer over the Win32 dialog API, just what the tool's window
// needs: an application object started from wWinMain, a dialog over
// DialogBoxParamW with its message dispatch, and a list box whose owner-draw
// messages the dialog hands to it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace win32 {

// The application. Exactly one object of a derived class exists, as a static
// object; wWinMain finds it and calls Run.
class CWinAppBase {
public:
    CWinAppBase();
    virtual ~CWinAppBase();
    CWinAppBase(const CWinAppBase&) = delete;
    CWinAppBase& operator=(const CWinAppBase&) = delete;

    // True: go on with a message loop of the application's own (until
    // WM_QUIT); false: end at once.
    virtual bool InitInstance() = 0;

    static CWinAppBase* Current();
    HINSTANCE instance() const { return instance_; }
    // The process's exit code.
    void SetExitCode(int code) { exitCode_ = code; }

    int Run(HINSTANCE instance);

private:
    HINSTANCE instance_ = nullptr;
    int exitCode_ = 0;
};

// A list box control in a dialog, drawn by its owner: the dialog passes
// WM_DRAWITEM and WM_MEASUREITEM for this control to DrawItem and MeasureItem.
class CListBoxBase {
public:
    CListBoxBase() = default;
    virtual ~CListBoxBase() = default;
    CListBoxBase(const CListBoxBase&) = delete;
    CListBoxBase& operator=(const CListBoxBase&) = delete;

    virtual void DrawItem(const DRAWITEMSTRUCT& item);
    virtual void MeasureItem(MEASUREITEMSTRUCT& item);
    // The window moved to a monitor of another DPI (per-monitor aware):
    // items measured before keep their height unless the control measures anew.
    virtual void DpiChanged(UINT dpi);

    void Attach(HWND control) { hwnd_ = control; }
    HWND hwnd() const { return hwnd_; }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    int AddString(const wchar_t* text) const;
    int SetItemData(int index, DWORD_PTR data) const;
    DWORD_PTR GetItemData(int index) const;
    int GetCount() const;
    int DeleteString(int index) const;
    int SetCurSel(int index) const;
    // WM_SETREDRAW: while off, the list neither paints nor scrolls its lines.
    // Turning it on paints nothing at once; the caller repaints the list.
    void SetRedraw(bool on) const;
    std::wstring GetText(int index) const;
    LONG_PTR GetStyle() const;

private:
    HWND hwnd_ = nullptr;
};

// A dialog from a template resource, run modally with DoModal (or, for tests,
// created modeless with Create). The object outlives its window.
class CDialogBase {
public:
    explicit CDialogBase(UINT templateId, HWND parent = nullptr);
    virtual ~CDialogBase();
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    INT_PTR DoModal();
    // A modeless window from the same template (tests inspect it this way).
    HWND Create();
    void EndDialog(INT_PTR result);

    HWND hwnd() const { return hwnd_; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }

protected:
    // WM_INITDIALOG. The base runs DoDataExchange; return true to let the
    // dialog manager put the focus on the first tab-stop control.
    virtual BOOL OnInitDialog();
    // Connects control objects to their controls (DDX_Control).
    virtual void DoDataExchange() {}
    // WM_COMMAND. The base ends the dialog for IDOK (OnOK) and IDCANCEL (OnCancel).
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Every other message. Return true when handled, with the message's result.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Attaches `control` to the dialog's control `id` and routes its owner-draw messages.
    void DDX_Control(int id, CListBoxBase& control);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    CListBoxBase* OwnerDrawn(UINT controlId) const;

    UINT templateId_;
    HWND parent_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    struct Attached {
        int id;
        CListBoxBase* control;
    };
    std::vector<Attached> attached_;
};

}  // namespace win32
