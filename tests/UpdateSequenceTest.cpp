// Whole updates against the simulated device, on virtual time.
#include <gtest/gtest.h>

#include "platform/Text.h"
#include "simulator/Samples.h"
#include "tests/CompleteUpdateLog.h"
#include "tests/Harness.h"
#include "update/UpdateSequence.h"

using sim::Op;
using testing_support::Harness;
using ui::LogColour;

namespace {

struct Line {
    std::wstring text;
    uint32_t colour;
};
using expected::kBlack, expected::kBlue, expected::kGreen, expected::kRed;

std::vector<Line> Log(const Harness& h) {
    std::vector<Line> lines;
    for (const ui::LogLine& l : h.window.log().lines()) lines.push_back({l.text, l.colour});
    return lines;
}

void ExpectLog(const Harness& h, const std::vector<Line>& expected) {
    const std::vector<Line> actual = Log(h);
    ASSERT_EQ(actual.size(), expected.size()) << [&] {
        std::string all;
        for (const Line& l : actual) all += platform::ToUtf8(l.text) + "\n";
        return all;
    }();
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].text, expected[i].text) << "line " << i + 1;
        EXPECT_EQ(actual[i].colour, expected[i].colour) << "line " << i + 1;
    }
}

std::vector<Line> CompleteLog(bool bootloaderProgrammed) {
    std::vector<Line> lines;
    for (const expected::LogEntry& line : expected::kCompleteUpdate) lines.push_back({line.text, line.colour});
    if (!bootloaderProgrammed) {
        lines.erase(lines.begin() + 1, lines.begin() + 3);
        lines.insert(lines.begin() + 1, Line{L"Bootloader Version OK 0602", kBlue});
    }
    return lines;
}

std::vector<uint8_t> Contents(samples::Kind kind) {
    const std::vector<uint8_t> file = samples::FileBytes(kind);
    return std::vector<uint8_t>(file.begin() + 16, file.end());
}

size_t Count(const std::vector<sim::Call>& trace, Op op, int64_t firstArg = -1) {
    size_t n = 0;
    for (const sim::Call& c : trace)
        if (c.op == op && (firstArg < 0 || (!c.args.empty() && c.args[0] == firstArg))) ++n;
    return n;
}

size_t CountLines(const Harness& h, const std::wstring& text) {
    size_t n = 0;
    for (const ui::LogLine& l : h.window.log().lines()) n += l.text == text;
    return n;
}

TEST(Update, CompleteUpdateProgramsEveryAreaAndKeepsTheDevicesParameters) {
    sim::Config config;
    config.bootloaderVersion = {0, 6, 0, 1};
    Harness h(config);
    h.Init();
    h.Tick();
    const auto parametersBefore = h.device.SystemParameters();
    h.window.ForgetEvents();
    ASSERT_TRUE(h.Update());

    ExpectLog(h, CompleteLog(true));
    EXPECT_EQ(h.device.Flash(0), Contents(samples::Kind::Bootloader));
    EXPECT_EQ(h.device.Flash(1), Contents(samples::Kind::Firmware));
    EXPECT_EQ(h.device.Flash(5), Contents(samples::Kind::Interpolator));
    EXPECT_EQ(h.device.SystemParameters(), parametersBefore);
    EXPECT_EQ(h.device.fpgaVersion(), 0x00100010u) << "the FPGA took the new configuration";
    EXPECT_EQ(h.device.bootloaderVersion(), (std::array<uint8_t, 4>{0, 6, 0, 2}));
    EXPECT_EQ(h.device.firmwareVersion(), (std::array<uint8_t, 4>{2, 5, 0, 0}));
    const auto module = h.device.ModuleParameters();
    for (int p = 230; p <= 238; ++p) EXPECT_EQ(module.at(p), 0) << p;
    EXPECT_EQ(h.device.moduleSaves(), 1);
    EXPECT_EQ(h.device.userSaves(), 1);
    EXPECT_EQ(h.window.field(ui::currentFileField), L" ");
    EXPECT_EQ(h.window.field(ui::progressField), L"");
    // The update disables all four, then step 33 enables them in this order.
    const std::vector<std::string> events = h.window.enableEvents();
    ASSERT_GE(events.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4),
              (std::vector<std::string>{"-1023", "-1022", "-1011", "-1"}));
    EXPECT_EQ(std::vector<std::string>(events.end() - 4, events.end()),
              (std::vector<std::string>{"+1023", "+1022", "+1011", "+1"}));
    for (int id : {ui::updateButton, ui::infoButton, ui::restartButton, ui::exitButton})
        EXPECT_TRUE(h.window.enabled(id)) << id;
}

