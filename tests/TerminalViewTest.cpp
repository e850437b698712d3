// The terminal window's parts that work without a terminal: which log lines
// are in view, the tick deadline, the arrangement of the controls and the keys.
#include <curses.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "ui/terminal/EndControl.h"
#include "ui/terminal/KeyMap.h"
#include "ui/terminal/LogView.h"
#include "ui/terminal/TerminalLayout.h"
#include "ui/terminal/TickClock.h"
#include "update/WindowOps.h"

using namespace ui::terminal;
using std::chrono::milliseconds;

// ---- LogView -------------------------------------------------------------------------------

namespace {

// Replays appends and scroll commands against a log of `height` visible lines.
struct LogSim {
    LogView view;
    size_t count = 0;
    size_t cap = 10000;
    explicit LogSim(size_t height) { view.SetHeight(height, 0); }
    void Add(size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const bool full = count == cap;
            if (!full) ++count;
            view.LineAdded(count, full);
        }
    }
    size_t First() const { return view.First(count); }
};

}  // namespace

TEST(LogView, NewLinesKeepTheViewAtTheEnd) {
    LogSim log(10);
    log.Add(5);
    EXPECT_EQ(log.First(), 0u);
    log.Add(20);
    EXPECT_EQ(log.First(), 15u) << "the newest line is the last one in view";
    EXPECT_TRUE(log.view.following());
}

TEST(LogView, ScrolledUpTheViewStaysWhileLinesArrive) {
    LogSim log(10);
    log.Add(30);
    log.view.ScrollBy(-5, log.count);
    EXPECT_EQ(log.First(), 15u);
    EXPECT_FALSE(log.view.following());
    log.Add(7);
    EXPECT_EQ(log.First(), 15u);
    log.view.ScrollBy(100, log.count);
    EXPECT_TRUE(log.view.following()) << "scrolling back to the end follows again";
    log.Add(1);
    EXPECT_EQ(log.First(), 28u);
}

TEST(LogView, AFullLogDroppingItsOldestLineKeepsTheSameLinesInView) {
    LogSim log(10);
    log.cap = 100;
    log.Add(100);
    log.view.ScrollBy(-40, log.count);
    ASSERT_EQ(log.First(), 50u);
    log.Add(3);  // three oldest lines go
    EXPECT_EQ(log.count, 100u);
    EXPECT_EQ(log.First(), 47u);
    log.view.ToStart(log.count);
    log.Add(2);
    EXPECT_EQ(log.First(), 0u) << "at the very top the view cannot move further";
}

TEST(LogView, ScrollCommandsStayWithinTheLog) {
    struct Case {
        const char* what;
        void (*act)(LogView&, size_t);
        size_t first;
        bool following;
    };
    // 50 lines, 10 in view: the end shows lines 40 to 49; a page is 9 lines.
    const Case cases[] = {
        {"one line up", [](LogView& v, size_t n) { v.ScrollBy(-1, n); }, 39, false},
        {"page up", [](LogView& v, size_t n) { v.PageUp(n); }, 31, false},
        {"two pages up, one down",
         [](LogView& v, size_t n) {
             v.PageUp(n);
             v.PageUp(n);
             v.PageDown(n);
         },
         31, false},
        {"far up stops at the top", [](LogView& v, size_t n) { v.ScrollBy(-1000, n); }, 0, false},
        {"start", [](LogView& v, size_t n) { v.ToStart(n); }, 0, false},
        {"start, then end",
         [](LogView& v, size_t n) {
             v.ToStart(n);
             v.ToEnd(n);
         },
         40, true},
        {"down at the end", [](LogView& v, size_t n) { v.ScrollBy(1, n); }, 40, true},
        {"up then page down",
         [](LogView& v, size_t n) {
             v.ScrollBy(-3, n);
             v.PageDown(n);
         },
         40, true},
    };
    for (const Case& c : cases) {
        LogSim log(10);
        log.Add(50);
        c.act(log.view, log.count);
        EXPECT_EQ(log.First(), c.first) << c.what;
        EXPECT_EQ(log.view.following(), c.following) << c.what;
    }
}

TEST(LogView, ALogThatFitsCannotBeScrolled) {
    LogSim log(10);
    log.Add(6);
    log.view.ScrollBy(-3, log.count);
    log.view.ToStart(log.count);
    log.view.PageUp(log.count);
    EXPECT_EQ(log.First(), 0u);
    EXPECT_TRUE(log.view.following());
}

