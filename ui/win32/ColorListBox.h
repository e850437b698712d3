// The message log control: an owner-drawn list box that draws each line in
// the colour stored as its item data (0x00BBGGRR; 0 draws in the system's
// window-text colour).
#pragma once

#include "ui/win32/WinBase.h"

namespace win32 {

class CColorListBox : public CListBoxBase {
public:
    CColorListBox() = default;
    ~CColorListBox() override;

    void DrawItem(const DRAWITEMSTRUCT& item) override;
    void MeasureItem(MEASUREITEMSTRUCT& item) override;
    void DpiChanged(UINT dpi) override;

private:
    UINT dpi_ = 0;  // told by the last DPI change; 0: the window's own
};

// The height of a menu check mark at `dpi` (Windows 10 and later), or at the
// system's DPI where the system cannot tell it per DPI.
int MenuCheckHeight(UINT dpi);
// The DPI of the monitor `window` is on, or the system's.
UINT WindowDpi(HWND window);

}  // namespace win32
