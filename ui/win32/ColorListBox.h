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
};

}  // namespace win32