TEST(Update, EqualBootLoaderVersionsSkipTheBootLoader) {
    Harness h;
    h.Init();
    ASSERT_TRUE(h.Update());
    ExpectLog(h, CompleteLog(false));
    EXPECT_EQ(Count(h.device.Trace(), Op::EraseSector, 0), 0u) << "boot loader never erased";
}

TEST(Update, AMissingFileEndsTheUpdateBeforeAnyDeviceCall) {
    for (int missing = 0; missing < 4; ++missing) {
        Harness h;
        const std::string name = samples::Info(static_cast<samples::Kind>(missing)).fileName;
        std::filesystem::remove(h.folder.path() / name);
        // A later file held open elsewhere would also be missing; it must not be tried.
        h.Init();
        h.Tick();
        h.device.ClearTrace();
        h.window.ForgetEvents();
        ASSERT_TRUE(h.Update());
        ExpectLog(h, {{L"File not found: " + platform::Widen(name.c_str()), kRed}});
        EXPECT_EQ(Count(h.device.Trace(), Op::EnterBootloader), 0u);
        EXPECT_EQ(h.window.field(ui::progressField), L"");
        EXPECT_TRUE(h.window.enabled(ui::updateButton));
        EXPECT_TRUE(h.window.enabled(ui::infoButton));
        EXPECT_TRUE(h.window.enabled(ui::exitButton));
        EXPECT_FALSE(h.window.enabled(ui::restartButton)) << name;
    }
}

TEST(Update, TheFileCheckStopsAtTheFirstMissingFile) {
    Harness h;
    std::filesystem::remove(h.folder.path() / "QDX140-FW2500.Bic");
    std::filesystem::remove(h.folder.path() / "QDX140-IP0005.Bic");
    h.Init();
    ASSERT_TRUE(h.Update());
    ExpectLog(h, {{L"File not found: QDX140-FW2500.Bic", kRed}});
}

TEST(Update, AStageIsTriedElevenTimesAtMost) {
    struct Case {
        int64_t failures;
        const wchar_t* lastLine;
        int32_t retryCount;
    } cases[] = {{10, L"QDX-Update OK", 0}, {11, L"QDX-Update ERROR", 11}};
    for (const Case& c : cases) {
        sim::Config config;
        // Equal versions: the first erase is the firmware's.
        config.faults.push_back({Op::EraseSector, 1, c.failures, 1, 7u, {}});
        Harness h(config);
        h.Init();
        ASSERT_TRUE(h.Update());
        const std::vector<std::wstring> log = h.LogTexts();
        EXPECT_EQ(log.back(), c.lastLine);
        EXPECT_EQ(CountLines(h, L"Erase ERROR 7"), static_cast<size_t>(std::min<int64_t>(c.failures, 11)));
        EXPECT_EQ(CountLines(h, L"Programming ERROR"), CountLines(h, L"Erase ERROR 7"));
        EXPECT_EQ(update::updateState.retryCount, c.retryCount);
        EXPECT_EQ(h.device.Flash(1) == Contents(samples::Kind::Firmware), c.failures <= 10);
        if (c.failures > 10) {
            EXPECT_EQ(Log(h).back().colour, kRed);
            EXPECT_FALSE(h.window.enabled(ui::restartButton));
            EXPECT_EQ(h.window.field(ui::currentFileField), L"Encrypted Firmware: QDX140-FW2500.Bic");
        }
    }
}

TEST(Update, ARetryWaitsOneSecondBeforeTheStageStartsAgain) {
    sim::Config config;
    config.faults.push_back({Op::EraseSector, 1, 1, 1, 7u, {}});
    Harness h(config);
    h.Init();
    h.dlg.OnUpdateButton();
    ASSERT_TRUE(h.TickUntil([] { return update::updateState.updateStep == 10; }));
    ASSERT_TRUE(h.TickUntil([] { return update::updateState.retryCount == 1; }));
    EXPECT_EQ(update::updateState.delayTicks, 20);
    const int failedAt = h.ticks;
    ASSERT_TRUE(h.TickUntil([] { return update::updateState.updateStep == 12; }));
    EXPECT_GE(h.ticks - failedAt, 20);
}

// After the boot loader was programmed, step 7 restarts the device. Where it
// comes back decides step 8's way.
TEST(Update, StepEightFollowsTheDeviceBackFromItsRestart) {
    struct Case {
        const char* what;
        std::vector<sim::Fault> faults;
        size_t enterBootloaderCalls;  // steps 2 and 16, and step 9 when it is passed
    } cases[] = {
        {"back in its firmware: step 9 sends it to the boot loader", {}, 3},
        {"back in its boot loader without the link dropping: straight to step 10",
         {{Op::RestartDevice, 1, 1, 1, {}, {}}}, 2},
        {"restart refused: still in the boot loader, straight to step 10",
         {{Op::RestartDevice, 1, 1, 0, {}, {}}}, 2},
    };
    for (const Case& c : cases) {
        sim::Config config;
        config.bootloaderVersion = {0, 6, 0, 1};
        config.faults = c.faults;
        Harness h(config);
        h.Init();
        ASSERT_TRUE(h.Update()) << c.what;
        EXPECT_EQ(h.LogTexts().back(), L"QDX-Update OK") << c.what;
        EXPECT_EQ(Count(h.device.Trace(), Op::EnterBootloader), c.enterBootloaderCalls) << c.what;
    }
}

