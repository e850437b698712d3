// Drives QDX-Update.exe from outside, as an operator would: starts it in the
// current folder with a scenario of the simulated device, finds its window,
// reads the fields, buttons and log lines, presses buttons and waits for the
// window to reach a state, each wait with a time limit.
//
//   qdx-wine-driver.exe CASE      run one case; exit 0 when every check held
//   qdx-wine-driver.exe --list    the cases
//
// The last line of a case is its result, which the case script reads (Wine's
// exit code alone proves nothing: Wine returns 0 when it cannot start a
// program at all): "qdx-wine-driver: CASE passed (ARCH)", or "FAILED".
//
// The folder holds QDX-Update.exe, QDX140.dll, the libraries that cannot be
// loaded (QDX140-missing-op.dll, -needs-absent, -init-fails, -other-arch) and
// the four sample update files; a case removes what it must. The case "demo"
// runs instead in the demo folder of an unpacked package.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/CompleteUpdateLog.h"
#include "tests/wine/Clipboard.h"

namespace {

// ---- checks -----------------------------------------------------------------------------------

int g_failures = 0;

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n) - 1);
    return out;
}

void Fail(const char* format, ...) {
    ++g_failures;
    va_list args;
    va_start(args, format);
    std::printf("FAIL: ");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
    std::fflush(stdout);
}

void Note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
    std::fflush(stdout);
}

void ExpectText(const char* what, const std::wstring& actual, const std::wstring& expected) {
    if (actual != expected)
        Fail("%s is \"%s\", expected \"%s\"", what, Narrow(actual).c_str(),
             Narrow(expected).c_str());
}

// Polls `condition` every 20 ms until it holds or `limitMs` has passed.
bool WaitFor(const std::function<bool()>& condition, DWORD limitMs) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(20);
    }
}

// ---- the program under test -------------------------------------------------------------------

constexpr int kExit = 1, kLinkStatus = 1008, kLog = 1010, kRestart = 1011, kFirmware = 1013,
              kSerial = 1014, kProgress = 1016, kCurrentFile = 1017, kInfo = 1022, kUpdate = 1023;
constexpr DWORD kSendLimitMs = 5000;

struct LogLine {
    std::wstring text;
    DWORD colour;
};

constexpr DWORD kBlack = 0, kBlue = 0x00CD0000, kRed = 0x000000FF, kGreen = 0x0032C832;

class Program {
public:
    ~Program() {
        if (process_.hProcess != nullptr) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 5000);
            }
            CloseHandle(process_.hProcess);
            if (process_.hThread != nullptr) CloseHandle(process_.hThread);
        }
    }

    bool Start(const char* scenario) {
        SetEnvironmentVariableA("QDX140_SIM", scenario);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        wchar_t commandLine[] = L"QDX-Update.exe";
        if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process_)) {
            Fail("QDX-Update.exe could not be started (error %lu)", GetLastError());
            return false;
        }
        return true;
    }

    // Takes over a main window that another program started (demo.cmd), and
    // its process.
    bool Attach(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_.hProcess = OpenProcess(
            SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
        if (process_.hProcess == nullptr) {
            Fail("the process of the window cannot be opened (error %lu)", GetLastError());
            return false;
        }
        process_.dwProcessId = pid;
        window_ = window;
        return true;
    }

    std::wstring ImagePath() const {
        wchar_t path[MAX_PATH] = L"";
        DWORD size = MAX_PATH;
        QueryFullProcessImageNameW(process_.hProcess, 0, path, &size);
        return path;
    }

    // The main window: a top-level window of the process titled "QDX-Update"
    // that holds the log list.
    bool FindMainWindow(DWORD limitMs) {
        WaitFor([&] { return (window_ = Find(true)) != nullptr || Exited(); }, limitMs);
        if (window_ == nullptr) Fail("no \"QDX-Update\" window appeared");
        return window_ != nullptr;
    }

    // Any top-level window of the process; with `main`, only the main window.
    HWND Find(bool main) const {
        Search search{process_.dwProcessId, main, nullptr, false};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    HWND window() const { return window_; }
    DWORD pid() const { return process_.dwProcessId; }
    bool Exited() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }

    // Waits for the process to end; returns its exit code, or -1 past the limit.
    long ExitCode(DWORD limitMs) const {
        if (WaitForSingleObject(process_.hProcess, limitMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<long>(code);
    }

    std::wstring Text(int id) const { return WindowText(GetDlgItem(window_, id)); }

    static std::wstring WindowText(HWND control) {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendLimitMs,
                                 &length))
            return L"<no answer>";
        std::wstring text(length + 1, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, kSendLimitMs, &copied);
        text.resize(copied);
        return text;
    }

    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(window_, id)) != FALSE; }

    std::vector<LogLine> Log() const {
        HWND list = GetDlgItem(window_, kLog);
        std::vector<LogLine> lines;
        const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
            std::wstring text(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
            const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i),
                                                reinterpret_cast<LPARAM>(text.data()));
            text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
            const auto colour =
                static_cast<DWORD>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
            lines.push_back({text, colour});
        }
        return lines;
    }

    int LogCount() const {
        return static_cast<int>(SendMessageW(GetDlgItem(window_, kLog), LB_GETCOUNT, 0, 0));
    }

    void Click(int id) const {
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(GetDlgItem(window_, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG,
                                 kSendLimitMs, &ignored))
            Fail("button %d did not take the click", id);
    }

    // What the window shows, for a failure report.
    void Dump() const {
        Note("  window state:");
        const int fields[] = {kLinkStatus, kFirmware, kSerial, kProgress, kCurrentFile};
        for (int id : fields) Note("    %d: \"%s\"", id, Narrow(Text(id)).c_str());
        Note("    enabled: Update %d, Info %d, Restart %d, Exit %d", Enabled(kUpdate),
             Enabled(kInfo), Enabled(kRestart), Enabled(kExit));
        const auto lines = Log();
        for (size_t i = 0; i < lines.size(); ++i)
            Note("    log %2zu: %08lX \"%s\"", i + 1, static_cast<unsigned long>(lines[i].colour),
                 Narrow(lines[i].text).c_str());
    }

    bool Await(const std::function<bool()>& condition, DWORD limitMs, const char* what) const {
        if (WaitFor(condition, limitMs)) return true;
        Fail("timed out after %lu ms waiting for %s", static_cast<unsigned long>(limitMs), what);
        Dump();
        return false;
    }

    // Exit, then the process ends with code 0.
    void ExitAndExpectCode0() const {
        Click(kExit);
        const long code = ExitCode(10000);
        if (code != 0) Fail("QDX-Update ended with %ld after Exit, expected 0", code);
    }

