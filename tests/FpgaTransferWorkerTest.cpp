// The FPGA transfer worker against the simulated device and its JTAG
// programmer: what it announces, which write it uses, how it fills the
// programmer's two buffers, its progress, its note and its result.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"
#include "simulator/Image.h"
#include "simulator/Samples.h"
#include "simulator/SimDevice.h"
#include "tests/CompleteUpdateLog.h"
#include "tests/Harness.h"
#include "update/UpdateState.h"
#include "update/Workers.h"

using sim::Op;
using update::WorkerStatus;

namespace {

constexpr const char* kFileName = "QDX140-GA0010.Bic";
constexpr const wchar_t* kWideFileName = L"QDX140-GA0010.Bic";
constexpr uint32_t kDefaultFpgaVersion = 0x00120034;  // what the simulated device starts with
constexpr std::array<uint8_t, 4> kNewVersion{0x21, 0x00, 0x07, 0x00};
constexpr uint32_t kNewFpgaVersion = 0x00070021;  // kNewVersion as the device reports it

// What a run of the worker left behind.
struct Outcome {
    bool finished = false;
    int32_t exitCode = 0;
    std::vector<WorkerStatus> statuses;  // every Note seen, then the final status
    std::vector<std::wstring> notes;
    std::wstring message;
    std::wstring progress;
};

std::vector<uint8_t> PlainFile(size_t payload) {
    return sim::MakePlainImage(payload, kNewVersion, 0xF00D0000u + static_cast<uint32_t>(payload));
}

// An EBIN file: the 16-byte header, then the encrypted image.
std::vector<uint8_t> EncryptedFile(size_t payload) {
    std::vector<uint8_t> image = PlainFile(payload);
    sim::Crypt(image);
    std::vector<uint8_t> file = samples::Header(0, "0010");
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

std::vector<sim::Call> CallsOf(const std::vector<sim::Call>& trace, Op op) {
    std::vector<sim::Call> out;
    for (const sim::Call& c : trace)
        if (c.op == op) out.push_back(c);
    return out;
}

bool IsWrite(const sim::Call& c) { return c.op == Op::JtagWrite || c.op == Op::JtagWriteEncrypted; }

// Bytes handed over in each run of writes between two other calls: the windows.
std::vector<int64_t> Windows(const std::vector<sim::Call>& trace) {
    std::vector<int64_t> windows;
    bool inRun = false;
    for (const sim::Call& c : trace) {
        if (IsWrite(c)) {
            if (!inRun) windows.push_back(0);
            windows.back() += c.args.at(0);
        }
        inRun = IsWrite(c);
    }
    return windows;
}

// Bytes of the first window: the writes right after the status read that
// follows the announcement (0 when that read is followed by another read).
int64_t FirstWindow(const std::vector<sim::Call>& trace) {
    size_t i = 0;
    while (i < trace.size() && trace[i].op != Op::JtagControl) ++i;
    EXPECT_LT(i + 1, trace.size());
    EXPECT_EQ(trace.at(i + 1).op, Op::JtagStatus);
    int64_t bytes = 0;
    for (i += 2; i < trace.size() && IsWrite(trace[i]); ++i) bytes += trace[i].args.at(0);
    return bytes;
}

int64_t WrittenBytes(const std::vector<sim::Call>& trace) {
    int64_t bytes = 0;
    for (const sim::Call& c : trace)
        if (IsWrite(c)) bytes += c.args.at(0);
    return bytes;
}

std::vector<std::vector<int64_t>> ControlArgs(const std::vector<sim::Call>& trace) {
    std::vector<std::vector<int64_t>> out;
    for (const sim::Call& c : CallsOf(trace, Op::JtagControl)) out.push_back(c.args);
    return out;
}

const std::vector<WorkerStatus> kNoteThenSucceeded{WorkerStatus::Note, WorkerStatus::Succeeded};
const std::vector<WorkerStatus> kNoteThenFailed{WorkerStatus::Note, WorkerStatus::Failed};
const std::vector<WorkerStatus> kFailedOnly{WorkerStatus::Failed};

class FpgaTransferWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/qdx-fpga-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previousFolder_ = cwd;
        ASSERT_EQ(chdir(folder_.c_str()), 0);

        device::Device() = sim::StaticLibrary();
        update::ResetUpdateState();
        update::imageFileName.Set(kWideFileName);
        update::workerProgress.SetObserver(
            [this](const std::wstring& text) { progressTexts_.push_back(text); });
        StartDevice(sim::Config{});
    }

