#include "ui/record/UpdateRecorder.h"

#include <vector>

#include "platform/Text.h"
#include "ui/record/Sha256.h"
#include "update/Areas.h"

#ifndef QDX_VERSION
#define QDX_VERSION "0"
#endif

namespace ui::record {
namespace {

#if defined(_WIN32)
constexpr const wchar_t* kSystem = L"Windows";
#else
constexpr const wchar_t* kSystem = L"Linux";
#endif
#if defined(__x86_64__) || defined(_M_X64)
constexpr const wchar_t* kArchitecture = L"x86_64";
#elif defined(__i386__) || defined(_M_IX86)
constexpr const wchar_t* kArchitecture = L"i686";
#elif defined(__aarch64__)
constexpr const wchar_t* kArchitecture = L"aarch64";
#else
constexpr const wchar_t* kArchitecture = L"unknown";
#endif

std::wstring FromUtf8(const std::string& text) {
    // Paths we made ourselves; anything that is not plain ASCII is shown byte for byte.
    std::wstring wide;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra == 0 || i + static_cast<size_t>(extra) >= text.size()) {
            wide.push_back(static_cast<wchar_t>(c));
            ++i;
            continue;
        }
        uint32_t code = c & (0x3Fu >> extra);
        for (int k = 1; k <= extra; ++k)
            code =
                code << 6 | (static_cast<unsigned char>(text[i + static_cast<size_t>(k)]) & 0x3Fu);
        if (sizeof(wchar_t) == 2 && code > 0xFFFF) {
            code -= 0x10000;
            wide.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            wide.push_back(static_cast<wchar_t>(code));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return wide;
}

std::wstring Seconds(int64_t ms) {
    return platform::FormatText(L"%lld.%03lld", static_cast<long long>(ms / 1000),
                                static_cast<long long>(ms % 1000));
}

// One update file as the header shows it: size, SHA-256 and header version, or
// why it could not be read. The file is opened the way the update opens it
// and closed again before the update's first step.
std::wstring DescribeFile(int row) {
    const std::wstring name = update::UpdateFileName(row);
    platform::InputFile file;
    if (!file.Open(name))
        return platform::FormatText(L"File: %ls | cannot be opened", name.c_str());
    uint64_t length = 0;
    if (!file.Length(length))
        return platform::FormatText(L"File: %ls | its length cannot be taken", name.c_str());
    Sha256 hash;
    uint8_t header[update::kHeaderSize] = {};
    size_t have = 0;
    std::vector<uint8_t> buffer(65536);
    for (;;) {
        const int32_t n = file.Read(buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (n < 0)
            return platform::FormatText(L"File: %ls | %llu bytes | cannot be read", name.c_str(),
                                        static_cast<unsigned long long>(length));
        if (n == 0) break;
        for (size_t i = 0; have < update::kHeaderSize && i < static_cast<size_t>(n); ++i)
            header[have++] = buffer[i];
        hash.Add(buffer.data(), static_cast<size_t>(n));
    }
    const std::wstring digest = platform::Widen(hash.FinishHex().c_str());
    if (have < update::kHeaderSize)
        return platform::FormatText(
            L"File: %ls | %llu bytes | SHA-256 %ls | shorter than its header", name.c_str(),
            static_cast<unsigned long long>(length), digest.c_str());
    return platform::FormatText(L"File: %ls | %llu bytes | SHA-256 %ls | header version %04X",
                                name.c_str(), static_cast<unsigned long long>(length),
                                digest.c_str(),
                                static_cast<unsigned>(update::HeaderVersion(header, have)));
}

std::string TimeForName(const platform::LocalTime& t) {
    return platform::ToUtf8(platform::FormatText(L"%04d%02d%02d-%02d%02d%02d", t.year, t.month,
                                                 t.day, t.hour, t.minute, t.second));
}

// A new file "<stem>.txt" in the folder, or "<stem>-2.txt" and so on when the
// name is taken.
bool CreateUnique(platform::LineFile& file, const std::string& folder, const std::string& stem,
                  std::string& path) {
    for (int n = 1; n <= 99; ++n) {
        path = platform::JoinPath(folder,
                                  n == 1 ? stem + ".txt" : stem + "-" + std::to_string(n) + ".txt");
        if (file.Create(path)) return true;
    }
    path.clear();
    return false;
}

}  // namespace

const wchar_t* ColourName(LogColour colour) {
    switch (colour) {
        case LogColour::Blue: return L"Blue";
        case LogColour::Red: return L"Red";
        case LogColour::Green: return L"Green";
        default: return L"Black";
    }
}

std::string SerialForName(const std::wstring& serialField) {
    const std::wstring prefix = L"Serial Number:";
    std::string serial;
    if (serialField.compare(0, prefix.size(), prefix) == 0) {
        for (size_t i = prefix.size(); i < serialField.size(); ++i) {
            const wchar_t c = serialField[i];
            if ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f'))
                serial.push_back(static_cast<char>(c));
        }
    }
    return serial.empty() ? "unknown" : serial;
}

std::string LogText(const std::vector<std::wstring>& lines, const char* lineEnd) {
    std::string text;
    for (const std::wstring& line : lines) text += platform::ToUtf8(line) + lineEnd;
    return text;
}

std::string SaveLogLines(const std::string& folder, const std::vector<std::wstring>& lines,
                         const platform::LocalTime& time) {
    platform::LineFile file;
    std::string path;
    if (!platform::MakeFolders(folder) ||
        !CreateUnique(file, folder, TimeForName(time) + "-log", path))
        return {};
    if (!file.Append(LogText(lines, "\n"))) return {};
    return path;
}

UpdateRecorder::UpdateRecorder(WindowOps& window, std::string folder, Clocks clocks)
    : window_(window), folder_(std::move(folder)), clocks_(std::move(clocks)) {}

UpdateRecorder::~UpdateRecorder() {
    if (recording()) End(L"closed during the update");
}

void UpdateRecorder::SetFieldText(int controlId, const std::wstring& text) {
    if (controlId == linkStatusField)
        linkStatus_ = text;
    else if (controlId == firmwareVersionField)
        firmwareVersion_ = text;
    else if (controlId == serialNumberField)
        serialNumber_ = text;
    window_.SetFieldText(controlId, text);
}

void UpdateRecorder::EnableControl(int controlId, bool enabled) {
    window_.EnableControl(controlId, enabled);
}

void UpdateRecorder::RefreshControl(int controlId) { window_.RefreshControl(controlId); }

void UpdateRecorder::AppendLogLine(std::wstring text, LogColour colour) {
    if (recording()) {
        Write(platform::FormatText(L"+%ls %-5ls %ls", Seconds(clocks_.nowMs() - startMs_).c_str(),
                                   ColourName(colour), text.c_str()));
    }
    window_.AppendLogLine(std::move(text), colour);
}

void UpdateRecorder::ClearLog() { window_.ClearLog(); }

std::wstring UpdateRecorder::DeviceShown() const {
    return platform::FormatText(L"%ls | %ls | %ls", linkStatus_.c_str(), firmwareVersion_.c_str(),
                                serialNumber_.c_str());
}

void UpdateRecorder::UpdateStarted() {
    if (recording()) End(L"ERROR");  // not reached: Update is disabled while an update runs
    recordPath_.clear();
    startMs_ = clocks_.nowMs();
    const platform::LocalTime t = clocks_.localTime();
    if (folder_.empty()) {
        note_ = L"No record: no records folder (no home folder known)";
        return;
    }
    if (!platform::MakeFolders(folder_) ||
        !CreateUnique(file_, folder_, TimeForName(t) + "-" + SerialForName(serialNumber_),
                      recordPath_)) {
        writable_ = false;
        note_ =
            platform::FormatText(L"No record: %ls cannot be written", FromUtf8(folder_).c_str());
        return;
    }
    writable_ = true;
    note_ = platform::FormatText(L"Record: %ls", FromUtf8(recordPath_).c_str());
    // The header in one write: one flush to the disk instead of eleven.
    std::wstring header = L"QDX-Update record\n";
    header += platform::FormatText(L"Tool: QDX-Update %ls (%ls %ls)\n",
                                   platform::Widen(QDX_VERSION).c_str(), kSystem, kArchitecture);
    header +=
        platform::FormatText(L"Tool folder: %ls\n", FromUtf8(platform::CurrentFolder()).c_str());
    header += platform::FormatText(L"Started: %04d-%02d-%02d %02d:%02d:%02d\n", t.year, t.month,
                                   t.day, t.hour, t.minute, t.second);
    header += platform::FormatText(L"Device at start: %ls\n", DeviceShown().c_str());
    for (int row = 0; row < 4; ++row) header += DescribeFile(row) + L"\n";
    header += L"Log (seconds since the start, colour, line):";
    Write(header);
}

void UpdateRecorder::UpdateEnded(bool succeeded) {
    if (recording()) End(succeeded ? L"OK" : L"ERROR");
}

void UpdateRecorder::End(const wchar_t* result) {
    Write(platform::FormatText(L"Result: %ls\nDuration: %ls s\nDevice at end: %ls", result,
                               Seconds(clocks_.nowMs() - startMs_).c_str(), DeviceShown().c_str()));
    file_.Close();
}

void UpdateRecorder::Write(const std::wstring& line) {
    if (!file_.Append(platform::ToUtf8(line) + "\n")) {
        // The disk is full or gone: the record ends here, the update goes on.
        writable_ = false;
        note_ = platform::FormatText(L"Record incomplete: %ls cannot be written",
                                     FromUtf8(recordPath_).c_str());
    }
}

}  // namespace ui::record
