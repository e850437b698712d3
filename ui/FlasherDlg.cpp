#include "ui/FlasherDlg.h"

// The logic lands in the next change; this file only keeps the build whole.
namespace ui {
bool CFlasherDlg::OnInitDialog() { return true; }
void CFlasherDlg::OnTimer() {}
void CFlasherDlg::OnUpdateButton() {}
void CFlasherDlg::OnRestartButton() {}
void CFlasherDlg::OnInfoButton() {}
bool CFlasherDlg::RequestClose() { return true; }
void CFlasherDlg::Poll() {}
void CFlasherDlg::PresentWorker(int32_t) {}
}  // namespace ui