    void TearDown() override {
        update::workerProgress.SetObserver(nullptr);
        update::workerMessage.SetObserver(nullptr);
        std::remove((folder_ + "/" + kFileName).c_str());
        if (!previousFolder_.empty()) {
            EXPECT_EQ(chdir(previousFolder_.c_str()), 0);
        }
        rmdir(folder_.c_str());
    }

    void StartDevice(const sim::Config& config) {
        sim::Instance().Reset(config);
        ASSERT_EQ(sim::Instance().OpenLink(), 1);
        sim::Instance().ClearTrace();
    }

    static void WriteInput(const std::vector<uint8_t>& bytes) {
        std::FILE* f = std::fopen(kFileName, "wb");
        ASSERT_NE(f, nullptr);
        if (!bytes.empty()) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        }
        EXPECT_EQ(std::fclose(f), 0);
    }

    // Runs the worker as StartWorker would (Running before it starts) and acts
    // as the tick for its notes: logs each one and hands the status back.
    Outcome Run(int32_t argument) {
        progressTexts_.clear();
        update::updateState.workerStatus.store(static_cast<int32_t>(WorkerStatus::Running));
        struct Shared {
            std::atomic<bool> done{false};
            std::atomic<int32_t> exitCode{0};
        };
        auto shared = std::make_shared<Shared>();
        std::thread worker([shared, argument] {
            shared->exitCode = update::FpgaTransferWorker(argument);
            shared->done = true;
        });

        Outcome outcome;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            const WorkerStatus status = update::ReadWorkerStatus();
            if (status == WorkerStatus::Note) {
                outcome.statuses.push_back(status);
                outcome.notes.push_back(update::workerMessage.Get());
                EXPECT_TRUE(update::ChangeWorkerStatus(WorkerStatus::Note, WorkerStatus::Running));
            } else if ((status == WorkerStatus::Succeeded || status == WorkerStatus::Failed) &&
                       shared->done) {
                outcome.statuses.push_back(status);
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the worker did not end";
                worker.detach();
                return outcome;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        worker.join();
        outcome.finished = true;
        outcome.exitCode = shared->exitCode;
        outcome.message = update::workerMessage.Get();
        outcome.progress = update::workerProgress.Get();
        return outcome;
    }

    // Status reads of a clean run of `file` with `argument`: the last one is
    // the read that decides the outcome.
    int64_t StatusReadsOfCleanRun(const sim::Config& config, int32_t argument) {
        StartDevice(config);
        const Outcome clean = Run(argument);
        EXPECT_EQ(clean.statuses, kNoteThenSucceeded);
        return static_cast<int64_t>(sim::Instance().CountCalls(Op::JtagStatus));
    }

    std::string folder_;
    std::string previousFolder_;
    std::vector<std::wstring> progressTexts_;
};

TEST_F(FpgaTransferWorkerTest, ArgumentSelectsTargetHeaderAndWriteOperation) {
    struct Case {
        int32_t argument;
        uint8_t target;
        bool encrypted;
    };
    const Case cases[] = {
        {1, 0, true}, {3, 1, true}, {0, 0, false}, {2, 1, false}, {-1, 0, false}, {0x101, 0, true},
    };
    constexpr size_t kPayload = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE("argument " + std::to_string(c.argument));
        sim::Config config;
        config.rvqModuleAttached = true;  // target 1 is the RVQ module's FPGA
        StartDevice(config);
        // The device checks what it receives: a plain file must arrive whole,
        // an encrypted one without its header and through the encrypted write.
        WriteInput(c.encrypted ? EncryptedFile(kPayload) : PlainFile(kPayload));

        const Outcome out = Run(c.argument);
        const auto trace = sim::Instance().Trace();

        EXPECT_EQ(out.statuses, kNoteThenSucceeded) << platform::ToUtf8(out.message);
        EXPECT_EQ(out.exitCode, 1);
        EXPECT_EQ(ControlArgs(trace),
                  (std::vector<std::vector<int64_t>>{{static_cast<int64_t>(kPayload), c.target},
                                                     {0, c.target}}));
        const Op used = c.encrypted ? Op::JtagWriteEncrypted : Op::JtagWrite;
        const Op unused = c.encrypted ? Op::JtagWrite : Op::JtagWriteEncrypted;
        EXPECT_EQ(CallsOf(trace, used).size(), 18u);
        EXPECT_TRUE(CallsOf(trace, unused).empty());
        EXPECT_EQ(WrittenBytes(trace), static_cast<int64_t>(kPayload));
        EXPECT_EQ(sim::Instance().fpgaVersion(),
                  c.target == 0 ? kNewFpgaVersion : kDefaultFpgaVersion)
            << "only the device's own FPGA reports its version";
    }
}