TEST(LogView, GrowingTheViewUntilTheEndShowsFollowsAgain) {
    LogSim log(10);
    log.Add(30);
    log.view.ScrollBy(-5, log.count);
    log.view.SetHeight(12, log.count);
    EXPECT_FALSE(log.view.following()) << "lines 15 to 26 of 30: the end is still hidden";
    log.view.SetHeight(20, log.count);
    EXPECT_TRUE(log.view.following());
    EXPECT_EQ(log.First(), 10u);
}

TEST(LogView, ClearingReturnsToTheStartAndFollows) {
    LogSim log(10);
    log.Add(30);
    log.view.PageUp(log.count);
    log.count = 0;
    log.view.Cleared();
    log.Add(3);
    EXPECT_EQ(log.First(), 0u);
    EXPECT_TRUE(log.view.following());
}

// ---- TickClock -----------------------------------------------------------------------------

TEST(TickClock, WaitsUntilTheDeadlineRoundedUp) {
    const auto t0 = TickClock::Clock::time_point{} + std::chrono::hours(1);
    TickClock clock(t0);
    EXPECT_EQ(clock.WaitMs(t0), 50);
    EXPECT_EQ(clock.WaitMs(t0 + std::chrono::microseconds(49001)), 1);
    EXPECT_EQ(clock.WaitMs(t0 + std::chrono::microseconds(10500)), 40);
    EXPECT_EQ(clock.WaitMs(t0 + milliseconds(50)), 0);
    EXPECT_EQ(clock.WaitMs(t0 + milliseconds(80)), 0);
    EXPECT_FALSE(clock.TakeDue(t0 + std::chrono::microseconds(49999)));
}

TEST(TickClock, KeyPressesDoNotShiftTheTicks) {
    // The loop wakes for keys at odd moments; the ticks stay on the 50 ms grid.
    const auto t0 = TickClock::Clock::time_point{} + std::chrono::hours(1);
    TickClock clock(t0);
    std::vector<long> ticks;
    for (long ms = 1; ms <= 500; ms += 7) {  // a key every 7 ms
        const auto now = t0 + milliseconds(ms);
        if (clock.TakeDue(now)) ticks.push_back(ms);
    }
    // The first wake-up at or after each multiple of 50 ms takes the tick.
    const std::vector<long> expected = {50, 106, 155, 204, 253, 302, 351, 400, 456};
    EXPECT_EQ(ticks, expected);
    EXPECT_EQ(clock.due(), t0 + milliseconds(500));
}

TEST(TickClock, ALateTickMergesTheMissedOnes) {
    const auto t0 = TickClock::Clock::time_point{} + std::chrono::hours(1);
    TickClock clock(t0);
    ASSERT_TRUE(clock.TakeDue(t0 + milliseconds(230)));  // a slow tick or a stopped process
    EXPECT_FALSE(clock.TakeDue(t0 + milliseconds(231))) << "no burst of catch-up ticks";
    EXPECT_EQ(clock.due(), t0 + milliseconds(280));
    ASSERT_TRUE(clock.TakeDue(t0 + milliseconds(290)));  // 10 ms late: stays on its grid
    EXPECT_EQ(clock.due(), t0 + milliseconds(330));
}

// ---- Layout --------------------------------------------------------------------------------

namespace {

bool Overlap(const Rect& a, const Rect& b) {
    return a.y < b.y + b.height && b.y < a.y + a.height && a.x < b.x + b.width &&
           b.x < a.x + a.width;
}

const int kControls[] = {ui::exitButton,    ui::linkStatusField,      ui::logList,
                         ui::restartButton, ui::firmwareVersionField, ui::serialNumberField,
                         ui::progressField, ui::currentFileField,     ui::infoButton,
                         ui::updateButton};

}  // namespace

