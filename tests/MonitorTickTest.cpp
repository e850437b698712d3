// The 50 ms tick, start-up, the buttons, the Info report and the close request.
#include <gtest/gtest.h>

#include <utility>

#include "tests/Harness.h"
#include "update/UpdateSequence.h"

using sim::Op;
using testing_support::Harness;
using ui::CloseAction;
using update::WorkerStatus;

namespace ui {
void PrintTo(CloseAction action, std::ostream* out) {
    static const char* const kNames[] = {"End", "AfterStage", "AskQuitNow"};
    *out << kNames[static_cast<int>(action)];
}
}  // namespace ui

namespace {

constexpr uint32_t kBlack = 0, kRed = 0x000000FF, kGreen = 0x0032C832;

void SetStatus(WorkerStatus status) {
    update::updateState.workerStatus.store(static_cast<int32_t>(status));
}

TEST(StartUp, ShowsTheLinkAndLabelsWithTheActionButtonsDisabled) {
    struct Case {
        std::optional<int32_t> openLinkResult;
        const wchar_t* linkText;
    } cases[] = {{std::nullopt, L"USB Interface: Ready"},
                 {0, L"USB Interface: ERROR"},
                 {-3, L"USB Interface: ERROR"}};
    for (const Case& c : cases) {
        sim::Config config;
        if (c.openLinkResult)
            config.faults.push_back({Op::OpenLink, 1, 1, *c.openLinkResult, {}, {}});
        Harness h(config);
        update::updateState.updateStep = update::kStepRestartAfterBootloader;
        update::updateState.restartState = update::kRestartInBootloader;
        h.Init();
        EXPECT_EQ(h.window.field(ui::linkStatusField), c.linkText);
        EXPECT_EQ(h.window.field(ui::firmwareVersionField), L"Firmw. Version:");
        EXPECT_EQ(h.window.field(ui::serialNumberField), L"Serial Number:");
        EXPECT_EQ(h.window.enableEvents(), (std::vector<std::string>{"-1011", "-1022", "-1023"}));
        EXPECT_TRUE(h.window.enabled(ui::exitButton));
        EXPECT_EQ(update::updateState.updateStep, update::kStepIdle);
        EXPECT_EQ(update::updateState.restartState, update::kRestartNone);
        EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Idle);
    }
}

TEST(StartUp, StartsTheTimerAfterTheResetAndBeforeTheLinkIsOpened) {
    Harness h;
    update::updateState.updateStep = update::kStepRestartAfterBootloader;
    update::updateState.restartState = update::kRestartInBootloader;
    int timerStarts = 0;
    h.dlg.OnInitDialog([&] {
        ++timerStarts;
        EXPECT_EQ(update::updateState.updateStep, update::kStepIdle);
        EXPECT_EQ(update::updateState.restartState, update::kRestartNone);
        EXPECT_TRUE(h.device.Trace().empty()) << "no device call before the timer runs";
        EXPECT_EQ(h.window.field(ui::linkStatusField), L"");
    });
    EXPECT_EQ(timerStarts, 1);
    const std::vector<sim::Call> trace = h.device.Trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].op, Op::OpenLink);
    EXPECT_EQ(h.window.field(ui::linkStatusField), L"USB Interface: Ready");
}

TEST(Tick, FirstTickShowsWhatTheDeviceRuns) {
    struct Case {
        bool bootloader;
        const wchar_t* version;
        const wchar_t* serial;
        update::LinkState linkState;
        bool infoEnabled;
    } cases[] = {
        {false, L"Firmw. Version: 2.4.0.0", L"Serial Number: 1A2B", update::kLinkFirmware, true},
        {true, L"Firmw. Version: 0.6.0.2", L"Serial Number:", update::kLinkBootloader, false},
    };
    for (const Case& c : cases) {
        sim::Config config;
        config.startInBootloader = c.bootloader;
        Harness h(config);
        h.Init();
        h.Tick();
        EXPECT_EQ(h.window.field(ui::firmwareVersionField), c.version);
        EXPECT_EQ(h.window.field(ui::serialNumberField), c.serial);
        EXPECT_EQ(update::updateState.linkState, c.linkState);
        EXPECT_EQ(h.window.enabled(ui::infoButton), c.infoEnabled);
        EXPECT_TRUE(h.window.enabled(ui::updateButton));
        EXPECT_FALSE(h.window.enabled(ui::restartButton));
    }
}

