// The update record: SHA-256 against the standard vectors, the record of whole
// updates on virtual time, and that recording changes nothing the operator or
// the device sees.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/Text.h"
#include "simulator/Samples.h"
#include "tests/CompleteUpdateLog.h"
#include "tests/Harness.h"
#include "ui/record/History.h"
#include "ui/record/Sha256.h"
#include "ui/record/UpdateRecorder.h"

using testing_support::Harness;
namespace fs = std::filesystem;

namespace {

std::string Hash(const std::string& data, size_t piece) {
    ui::record::Sha256 hash;
    for (size_t at = 0; at < data.size(); at += piece)
        hash.Add(data.data() + at, std::min(piece, data.size() - at));
    return hash.FinishHex();
}

TEST(Sha256, StandardVectorsInPiecesOfEverySize) {
    const struct {
        std::string data;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
         "mnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // 55 and 56 bytes: the length still fits in the last block, or needs one more.
        {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {std::string(56, 'x'), "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
        {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
    };
    for (const auto& c : cases) {
        const std::string whole = Hash(c.data, c.data.size() + 1);
        EXPECT_EQ(whole, c.digest) << c.data.size() << " bytes";
        for (size_t piece : {1u, 3u, 63u, 64u, 65u, 4096u})
            EXPECT_EQ(Hash(c.data, piece), whole)
                << c.data.size() << " bytes in pieces of " << piece;
    }
}

// Runs the window logic with a recorder in front of the headless window, on
// the harness's device and virtual clock; the record's local time is fixed.
struct Recorded {
    explicit Recorded(Harness& h, std::string folder)
        : recorder(
              h.window, std::move(folder),
              ui::record::Clocks{[] { return sim::Instance().NowUs() / 1000; },
                                 [] { return platform::LocalTime{2026, 12, 11, 14, 30, 12}; }}),
          logic(recorder) {
        logic.SetObserver(&recorder);
        logic.OnInitDialog();
    }
    ui::record::UpdateRecorder recorder;
    ui::CFlasherDlg logic;
};

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> LogPart(const std::vector<std::string>& record) {
    std::vector<std::string> log;
    for (const std::string& line : record)
        if (!line.empty() && line[0] == '+') log.push_back(line);
    return log;
}

std::string Value(const std::vector<std::string>& record, const std::string& key) {
    for (const std::string& line : record)
        if (line.compare(0, key.size(), key) == 0) return line.substr(key.size());
    return "<missing " + key + ">";
}

// "+12.345 Blue  Start Update" -> 12345, "Blue", "Start Update"
struct RecordedLine {
    long ms;
    std::string colour, text;
};
RecordedLine Parse(const std::string& line) {
    RecordedLine r{};
    std::istringstream in(line.substr(1));
    std::string seconds;
    in >> seconds >> r.colour;
    const size_t dot = seconds.find('.');
    r.ms = std::stol(seconds.substr(0, dot)) * 1000 + std::stol(seconds.substr(dot + 1));
    r.text = line.size() > 14 ? line.substr(line.find(r.colour) + 6) : "";
    return r;
}

std::string ColourOf(uint32_t stored) {
    return stored == expected::kBlue    ? "Blue"
           : stored == expected::kRed   ? "Red"
           : stored == expected::kGreen ? "Green"
                                        : "Black";
}

// A device with an older boot loader: the update programs all five stages.
sim::Config OldBootloader() {
    sim::Config config;
    config.bootloaderVersion = {0, 6, 0, 1};
    return config;
}

TEST(Record, ACompleteUpdateIsRecordedFromTheButtonToItsEnd) {
    Harness h(OldBootloader());
    const std::string folder = (h.folder.path() / "state" / "records").string();
    Recorded r(h, folder);
    ASSERT_TRUE(h.TickUntilWith(
        r.logic, [&] { return h.window.enabled(ui::updateButton); }, 10));
    const std::wstring firmwareBefore = h.window.field(ui::firmwareVersionField);
    const int64_t startMs = h.device.NowUs() / 1000;
    ASSERT_TRUE(h.UpdateWith(r.logic));
    const int64_t durationMs = h.device.NowUs() / 1000 - startMs;

    const std::string path = folder + "/20261211-143012-1A2B.txt";
    EXPECT_EQ(r.recorder.recordPath(), path);
    EXPECT_EQ(r.recorder.note(), L"Record: " + platform::Widen(path.c_str()));
    EXPECT_FALSE(r.recorder.recording()) << "the file is closed at the end";
    const std::vector<std::string> record = Lines(path);
    ASSERT_GT(record.size(), 12u);
    EXPECT_EQ(record[0], "QDX-Update record");
    EXPECT_EQ(Value(record, "Tool: "), "QDX-Update 1.0.0 (Linux x86_64)");
    EXPECT_EQ(Value(record, "Tool folder: "), fs::current_path().string());
    EXPECT_EQ(Value(record, "Started: "), "2026-12-11 14:30:12");
    EXPECT_EQ(
        Value(record, "Device at start: "),
        "USB Interface: Ready | " + platform::ToUtf8(firmwareBefore) + " | Serial Number: 1A2B");
    // The four files with their size, digest and header version, in table order.
    const samples::Kind kinds[] = {samples::Kind::Bootloader, samples::Kind::Firmware,
                                   samples::Kind::Interpolator, samples::Kind::Fpga};
    const char* names[] = {"QDX140-BL0602.Bic", "QDX140-FW2500.Bic", "QDX140-IP0005.Bic",
                           "QDX140-GA0010.Bic"};
    const char* versions[] = {"0602", "2500", "0005", "0010"};
    for (int i = 0; i < 4; ++i) {
        const std::vector<uint8_t> bytes = samples::FileBytes(kinds[i]);
        ui::record::Sha256 hash;
        hash.Add(bytes.data(), bytes.size());
        EXPECT_EQ(record[5 + i], std::string("File: ") + names[i] + " | " +
                                     std::to_string(bytes.size()) + " bytes | SHA-256 " +
                                     hash.FinishHex() + " | header version " + versions[i]);
    }
    // Every line of the log in order, with its colour, at non-decreasing times.
    const std::vector<std::string> log = LogPart(record);
    ASSERT_EQ(log.size(), std::size(expected::kCompleteUpdate));
    long last = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        const RecordedLine line = Parse(log[i]);
        EXPECT_EQ(line.text, platform::ToUtf8(expected::kCompleteUpdate[i].text)) << log[i];
        EXPECT_EQ(line.colour, ColourOf(expected::kCompleteUpdate[i].colour)) << log[i];
        EXPECT_GE(line.ms, last) << log[i];
        last = line.ms;
    }
    EXPECT_EQ(Parse(log.front()).ms, 50) << "step 1 runs in the first tick after the button";
    EXPECT_EQ(Value(record, "Result: "), "OK");
    EXPECT_EQ(Value(record, "Duration: "),
              platform::ToUtf8(platform::FormatText(L"%lld.%03lld s",
                                                    static_cast<long long>(durationMs / 1000),
                                                    static_cast<long long>(durationMs % 1000))));
    const std::string end = Value(record, "Device at end: ");
    EXPECT_EQ(end, platform::ToUtf8(h.window.field(ui::linkStatusField) + L" | " +
                                    h.window.field(ui::firmwareVersionField) + L" | " +
                                    h.window.field(ui::serialNumberField)));
    EXPECT_NE(end.find("Firmw. Version: 2.5.0.0"), std::string::npos) << end;
    EXPECT_EQ(record.back().compare(0, 15, "Device at end: "), 0) << "nothing after the end";

    EXPECT_EQ(ui::record::HistoryLines(folder, 10),
              std::vector<std::wstring>{L"2026-12-11 14:30:12  1A2B  " + firmwareBefore.substr(16) +
                                        L" -> 2.5.0.0  OK  " +
                                        platform::Widen(Value(record, "Duration: ").c_str())});
}

// Ends that are not "QDX-Update OK": a stage failing 11 times, a missing file,
// and the window closed while a worker programs the device or while the
// sequence waits.
TEST(Record, UpdatesThatDoNotSucceedSayHowTheyEnded) {
    enum class End { Sequence, CloseWhileWorkerRuns, CloseWhileWaiting };
    const struct Case {
        const char* what;
        int64_t eraseFailures;
        bool removeFirmwareFile;
        End end;
        const char* result;
        const char* lastLogLine;
        size_t programmingErrors;
    } cases[] = {
        {"stage fails 11 times", 11, false, End::Sequence, "ERROR", "Red   QDX-Update ERROR", 11},
        {"firmware file missing", 0, true, End::Sequence, "ERROR",
         "Red   File not found: QDX140-FW2500.Bic", 0},
        {"closed while a worker runs", 0, false, End::CloseWhileWorkerRuns,
         "closed during the update", "Green Programming OK", 0},
        {"closed while waiting", 0, false, End::CloseWhileWaiting, "closed during the update",
         "Blue  Start Update", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Config config;
        if (c.eraseFailures > 0)
            config.faults.push_back({sim::Op::EraseSector, 1, c.eraseFailures, 1, 7u, {}});
        Harness h(config);
        if (c.removeFirmwareFile) fs::remove("QDX140-FW2500.Bic");
        const std::string folder = (h.folder.path() / "records").string();
        std::string path;
        {
            Recorded r(h, folder);
            h.TickWith(r.logic);
            if (c.end == End::Sequence) {
                ASSERT_TRUE(h.UpdateWith(r.logic));
            } else {
                r.logic.OnUpdateButton();
                if (c.end == End::CloseWhileWorkerRuns) {
                    ASSERT_TRUE(h.TickUntilWith(r.logic, [] {
                        return update::ReadWorkerStatus() == update::WorkerStatus::Running;
                    }));
                    ASSERT_EQ(r.logic.RequestClose(), ui::CloseAction::AfterStage);
                    ASSERT_TRUE(h.TickUntilWith(r.logic, [&] { return r.logic.closeDue(); }));
                } else {
                    ASSERT_TRUE(h.TickUntilWith(r.logic, [] {
                        return update::updateState.updateStep == update::kStepWaitBootloader;
                    }));
                    ASSERT_EQ(r.logic.RequestClose(), ui::CloseAction::End);
                }
                ASSERT_TRUE(r.recorder.recording());
            }
            path = r.recorder.recordPath();
        }  // the window ends
        const std::vector<std::string> record = Lines(path);
        const std::vector<std::string> log = LogPart(record);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back().substr(log.back().find(' ') + 1), c.lastLogLine);
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const std::string& l) {
                                    return l.find("Red   Programming ERROR") != std::string::npos;
                                }),
                  static_cast<long>(c.programmingErrors));
        EXPECT_EQ(Value(record, "Result: "), c.result);
        EXPECT_EQ(record.back().compare(0, 15, "Device at end: "), 0);
        if (c.removeFirmwareFile) {
            EXPECT_EQ(record[6], "File: QDX140-FW2500.Bic | cannot be opened");
        }
        EXPECT_EQ(log.size(), h.window.log().size()) << "every line shown is recorded";
    }
}

