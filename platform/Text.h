// Wide texts formatted printf-style. Every format in the tool goes through
// FormatText so that it behaves the same with glibc and with mingw: strings are
// always passed as wide strings with %ls.
#pragma once

#include <string>

namespace platform {

std::wstring FormatText(const wchar_t* format, ...);

// ASCII text to wide text, byte for byte.
std::wstring Widen(const char* ascii);

// Wide text to UTF-8, for terminals, messages and tests.
std::string ToUtf8(const std::wstring& text);

}  // namespace platform