TEST_F(FpgaTransferWorkerTest, FirstWindowIsWhatTheFreeBuffersGrant) {
    struct Case {
        uint32_t bufferWord;
        int64_t window;
    };
    const Case cases[] = {
        {0x0000, 56000}, {0x0100, 28000}, {0x0001, 28000},
        {0x8000, 28000}, {0x0080, 28000}, {0x0101, 0},
    };
    WriteInput(EncryptedFile(60000));
    for (const Case& c : cases) {
        SCOPED_TRACE("buffer word " + std::to_string(c.bufferWord));
        sim::Config config;
        // The first read and the read after the announcement see this buffer word.
        config.faults.push_back({Op::JtagStatus, 1, 2, 1, 0u, c.bufferWord});
        StartDevice(config);

        const Outcome out = Run(1);
        const auto trace = sim::Instance().Trace();

        EXPECT_EQ(FirstWindow(trace), c.window);
        EXPECT_EQ(out.statuses, kNoteThenSucceeded) << platform::ToUtf8(out.message);
        EXPECT_EQ(WrittenBytes(trace), 60000);
    }
}

TEST_F(FpgaTransferWorkerTest, WindowsFollowTheBuffersAsTheyComeFree) {
    // The simulated programmer empties its buffers one after the other, so
    // after the first window of 56000 bytes one buffer frees at a time.
    struct Case {
        size_t payload;
        std::vector<int64_t> windows;
        int64_t lastChunk;
    };
    const Case cases[] = {
        {60000, {56000, 4000}, 24},
        {120000, {56000, 28000, 28000, 8000}, 48},
        {56000, {56000}, 56},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.payload) + " bytes");
        WriteInput(EncryptedFile(c.payload));
        StartDevice(sim::Config{});

        const Outcome out = Run(1);
        const auto trace = sim::Instance().Trace();

        EXPECT_EQ(out.statuses, kNoteThenSucceeded);
        EXPECT_EQ(Windows(trace), c.windows);
        const auto writes = CallsOf(trace, Op::JtagWriteEncrypted);
        ASSERT_EQ(writes.size(), (c.payload + 55) / 56);
        for (size_t i = 0; i + 1 < writes.size(); ++i) ASSERT_EQ(writes[i].args.at(0), 56) << i;
        EXPECT_EQ(writes.back().args.at(0), c.lastChunk);
        EXPECT_EQ(sim::Instance().fpgaVersion(), kNewFpgaVersion);
    }
}

TEST_F(FpgaTransferWorkerTest, ProgressOfThousandBytesChunkByChunk) {
    WriteInput(EncryptedFile(1000));

    const Outcome out = Run(1);

    EXPECT_EQ(out.statuses, kNoteThenSucceeded);
    const std::vector<std::wstring> expected{L"0%",  L"0%",  L"5%",  L"11%", L"16%", L"22%", L"28%",
                                             L"33%", L"39%", L"44%", L"50%", L"56%", L"61%", L"67%",
                                             L"72%", L"78%", L"84%", L"89%", L"95%", L"100%"};
    EXPECT_EQ(progressTexts_, expected);
    const auto writes = CallsOf(sim::Instance().Trace(), Op::JtagWriteEncrypted);
    ASSERT_EQ(writes.size(), 18u);
    EXPECT_EQ(writes.back().args.at(0), 48);
    EXPECT_EQ(out.progress, L"100%");
}