TEST(Tick, AnUnpluggedDeviceIsReportedAsTheLinkAllows) {
    // The library still opens: the fields keep what the last good poll showed.
    {
        sim::Config config;
        config.faults.push_back({Op::OpenLink, 2, -1, 1, {}, {}});
        Harness h(config);
        h.Init();
        h.Tick();
        h.device.SetPlugged(false);
        h.window.ForgetEvents();
        for (int i = 0; i < 3; ++i) {
            h.Tick();
            EXPECT_EQ(update::updateState.linkState, update::kLinkAway);
        }
        EXPECT_EQ(h.window.field(ui::linkStatusField), L"USB Interface: Ready");
        EXPECT_EQ(h.window.field(ui::firmwareVersionField), L"Firmw. Version: 2.4.0.0");
        EXPECT_TRUE(h.window.enableEvents().empty());
    }
    // The library cannot open: every tick closes it and shows the error.
    {
        Harness h;
        h.Init();
        h.Tick();
        h.device.SetPlugged(false);
        h.device.ClearTrace();
        for (int i = 0; i < 3; ++i) h.Tick();
        const auto trace = h.device.Trace();
        ASSERT_EQ(trace.size(), 9u);
        for (size_t i = 0; i < trace.size(); i += 3) {
            EXPECT_EQ(trace[i].op, Op::ReadVersion);
            EXPECT_EQ(trace[i + 1].op, Op::OpenLink);
            EXPECT_EQ(trace[i + 2].op, Op::CloseLink);
        }
        EXPECT_EQ(h.window.field(ui::linkStatusField), L"USB Interface: ERROR -1");
        EXPECT_EQ(h.window.field(ui::firmwareVersionField), L"Firmw. Version:");
        EXPECT_EQ(h.window.field(ui::serialNumberField), L"Serial Number: 1A2B");
        EXPECT_FALSE(h.window.enabled(ui::infoButton));
        EXPECT_FALSE(h.window.enabled(ui::updateButton));
        // Plugged in again: the next tick opens the link, the one after reads it.
        h.device.SetPlugged(true);
        h.Tick();
        h.Tick();
        EXPECT_EQ(h.window.field(ui::linkStatusField), L"USB Interface: Ready");
        EXPECT_TRUE(h.window.enabled(ui::updateButton));
    }
}

TEST(Tick, PollNeverEnablesButtonsDuringAnUpdate) {
    Harness h;
    h.Init();
    update::updateState.updateStep = update::kStepWaitBootloader;
    update::updateState.delayTicks = 5;
    h.window.ForgetEvents();
    h.Tick();
    EXPECT_TRUE(h.window.enableEvents().empty());
}

TEST(Tick, RestartStateFollowsTheDeviceThroughARestart) {
    sim::Config config;
    config.rebootUs = 200'000;
    Harness h(config);
    h.Init();
    h.Tick();
    update::updateState.restartState = update::kRestartSent;
    ASSERT_EQ(h.device.EnterBootloader(0), 1);
    std::vector<update::RestartState> states;
    for (int i = 0; i < 8; ++i) {
        h.Tick();
        states.push_back(update::updateState.restartState);
    }
    // Away for four ticks (the link cannot open), opened on the 4th, boot loader on the 5th.
    using update::kRestartInBootloader, update::kRestartLinkOpened, update::kRestartSent;
    EXPECT_EQ(states, (std::vector<update::RestartState>{kRestartSent, kRestartSent, kRestartSent,
                                                         kRestartLinkOpened, kRestartInBootloader,
                                                         kRestartInBootloader, kRestartInBootloader,
                                                         kRestartInBootloader}));
    EXPECT_EQ(update::updateState.linkState, update::kLinkBootloader);
}