private:
    struct Search {
        DWORD pid;
        bool main;
        HWND found;
        bool anyProcess;
    };
    static BOOL CALLBACK Visit(HWND window, LPARAM lParam) {
        auto* s = reinterpret_cast<Search*>(lParam);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if ((!s->anyProcess && pid != s->pid) || !IsWindowVisible(window)) return TRUE;
        if (s->main) {
            wchar_t title[64] = L"";
            GetWindowTextW(window, title, 64);
            if (std::wcscmp(title, L"QDX-Update") != 0 || GetDlgItem(window, kLog) == nullptr)
                return TRUE;
        }
        s->found = window;
        return FALSE;
    }

public:
    // A main window of any process.
    static HWND FindAnyMainWindow() {
        Search search{0, true, nullptr, true};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

struct Buttons {
    bool update, info, restart, exit;
};

void ExpectButtons(const Program& program, Buttons expected) {
    const struct {
        const char* name;
        int id;
        bool want;
    } rows[] = {{"Update", kUpdate, expected.update},
                {"QDX Info", kInfo, expected.info},
                {"Restart", kRestart, expected.restart},
                {"Exit", kExit, expected.exit}};
    for (const auto& row : rows)
        if (program.Enabled(row.id) != row.want)
            Fail("%s is %s, expected %s", row.name, row.want ? "disabled" : "enabled",
                 row.want ? "enabled" : "disabled");
}

void ExpectLog(const Program& program, const std::vector<LogLine>& expected) {
    const auto lines = program.Log();
    if (lines.size() != expected.size())
        Fail("the log has %zu lines, expected %zu", lines.size(), expected.size());
    for (size_t i = 0; i < lines.size() && i < expected.size(); ++i) {
        if (lines[i].text != expected[i].text || lines[i].colour != expected[i].colour)
            Fail("log line %zu is %08lX \"%s\", expected %08lX \"%s\"", i + 1,
                 static_cast<unsigned long>(lines[i].colour), Narrow(lines[i].text).c_str(),
                 static_cast<unsigned long>(expected[i].colour), Narrow(expected[i].text).c_str());
    }
    if (g_failures > 0) program.Dump();
}

// The current folder, as the program sees its own folder.
std::wstring CurrentFolder() {
    wchar_t folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
}

// Asks the test script for a picture of the window and waits until it is taken.
void Screenshot(const Program& program, HWND also = nullptr, const char* name = "screenshot") {
    RECT rect;
    GetWindowRect(program.window(), &rect);
    if (also != nullptr) {
        RECT other;
        GetWindowRect(also, &other);
        UnionRect(&rect, &rect, &other);
    }
    DeleteFileW(L"screenshot.done");
    if (FILE* f = std::fopen("screenshot.request.tmp", "w")) {
        std::fprintf(f, "%ld %ld %ld %ld %s\n", rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top, name);
        std::fclose(f);
        MoveFileW(L"screenshot.request.tmp", L"screenshot.request");
    }
    if (!WaitFor([] { return GetFileAttributesW(L"screenshot.done") != INVALID_FILE_ATTRIBUTES; },
                 30000))
        Fail("no screenshot was taken");
}

// ---- cases ------------------------------------------------------------------------------------

// A device in the state the scenario names, right after start-up: the first
// ticks have polled it.
struct StartupCase {
    const char* name;
    const char* scenario;
    const wchar_t* linkStatus;
    const wchar_t* firmware;
    const wchar_t* serial;
    Buttons buttons;
};

const StartupCase kStartupCases[] = {
    {"startup-firmware",
     "",
     L"USB Interface: Ready",
     L"Firmw. Version: 2.4.0.0",
     L"Serial Number: 1A2B",
     {true, true, false, true}},
    {"startup-bootloader",
     "bootloader",
     L"USB Interface: Ready",
     L"Firmw. Version: 0.6.0.2",
     L"Serial Number:",
     {true, false, false, true}},
    {"startup-unplugged",
     "unplugged",
     L"USB Interface: ERROR -1",
     L"Firmw. Version:",
     L"Serial Number:",
     {false, false, false, true}},
};

void RunStartup(const StartupCase& c) {
    Program program;
    if (!program.Start(c.scenario) || !program.FindMainWindow(15000)) return;
    program.Await(
        [&] {
            return program.Text(kLinkStatus) == c.linkStatus &&
                   program.Text(kFirmware) == c.firmware && program.Text(kSerial) == c.serial;
        },
        5000, "the fields of the first ticks");
    ExpectText("the link status", program.Text(kLinkStatus), c.linkStatus);
    ExpectText("the firmware version", program.Text(kFirmware), c.firmware);
    ExpectText("the serial number", program.Text(kSerial), c.serial);
    ExpectText("the progress field", program.Text(kProgress), L"");
    ExpectText("the current file", program.Text(kCurrentFile), L"");
    ExpectButtons(program, c.buttons);
    if (program.LogCount() != 0) Fail("the log is not empty at start");
    // The program keeps polling and stays as it is.
    Sleep(300);
    ExpectText("the link status later", program.Text(kLinkStatus), c.linkStatus);
    ExpectButtons(program, c.buttons);
    program.ExitAndExpectCode0();
}

bool AwaitReady(const Program& program) {
    return program.Await([&] { return program.Enabled(kUpdate) && program.Enabled(kInfo); }, 5000,
                         "Update and QDX Info to be enabled");
}

// The scenario of the complete update: the device's boot loader is older than
// the file's, so every stage runs.
constexpr const char* kCompleteUpdateScenario = "old-bootloader,latency:10,reboot:100,drain:4000";

// Update on a program whose device is ready: "QDX-Update OK" with the complete
// log, the fields and buttons as after an update, the newest line in view.
bool DriveCompleteUpdate(const Program& program) {
    if (!AwaitReady(program)) return false;
    program.Click(kUpdate);
    ExpectButtons(program, {false, false, false, false});
    const ULONGLONG started = GetTickCount64();
    bool sawProgress = false;
    const bool done = program.Await(
        [&] {
            if (!program.Text(kProgress).empty()) sawProgress = true;
            const int count = program.LogCount();
            return count > 0 && program.Log().back().text == L"QDX-Update OK";
        },
        180000, "\"QDX-Update OK\"");
    Note("update took %llu ms", static_cast<unsigned long long>(GetTickCount64() - started));
    if (!done) return false;
    if (!sawProgress) Fail("the progress field never showed a worker's progress");
    std::vector<LogLine> complete;
    for (const expected::LogEntry& line : expected::kCompleteUpdate)
        complete.push_back({line.text, line.colour});
    ExpectLog(program, complete);
    ExpectButtons(program, {true, true, true, true});
    ExpectText("the progress field", program.Text(kProgress), L"");
    ExpectText("the current file", program.Text(kCurrentFile), L" ");
    // The last line is in view.
    HWND list = GetDlgItem(program.window(), kLog);
    RECT client;
    GetClientRect(list, &client);
    const auto top = static_cast<int>(SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    const auto height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 18, 0));
    if (height <= 0 || top + (client.bottom / height) < 19)
        Fail("the newest log line is not in view (top line %d, line height %d, list height %ld)",
             top + 1, height, client.bottom);
    return true;
}