// What the device and the operator see, for comparing runs.
struct Observed {
    std::vector<std::string> trace, log, enables, fields;
    bool operator==(const Observed&) const = default;
};

Observed RunCompleteUpdate(const char* folderKind) {
    Harness h(OldBootloader());
    std::unique_ptr<Recorded> r;
    const fs::path file = h.folder.path() / "a-file";
    std::ofstream(file) << "x";
    if (std::string(folderKind) == "writable")
        r = std::make_unique<Recorded>(h, (h.folder.path() / "rec").string());
    if (std::string(folderKind) == "unwritable")
        r = std::make_unique<Recorded>(h, (file / "records").string());
    if (!r) h.Init();
    ui::CFlasherDlg& logic = r ? r->logic : h.dlg;
    h.TickWith(logic);
    EXPECT_TRUE(h.UpdateWith(logic));
    for (int i = 0; i < 3; ++i) h.TickWith(logic);  // back at rest, polling
    Observed o;
    for (const sim::Call& call : h.device.Trace()) {
        std::string text = std::to_string(static_cast<int>(call.op)) + ":";
        for (int64_t a : call.args) text += std::to_string(a) + ",";
        o.trace.push_back(text + "=" + std::to_string(call.result));
    }
    for (const ui::LogLine& line : h.window.log().lines())
        o.log.push_back(platform::ToUtf8(line.text) + "/" + std::to_string(line.colour));
    o.enables = h.window.enableEvents();
    for (int id : {ui::linkStatusField, ui::firmwareVersionField, ui::serialNumberField,
                   ui::progressField, ui::currentFileField})
        o.fields.push_back(platform::ToUtf8(h.window.field(id)));
    if (std::string(folderKind) == "writable") {
        EXPECT_TRUE(r->recorder.writable());
        EXPECT_EQ(platform::ListFiles((h.folder.path() / "rec").string()).size(), 1u);
    }
    if (std::string(folderKind) == "unwritable") {
        EXPECT_FALSE(r->recorder.writable());
        EXPECT_TRUE(r->recorder.recordPath().empty());
        EXPECT_EQ(r->recorder.note(), L"No record: " +
                                          platform::Widen((file / "records").string().c_str()) +
                                          L" cannot be written");
    }
    return o;
}