TEST(Tick, PresentsTheWorkersNotesAndResultsInOrder) {
    Harness h;
    h.Init();
    h.Tick();
    h.device.ClearTrace();
    update::workerProgress.Set(L"42%");
    update::workerMessage.Set(L"Data Transfer OK");
    SetStatus(WorkerStatus::Note);
    h.dlg.OnTimer();
    EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Running);
    h.dlg.OnTimer();
    EXPECT_EQ(h.window.field(ui::progressField), L"42%");
    EXPECT_EQ(h.window.refreshes(ui::progressField), 1);

    update::workerMessage.Set(L"left by the worker");
    update::workerProgress.Set(L"100%");
    SetStatus(WorkerStatus::Succeeded);
    h.dlg.OnTimer();
    EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Idle);
    EXPECT_EQ(update::workerMessage.Get(), L"Programming OK");
    EXPECT_EQ(h.window.field(ui::progressField), L"100%");

    // A failure: the waiting step sees Failed in the same tick, the next tick polls.
    update::updateState.updateStep = update::kStepWaitFirmwareStage;
    update::workerMessage.Set(L"Erase ERROR 7");
    update::workerProgress.Set(L"");
    SetStatus(WorkerStatus::Failed);
    h.dlg.OnTimer();
    EXPECT_EQ(update::updateState.retryCount, 1);
    EXPECT_EQ(update::updateState.updateStep, update::kStepWaitBootloaderForFirmware);
    EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Idle);
    EXPECT_TRUE(h.device.Trace().empty()) << "no poll while a worker's status is shown";
    h.dlg.OnTimer();
    EXPECT_EQ(h.device.Trace().front().op, Op::ReadVersion);

    const auto& log = h.window.log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].text, L"Data Transfer OK");
    EXPECT_EQ(log[0].colour, kBlack);
    EXPECT_EQ(log[1].text, L"Programming OK");
    EXPECT_EQ(log[1].colour, kGreen);
    EXPECT_EQ(log[2].text, L"Erase ERROR 7");
    EXPECT_EQ(log[2].colour, kRed);
    EXPECT_EQ(log[3].text, L"Programming ERROR");
    EXPECT_EQ(log[3].colour, kRed);
}

TEST(Tick, CountsTheSettleDelayDownOncePerTick) {
    Harness h;
    h.Init();
    update::updateState.updateStep = update::kStepSettleBeforeEnd;  // waits for the delay
    update::updateState.delayTicks = 20;
    for (int i = 1; i <= 19; ++i) {
        h.Tick();
        ASSERT_EQ(update::updateState.delayTicks, 20 - i);
        ASSERT_EQ(update::updateState.updateStep, update::kStepSettleBeforeEnd);
    }
    h.Tick();
    EXPECT_EQ(update::updateState.delayTicks, 0);
    EXPECT_EQ(update::updateState.updateStep, update::kStepEndOk)
        << "the wait ended in the 20th tick";
    h.Tick();
    EXPECT_EQ(update::updateState.delayTicks, 0);
}

TEST(Tick, AStatusOutsideTheKnownValuesOnlySkipsThePoll) {
    Harness h;
    h.Init();
    h.device.ClearTrace();
    update::updateState.workerStatus.store(9);
    update::updateState.delayTicks = 3;
    h.dlg.OnTimer();
    EXPECT_TRUE(h.device.Trace().empty());
    EXPECT_EQ(h.window.log().size(), 0u);
    EXPECT_EQ(update::updateState.delayTicks, 2);
    EXPECT_EQ(update::updateState.workerStatus.load(), 9);
}

TEST(Buttons, RestartLogsOnlyWhenTheDeviceTookIt) {
    for (bool refused : {false, true}) {
        sim::Config config;
        if (refused) config.faults.push_back({Op::RestartDevice, 1, 1, 0, {}, {}});
        Harness h(config);
        h.Init();
        h.window.SetFieldText(ui::progressField, L"100%   FFFFFF");
        h.dlg.OnRestartButton();
        EXPECT_EQ(h.window.log().size(), refused ? 0u : 1u);
        if (!refused) {
            EXPECT_EQ(h.window.log()[0].text, L"Restart");
        }
        EXPECT_EQ(h.window.field(ui::progressField), L"");
        EXPECT_EQ(update::updateState.restartState, update::kRestartNone);
    }
}