// Restart, enabled by the update, restarts the device and says so; then Exit.
void RestartAndExit(const Program& program) {
    program.Click(kRestart);
    const auto lines = program.Log();
    if (lines.size() != 20 || lines.back().text != L"Restart" || lines.back().colour != kBlack)
        Fail("Restart did not log \"Restart\" in black");
    ExpectText("the progress field after Restart", program.Text(kProgress), L"");
    program.ExitAndExpectCode0();
}

void RunUpdate() {
    Program program;
    if (!program.Start(kCompleteUpdateScenario) || !program.FindMainWindow(15000) ||
        !DriveCompleteUpdate(program))
        return;
    Screenshot(program);
    RestartAndExit(program);
}

// A package's demo folder as shipped (with this driver copied in): demo.cmd
// writes the sample files and starts the program from this folder; the
// program it started runs a complete update.
void RunDemo() {
    const wchar_t* files[] = {L"QDX140-BL0602.Bic", L"QDX140-FW2500.Bic", L"QDX140-IP0005.Bic",
                              L"QDX140-GA0010.Bic"};
    for (const wchar_t* file : files)
        if (GetFileAttributesW(file) != INVALID_FILE_ATTRIBUTES)
            Fail("%s is there before demo.cmd ran", Narrow(file).c_str());
    if (Program::FindAnyMainWindow() != nullptr)
        Fail("a QDX-Update window is open before demo.cmd ran");
    SetEnvironmentVariableA("QDX140_SIM", kCompleteUpdateScenario);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION cmd{};
    wchar_t commandLine[] = L"cmd.exe /c demo.cmd";
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &cmd)) {
        Fail("demo.cmd could not be started (error %lu)", GetLastError());
        return;
    }
    DWORD code = 1;
    if (WaitForSingleObject(cmd.hProcess, 60000) != WAIT_OBJECT_0) Fail("demo.cmd did not end");
    GetExitCodeProcess(cmd.hProcess, &code);
    CloseHandle(cmd.hProcess);
    CloseHandle(cmd.hThread);
    if (code != 0) Fail("demo.cmd ended with %lu", static_cast<unsigned long>(code));
    for (const wchar_t* file : files)
        if (GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES)
            Fail("demo.cmd did not write %s", Narrow(file).c_str());
    HWND window = nullptr;
    if (!WaitFor([&] { return (window = Program::FindAnyMainWindow()) != nullptr; }, 15000)) {
        Fail("demo.cmd started no QDX-Update window");
        return;
    }
    Program program;
    if (!program.Attach(window)) return;
    const std::wstring expectedImage = CurrentFolder() + L"\\QDX-Update.exe";
    if (lstrcmpiW(program.ImagePath().c_str(), expectedImage.c_str()) != 0)
        Fail("the program runs from %s, expected %s", Narrow(program.ImagePath()).c_str(),
             Narrow(expectedImage).c_str());
    if (!DriveCompleteUpdate(program)) return;
    RestartAndExit(program);
}