TEST(TerminalLayout, ControlsLieInsideTheFrameAndApart) {
    const struct { int rows, cols; } sizes[] = {{12, 64}, {24, 80}, {25, 81}, {60, 200}, {12, 300}};
    for (const auto& s : sizes) {
        const Layout l = ComputeLayout(s.rows, s.cols);
        ASSERT_TRUE(l.fits) << s.rows << "x" << s.cols;
        for (int id : kControls) {
            const Rect* r = ControlRect(l, id);
            ASSERT_NE(r, nullptr) << id;
            EXPECT_GE(r->y, 1) << id;
            EXPECT_GE(r->x, 1) << id;
            EXPECT_GE(r->height, 1) << id;
            EXPECT_LE(r->y + r->height, s.rows - 1) << id << " at " << s.rows << "x" << s.cols;
            EXPECT_LE(r->x + r->width, s.cols - 1) << id << " at " << s.rows << "x" << s.cols;
            EXPECT_NE(r->y, l.logRuleRow) << id;
            for (int other : kControls) {
                if (other != id) {
                    EXPECT_FALSE(Overlap(*r, *ControlRect(l, other)))
                        << id << " and " << other << " at " << s.rows << "x" << s.cols;
                }
            }
        }
        EXPECT_EQ(l.log.height, s.rows - 9);
        EXPECT_EQ(ControlRect(l, 4711), nullptr);
    }
}

TEST(TerminalLayout, TheLongestTextsFitAt80Columns) {
    // The widest texts each field and the log show.
    const struct {
        int id;
        std::wstring text;
        int minCols;  // the narrowest terminal that shows it whole
    } texts[] = {
        {ui::currentFileField, L"Encrypted Interpolator Configuration: QDX140-IP0005.Bic", 80},
        {ui::linkStatusField, platform::FormatText(L"USB Interface: ERROR %d", -2147483647 - 1),
         64},
        {ui::firmwareVersionField,
         platform::FormatText(L"Firmw. Version: %X.%X.%X.%X", 255, 255, 255, 255), 64},
        {ui::serialNumberField, platform::FormatText(L"Serial Number: %X", 0xFFFFFFFFu), 64},
        {ui::progressField, platform::FormatText(L"%d%%   %X", 100, 0x1FFFFF), 64},
        {ui::logList,
         platform::FormatText(
             L"Serial Number:        %05X       HW-Version:       %4d      Date: %4d", 0xFFFFFu,
             9999, 9999),
         80},
        {ui::logList, L"Programming BIN-File Encrypted: QDX140-IP0005.Bic", 64},
    };
    for (const auto& t : texts) {
        const Layout l = ComputeLayout(24, t.minCols);
        EXPECT_GE(ControlRect(l, t.id)->width, static_cast<int>(t.text.size()))
            << platform::ToUtf8(t.text) << " at " << t.minCols << " columns";
    }
}

TEST(TerminalLayout, TooSmallATerminalShowsOnlyARequest) {
    EXPECT_FALSE(ComputeLayout(kMinRows - 1, 200).fits);
    EXPECT_FALSE(ComputeLayout(60, kMinCols - 1).fits);
    EXPECT_FALSE(ComputeLayout(0, 0).fits);
    EXPECT_TRUE(ComputeLayout(kMinRows, kMinCols).fits);
}

// ---- Keys ----------------------------------------------------------------------------------

TEST(KeyMap, EachButtonHasItsKeyAndEscapeIsNotAButton) {
    const struct {
        int key;
        Command command;
        int button;
    } cases[] = {
        {'u', Command::Update, ui::updateButton},
        {'U', Command::Update, ui::updateButton},
        {'i', Command::Info, ui::infoButton},
        {'I', Command::Info, ui::infoButton},
        {'r', Command::Restart, ui::restartButton},
        {'R', Command::Restart, ui::restartButton},
        {'e', Command::Exit, ui::exitButton},
        {'E', Command::Exit, ui::exitButton},
        {27, Command::Cancel, 0},
        {'?', Command::About, 0},
        {'s', Command::SaveLog, 0},
        {'S', Command::SaveLog, 0},
        {'h', Command::History, 0},
        {'H', Command::History, 0},
        {KEY_F(1), Command::About, 0},
        {KEY_UP, Command::LineUp, 0},
        {KEY_DOWN, Command::LineDown, 0},
        {KEY_PPAGE, Command::PageUp, 0},
        {KEY_NPAGE, Command::PageDown, 0},
        {KEY_HOME, Command::Home, 0},
        {KEY_END, Command::End, 0},
        {KEY_RESIZE, Command::Resize, 0},
        {'y', Command::Yes, 0},
        {'Y', Command::Yes, 0},
        {'n', Command::No, 0},
        {'N', Command::No, 0},
        {'q', Command::None, 0},
        {'\n', Command::None, 0},
        {KEY_F(2), Command::None, 0},
        {' ', Command::None, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommandForKey(c.key), c.command) << "key " << c.key;
        EXPECT_EQ(ButtonOf(CommandForKey(c.key)), c.button) << "key " << c.key;
    }
}

