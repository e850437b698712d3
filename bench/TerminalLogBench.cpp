// The terminal window's message log at its 10000-line cap: ClearLog of a full
// log and one append to a full log, drawn onto a 120 x 40 terminal whose
// output goes to /dev/null (the terminal's own speed is not measured).
#include <benchmark/benchmark.h>
#include <curses.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "ui/terminal/TerminalWindow.h"

namespace {

constexpr int kFull = 10000;

// Curses on a terminal of its own, for the length of one benchmark.
class OffScreenTerminal {
public:
    OffScreenTerminal() {
        std::setlocale(LC_CTYPE, "C.UTF-8");
        out_ = std::fopen("/dev/null", "w");
        in_ = std::fopen("/dev/null", "r");
        screen_ = newterm("xterm-256color", out_, in_);
        if (screen_ != nullptr) resizeterm(40, 120);
    }
    ~OffScreenTerminal() {
        if (screen_ != nullptr) {
            endwin();
            delscreen(screen_);
        }
        if (out_ != nullptr) std::fclose(out_);
        if (in_ != nullptr) std::fclose(in_);
    }
    bool ok() const { return screen_ != nullptr; }

private:
    FILE* out_ = nullptr;
    FILE* in_ = nullptr;
    SCREEN* screen_ = nullptr;
};

void Fill(ui::terminal::CTerminalWindow& window) {
    for (size_t i = window.log().size(); i < kFull; ++i)
        window.AppendLogLine(L"line " + std::to_wstring(i + 1) + L" of the full log",
                             static_cast<ui::LogColour>(i % 4));
}

void BM_TerminalClearFullLog(benchmark::State& state) {
    OffScreenTerminal terminal;
    if (!terminal.ok()) {
        state.SkipWithError("no terminal description for xterm-256color");
        return;
    }
    ui::terminal::CTerminalWindow window;
    for (auto _ : state) {
        state.PauseTiming();
        Fill(window);
        state.ResumeTiming();
        window.ClearLog();
        window.Present();
    }
}
// Filling the log takes far longer than clearing it: a few rounds only.
BENCHMARK(BM_TerminalClearFullLog)->Unit(benchmark::kMicrosecond)->Iterations(5);

void BM_TerminalAppendAtCap(benchmark::State& state) {
    OffScreenTerminal terminal;
    if (!terminal.ok()) {
        state.SkipWithError("no terminal description for xterm-256color");
        return;
    }
    ui::terminal::CTerminalWindow window;
    Fill(window);
    int i = 0;
    for (auto _ : state) {
        ++i;
        window.AppendLogLine(L"Read Firmware Version: 2.5.0.0 appended " + std::to_wstring(i),
                             static_cast<ui::LogColour>(i % 4));
    }
    if (window.log().size() != kFull) state.SkipWithError("the log left its cap");
}
BENCHMARK(BM_TerminalAppendAtCap)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