TEST_F(FpgaTransferWorkerTest, FinalStatusReadDecidesTheOutcome) {
    struct Case {
        uint32_t status;
        int32_t result;
        WorkerStatus final;
        const wchar_t* message;
        int32_t exitCode;
    };
    const Case cases[] = {
        {0x2010, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR -16 - CRC Failure", -16},
        {0x2011, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR -17 ", -17},
        {0x2000, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR 0 ", 0},
        {0x400B, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR -11 - FPGA Verification Failure",
         -11},
        {0x800C, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR -12 - File Read Failure", -12},
        {0x200D, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR -13 - Version Failure", -13},
        {0x200E, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR -14 - Invalid Failure", -14},
        {0x300F, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR -15 - Argument Failure", -15},
        {0x3014, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR -20 - No RVQ Connected", -20},
        {0x20FF, 1, WorkerStatus::Failed, L"JTAG Programmer ERROR -255 ", -255},
        // A programmer error counts whatever the read returned.
        {0x2010, -5, WorkerStatus::Failed, L"JTAG Programmer ERROR -16 - CRC Failure", -16},
        {0x1F00, 1, WorkerStatus::Succeeded, L"Data Transfer OK", 1},
        {0x0000, 1, WorkerStatus::Succeeded, L"Data Transfer OK", 1},
        {0x1000, -5, WorkerStatus::Failed, L"USB ERROR -5", -5},
        {0x1000, 0x10002, WorkerStatus::Failed, L"USB ERROR 2", 2},
        {0x1000, 0, WorkerStatus::Failed, L"USB ERROR 0", 0},
        {0x1000, 0x1FFFF, WorkerStatus::Failed, L"USB ERROR -1", -1},
    };
    WriteInput(EncryptedFile(1000));
    const int64_t lastRead = StatusReadsOfCleanRun(sim::Config{}, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.message));
        sim::Config config;
        config.faults.push_back({Op::JtagStatus, lastRead, 1, c.result, c.status, 0u});
        StartDevice(config);

        const Outcome out = Run(1);

        EXPECT_EQ(sim::Instance().CountCalls(Op::JtagStatus), static_cast<size_t>(lastRead));
        EXPECT_EQ(out.statuses, (std::vector<WorkerStatus>{WorkerStatus::Note, c.final}));
        EXPECT_EQ(out.message, c.message);
        EXPECT_EQ(out.exitCode, c.exitCode);
        EXPECT_EQ(out.progress, L"100%");
    }
}

TEST_F(FpgaTransferWorkerTest, FailedFirstStatusReadEndsBeforeTheFileIsOpened) {
    struct Case {
        int32_t result;
        const wchar_t* message;
    };
    const Case cases[] = {{-5, L"USB ERROR -5"}, {0x10002, L"USB ERROR 2"}, {0, L"USB ERROR 0"}};
    WriteInput(EncryptedFile(1000));
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.message));
        sim::Config config;
        config.faults.push_back({Op::JtagStatus, 1, 1, c.result, {}, {}});
        StartDevice(config);

        const Outcome out = Run(1);

        EXPECT_EQ(out.statuses, kFailedOnly);
        EXPECT_EQ(out.message, c.message);
        EXPECT_EQ(out.exitCode, c.result);
        EXPECT_EQ(out.progress, L"0%");
        EXPECT_EQ(sim::Instance().Trace().size(), 1u) << "nothing after the failed read";
    }
}

TEST_F(FpgaTransferWorkerTest, MissingFileIsReportedByName) {
    const Outcome out = Run(1);

    EXPECT_EQ(out.statuses, kFailedOnly);
    EXPECT_EQ(out.message, L"Unable to open Input file: QDX140-GA0010.Bic");
    EXPECT_EQ(out.exitCode, update::kExitFpgaFile);
    EXPECT_EQ(out.progress, L"0%");
    const auto trace = sim::Instance().Trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].op, Op::JtagStatus);
}

TEST_F(FpgaTransferWorkerTest, NoteFollowsTheClosingControlAndPrecedesTheResult) {
    struct Seen {
        std::wstring message;
        size_t controls;
        size_t statusReads;
    };
    std::vector<Seen> seen;
    update::workerMessage.SetObserver([&seen](const std::wstring& text) {
        seen.push_back({text, sim::Instance().CountCalls(Op::JtagControl),
                        sim::Instance().CountCalls(Op::JtagStatus)});
    });
    WriteInput(EncryptedFile(1000));
    const int64_t lastRead = StatusReadsOfCleanRun(sim::Config{}, 1);
    seen.clear();
    sim::Config config;
    config.faults.push_back({Op::JtagStatus, lastRead, 1, 1, 0x2010u, 0u});
    StartDevice(config);

    const Outcome out = Run(1);

    EXPECT_EQ(out.statuses, kNoteThenFailed);
    EXPECT_EQ(out.notes, std::vector<std::wstring>{L"Data Transfer OK"});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, L"Data Transfer OK");
    EXPECT_EQ(seen[0].controls, 2u) << "the transfer is closed before the note";
    EXPECT_LT(seen[0].statusReads, static_cast<size_t>(lastRead));
    EXPECT_EQ(seen[1].message, L"JTAG Programmer ERROR -16 - CRC Failure");
    EXPECT_EQ(seen[1].statusReads, static_cast<size_t>(lastRead));
}

