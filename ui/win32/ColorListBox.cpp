#include "ui/win32/ColorListBox.h"

namespace win32 {

namespace {

// Windows 10 (1607 on) only: looked up, so that the program still starts on 7 and 8.
template <typename Fn>
Fn User32(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

int MenuCheckHeight(UINT dpi) {
    static const auto forDpi = User32<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi != nullptr ? forDpi(SM_CYMENUCHECK, dpi) : GetSystemMetrics(SM_CYMENUCHECK);
}

UINT WindowDpi(HWND window) {
    static const auto dpiForWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (dpiForWindow != nullptr && window != nullptr) return dpiForWindow(window);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

CColorListBox::~CColorListBox() = default;

// Every line is as high as a menu check mark on the monitor the log is on.
void CColorListBox::MeasureItem(MEASUREITEMSTRUCT& item) {
    item.itemHeight = static_cast<UINT>(MenuCheckHeight(dpi_ != 0 ? dpi_ : WindowDpi(hwnd())));
}

void CColorListBox::DpiChanged(UINT dpi) {
    dpi_ = dpi;
    const int height = MenuCheckHeight(dpi);
    for (int i = 0, count = GetCount(); i < count; ++i)
        Send(LB_SETITEMHEIGHT, static_cast<WPARAM>(i), MAKELPARAM(height, 0));
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void CColorListBox::DrawItem(const DRAWITEMSTRUCT& item) {
    // The focus of an empty list: nothing to draw.
    if (static_cast<int>(item.itemID) < 0) return;

    HDC dc = item.hDC;
    const auto colour = static_cast<COLORREF>(item.itemData);
    const COLORREF complement = (colour ^ 0x00FFFFFFu) & 0x00FFFFFFu;
    // A list without selection shows no line as selected. Windows never passes
    // the selected state for such a list; Wine does for its current line.
    const bool selected = (item.itemState & ODS_SELECTED) != 0 && (GetStyle() & LBS_NOSEL) == 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    RECT rect = item.rcItem;

    // A selected line shows its own colour as background.
    if (selected && (item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) != 0) {
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    } else if (!selected && (item.itemAction & ODA_SELECT) != 0) {
        FillRect(dc, &rect, GetSysColorBrush(COLOR_WINDOW));
    }

    // DrawFocusRect inverts: the same call draws the focus and takes it away.
    if ((item.itemAction & ODA_FOCUS) != 0) DrawFocusRect(dc, &rect);

    const int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF ink;
    if (selected) {
        ink = colour != 0 ? complement : GetSysColor(COLOR_HIGHLIGHTTEXT);
    } else if (disabled) {
        ink = GetSysColor(COLOR_GRAYTEXT);
    } else {
        ink = colour != 0 ? colour : GetSysColor(COLOR_WINDOWTEXT);
    }
    const COLORREF oldInk = SetTextColor(dc, ink);

    const std::wstring text = GetText(static_cast<int>(item.itemID));
    UINT format = DT_SINGLELINE | DT_VCENTER;
    if ((GetStyle() & LBS_USETABSTOPS) != 0) format |= DT_EXPANDTABS;
    // Measure first: the text starts at the item's top-left corner and is not
    // cut at its right edge.
    RECT textRect = rect;
    DrawTextW(dc, text.c_str(), -1, &textRect, format | DT_CALCRECT);
    DrawTextW(dc, text.c_str(), -1, &textRect, format);

    SetTextColor(dc, oldInk);
    SetBkMode(dc, oldMode);
}

}  // namespace win32
