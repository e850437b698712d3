// The clipboard's text, for the window tests and the Wine driver alike.
#pragma once

#include <windows.h>

#include <string>

namespace wine_tests {

// The Unicode text on the clipboard; "<no text>" when it holds none and
// "<not open>" when it cannot be opened (so neither passes for a log).
inline std::wstring ClipboardText() {
    if (!OpenClipboard(nullptr)) return L"<not open>";
    std::wstring text = L"<no text>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// Empties the clipboard; false when it cannot be opened.
inline bool EmptyTheClipboard() {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    CloseClipboard();
    return true;
}

}  // namespace wine_tests