void RunMissingFile() {
    DeleteFileW(L"QDX140-FW2500.Bic");
    Program program;
    if (!program.Start("") || !program.FindMainWindow(15000) || !AwaitReady(program)) return;
    program.Click(kUpdate);
    if (!program.Await([&] { return program.LogCount() >= 1 && program.Enabled(kUpdate); }, 10000,
                       "the end of the update"))
        return;
    ExpectLog(program, {{L"File not found: QDX140-FW2500.Bic", kRed}});
    ExpectText("the progress field", program.Text(kProgress), L"");
    ExpectButtons(program, {true, true, false, true});
    program.ExitAndExpectCode0();
}

void RunInfo() {
    Program program;
    if (!program.Start("") || !program.FindMainWindow(15000) || !AwaitReady(program)) return;
    program.Click(kInfo);  // the handler runs within the click
    ExpectLog(
        program,
        {
            {L"", kBlack},
            {L"Serial Number:        01A2B       HW-Version:          5      Date: 2611", kBlack},
            {L"FW-Version:           2.4.0.0       FPGA-Version:     0012  0034", kBlack},
            {L"Mod-Par-Version:         107       ICMQ-Version:    0012", kBlack},
            {L"", kBlack},
        });
    // A second report follows the first.
    program.Click(kInfo);
    if (program.LogCount() != 10)
        Fail("two reports give %d lines, expected 10", program.LogCount());
    program.ExitAndExpectCode0();
}

