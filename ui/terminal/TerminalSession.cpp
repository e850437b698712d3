#include "ui/terminal/TerminalSession.h"

#include <curses.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ui::terminal {
namespace {

// Arrivals of each end signal, counted by the handler; taken by the loop.
const int kEndSignals[] = {SIGHUP, SIGTERM, SIGINT, SIGQUIT};
constexpr int kEndSignalCount = sizeof kEndSignals / sizeof kEndSignals[0];
volatile sig_atomic_t arrived[kEndSignalCount] = {};
sig_atomic_t taken[kEndSignalCount] = {};

// What a crash handler needs to give the terminal back without curses: the
// terminal modes from before the start and the control strings that leave the
// alternate screen, show the cursor and reset the attributes.
struct termios savedModes;
bool haveSavedModes = false;
char restoreBytes[256];
size_t restoreLength = 0;
volatile sig_atomic_t cursesActive = 0;
SCREEN* screen = nullptr;

const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void OnEndSignal(int sig) {
    for (int i = 0; i < kEndSignalCount; ++i)
        if (kEndSignals[i] == sig) arrived[i] = arrived[i] + 1;
}

void WriteAll(const char* bytes, size_t length) {
    while (length > 0) {
        const ssize_t n = write(STDOUT_FILENO, bytes, length);
        if (n <= 0) return;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
}

void OnCrashSignal(int sig) {
    if (cursesActive) {
        WriteAll(restoreBytes, restoreLength);
        if (haveSavedModes) tcsetattr(STDIN_FILENO, TCSANOW, &savedModes);
        cursesActive = 0;
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

void AddCapability(const char* name) {
    char* value = tigetstr(name);
    if (value == nullptr || value == reinterpret_cast<char*>(-1)) return;
    const size_t n = std::strlen(value);
    if (restoreLength + n >= sizeof restoreBytes) return;
    std::memcpy(restoreBytes + restoreLength, value, n);
    restoreLength += n;
}

void RestoreAtExit() {
    if (cursesActive) {
        endwin();
        cursesActive = 0;
    }
}

}  // namespace

TerminalSession::TerminalSession() {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        error_ = "QDX-Update runs in a terminal: standard input and output must be one";
        return;
    }
    haveSavedModes = tcgetattr(STDIN_FILENO, &savedModes) == 0;

    // Our handlers go in before curses starts, so that curses keeps its hands
    // off these signals and the window decides how to end.
    struct sigaction end {};
    end.sa_handler = OnEndSignal;
    sigemptyset(&end.sa_mask);
    for (int sig : kEndSignals) sigaction(sig, &end, nullptr);
    struct sigaction crash {};
    crash.sa_handler = OnCrashSignal;
    sigemptyset(&crash.sa_mask);
    crash.sa_flags = static_cast<int>(SA_RESETHAND);
    for (int sig : kCrashSignals) sigaction(sig, &crash, nullptr);

    std::setlocale(LC_CTYPE, "");
    screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        error_ = "QDX-Update cannot use this terminal (is TERM set to a known terminal?)";
        return;
    }
    set_term(screen);
    cursesActive = 1;
    static bool atExitSet = false;
    if (!atExitSet) {
        std::atexit(RestoreAtExit);
        atExitSet = true;
    }

    restoreLength = 0;
    AddCapability("rmkx");
    AddCapability("sgr0");
    AddCapability("cnorm");
    AddCapability("rmcup");

    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    ok_ = true;
}

TerminalSession::~TerminalSession() { Restore(); }

void TerminalSession::Restore() {
    if (cursesActive) {
        endwin();
        cursesActive = 0;
    }
    if (screen != nullptr) {
        delscreen(screen);
        screen = nullptr;
    }
}

int TerminalSession::TakeEndSignal() {
    for (int i = 0; i < kEndSignalCount; ++i) {
        if (taken[i] != arrived[i]) {
            ++taken[i];
            return kEndSignals[i];
        }
    }
    return 0;
}

}  // namespace ui::terminal
