// The log's context menu (right click, Shift+F10, the menu key): Copy, Save
// As…, Open Records Folder and Update History…; Ctrl+C in the log copies too.
// The menu's commands reach the dialog as WM_COMMAND, which hands them here.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/record/UpdateRecorder.h"
#include "ui/win32/WinBase.h"

namespace win32 {

class CLogMenu {
public:
    static constexpr WORD kCopy = 0x7101, kSaveAs = 0x7102, kOpenRecords = 0x7103,
                          kHistory = 0x7104, kNoRecords = 0x7105;

    // Asks for the file to save the log in; false when the operator cancels.
    using ChooseFile = std::function<bool(HWND owner, std::wstring& path)>;

    CLogMenu();
    // After the dialog's controls exist.
    void Attach(HWND dialog, CListBoxBase& log, const ui::record::UpdateRecorder& recorder);
    // A command of the menu; false for any other.
    bool OnCommand(WORD id);
    // Tests choose the file without the standard dialog.
    void SetChooseFile(ChooseFile choose) { chooseFile_ = std::move(choose); }

    std::vector<std::wstring> Lines() const;
    bool CopyToClipboard() const;
    // The lines as UTF-8 text, one line each (CR LF); false when the file
    // cannot be written.
    static bool SaveLines(const std::wstring& path, const std::vector<std::wstring>& lines);

private:
    static LRESULT CALLBACK LogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Show(LPARAM screenPoint);

    HWND dialog_ = nullptr;
    CListBoxBase* log_ = nullptr;
    const ui::record::UpdateRecorder* recorder_ = nullptr;
    ChooseFile chooseFile_;
    WNDPROC logProc_ = nullptr;  // the list's own procedure, behind LogProc
};

}  // namespace win32