BOOL CALLBACK CollectText(HWND child, LPARAM lParam) {
    *reinterpret_cast<std::wstring*>(lParam) += Program::WindowText(child) + L"\n";
    return TRUE;
}

// The library cannot be bound: a message that says why, no main window, and an
// exit code other than 0. `replacement` (if any) is put in place of QDX140.dll.
void RunLoadFailure(const wchar_t* replacement, const std::vector<std::wstring>& expected) {
    DeleteFileW(L"QDX140.dll");
    if (replacement != nullptr && !MoveFileW(replacement, L"QDX140.dll")) {
        Fail("%s is not in the folder", Narrow(replacement).c_str());
        return;
    }
    Program program;
    if (!program.Start("")) return;
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = program.Find(false)) != nullptr || program.Exited(); },
                 15000) ||
        box == nullptr) {
        Fail("no message appeared");
    } else {
        if (GetDlgItem(box, kLog) != nullptr) Fail("the main window appeared");
        std::wstring message;
        EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&message));
        Note("message: %s", Narrow(message).c_str());
        for (const std::wstring& text : expected)
            if (message.find(text) == std::wstring::npos)
                Fail("the message does not say \"%s\"", Narrow(text).c_str());
        if (message.find(L"no text for this error") != std::wstring::npos)
            Fail("the message lacks the system's text for the error");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    const long code = program.ExitCode(10000);
    if (code == 0 || code == -1) Fail("QDX-Update ended with %ld, expected an error code", code);
    if (program.Find(true) != nullptr) Fail("a main window exists");
}

// The About box, through the system menu's entry 16 (any low four bits).
void RunAbout() {
    Program program;
    if (!program.Start("") || !program.FindMainWindow(15000)) return;
    for (WPARAM command : {WPARAM{0x10}, WPARAM{0x1F}}) {
        PostMessageW(program.window(), WM_SYSCOMMAND, command, 0);
        HWND about = nullptr;
        const bool shown = program.Await(
            [&] {
                HWND found = program.Find(false);
                about = found != program.window() ? found : nullptr;
                if (about == nullptr) {
                    // The main window may come first in the z-order.
                    HWND candidate = GetWindow(program.window(), GW_HWNDFIRST);
                    for (; candidate != nullptr; candidate = GetWindow(candidate, GW_HWNDNEXT))
                        if (GetWindow(candidate, GW_OWNER) == program.window() &&
                            IsWindowVisible(candidate))
                            about = candidate;
                }
                return about != nullptr;
            },
            5000, "the About box");
        if (!shown) return;
        ExpectText("the About box's title", Program::WindowText(about), L"Info über QDX-Update");
        ExpectText("the About box's name", Program::WindowText(GetDlgItem(about, 1101)),
                   L"QDX-Update");
        ExpectText("the About box's version", Program::WindowText(GetDlgItem(about, 1102)),
                   L"Version 1.0.0");
        SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
        program.Await([&] { return !IsWindow(about); }, 5000, "the About box to close");
    }
    program.ExitAndExpectCode0();
}

