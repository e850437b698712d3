// Whole updates against the simulated device, on virtual time.
#include <gtest/gtest.h>

#include <algorithm>

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
    for (const expected::LogEntry& line : expected::kCompleteUpdate)
        lines.push_back({line.text, line.colour});
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
        EXPECT_EQ(CountLines(h, L"Erase ERROR 7"),
                  static_cast<size_t>(std::min<int64_t>(c.failures, 11)));
        EXPECT_EQ(CountLines(h, L"Programming ERROR"), CountLines(h, L"Erase ERROR 7"));
        EXPECT_EQ(update::updateState.retryCount, c.retryCount);
        EXPECT_EQ(h.device.Flash(1) == Contents(samples::Kind::Firmware), c.failures <= 10);
        if (c.failures > 10) {
            EXPECT_EQ(Log(h).back().colour, kRed);
            EXPECT_FALSE(h.window.enabled(ui::restartButton));
            EXPECT_EQ(h.window.field(ui::currentFileField),
                      L"Encrypted Firmware: QDX140-FW2500.Bic");
        }
    }
}

TEST(Update, ARetryWaitsOneSecondBeforeTheStageStartsAgain) {
    sim::Config config;
    config.faults.push_back({Op::EraseSector, 1, 1, 1, 7u, {}});
    Harness h(config);
    h.Init();
    h.dlg.OnUpdateButton();
    ASSERT_TRUE(h.TickUntil(
        [] { return update::updateState.updateStep == update::kStepWaitBootloaderForFirmware; }));
    ASSERT_TRUE(h.TickUntil([] { return update::updateState.retryCount == 1; }));
    EXPECT_EQ(update::updateState.delayTicks, 20);  // one second
    const int failedAt = h.ticks;
    ASSERT_TRUE(h.TickUntil(
        [] { return update::updateState.updateStep == update::kStepWaitFirmwareStage; }));
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
         {{Op::RestartDevice, 1, 1, 1, {}, {}}},
         2},
        {"restart refused: still in the boot loader, straight to step 10",
         {{Op::RestartDevice, 1, 1, 0, {}, {}}},
         2},
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
    ASSERT_TRUE(h.TickUntil(
        [] { return update::updateState.updateStep == update::kStepRestartAfterBootloader; }));
    uint8_t status = 0;
    ASSERT_EQ(h.device.EraseSector(0, 1, &status), 1);
    ASSERT_TRUE(h.TickUntil([] { return update::updateState.updateStep == update::kStepIdle; }));
    EXPECT_EQ(update::updateState.restartState, update::kRestartInBootloader);
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
    EXPECT_EQ(update::updateState.restartState, update::kRestartInBootloader);
    ASSERT_TRUE(h.Update());
    ExpectLog(h, CompleteLog(false));
    EXPECT_EQ(update::updateState.restartState, update::kRestartInBootloader)
        << "carried over, never reset";
}

