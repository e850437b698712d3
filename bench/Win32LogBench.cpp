// The colour log of the Win32 window at its 10000-line cap, on the screen:
// how long ClearLog of a full log and one append to a full log keep the window
// thread. Prints figures (and writes them to log-bench.txt beside the program
// for the test run that starts it); it never judges them.
//
//   qdx-log-bench.exe [ROUNDS]     default 3 rounds
//   qdx-log-bench.exe --probe      starts and ends at once (can this Wine run it?)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"
#include "simulator/SimDevice.h"
#include "ui/win32/FlasherDlgWin32.h"
#include "ui/win32/resource.h"

namespace {

constexpr int kFull = win32::CFlasherDlg::kMaxLogLines;
constexpr int kAppends = 1000;

class Clock {
public:
    Clock() { QueryPerformanceFrequency(&frequency_); }
    double NowMs() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart) * 1000.0 /
               static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_;
};

// Runs what the window's message loop would run now: paints, timers aside.
void Pump(HWND dialog) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_TIMER) continue;  // no device polling in the figures
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// Fills the log to its cap without painting each line (the set-up is not measured),
// the newest line in view, the list painted.
void Fill(win32::CFlasherDlg& dialog) {
    HWND list = dialog.logList().hwnd();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (int i = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)); i < kFull; ++i) {
        const std::wstring text = L"line " + std::to_wstring(i + 1) + L" of the full log";
        const int index = dialog.logList().AddString(text.c_str());
        dialog.logList().SetItemData(index, ui::StoredColour(static_cast<ui::LogColour>(i % 4)));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    SendMessageW(list, LB_SETTOPINDEX, kFull - 1, 0);
    RedrawWindow(list, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    Pump(dialog.hwnd());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wcscmp(argv[1], L"--probe") == 0) return 0;
    const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 3;

    sim::Config config;
    config.trace = false;
    config.callCostUs = 0;
    sim::Instance().Reset(config);
    device::Device() = sim::StaticLibrary();

    win32::CFlasherDlg dialog;
    if (dialog.Create() == nullptr) {
        std::fprintf(stderr, "the main window could not be created (%lu)\n", GetLastError());
        return 1;
    }
    // On the screen: the cost is in painting and scrolling the visible list.
    KillTimer(dialog.hwnd(), win32::CFlasherDlg::kTimerId);
    ShowWindow(dialog.hwnd(), SW_SHOW);
    UpdateWindow(dialog.hwnd());
    Pump(dialog.hwnd());

    const Clock clock;
    std::vector<double> clear, clearPending, append, appendMax, appendPending;
    for (int round = 0; round < rounds; ++round) {
        Fill(dialog);
        double start = clock.NowMs();
        dialog.ClearLog();
        double end = clock.NowMs();
        Pump(dialog.hwnd());
        clear.push_back(end - start);
        clearPending.push_back(clock.NowMs() - end);
        if (dialog.logList().GetCount() != 0) {
            std::fprintf(stderr, "ClearLog left %d lines\n", dialog.logList().GetCount());
            return 1;
        }

        Fill(dialog);
        double total = 0, pending = 0, longest = 0;
        for (int i = 0; i < kAppends; ++i) {
            start = clock.NowMs();
            dialog.AppendLogLine(L"Read Firmware Version: 2.5.0.0 appended " + std::to_wstring(i),
                                 static_cast<ui::LogColour>(i % 4));
            end = clock.NowMs();
            Pump(dialog.hwnd());
            total += end - start;
            longest = std::max(longest, end - start);
            pending += clock.NowMs() - end;
        }
        append.push_back(total / kAppends);
        appendMax.push_back(longest);
        appendPending.push_back(pending / kAppends);
        if (dialog.logList().GetCount() != kFull) {
            std::fprintf(stderr, "the full log holds %d lines\n", dialog.logList().GetCount());
            return 1;
        }
    }

    char figures[512];
    std::snprintf(figures, sizeof figures,
                  "ClearLog of %d lines: %.2f ms (median of %d; then %.2f ms of pending messages)\n"
                  "append at %d lines: %.3f ms (median of %d means of %d appends; longest %.2f ms; "
                  "then %.3f ms of pending messages)\n",
                  kFull, Median(clear), rounds, Median(clearPending), kFull, Median(append), rounds,
                  kAppends, Median(appendMax), Median(appendPending));
    std::fputs(figures, stdout);
    if (FILE* out = std::fopen("log-bench.txt", "w")) {
        std::fputs(figures, out);
        std::fclose(out);
    }
    return 0;
}