// Escape and the close box end the program as Exit does.
void RunCloseWays() {
    for (const char* way : {"Escape", "close box"}) {
        Program program;
        if (!program.Start("") || !program.FindMainWindow(15000) || !AwaitReady(program)) return;
        if (std::strcmp(way, "Escape") == 0)
            // The key reaches the dialog manager through the focused control (Exit).
            PostMessageW(GetDlgItem(program.window(), kExit), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        else
            PostMessageW(program.window(), WM_CLOSE, 0, 0);
        const long code = program.ExitCode(10000);
        if (code != 0) Fail("after %s QDX-Update ended with %ld, expected 0", way, code);
    }
}

// Starts the program on a device with an old boot loader whose calls take
// `latency` µs each, presses Update and waits until the boot loader's
// programming shows its progress; false (with a failure noted) otherwise.
bool StartProgrammingTheBootLoader(Program& program, const char* latency, DWORD limitMs) {
    const std::string scenario = std::string("old-bootloader,latency:") + latency;
    if (!program.Start(scenario.c_str()) || !program.FindMainWindow(15000) || !AwaitReady(program))
        return false;
    program.Click(kUpdate);
    return program.Await(
        [&] {
            return program.Text(kCurrentFile).find(L"Encrypted Bootloader") == 0 &&
                   !program.Text(kProgress).empty();
        },
        limitMs, "the boot loader's programming");
}

// The close box while a worker programs the device: the window stays until
// the worker has finished, then the program ends normally.
void RunCloseWhileProgramming() {
    Program program;
    // Slow calls: the boot loader's programming takes some seconds.
    if (!StartProgrammingTheBootLoader(program, "3000", 30000)) return;
    const ULONGLONG asked = GetTickCount64();
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(program.window(), WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, kSendLimitMs, &ignored);
    Sleep(500);
    if (!IsWindow(program.window()) || program.Text(kProgress).empty())
        Fail("the window closed while the worker was running");
    else
        ExpectText("the caption", Program::WindowText(program.window()),
                   L"QDX-Update - closing after this stage");
    const long code = program.ExitCode(120000);
    Note("the program ended %llu ms after the close request",
         static_cast<unsigned long long>(GetTickCount64() - asked));
    if (code != 0) Fail("QDX-Update ended with %ld, expected 0", code);
}

// ---- the log's context menu and the update record
// ------------------------------------------------

// The popup menu window (class #32768) the program shows.
struct MenuSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK VisitForMenu(HWND window, LPARAM lParam) {
    auto* s = reinterpret_cast<MenuSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (owner != s->pid || !IsWindowVisible(window) || std::wcscmp(name, L"#32768") != 0)
        return TRUE;
    s->found = window;
    return FALSE;
}

HWND FindPopupMenu(DWORD pid) {
    MenuSearch search{pid, nullptr};
    EnumWindows(VisitForMenu, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Right click into the log: returns the context menu's window once it shows.
// (Its items are checked in-process by the window tests: a menu handle means
// nothing in another process under Wine.)
HWND OpenLogMenu(const Program& program) {
    HWND log = GetDlgItem(program.window(), kLog);
    RECT rect;
    GetWindowRect(log, &rect);
    PostMessageW(log, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(log),
                 MAKELPARAM(rect.left + 60, rect.top + 20));
    HWND menuWindow = nullptr;
    program.Await([&] { return (menuWindow = FindPopupMenu(program.pid())) != nullptr; }, 5000,
                  "the log's context menu");
    return menuWindow;
}

void RunLogMenu() {
    Program program;
    if (!program.Start("") || !program.FindMainWindow(15000) || !AwaitReady(program)) return;
    program.Click(kInfo);
    std::wstring shown;
    for (const LogLine& line : program.Log()) shown += line.text + L"\r\n";
    wine_tests::EmptyTheClipboard();
    HWND menu = OpenLogMenu(program);
    if (menu == nullptr) return;
    Screenshot(program, menu, "log-menu");
    // Copy, chosen by its access key. The clipboard is read only once it has
    // changed: opening it while the program copies would make the copy fail.
    const DWORD sequence = GetClipboardSequenceNumber();
    PostMessageW(menu, WM_CHAR, L'c', 0);
    if (!WaitFor(
            [&] {
                return GetClipboardSequenceNumber() != sequence &&
                       wine_tests::ClipboardText() == shown;
            },
            5000))
        Fail("the clipboard holds \"%s\", expected the log \"%s\"",
             Narrow(wine_tests::ClipboardText()).c_str(), Narrow(shown).c_str());
    if (!WaitFor([&] { return FindPopupMenu(program.pid()) == nullptr; }, 5000))
        Fail("the menu stayed open");
    program.ExitAndExpectCode0();
}

std::wstring RecordsFolder() {
    wchar_t local[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    return std::wstring(local) + L"\\QDX-Update\\records";
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*.txt").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

std::vector<std::string> FileLines(const std::wstring& path) {
    std::vector<std::string> lines;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (f == nullptr) return lines;
    std::string line;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    std::fclose(f);
    return lines;
}

const char* ColourName(DWORD colour) {
    return colour == kBlue    ? "Blue "
           : colour == kRed   ? "Red  "
           : colour == kGreen ? "Green"
                              : "Black";
}

// A complete update leaves its record in the Wine user's local application
// data folder, named by its start and the serial number.
void RunRecord() {
    const std::wstring folder = RecordsFolder();
    const std::vector<std::wstring> before = FilesIn(folder);
    Program program;
    if (!program.Start("old-bootloader,latency:10,reboot:100,drain:4000") ||
        !program.FindMainWindow(15000) || !AwaitReady(program))
        return;
    program.Click(kUpdate);
    if (!program.Await(
            [&] { return program.LogCount() > 0 && program.Log().back().text == L"QDX-Update OK"; },
            180000, "\"QDX-Update OK\""))
        return;
    std::wstring name;
    for (const std::wstring& file : FilesIn(folder))
        if (std::find(before.begin(), before.end(), file) == before.end()) name = file;
    if (name.size() != 24 || name.compare(15, 9, L"-1A2B.txt") != 0) {
        Fail("no new record \"YYYYMMDD-HHMMSS-1A2B.txt\" in %s (found \"%s\")",
             Narrow(folder).c_str(), Narrow(name).c_str());
        return;
    }
    std::vector<std::string> record = FileLines(folder + L"\\" + name);
    for (std::string& line : record)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> log;
    for (const std::string& line : record)
        if (!line.empty() && line[0] == '+') log.push_back(line.substr(line.find(' ') + 1));
    const char* arch = sizeof(void*) == 8 ? "x86_64" : "i686";
    const std::string expectedHead[] = {
        "QDX-Update record", std::string("Tool: QDX-Update 1.0.0 (Windows ") + arch + ")"};
    for (size_t i = 0; i < 2; ++i)
        if (record.size() <= i || record[i] != expectedHead[i])
            Fail("record line %zu is \"%s\", expected \"%s\"", i + 1,
                 record.size() > i ? record[i].c_str() : "", expectedHead[i].c_str());
    const auto has = [&](const std::string& line) {
        if (std::find(record.begin(), record.end(), line) == record.end())
            Fail("the record lacks \"%s\"", line.c_str());
    };
    has("Device at start: USB Interface: Ready | Firmw. Version: 2.4.0.0 | Serial Number: 1A2B");
    has("Result: OK");
    has("Device at end: USB Interface: Ready | Firmw. Version: 2.5.0.0 | Serial Number: 1A2B");
    size_t files = 0;
    for (const std::string& line : record)
        files += line.compare(0, 6, "File: ") == 0 && line.find(" | SHA-256 ") != std::string::npos;
    if (files != 4) Fail("the record describes %zu update files, expected 4", files);
    const size_t expectedLines = std::size(expected::kCompleteUpdate);
    if (log.size() != expectedLines)
        Fail("the record holds %zu log lines, expected %zu", log.size(), expectedLines);
    for (size_t i = 0; i < log.size() && i < expectedLines; ++i) {
        const expected::LogEntry& e = expected::kCompleteUpdate[i];
        const std::string want = std::string(ColourName(e.colour)) + " " + Narrow(e.text);
        if (log[i] != want)
            Fail("record log line %zu is \"%s\", expected \"%s\"", i + 1, log[i].c_str(),
                 want.c_str());
    }
    program.ExitAndExpectCode0();
}

// Where the records folder cannot be made the update is the same, no record is
// written, and the log's menu still opens and closes.
void RunRecordUnwritable() {
    wchar_t here[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, here);
    const std::wstring blocker = std::wstring(here) + L"\\a-file";
    if (FILE* f = _wfopen(blocker.c_str(), L"w")) std::fclose(f);
    SetEnvironmentVariableW(L"LOCALAPPDATA", blocker.c_str());
    DeleteFileW(L"QDX140-GA0010.Bic");
    Program program;
    if (!program.Start("") || !program.FindMainWindow(15000) || !AwaitReady(program)) return;
    program.Click(kUpdate);
    if (!program.Await([&] { return program.Enabled(kUpdate); }, 10000, "the end of the update"))
        return;
    ExpectLog(program, {{L"File not found: QDX140-GA0010.Bic", kRed}});
    HWND menu = OpenLogMenu(program);
    if (menu == nullptr) return;
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    if (!WaitFor([&] { return FindPopupMenu(program.pid()) == nullptr; }, 5000))
        Fail("Escape left the menu open");
    if (GetFileAttributesW(blocker.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
        Fail("the file in the way became a folder");
    program.ExitAndExpectCode0();
}

// The question box the main window owns, or nullptr.
HWND QuestionBox(const Program& program) {
    for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        if (GetWindow(w, GW_OWNER) == program.window() && IsWindowVisible(w)) return w;
    return nullptr;
}

// Closing again while a worker programs the device asks whether to quit now:
// No keeps waiting, Yes ends the program at once with exit code 3.
void RunQuitWhileProgramming() {
    Program program;
    // Very slow calls: the boot loader's stage outlasts the case by far.
    if (!StartProgrammingTheBootLoader(program, "100000", 60000)) return;
    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    if (!program.Await(
            [&] {
                return Program::WindowText(program.window()) ==
                       L"QDX-Update - closing after this stage";
            },
            5000, "the caption to say the window closes after the stage"))
        return;
    if (QuestionBox(program) != nullptr) Fail("the first close request asked a question");
    for (const int answer : {IDNO, IDYES}) {
        PostMessageW(program.window(), WM_CLOSE, 0, 0);
        HWND box = nullptr;
        if (!program.Await([&] { return (box = QuestionBox(program)) != nullptr; }, 5000,
                           "the question whether to quit now"))
            return;
        std::wstring texts;
        EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts));
        if (texts.find(L"Quit now? The device may be left partly programmed.") ==
            std::wstring::npos)
            Fail("the question says: %s", Narrow(texts).c_str());
        PostMessageW(GetDlgItem(box, answer), BM_CLICK, 0, 0);
        if (answer == IDNO) {
            program.Await([&] { return !IsWindow(box); }, 5000, "No to take the question away");
            Sleep(300);
            if (program.Exited()) {
                Fail("No ended the program");
                return;
            }
            ExpectText("the caption after No", Program::WindowText(program.window()),
                       L"QDX-Update - closing after this stage");
        }
    }
    const long code = program.ExitCode(10000);
    if (code != 3)
        Fail("after Yes QDX-Update ended with %ld, expected 3 (quit under a running worker)", code);
}

struct Case {
    const char* name;
    std::function<void()> run;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (const StartupCase& c : kStartupCases) cases.push_back({c.name, [&c] { RunStartup(c); }});
    cases.push_back({"update", RunUpdate});
    cases.push_back({"demo", RunDemo});
    cases.push_back({"missing-file", RunMissingFile});
    cases.push_back({"info", RunInfo});
    cases.push_back({"missing-library", [] {
                         RunLoadFailure(nullptr,
                                        {L"The device library QDX140.dll could not be loaded.",
                                         L"It was looked for in " + CurrentFolder() +
                                             L" (the folder of QDX-Update.exe) and in ",
                                         L"Put the maker's QDX140.dll beside QDX-Update.exe.",
                                         L"(error 126: "});
                     }});
    cases.push_back({"missing-operation", [] {
                         RunLoadFailure(
                             L"QDX140-missing-op.dll",
                             {L"The device library has no operation 177 (ReadSystemParameter)."});
                     }});
    // The library of the other architecture names the package to use instead.
    cases.push_back(
        {"other-arch-library", [] {
             RunLoadFailure(
                 L"QDX140-other-arch.dll",
                 {sizeof(void*) == 8
                      ? L"QDX140.dll is a 32-bit library; use the 32-bit QDX-Update (win32 package)"
                      : L"QDX140.dll is a 64-bit library; use the 64-bit QDX-Update (win64 "
                        L"package)",
                  L"(" + CurrentFolder() + L"\\QDX140.dll, error "});
         }});
    cases.push_back(
        {"missing-dependency", [] {
             RunLoadFailure(L"QDX140-needs-absent.dll",
                            {L"QDX140.dll needs qdx-absent.dll, which is missing on this computer.",
                             L"put qdx-absent.dll beside it.", L", error 126: "});
         }});
    // Any other failure: the system's own text beside the number.
    cases.push_back({"library-init-fails", [] {
                         RunLoadFailure(L"QDX140-init-fails.dll",
                                        {L"The device library QDX140.dll could not be loaded.\n",
                                         L"\\QDX140.dll, error 1114: "});
                     }});
    cases.push_back({"about", RunAbout});
    cases.push_back({"close", RunCloseWays});
    cases.push_back({"close-while-programming", RunCloseWhileProgramming});
    cases.push_back({"log-menu", RunLogMenu});
    cases.push_back({"record", RunRecord});
    cases.push_back({"record-unwritable", RunRecordUnwritable});
    cases.push_back({"quit-while-programming", RunQuitWhileProgramming});
    return cases;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qdx-wine-driver CASE | --list\n");
        return 2;
    }
    const std::string name = argv[1];
    const char* const arch = sizeof(void*) == 8 ? "x86_64" : "i686";
    for (const Case& c : Cases()) {
        if (name == "--list") {
            std::printf("%s\n", c.name);
        } else if (name == c.name) {
            c.run();
            if (g_failures == 0)
                std::printf("qdx-wine-driver: %s passed (%s)\n", c.name, arch);
            else
                std::printf("qdx-wine-driver: %s FAILED (%s, %d failed checks)\n", c.name, arch,
                            g_failures);
            return g_failures == 0 ? 0 : 1;
        }
    }
    if (name == "--list") return 0;
    std::fprintf(stderr, "unknown case %s\n", name.c_str());
    return 2;
}