TEST(Update, ABootLoaderThatComesBackAfterTheLinkDroppedGoesStraightToTheFirmware) {
    sim::Config config;
    config.bootloaderVersion = {0, 6, 0, 1};
    // The new boot loader comes up without firmware: the firmware area was erased
    // by a failed earlier update, so a restart ends in the boot loader.
    Harness h(config);
    h.Init();
    h.dlg.OnUpdateButton();
    ASSERT_TRUE(h.TickUntil([] { return update::updateState.updateStep == 7; }));
    uint8_t status = 0;
    ASSERT_EQ(h.device.EraseSector(0, 1, &status), 1);
    ASSERT_TRUE(h.TickUntil([] { return update::updateState.updateStep == 0; }));
    EXPECT_EQ(update::updateState.restartState, 3);
    EXPECT_EQ(h.LogTexts().back(), L"QDX-Update OK");
    EXPECT_EQ(Count(h.device.Trace(), Op::EnterBootloader), 2u) << "steps 2 and 16 only";
}

TEST(Update, ASecondUpdateInTheSameRunStartsItsCountsAnew) {
    sim::Config config;
    config.bootloaderVersion = {0, 6, 0, 1};
    config.faults.push_back({Op::EraseSector, 1, 3, 1, 7u, {}});
    Harness h(config);
    h.Init();
    ASSERT_TRUE(h.Update());
    EXPECT_EQ(update::updateState.retryCount, 0);
    // Step 7's restart was followed to 2; the boot loader answering after step 9 made it 3.
    EXPECT_EQ(update::updateState.restartState, 3);
    ASSERT_TRUE(h.Update());
    ExpectLog(h, CompleteLog(false));
    EXPECT_EQ(update::updateState.restartState, 3) << "carried over, never reset";
}

TEST(Update, StepsOutsideTheTableReturnToZeroAndDoNothing) {
    for (int32_t step : {0, -5, 34, 98, 101, 1000}) {
        Harness h;
        h.Init();
        h.Tick();
        h.device.ClearTrace();
        update::updateState.updateStep = step;
        update::UpdateSequenceStep(h.window);
        EXPECT_EQ(update::updateState.updateStep, 0) << step;
        EXPECT_TRUE(h.device.Trace().empty()) << step;
        EXPECT_EQ(h.window.log().size(), 0u) << step;
    }
}

TEST(Update, ParametersAreProgrammedBackOnlyWhenAllSixtyFourWereRead) {
    struct Case {
        int64_t failingReads;  // of parameter reads, from the first
        const wchar_t* lastLine;
    } cases[] = {{1, L"QDX-Update OK"}, {-1, L"QDX-Update ERROR"}};
    for (const Case& c : cases) {
        sim::Config config;
        config.faults.push_back({Op::ReadSystemParameter, 1, c.failingReads, 0, {}, {}});
        Harness h(config);
        h.device.SetSystemParameter(7, -123456);
        const auto parameters = h.device.SystemParameters();
        h.Init();
        ASSERT_TRUE(h.Update());
        EXPECT_EQ(h.LogTexts().back(), c.lastLine);
        EXPECT_GE(CountLines(h, L"Read System Parameter ERROR"), 1u);
        EXPECT_EQ(h.device.SystemParameters(), parameters) << "the device's own values stay";
        const bool completed = c.failingReads > 0;
        EXPECT_EQ(CountLines(h, L"Read System Parameter OK"), completed ? 1u : 0u);
        EXPECT_EQ(Count(h.device.Trace(), Op::EraseSector, 4), completed ? 1u : 0u)
            << "the parameter area is erased only after a complete read";
        if (!completed) {
            EXPECT_EQ(CountLines(h, L"Read System Parameter ERROR"), 11u);
        }
    }
}

TEST(Update, ARefusedSaveOnlyLeavesOutItsLine) {
    sim::Config config;
    config.faults.push_back({Op::SaveModuleParameters, 1, 1, 0, {}, {}});
    Harness h(config);
    h.Init();
    ASSERT_TRUE(h.Update());
    EXPECT_EQ(CountLines(h, L"Save OK"), 1u);
    EXPECT_EQ(h.LogTexts().back(), L"QDX-Update OK");
}

}  // namespace
