#include "ui/record/History.h"

#include <algorithm>

#include "platform/Text.h"
#include "platform/UserFiles.h"

namespace ui::record {
namespace {

// A record's name: "YYYYMMDD-HHMMSS-SERIAL.txt" (saved logs end in "-log.txt").
bool IsRecordName(const std::string& name) {
    if (name.size() < 20 || name.compare(name.size() - 4, 4, ".txt") != 0) return false;
    if (name.size() >= 8 && name.compare(name.size() - 8, 8, "-log.txt") == 0) return false;
    for (size_t i = 0; i < 15; ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (i == 8 ? name[i] != '-' : !digit) return false;
    }
    return name[15] == '-';
}

std::string After(const std::string& text, const std::string& key) {
    const size_t at = text.find("\n" + key);
    if (at == std::string::npos) return {};
    const size_t start = at + 1 + key.size();
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string value = text.substr(start, end - start);
    if (!value.empty() && value.back() == '\r') value.pop_back();
    return value;
}

// The value of a field as the window shows it ("Serial Number: 1A2B3") within
// a "Device at ..." line.
std::string FieldValue(const std::string& device, const std::string& label) {
    const size_t at = device.find(label);
    if (at == std::string::npos) return {};
    const size_t start = at + label.size();
    const size_t end = device.find(" |", start);
    std::string value =
        device.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!value.empty() && value.front() == ' ') value.erase(value.begin());
    return value;
}

std::string OrQuestion(const std::string& value) { return value.empty() ? "?" : value; }

}  // namespace

std::wstring HistoryLine(const std::string& record) {
    if (record.compare(0, 17, "QDX-Update record") != 0) return {};
    const std::string start = After(record, "Device at start: ");
    const std::string end = After(record, "Device at end: ");
    const std::string result = After(record, "Result: ");
    const std::string duration = After(record, "Duration: ");
    const std::string line = OrQuestion(After(record, "Started: ")) + "  " +
                             OrQuestion(FieldValue(start, "Serial Number:")) + "  " +
                             OrQuestion(FieldValue(start, "Firmw. Version:")) + " -> " +
                             OrQuestion(FieldValue(end, "Firmw. Version:")) + "  " +
                             (result.empty() ? "no end" : result) + "  " +
                             (duration.empty() ? "-" : duration);
    std::wstring wide;
    for (char c : line)
        wide.push_back(static_cast<unsigned char>(c) < 0x80 ? static_cast<wchar_t>(c) : L'?');
    return wide;
}

std::vector<std::wstring> HistoryLines(const std::string& folder, size_t count) {
    std::vector<std::string> names = platform::ListFiles(folder);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& n) { return !IsRecordName(n); }),
                names.end());
    std::sort(names.begin(), names.end(), std::greater<>());
    std::vector<std::wstring> lines;
    for (const std::string& name : names) {
        if (lines.size() >= count) break;
        std::string text;
        if (!platform::ReadFileText(platform::JoinPath(folder, name), text, 4u << 20)) continue;
        std::wstring line = HistoryLine(text);
        if (!line.empty()) lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace ui::record
