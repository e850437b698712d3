#include "ui/terminal/RecordKeys.h"

#include "platform/File.h"
#include "platform/Text.h"
#include "ui/record/History.h"

namespace ui::terminal {
namespace {

std::wstring Wide(const std::string& utf8) {
    // The records folder comes from the environment; show its bytes as the
    // locale reads them.
    return platform::AnsiToWide(utf8.c_str());
}

}  // namespace

RecordKeys::RecordKeys(CTerminalWindow& window, std::string folder)
    : window_(window), recorder_(window, std::move(folder)) {}

void RecordKeys::SaveLog() {
    std::vector<std::wstring> lines;
    for (const LogLine& line : window_.log().lines()) lines.push_back(line.text);
    if (recorder_.folder().empty()) {
        window_.SetFooterNote(L"Log not saved: no records folder (no home folder known)");
        return;
    }
    const std::string path = record::SaveLogLines(recorder_.folder(), lines, platform::LocalNow());
    window_.SetFooterNote(path.empty()
                              ? platform::FormatText(L"Log not saved: %ls cannot be written",
                                                     Wide(recorder_.folder()).c_str())
                              : platform::FormatText(L"Log saved: %ls", Wide(path).c_str()));
}

void RecordKeys::ShowHistory() {
    std::vector<std::wstring> lines = record::HistoryLines(recorder_.folder(), 50);
    if (lines.empty())
        lines.push_back(
            platform::FormatText(L"No records in %ls", Wide(recorder_.folder()).c_str()));
    window_.ShowHistory(lines);
}

void RecordKeys::Refresh() {
    if (recorder_.note() == shownNote_) return;
    shownNote_ = recorder_.note();
    window_.SetFooterNote(shownNote_);
}

}  // namespace ui::terminal