TEST(Record, RecordingChangesNeitherTheDeviceTrafficNorTheWindow) {
    const Observed plain = RunCompleteUpdate("none");
    ASSERT_GT(plain.trace.size(), 1000u);
    ASSERT_EQ(plain.log.size(), std::size(expected::kCompleteUpdate));
    EXPECT_TRUE(RunCompleteUpdate("writable") == plain);
    EXPECT_TRUE(RunCompleteUpdate("unwritable") == plain);
}

TEST(Record, TheHistoryShowsTheNewestRecordsAndOnesCutShort) {
    testing_support::TempFolder folder;
    const auto write = [&](const char* name, const char* text) {
        std::ofstream(folder.path() / name) << text;
    };
    write("20261210-090000-1A2B.txt",
          "QDX-Update record\nStarted: 2026-12-10 09:00:00\n"
          "Device at start: USB Interface: Ready | Firmw. Version: 2.4.0.0 | Serial Number: 1A2B\n"
          "+0.050 Blue  Start Update\nResult: ERROR\nDuration: 3.000 s\n"
          "Device at end: USB Interface: Ready | Firmw. Version: 0.6.0.2 | Serial Number: 1A2B\n");
    write("20261211-100000-unknown.txt",  // the tool was killed: no end
          "QDX-Update record\r\nStarted: 2026-12-11 10:00:00\r\n"
          "Device at start: USB Interface: Ready | Firmw. Version: 0.6.0.2 | Serial "
          "Number:\r\n+0.050 Blue  Start Update\r\n");
    write("20261211-110000-log.txt", "a saved log, not a record\n");
    write("20261209-080000-1A2B.txt", "not a record\n");
    write("notes.txt", "QDX-Update record\n");
    EXPECT_EQ(ui::record::HistoryLines(folder.path().string(), 10),
              (std::vector<std::wstring>{
                  L"2026-12-11 10:00:00  ?  0.6.0.2 -> ?  no end  -",
                  L"2026-12-10 09:00:00  1A2B  2.4.0.0 -> 0.6.0.2  ERROR  3.000 s"}));
    EXPECT_EQ(ui::record::HistoryLines(folder.path().string(), 1).size(), 1u);
    EXPECT_TRUE(ui::record::HistoryLines((folder.path() / "missing").string(), 10).empty());
}

TEST(Record, SavedLogHoldsTheShownLinesAsUtf8) {
    testing_support::TempFolder folder;
    const std::string target = (folder.path() / "new" / "records").string();
    const std::vector<std::wstring> lines = {L"Start Update", L"", L"Gr\u00fc\u00dfe \u20ac"};
    const std::string path = ui::record::SaveLogLines(target, lines, {2026, 1, 2, 3, 4, 5});
    EXPECT_EQ(path, target + "/20260102-030405-log.txt");
    std::string text;
    ASSERT_TRUE(platform::ReadFileText(path, text, 1000));
    EXPECT_EQ(text,
              "Start Update\n\nGr\xc3\xbc\xc3\x9f"
              "e \xe2\x82\xac\n");
    EXPECT_EQ(ui::record::SaveLogLines(target, lines, {2026, 1, 2, 3, 4, 5}),
              target + "/20260102-030405-log-2.txt")
        << "a second save in the same second gets a name of its own";
    EXPECT_EQ(
        ui::record::SaveLogLines((fs::path(path) / "x").string(), lines, {2026, 1, 2, 3, 4, 5}),
        "");
}

}  // namespace