TEST_F(FpgaTransferWorkerTest, SampleFileIsAcceptedAndAnAlteredPayloadIsNot) {
    struct Case {
        const char* what;
        long alteredByte;  // -1: none; counted from the end when negative otherwise
        bool accepted;
    };
    const std::vector<uint8_t> sample = samples::FileBytes(samples::Kind::Fpga);
    const Case cases[] = {
        {"the sample as it is", -1, true},
        {"a header byte changed (the header is not checked)", 5, true},
        {"a payload byte changed", 16 + 1000, false},
        {"the CRC's last byte changed", static_cast<long>(sample.size()) - 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> file = sample;
        if (c.alteredByte >= 0) file[static_cast<size_t>(c.alteredByte)] ^= 0x40;
        WriteInput(file);
        StartDevice(sim::Config{});

        const Outcome out = Run(1);
        const auto trace = sim::Instance().Trace();

        EXPECT_EQ(out.notes, std::vector<std::wstring>{L"Data Transfer OK"});
        EXPECT_EQ(ControlArgs(trace),
                  (std::vector<std::vector<int64_t>>{{samples::kFpgaPayloadSize, 0}, {0, 0}}));
        EXPECT_EQ(WrittenBytes(trace), static_cast<int64_t>(samples::kFpgaPayloadSize));
        for (int64_t w : Windows(trace)) EXPECT_LE(w, 56000);
        // After the closing control only status reads: the completion wait.
        size_t i = trace.size();
        while (i > 0 && trace[i - 1].op == Op::JtagStatus) --i;
        ASSERT_GT(i, 0u);
        EXPECT_EQ(trace[i - 1].op, Op::JtagControl);
        if (c.accepted) {
            EXPECT_EQ(out.statuses, kNoteThenSucceeded) << platform::ToUtf8(out.message);
            EXPECT_EQ(sim::Instance().fpgaVersion(), 0x00100010u);
        } else {
            EXPECT_EQ(out.statuses, kNoteThenFailed);
            EXPECT_EQ(out.message, L"JTAG Programmer ERROR -16 - CRC Failure");
            EXPECT_EQ(sim::Instance().fpgaVersion(), kDefaultFpgaVersion);
        }
    }
}

TEST_F(FpgaTransferWorkerTest, FileWithoutPayloadFailsWithoutAnnouncingIt) {
    struct Case {
        int32_t argument;
        size_t fileSize;
    };
    const Case cases[] = {{1, 16}, {1, 10}, {1, 0}, {0, 0}, {-1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("argument " + std::to_string(c.argument) + ", " + std::to_string(c.fileSize) +
                     " bytes");
        WriteInput(std::vector<uint8_t>(c.fileSize, 0x5A));
        StartDevice(sim::Config{});

        const Outcome out = Run(c.argument);

        ASSERT_TRUE(out.finished);
        EXPECT_EQ(out.statuses, kFailedOnly);
        EXPECT_EQ(out.message, L"No FPGA data in Input file: QDX140-GA0010.Bic");
        EXPECT_EQ(out.progress, L"");
        EXPECT_EQ(out.exitCode, update::kExitFpgaFile);
        const auto trace = sim::Instance().Trace();
        ASSERT_EQ(trace.size(), 1u) << "only the first status read; nothing is announced";
    }
}

TEST_F(FpgaTransferWorkerTest, FileChangingWhileItIsSent) {
    const std::string path = std::string(kFileName);
    struct Case {
        const char* what;
        size_t payload;
        size_t atText;  // the file changes when the worker hands over this progress text
        off_t newSize;
        WorkerStatus final;
        const wchar_t* message;
        const wchar_t* progress;
        int64_t written;
        bool noted;
    };
    // Text 2 follows the first chunk. The file is read 56000 bytes at a time:
    // what was read before the file changed is sent, nothing beyond the length
    // announced is ever read.
    const Case cases[] = {
        {"shrinks by a third", 150000, 2, 100000, WorkerStatus::Failed,
         L"Unable to read Input file: QDX140-GA0010.Bic", L"", 100000, false},
        {"shrinks to one byte past the first block", 150000, 2, 56001, WorkerStatus::Failed,
         L"Unable to read Input file: QDX140-GA0010.Bic", L"", 56001, false},
        {"shrinks to 0 bytes", 150000, 2, 0, WorkerStatus::Failed,
         L"Unable to read Input file: QDX140-GA0010.Bic", L"", 56000, false},
        {"grows by 200 bytes", 150000, 2, 150200, WorkerStatus::Succeeded, L"Data Transfer OK",
         L"100%", 150000, true},
        {"grows by 200 bytes within the first block", 1000, 2, 1200, WorkerStatus::Succeeded,
         L"Data Transfer OK", L"100%", 1000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = PlainFile(c.payload);
        WriteInput(bytes);
        StartDevice(sim::Config{});
        size_t texts = 0;
        bool changed = false;
        update::workerProgress.SetObserver([&](const std::wstring&) {
            if (texts++ == c.atText) {
                changed = true;
                ASSERT_EQ(truncate(path.c_str(), c.newSize), 0);
            }
        });

        const Outcome out = Run(0);
        const auto trace = sim::Instance().Trace();

        ASSERT_TRUE(out.finished);
        EXPECT_TRUE(changed);
        EXPECT_EQ(out.statuses.back(), c.final);
        EXPECT_EQ(out.notes.empty(), !c.noted);
        EXPECT_EQ(out.message, c.message);
        EXPECT_EQ(out.progress, c.progress);
        EXPECT_EQ(WrittenBytes(trace), c.written) << "never more than announced";
        const auto payload = static_cast<int64_t>(c.payload);
        EXPECT_EQ(ControlArgs(trace), (std::vector<std::vector<int64_t>>{{payload, 0}, {0, 0}}))
            << "the transfer is closed either way";
    }
}

TEST_F(FpgaTransferWorkerTest, RefusedChunkEndsItsWindowAndIsNotSentAgain) {
    WriteInput(EncryptedFile(60000));
    sim::Config config;
    config.faults.push_back({Op::JtagWriteEncrypted, 3, 1, 0, {}, {}});
    StartDevice(config);

    const Outcome out = Run(1);
    const auto trace = sim::Instance().Trace();

    EXPECT_EQ(FirstWindow(trace), 3 * 56);
    EXPECT_EQ(WrittenBytes(trace), 60000) << "the refused chunk counts as sent";
    EXPECT_EQ(out.notes, std::vector<std::wstring>{L"Data Transfer OK"});
    // The device misses the refused chunk, so the image does not check out.
    EXPECT_EQ(out.statuses, kNoteThenFailed);
    EXPECT_EQ(out.message, L"JTAG Programmer ERROR -16 - CRC Failure");
}

TEST_F(FpgaTransferWorkerTest, ProgrammerFinishingEarlyGetsNoClosingControlAndNoNote) {
    WriteInput(EncryptedFile(1000));
    sim::Config config;
    config.faults.push_back({Op::JtagStatus, 2, 2, 1, 0x1000u, 0u});
    StartDevice(config);

    const Outcome out = Run(1);
    const auto trace = sim::Instance().Trace();

    EXPECT_EQ(out.statuses, std::vector<WorkerStatus>{WorkerStatus::Succeeded});
    std::vector<Op> ops;
    for (const sim::Call& c : trace) ops.push_back(c.op);
    // First read, announcement, the read that sees "finished", the deciding read.
    EXPECT_EQ(ops,
              (std::vector<Op>{Op::JtagStatus, Op::JtagControl, Op::JtagStatus, Op::JtagStatus}));
}

TEST_F(FpgaTransferWorkerTest, LinkLostWhileBothBuffersAreBusyEndsAsUsbError) {
    WriteInput(EncryptedFile(60000));
    sim::Config config;
    // Both buffers busy, then the device stops answering for good.
    config.faults.push_back({Op::JtagStatus, 2, 1, 1, 0u, 0x0101u});
    config.faults.push_back({Op::JtagStatus, 3, -1, -1, {}, {}});
    StartDevice(config);

    const Outcome out = Run(1);

    ASSERT_TRUE(out.finished);
    EXPECT_EQ(out.statuses, kFailedOnly);
    EXPECT_EQ(out.message, L"USB ERROR -1");
    EXPECT_EQ(WrittenBytes(sim::Instance().Trace()), 0);
    EXPECT_EQ(ControlArgs(sim::Instance().Trace()),
              (std::vector<std::vector<int64_t>>{{60000, 0}, {0, 0}}))
        << "the transfer is closed";
}

// The device is unplugged after a chosen chunk of a 60000-byte transfer (1072
// chunks: a window of 1000, a buffer wait, a window of 72). From then on every
// call fails. The transfer ends at the first refused write or failed status
// read, is closed, and never counts as handed over.
TEST_F(FpgaTransferWorkerTest, LinkLostDuringTheTransferEndsItAtOnce) {
    struct Case {
        int64_t afterChunks;
        std::vector<WorkerStatus> statuses;
    };
    const Case cases[] = {
        {0, kFailedOnly},
        {1, kFailedOnly},
        {500, kFailedOnly},
        {999, kFailedOnly},
        {1000, kFailedOnly},
        {1001, kFailedOnly},
        {1070, kFailedOnly},
        {1071, kFailedOnly},
        // Every byte was handed over on a live link: the note stands, the
        // status reads that follow fail.
        {1072, kNoteThenFailed},
    };
    WriteInput(EncryptedFile(60000));
    for (const Case& c : cases) {
        SCOPED_TRACE("unplugged after chunk " + std::to_string(c.afterChunks));
        StartDevice(sim::Config{});
        size_t texts = 0;
        update::workerProgress.SetObserver([&](const std::wstring&) {
            // Texts 0 and 1 are the two 0% of the start; text k + 1 follows chunk k.
            if (static_cast<int64_t>(texts++) == c.afterChunks + 1)
                sim::Instance().SetPlugged(false);
        });

        const Outcome out = Run(1);
        const auto trace = sim::Instance().Trace();

        ASSERT_TRUE(out.finished);
        EXPECT_EQ(out.statuses, c.statuses);
        EXPECT_EQ(out.message, L"USB ERROR -1");
        EXPECT_EQ(out.exitCode, -1);
        size_t accepted = 0, refused = 0;
        for (const sim::Call& call : CallsOf(trace, Op::JtagWriteEncrypted))
            ++(call.result == 1 ? accepted : refused);
        EXPECT_EQ(accepted, static_cast<size_t>(c.afterChunks));
        EXPECT_LE(refused, 1u) << "no write after the first one refused";
        EXPECT_EQ(ControlArgs(trace), (std::vector<std::vector<int64_t>>{{60000, 0}, {0, 0}}))
            << "the transfer is closed";
        size_t failedReads = 0;
        for (const sim::Call& call : CallsOf(trace, Op::JtagStatus))
            failedReads += call.result != 1;
        EXPECT_LE(failedReads, c.afterChunks == 1072 ? 2u : 1u)
            << "no read after the link is known gone";
    }
}

// A programmer that stops: its buffers never drain (buffer wait) or it never
// reports "finished" (completion wait). The wait ends once the status and
// buffer words have stood still for 30 s of device time, as a programmer
// failure of the worker's own.
TEST_F(FpgaTransferWorkerTest, StalledProgrammerEndsTheWaitAfterThirtySeconds) {
    constexpr int64_t kCallUs = 1000;  // device time per call
    struct Case {
        const char* what;
        size_t payload;
        std::vector<WorkerStatus> statuses;
        int64_t written;
    };
    const Case cases[] = {
        {"buffers never drain", 60000, kFailedOnly, 56000},
        {"never finishes", 1000, kNoteThenFailed, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteInput(EncryptedFile(c.payload));
        sim::Config config;
        config.callCostUs = kCallUs;
        config.jtagDrainBytesPerMs = 0;
        StartDevice(config);

        const Outcome out = Run(1);
        const auto trace = sim::Instance().Trace();

        ASSERT_TRUE(out.finished);
        EXPECT_EQ(out.statuses, c.statuses);
        EXPECT_EQ(out.message, L"JTAG Programmer ERROR -256 - Timeout");
        EXPECT_EQ(out.exitCode, update::kExitFpgaTimeout);
        EXPECT_EQ(out.progress, c.payload == 1000 ? L"100%" : L"93%");
        EXPECT_EQ(WrittenBytes(trace), c.written);
        const auto payload = static_cast<int64_t>(c.payload);
        EXPECT_EQ(ControlArgs(trace), (std::vector<std::vector<int64_t>>{{payload, 0}, {0, 0}}))
            << "closed once: after the last chunk, or when the wait gives up";
        // The reads since the last change of the words span the limit.
        size_t i = trace.size();
        while (i > 0 && trace[i - 1].op == Op::JtagStatus) --i;
        if (trace.back().op == Op::JtagControl) {
            --i;
            while (i > 0 && trace[i - 1].op == Op::JtagStatus) --i;
        }
        size_t stillReads = 0;
        for (size_t k = i; k < trace.size(); ++k) stillReads += trace[k].op == Op::JtagStatus;
        EXPECT_GE(static_cast<int64_t>(stillReads) * kCallUs, 30'000'000);
        EXPECT_LE(static_cast<int64_t>(stillReads) * kCallUs, 30'000'000 + 2 * kCallUs);
    }
}

// A slow programmer that frees a buffer every 28 s keeps its words moving
// within the limit: it is waited for, and the transfer succeeds.
TEST_F(FpgaTransferWorkerTest, SlowProgrammerIsWaitedForAsLongAsItMoves) {
    WriteInput(EncryptedFile(60000));
    sim::Config config;
    config.callCostUs = 1000;
    config.jtagDrainBytesPerMs = 1;  // 28 s for a buffer of 28000 bytes
    StartDevice(config);

    const Outcome out = Run(1);

    EXPECT_EQ(out.statuses, kNoteThenSucceeded) << platform::ToUtf8(out.message);
    EXPECT_EQ(Windows(sim::Instance().Trace()), (std::vector<int64_t>{56000, 4000}));
    EXPECT_GE(sim::Instance().NowUs(), 56'000'000) << "both buffers drained at 1 byte/ms";
}

// In an update: the stalled programmer's stage ends with its reason, so a
// close asked for while it ran takes effect at the tick that shows the result.
TEST(FpgaStage, StalledProgrammerEndsTheStageAndAPendingCloseTakesEffect) {
    sim::Config config;
    config.callCostUs = 1000;
    // From the read after the announcement on, both buffers stay busy.
    config.faults.push_back({Op::JtagStatus, 2, -1, 1, 0u, 0x0101u});
    testing_support::Harness h(config);
    h.Init();
    h.dlg.OnUpdateButton();
    ASSERT_TRUE(h.TickUntil([] {
        return update::ReadWorkerStatus() == WorkerStatus::Running &&
               update::imageFileName.Get() == kWideFileName;
    }));
    const update::Step step = update::updateState.updateStep;
    EXPECT_EQ(h.dlg.RequestClose(), ui::CloseAction::AfterStage) << "the stage is running";

    h.Tick();

    EXPECT_TRUE(h.dlg.closeDue());
    EXPECT_EQ(update::updateState.updateStep, step) << "no further step";
    const auto& lines = h.window.log().lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].text, L"JTAG Programmer ERROR -256 - Timeout");
    EXPECT_EQ(lines[lines.size() - 2].colour, expected::kRed);
    EXPECT_EQ(lines.back().text, L"Programming ERROR");
    const auto trace = h.device.Trace();
    EXPECT_EQ(WrittenBytes(trace), 0) << "no buffer was ever free";
    EXPECT_EQ(ControlArgs(trace),
              (std::vector<std::vector<int64_t>>{{samples::kFpgaPayloadSize, 0}, {0, 0}}));
}

}  // namespace