TEST(InfoReport, FormatsTheDevicesValuesInColumns) {
    struct Case {
        uint32_t icmq;
        bool oldFirmware;
        std::wstring line4;
    } cases[] = {
        {0x12, false, L"Mod-Par-Version:         107       ICMQ-Version:    0012"},
        {0x80000000u, false, L"Mod-Par-Version:         107       ICMQ-Version:    80000000"},
        {0x80000001u, false, L"Mod-Par-Version:         107       ICMQ-Version:    0000"},
        {0xFFFFFFFFu, true, L"Mod-Par-Version:          42       ICMQ-Version:    0000"},
    };
    for (const Case& c : cases) {
        sim::Config config;
        config.serialNumber = 0x1A;
        config.fpgaVersion = 0x00120034;
        config.icmqVersion = c.icmq;
        config.oldFirmware = c.oldFirmware;
        Harness h(config);
        h.Init();
        h.device.ClearTrace();
        h.dlg.OnInfoButton();
        const auto& log = h.window.log();
        ASSERT_EQ(log.size(), 5u);
        EXPECT_EQ(log[0].text, L"");
        EXPECT_EQ(log[1].text,
                  L"Serial Number:        0001A       HW-Version:          5      Date: 2611");
        EXPECT_EQ(log[2].text, L"FW-Version:           2.4.0.0       FPGA-Version:     0012  0034");
        EXPECT_EQ(log[3].text, c.line4);
        EXPECT_EQ(log[4].text, L"");
        for (size_t i = 0; i < 5; ++i) EXPECT_EQ(log[i].colour, kBlack);
        std::vector<Op> ops;
        for (const sim::Call& call : h.device.Trace()) ops.push_back(call.op);
        std::vector<Op> expected = {Op::ReadSerialNumber,    Op::ReadSystemParameter,
                                    Op::ReadSystemParameter, Op::ReadVersion,
                                    Op::ReadFpgaVersion,     Op::ReadModuleParameter};
        if (c.oldFirmware) expected.push_back(Op::ReadModuleParameter);
        expected.push_back(Op::ReadModuleRegister);
        EXPECT_EQ(ops, expected);
    }
}

TEST(Close, WaitsForARunningWorkerAndClosesAtOnceOtherwise) {
    Harness h;
    h.Init();
    EXPECT_EQ(h.dlg.RequestClose(), CloseAction::End) << "no worker: at once";
    SetStatus(WorkerStatus::Running);
    update::updateState.updateStep = update::kStepWaitFirmwareStage;
    EXPECT_EQ(h.dlg.RequestClose(), CloseAction::AfterStage);
    h.dlg.OnTimer();
    EXPECT_FALSE(h.dlg.closeDue());
    update::workerMessage.Set(L"Flasher ERROR");
    SetStatus(WorkerStatus::Failed);
    h.device.ClearTrace();
    h.dlg.OnTimer();
    EXPECT_TRUE(h.dlg.closeDue());
    EXPECT_EQ(h.window.log().size(), 2u) << "the result is shown before the end";
    EXPECT_EQ(update::updateState.updateStep, update::kStepWaitFirmwareStage)
        << "no further step runs";
    EXPECT_TRUE(h.device.Trace().empty());
}