TEST(Update, StepsOutsideTheTableReturnToZeroAndDoNothing) {
    for (int32_t step : {0, -5, 34, 98, 101, 1000}) {
        Harness h;
        h.Init();
        h.Tick();
        h.device.ClearTrace();
        update::updateState.updateStep = static_cast<update::Step>(step);
        update::UpdateSequenceStep(h.window);
        EXPECT_EQ(update::updateState.updateStep, update::kStepIdle) << step;
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

// ---- requests the device does not follow -----------------------------------------------------

const std::wstring kEnterBootloaderError = L"Enter Bootloader ERROR: the device runs its firmware";
const std::wstring kRestartError = L"Restart Device ERROR: the device runs its Bootloader";

std::vector<Line> EndsWith(const std::wstring& failure) {
    return {{failure, kRed}, {L"", kBlack}, {L"QDX-Update ERROR", kRed}};
}

void ExpectLogEnd(const Harness& h, const std::vector<Line>& expected, const std::string& what) {
    const std::vector<Line> log = Log(h);
    ASSERT_GE(log.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i) {
        const Line& actual = log[log.size() - expected.size() + i];
        EXPECT_EQ(actual.text, expected[i].text) << what;
        EXPECT_EQ(actual.colour, expected[i].colour) << what;
    }
}

// Every request of an update with the boot loader programmed, refused (the
// call returns 0) or lost (accepted, but the device stays where it is), once
// or for ever. The device either follows a repeated request or the update ends
// naming the request; it never waits for ever in the wrong mode.
TEST(Update, ARequestTheDeviceDoesNotFollowIsSentAgainAndEndsTheUpdateWhenNeverFollowed) {
    struct Case {
        const char* step;
        Op op;
        int64_t call;            // which call of the operation (1-based)
        size_t callsWhenOnce;    // of the operation in an update that completes
        const wchar_t* failure;  // for ever: the line that ends the update (nullptr: completes)
        size_t callsWhenForEver;
    } cases[] = {
        // In a complete update: EnterBootloader 3 times, RestartDevice 4 times.
        {"step 2", Op::EnterBootloader, 1, 4, kEnterBootloaderError.c_str(), 3},
        {"step 9", Op::EnterBootloader, 2, 4, kEnterBootloaderError.c_str(), 4},
        {"step 16", Op::EnterBootloader, 3, 4, kEnterBootloaderError.c_str(), 5},
        // Back in its boot loader, where step 8 goes on as well; for ever, step 13's fails too.
        {"step 7", Op::RestartDevice, 1, 4, kRestartError.c_str(), 4},
        {"step 13", Op::RestartDevice, 2, 5, kRestartError.c_str(), 4},
        {"step 23", Op::RestartDevice, 3, 5, kRestartError.c_str(), 5},
        // The FPGA is loaded in the firmware, where step 28 waits for the device.
        {"step 27", Op::RestartDevice, 4, 4, nullptr, 4},
    };
    for (const Case& c : cases) {
        for (int32_t result : {0, 1}) {
            for (int64_t times : {int64_t{1}, int64_t{-1}}) {
                const std::string what = std::string(c.step) +
                                         (result == 0 ? " refused" : " lost") +
                                         (times == 1 ? " once" : " for ever");
                sim::Config config;
                config.bootloaderVersion = {0, 6, 0, 1};
                // The fault replaces the call: refused, or accepted without effect.
                config.faults.push_back({c.op, c.call, times, result, {}, {}});
                Harness h(config);
                h.Init();
                ASSERT_TRUE(h.Update()) << what << ": the update never ended";
                if (times == 1 || c.failure == nullptr) {
                    ExpectLog(h, CompleteLog(true));
                    EXPECT_EQ(h.device.CountCalls(c.op),
                              times == 1 ? c.callsWhenOnce : c.callsWhenForEver)
                        << what;
                } else {
                    ExpectLogEnd(h, EndsWith(c.failure), what);
                    EXPECT_EQ(CountLines(h, c.failure), 1u) << what;
                    EXPECT_EQ(h.device.CountCalls(c.op), c.callsWhenForEver)
                        << what << ": sent 3 times";
                    EXPECT_FALSE(h.window.enabled(ui::restartButton)) << what;
                    EXPECT_TRUE(h.window.enabled(ui::updateButton)) << what;
                }
            }
        }
    }
}

// A refused request is sent again after five seconds of the device answering in
// its old mode, not sooner; a lost one after the settle second and those five.
TEST(Update, ARequestIsSentAgainOnlyAfterFiveSecondsInTheWrongMode) {
    for (int32_t result : {0, 1}) {
        sim::Config config;
        config.faults.push_back({Op::EnterBootloader, 1, 1, result, {}, {}});
        Harness h(config);
        h.Init();
        h.dlg.OnUpdateButton();
        ASSERT_TRUE(h.TickUntil([&] { return h.device.CountCalls(Op::EnterBootloader) == 1; }));
        const int sentAt = h.ticks;
        ASSERT_TRUE(h.TickUntil([&] { return h.device.CountCalls(Op::EnterBootloader) == 2; }));
        // The tick in which the settle delay runs out is the first in the wrong mode.
        const int settle = result == 0 ? 0 : update::kSettleTicks - 1;
        EXPECT_EQ(h.ticks - sentAt, settle + update::kWrongModeTicks) << "result " << result;
        EXPECT_EQ(h.window.log().size(), 1u) << "nothing logged while it waits";
        ASSERT_TRUE(
            h.TickUntil([] { return update::updateState.updateStep == update::kStepIdle; }));
        ExpectLog(h, CompleteLog(false));
    }
}

// A device that is away is waited for without limit: here it needs a minute
// after each restart, and the link cannot even be opened meanwhile.
TEST(Update, ADeviceThatTakesAMinuteToComeBackIsWaitedFor) {
    sim::Config config;
    config.bootloaderVersion = {0, 6, 0, 1};
    config.rebootUs = 60'000'000;
    Harness h(config);
    h.Init();
    h.dlg.OnUpdateButton();
    ASSERT_TRUE(h.TickUntil(
        [&] { return h.window.field(ui::linkStatusField) == L"USB Interface: ERROR -1"; }));
    ASSERT_TRUE(
        h.TickUntil([] { return update::updateState.updateStep == update::kStepIdle; }, 40000));
    ExpectLog(h, CompleteLog(true));
    EXPECT_EQ(h.device.CountCalls(Op::EnterBootloader), 3u) << "never sent again";
    EXPECT_EQ(h.device.CountCalls(Op::RestartDevice), 4u) << "never sent again";
    EXPECT_GT(h.ticks, 7 * 1200) << "seven restarts of a minute each";
}

// Unplugged for three seconds at one moment of an update's first nine seconds
// (it takes about ten): the update never stays waiting. A request the device missed is sent
// again, a stage it broke off is retried, so each one completes.
TEST(Update, UnpluggedForThreeSecondsAtAnyMomentTheUpdateCompletes) {
    size_t closesWhenPlugged = 0;  // the tick closes the link while the device is away
    for (int64_t atMs = -1; atMs <= 9'000; atMs += atMs < 0 ? 1 : 200) {
        sim::Config config;
        config.bootloaderVersion = {0, 6, 0, 1};
        config.unplugAtUs = atMs < 0 ? -1 : atMs * 1000;
        config.unplugForUs = 3'000'000;
        Harness h(config);
        h.Init();
        EXPECT_TRUE(h.Update()) << "unplugged at " << atMs << " ms: still at step "
                                << update::updateState.updateStep;
        if (atMs < 0) {
            closesWhenPlugged = h.device.CountCalls(Op::CloseLink);
        } else {
            // Three seconds away are some 60 ticks that find no device.
            EXPECT_GE(h.device.CountCalls(Op::CloseLink), closesWhenPlugged + 50) << atMs;
        }
        EXPECT_EQ(h.LogTexts().back(), L"QDX-Update OK") << "unplugged at " << atMs << " ms";
        EXPECT_EQ(h.device.firmwareVersion(), (std::array<uint8_t, 4>{2, 5, 0, 0})) << atMs;
    }
}

// ---- the boot loader's version -------------------------------------------------------------

// A failed version read at each call around step 4's: the device's boot loader
// is as new as the file's, so it is never erased, and the log is that of an
// update with equal versions.
TEST(Update, AFailedVersionReadNeverHasAnEqualBootLoaderErased) {
    int64_t stepFourRead = 0;
    {
        Harness probe;
        probe.Init();
        probe.dlg.OnUpdateButton();
        ASSERT_TRUE(probe.TickUntil([] {
            return update::updateState.updateStep == update::kStepCompareBootloaderVersion;
        }));
        // The next tick polls first, then step 4 reads.
        stepFourRead = static_cast<int64_t>(probe.device.CountCalls(Op::ReadVersion)) + 2;
    }
    struct Case {
        int64_t first, times;
    } cases[] = {{stepFourRead - 2, 1}, {stepFourRead - 1, 1}, {stepFourRead, 1},
                 {stepFourRead + 1, 1}, {stepFourRead + 2, 1}, {stepFourRead, 2},
                 {stepFourRead, 5},     {stepFourRead - 1, 4}};
    for (const Case& c : cases) {
        sim::Config config;
        config.faults.push_back({Op::ReadVersion, c.first, c.times, -1, {}, {}});
        Harness h(config);
        h.Init();
        ASSERT_TRUE(h.Update()) << c.first << " x" << c.times;
        const std::vector<sim::Call> trace = h.device.Trace();
        EXPECT_TRUE(std::any_of(trace.begin(), trace.end(), [](const sim::Call& call) {
            return call.op == Op::ReadVersion && call.result == -1;
        })) << "the read failed";
        ExpectLog(h, CompleteLog(false));
        EXPECT_EQ(Count(trace, Op::EraseSector, 0), 0u) << c.first << " x" << c.times;
        EXPECT_EQ(h.device.bootloaderVersion(), (std::array<uint8_t, 4>{0, 6, 0, 2}));
    }
}

// ---- files that their stage would refuse -----------------------------------------------------

std::vector<uint8_t> WithStart(std::vector<uint8_t> file, uint32_t start) {
    for (int i = 0; i < 4; ++i) file[8 + i] = static_cast<uint8_t>(start >> (24 - 8 * i));
    return file;
}
std::vector<uint8_t> Resized(std::vector<uint8_t> file, size_t size) {
    file.resize(size, 0x5A);
    return file;
}

bool PollOnly(const sim::Call& call) {
    return call.op == Op::ReadVersion || call.op == Op::ReadSerialNumber ||
           call.op == Op::OpenLink || call.op == Op::CloseLink;
}

// A file its stage would refuse ends the update in its first step, with the
// text its stage would have logged, before the device is asked anything but
// the tick's poll; the versions are equal, so a bad boot-loader file would
// otherwise not even be read.
TEST(Update, AFileItsStageWouldRefuseEndsTheUpdateBeforeTheDeviceIsTouched) {
    using samples::Kind;
    const auto bl = samples::FileBytes(Kind::Bootloader);
    const auto fw = samples::FileBytes(Kind::Firmware);
    const auto ip = samples::FileBytes(Kind::Interpolator);
    const auto ga = samples::FileBytes(Kind::Fpga);
    struct Case {
        Kind kind;
        std::vector<uint8_t> bytes;
        std::wstring caption, reason;
    } cases[] = {
        {Kind::Bootloader, WithStart(bl, 0x00FFC000u), L"Encrypted Bootloader: QDX140-BL0602.Bic",
         L"Address ERROR: 0x00FFC000"},
        {Kind::Bootloader, Resized(bl, bl.size() + 256), L"Encrypted Bootloader: QDX140-BL0602.Bic",
         L"Flashsize ERROR: EBIN = 16kB, Flash = 16kB"},
        {Kind::Firmware, Resized(fw, fw.size() - 1024), L"Encrypted Firmware: QDX140-FW2500.Bic",
         L"Flashsize ERROR: EBIN = 95kB, Flash = 96kB"},
        {Kind::Interpolator, WithStart(ip, 0x00106000u),
         L"Encrypted Interpolator Configuration: QDX140-IP0005.Bic", L"Address ERROR: 0x00106000"},
        {Kind::Interpolator, Resized(ip, ip.size() + 2048),
         L"Encrypted Interpolator Configuration: QDX140-IP0005.Bic",
         L"Flashsize ERROR: EBIN = 4kB, Flash = 2kB"},
        {Kind::Fpga, Resized(ga, 16), L"Encrypted FPGA Program QDX: QDX140-GA0010.Bic",
         L"No FPGA data in Input file: QDX140-GA0010.Bic"},
    };
    for (const Case& c : cases) {
        const std::string what = platform::ToUtf8(c.reason);
        Harness h;
        ASSERT_TRUE(samples::WriteFile((h.folder.path() / samples::Info(c.kind).fileName).string(),
                                       c.bytes));
        h.Init();
        h.Tick();
        h.device.ClearTrace();
        ASSERT_TRUE(h.Update()) << what;
        ExpectLog(h, {{c.reason, kRed}, {L"", kBlack}, {L"QDX-Update ERROR", kRed}});
        const std::vector<sim::Call> trace = h.device.Trace();
        EXPECT_TRUE(std::all_of(trace.begin(), trace.end(), PollOnly)) << what;
        EXPECT_EQ(h.window.field(ui::currentFileField), c.caption) << what;
        EXPECT_EQ(h.window.field(ui::progressField), L"") << what;
        EXPECT_TRUE(h.window.enabled(ui::updateButton)) << what;
        EXPECT_TRUE(h.window.enabled(ui::infoButton)) << what;
        EXPECT_TRUE(h.window.enabled(ui::exitButton)) << what;
        EXPECT_FALSE(h.window.enabled(ui::restartButton)) << what;
    }
}

}  // namespace
