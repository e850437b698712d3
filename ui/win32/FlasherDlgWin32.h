// The main window on Windows: dialog 102 with its controls, the colour log,
// the system menu's About entry, the window icon and the 50 ms timer. The
// logic lives in ui::CFlasherDlg; this class gives it the window operations
// and passes the messages on.
#pragma once

#include "ui/FlasherDlg.h"
#include "ui/LogModel.h"
#include "ui/record/UpdateRecorder.h"
#include "ui/win32/ColorListBox.h"
#include "ui/win32/LogMenu.h"
#include "ui/win32/WinBase.h"
#include "update/WindowOps.h"

namespace win32 {

// The About box, dialog 100.
class CAboutDlg : public CDialogBase {
public:
    explicit CAboutDlg(HWND parent = nullptr);
};

class CFlasherDlg : public CDialogBase, public ui::WindowOps {
public:
    static constexpr UINT kTimerId = 1;
    static constexpr UINT kTimerPeriodMs = 50;
    static constexpr int kMaxLogLines = static_cast<int>(ui::LogModel::kMaxLines);
    // The caption while the end waits for a worker's stage, the question a
    // further request asks, and what Windows shows as the reason a shutdown
    // or log-off waits.
    static constexpr const wchar_t* kClosingCaption = L"QDX-Update - closing after this stage";
    static constexpr const wchar_t* kQuitNowQuestion =
        L"The device is still being programmed.\n\n"
        L"Quit now? The device may be left partly programmed.\n\n"
        L"No: keep waiting; QDX-Update closes after this stage.";
    static constexpr const wchar_t* kShutdownReason = L"programming the device";
    // The calls that give and take back that reason (tests record them here:
    // Wine keeps no reason it could be asked for).
    static inline BOOL(WINAPI* shutdownReasonCreate)(HWND, LPCWSTR) = ShutdownBlockReasonCreate;
    static inline BOOL(WINAPI* shutdownReasonDestroy)(HWND) = ShutdownBlockReasonDestroy;

    explicit CFlasherDlg(HWND parent = nullptr);
    ~CFlasherDlg() override;

    // ui::WindowOps
    void SetFieldText(int controlId, const std::wstring& text) override;
    void EnableControl(int controlId, bool enabled) override;
    void RefreshControl(int controlId) override;
    void AppendLogLine(std::wstring text, ui::LogColour colour) override;
    void ClearLog() override;

    HICON icon() const { return icon_; }
    CColorListBox& logList() { return logList_; }
    CLogMenu& logMenu() { return logMenu_; }
    const ui::record::UpdateRecorder& recorder() const { return recorder_; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void OnOK() override { Close(); }
    void OnCancel() override { Close(); }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnTimer();
    void OnPaint();
    void Close();
    void AskQuitNow();
    void CloseQuestion();
    void BlockShutdownWhileWorkerRuns();
    void ShowLastLine(int count);
    void InvalidateAppended(int oldFirstIndex, int count);

    HICON icon_;
    CColorListBox logList_;
    ui::record::UpdateRecorder recorder_;  // the logic writes through it
    CLogMenu logMenu_;
    ui::CFlasherDlg logic_;
    bool asking_ = false;            // the quit-now question is open
    bool blockingShutdown_ = false;  // a shutdown block reason is set
};

}  // namespace win32