// The status when a request comes, and whether one came before: the answer,
// and what the following tick shows before the window may end.
TEST(Close, AnswersEachRequestByWhatTheWorkerIsDoing) {
    struct Case {
        WorkerStatus status;
        bool askedBefore;
        CloseAction action;
        std::vector<std::wstring> shownBeforeTheEnd;  // empty: the end is not waited for
    } cases[] = {
        {WorkerStatus::Idle, false, CloseAction::End, {}},
        {WorkerStatus::Running, false, CloseAction::AfterStage, {L"Programming OK"}},
        {WorkerStatus::Note, false, CloseAction::AfterStage, {L"a note", L"Programming OK"}},
        {WorkerStatus::Running, true, CloseAction::AskQuitNow, {L"Programming OK"}},
        {WorkerStatus::Note, true, CloseAction::AskQuitNow, {L"a note", L"Programming OK"}},
        // The worker has ended but no tick has shown its result yet.
        {WorkerStatus::Succeeded, false, CloseAction::AfterStage, {L"Programming OK"}},
        {WorkerStatus::Succeeded, true, CloseAction::AfterStage, {L"Programming OK"}},
        {WorkerStatus::Failed, false, CloseAction::AfterStage, {L"a reason", L"Programming ERROR"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "status " << static_cast<int>(c.status)
                                        << ", asked before " << c.askedBefore);
        Harness h;
        h.Init();
        update::updateState.updateStep = update::kStepWaitFirmwareStage;
        if (c.askedBefore) {
            SetStatus(WorkerStatus::Running);
            ASSERT_EQ(h.dlg.RequestClose(), CloseAction::AfterStage);
        }
        update::workerMessage.Set(c.status == WorkerStatus::Note ? L"a note" : L"a reason");
        SetStatus(c.status);
        EXPECT_EQ(h.dlg.RequestClose(), c.action);
        if (c.action == CloseAction::End) continue;
        EXPECT_FALSE(h.dlg.closeDue());
        h.device.ClearTrace();
        h.dlg.OnTimer();
        if (c.status == WorkerStatus::Note) {
            EXPECT_FALSE(h.dlg.closeDue()) << "the worker still runs after its note";
            SetStatus(WorkerStatus::Succeeded);
            h.dlg.OnTimer();
        } else if (c.status == WorkerStatus::Running) {
            SetStatus(WorkerStatus::Succeeded);
            h.dlg.OnTimer();
        }
        EXPECT_TRUE(h.dlg.closeDue());
        EXPECT_EQ(h.LogTexts(), c.shownBeforeTheEnd);
        EXPECT_EQ(update::updateState.updateStep, update::kStepWaitFirmwareStage)
            << "no further step runs";
        EXPECT_TRUE(h.device.Trace().empty()) << "no device call once the end is asked for";
        EXPECT_EQ(h.dlg.RequestClose(), CloseAction::End) << "a request once the end is due";
    }
}

// A window on which the worker's result arrives while the tick repaints the
// progress field: between the tick's first and second read of the status.
class ResultDuringRepaint : public ui::HeadlessWindow {
public:
    void RefreshControl(int controlId) override {
        HeadlessWindow::RefreshControl(controlId);
        if (controlId == ui::progressField && result != WorkerStatus::Idle) {
            update::workerMessage.Set(L"Verify ERROR");
            update::workerProgress.Set(L"100%");
            SetStatus(std::exchange(result, WorkerStatus::Idle));
        }
    }
    WorkerStatus result = WorkerStatus::Idle;
};

TEST(Close, AResultArrivingDuringTheTickIsShownBeforeTheEnd) {
    struct Case {
        WorkerStatus result;
        std::vector<std::wstring> lines;
        std::vector<uint32_t> colours;
    } cases[] = {
        {WorkerStatus::Succeeded, {L"Programming OK"}, {kGreen}},
        {WorkerStatus::Failed, {L"Verify ERROR", L"Programming ERROR"}, {kRed, kRed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.result));
        Harness h;
        ResultDuringRepaint window;
        ui::CFlasherDlg dlg(window);
        dlg.OnInitDialog();
        update::updateState.updateStep = update::kStepWaitFirmwareStage;
        SetStatus(WorkerStatus::Running);
        ASSERT_EQ(dlg.RequestClose(), CloseAction::AfterStage);
        window.result = c.result;
        h.device.ClearTrace();
        dlg.OnTimer();
        ASSERT_EQ(window.result, WorkerStatus::Idle) << "the result came during the tick";
        EXPECT_TRUE(dlg.closeDue());
        std::vector<std::wstring> lines;
        std::vector<uint32_t> colours;
        for (const ui::LogLine& line : window.log().lines()) {
            lines.push_back(line.text);
            colours.push_back(line.colour);
        }
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(colours, c.colours);
        EXPECT_EQ(window.field(ui::progressField), L"100%");
        EXPECT_EQ(update::updateState.updateStep, update::kStepWaitFirmwareStage);
        EXPECT_TRUE(h.device.Trace().empty());
    }
}

TEST(Log, KeepsTheNewestTenThousandLines) {
    ui::LogModel log;
    for (int i = 0; i < 10000; ++i) log.Append(std::to_wstring(i), ui::LogColour::Black);
    log.Append(L"newest", ui::LogColour::Blue);
    ASSERT_EQ(log.size(), 10000u);
    EXPECT_EQ(log[0].text, L"1");
    EXPECT_EQ(log[9999].text, L"newest");
    EXPECT_EQ(log[9999].colour, 0x00CD0000u);
    log.Clear();
    EXPECT_EQ(log.size(), 0u);
}

TEST(Log, StoresTheColourValueOfEachLogColour) {
    const std::pair<uint8_t, uint32_t> cases[] = {{0, 0},          {1, 0x00CD0000}, {2, 0x000000FF},
                                                  {3, 0x0032C832}, {4, 0},          {255, 0}};
    for (auto [colour, stored] : cases)
        EXPECT_EQ(ui::StoredColour(static_cast<ui::LogColour>(colour)), stored) << int(colour);
}

}  // namespace
