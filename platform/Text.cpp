#include "platform/Text.h"

#include <cstdarg>
#include <cstdint>
#include <cwchar>
#include <vector>

namespace platform {

std::wstring FormatText(const wchar_t* format, ...) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        const int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        // vswprintf reports truncation as a negative result, like an encoding error:
        // grow until the text fits or the buffer is absurdly large.
        if (n >= 0 && static_cast<size_t>(n) < buffer.size())
            return std::wstring(buffer.data(), static_cast<size_t>(n));
        if (buffer.size() >= (1u << 20)) return std::wstring();
        buffer.resize(buffer.size() * 4);
    }
}

std::wstring Widen(const char* ascii) {
    std::wstring out;
    for (const char* p = ascii; *p != '\0'; ++p) out.push_back(static_cast<unsigned char>(*p));
    return out;
}

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<uint32_t>(wc);
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // lone surrogate halves (UTF-16 Windows)
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace platform