// ---- Ending ---------------------------------------------------------------------------------

namespace {

using ui::CloseAction;

// One event of a run and the state after it: a close request (the logic's
// answer and the signal, 0 for a key), an answer key, or the logic's end
// coming due.
struct EndStep {
    enum Kind { Request, Answer, Due } kind;
    CloseAction action;
    int signal;
    Command key;
    bool answered;  // Answer: the key answered the question
    // The state afterwards.
    bool closing, asking, ended, quitNow;
};

constexpr EndStep Req(CloseAction action, int signal, bool closing, bool asking, bool ended) {
    return {EndStep::Request, action, signal, Command::None, false, closing, asking, ended, false};
}
constexpr EndStep Key(Command key, bool answered, bool asking, bool ended, bool quitNow) {
    return {EndStep::Answer, CloseAction::End, 0, key, answered, true, asking, ended, quitNow};
}
constexpr EndStep Due() {
    return {EndStep::Due, CloseAction::End, 0, Command::None, false, true, false, true, false};
}

}  // namespace

TEST(EndControl, ASignalNeverEndsARunningWorkerOnlyTheConfirmationDoes) {
    using A = CloseAction;
    const struct {
        const char* name;
        std::vector<EndStep> steps;
        int endSignal;
    } runs[] = {
        {"idle: Ctrl-C ends at once", {Req(A::End, SIGINT, false, false, true)}, SIGINT},
        {"idle: SIGQUIT ends at once like the others",
         {Req(A::End, SIGQUIT, false, false, true)},
         SIGQUIT},
        {"Ctrl-C waits for the stage",
         {Req(A::AfterStage, SIGINT, true, false, false), Due()},
         SIGINT},
        {"repeated Ctrl-C asks, N and Escape keep waiting, Y quits",
         {Req(A::AfterStage, SIGINT, true, false, false),
          Req(A::AskQuitNow, SIGINT, true, true, false),
          Req(A::AskQuitNow, SIGINT, true, true, false),
          Key(Command::Update, false, true, false, false),
          Key(Command::No, true, false, false, false),
          Key(Command::Yes, false, false, false, false),
          Req(A::AskQuitNow, SIGTERM, true, true, false),
          Key(Command::Cancel, true, false, false, false), Req(A::AskQuitNow, 0, true, true, false),
          Key(Command::Yes, true, false, true, true)},
         SIGTERM},
        {"the stage ends while the question is shown",
         {Req(A::AfterStage, 0, true, false, false), Req(A::AskQuitNow, 0, true, true, false),
          Due()},
         0},
        {"SIGHUP waits for the stage and never asks",
         {Req(A::AfterStage, SIGHUP, true, false, false),
          Req(A::AskQuitNow, SIGTERM, true, false, false),
          Key(Command::Yes, false, false, false, false), Due()},
         SIGTERM},
        {"SIGHUP takes the question away",
         {Req(A::AfterStage, SIGINT, true, false, false),
          Req(A::AskQuitNow, SIGINT, true, true, false),
          Req(A::AskQuitNow, SIGHUP, true, false, false), Due()},
         SIGHUP},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        EndControl end;
        for (size_t i = 0; i < run.steps.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "step " << i + 1);
            const EndStep& step = run.steps[i];
            switch (step.kind) {
                case EndStep::Request: end.OnRequest(step.action, step.signal); break;
                case EndStep::Answer: EXPECT_EQ(end.OnAnswer(step.key), step.answered); break;
                case EndStep::Due: end.OnCloseDue(); break;
            }
            if (step.kind != EndStep::Answer) {
                EXPECT_EQ(end.closing(), step.closing);
            }
            EXPECT_EQ(end.asking(), step.asking);
            EXPECT_EQ(end.ended(), step.ended);
            EXPECT_EQ(end.quitNow(), step.quitNow);
        }
        EXPECT_EQ(end.endSignal(), run.endSignal);
    }
}
