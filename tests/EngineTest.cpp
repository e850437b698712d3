// Area tables, update file headers, opening update files, and the flash and
// parameter workers run on the test thread against the simulated device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Text.h"
#include "tests/Harness.h"
#include "update/Areas.h"
#include "update/Workers.h"

using sim::Op;
using testing_support::TempFolder;
using update::WorkerStatus;

// This binary is linked with --wrap=close: every close passes here. While a
// test watches, it notes the worker status at the moment an update file
// (*.Bic) is closed.
namespace {
std::atomic<bool> g_watchCloses{false};
std::vector<WorkerStatus> g_statusAtClose;
}  // namespace

extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd) {
    if (g_watchCloses.load()) {
        char target[4096];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = readlink(link.c_str(), target, sizeof target);
        if (n > 0 && std::string_view(target, static_cast<size_t>(n)).ends_with(".Bic"))
            g_statusAtClose.push_back(update::ReadWorkerStatus());
    }
    return __real_close(fd);
}

namespace {

TEST(AreaTable, DerivesSizesAndPagesInUnsigned32BitArithmetic) {
    struct Case {
        int area;
        uint32_t size, firstPage, pageSpan;
        int8_t sector;
    } cases[] = {
        {10, 16384, 0xFFFFC0, 63, 0},  // ends at 0xFFFFFFFF
        {9, 98304, 0xFFFE00, 383, 1},
        {3, 2048, 0x1068, 7, 5},
        {0, 2048, 0x1040, 7, 2},
    };
    for (const Case& c : cases) {
        const update::FlashArea& a = update::flashAreaTable[c.area];
        EXPECT_EQ(update::AreaSize(a), c.size) << c.area;
        EXPECT_EQ(update::FirstPage(a), c.firstPage) << c.area;
        EXPECT_EQ(update::PageSpan(a), c.pageSpan) << c.area;
        EXPECT_EQ(a.sectorId, c.sector) << c.area;
    }
    EXPECT_EQ(update::flashAreaTable[11].sectorId - 20, 1);
    const update::FlashArea& plain = update::parameterAreaTable[2];
    EXPECT_EQ(plain.sectorId, 4);
    EXPECT_EQ(update::FirstPage(plain), 0x1060u);
    EXPECT_EQ(update::UpdateFileName(3), L"QDX140-GA0010.Bic");
}

TEST(UpdateFileHeader, StartAddressIsBigEndian) {
    uint8_t header[16] = {};
    const uint8_t bootloader[4] = {0xFF, 0xFF, 0xC0, 0x00}, shifted[4] = {0x00, 0xFF, 0xC0, 0x00};
    std::memcpy(header + 8, bootloader, 4);
    EXPECT_EQ(update::HeaderStartAddress(header), 0xFFFFC000u);
    std::memcpy(header + 8, shifted, 4);
    EXPECT_EQ(update::HeaderStartAddress(header), 0x00FFC000u);
}

TEST(UpdateFileHeader, VersionIsReadLikeScanfWithWidthFour) {
    struct Case {
        const char* what;
        std::string bytes4to15;  // header bytes from offset 4 on
        int32_t version;
    } cases[] = {
        {"four digits", std::string("0602\xFF\xFF\xC0\0", 8), 0x0602},
        {"upper and lower case", "aBcD", 0xABCD},
        {"fewer digits, then a blank", "06 2", 0x06},
        {"fewer digits, then a zero byte", std::string("06\0\0", 4), 0x06},
        {"leading blanks and tabs skipped", " \t12", 0x12},
        {"the number goes on past offset 7", std::string("  ab\x63\x64\0\0", 8), 0xABCD},
        {"at most four digits", "123456", 0x1234},
        {"no digit", "xyz1", 0},
        {"non-ASCII bytes", "\xC3\xA9\xB0\x39", 0},
        {"all blank", "            ", 0},
        {"a digit in the last header byte", std::string(11, ' ') + "F", 0xF},
    };
    for (const Case& c : cases) {
        uint8_t file[20];
        std::memset(file, 0, sizeof file);
        std::memcpy(file + 4, c.bytes4to15.data(), std::min<size_t>(c.bytes4to15.size(), 12));
        file[16] = '7';  // never read: beyond the header
        EXPECT_EQ(update::HeaderVersion(file, 16), c.version) << c.what;
    }
    const uint8_t shortFile[6] = {'E', 'B', 'I', 'N', '0', '6'};
    EXPECT_EQ(update::HeaderVersion(shortFile, 6), 0x06) << "only the bytes a short file has";
}

TEST(UpdateFileOpen, IsExclusiveAndRelativeToTheCurrentFolder) {
    TempFolder folder;
    ASSERT_TRUE(samples::WriteFile("update.Bic", {1, 2, 3}));
    platform::InputFile first, second;
    ASSERT_TRUE(first.Open(L"update.Bic"));
    EXPECT_FALSE(second.Open(L"update.Bic")) << "held: counts as missing";
    first.Close();
    EXPECT_TRUE(second.Open(L"update.Bic"));
    second.Close();

    EXPECT_FALSE(first.Open(L"missing.Bic"));
    std::filesystem::create_directory("folder.Bic");
    EXPECT_FALSE(first.Open(L"folder.Bic"));

    // A full path of 260 characters or more cannot be opened.
    const size_t base = std::filesystem::current_path().string().size() + 1;
    const std::string longName(260 - base, 'n'), fitting(259 - base, 'f');
    ASSERT_TRUE(samples::WriteFile(longName, {1}));
    ASSERT_TRUE(samples::WriteFile(fitting, {1}));
    EXPECT_FALSE(first.Open(platform::Widen(longName.c_str())));
    EXPECT_TRUE(first.Open(platform::Widen(fitting.c_str())));
}

// ---- the workers, run on the test thread ------------------------------------------------------

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        device::Device() = sim::StaticLibrary();
        sim::Config config;
        config.startInBootloader = true;
        sim::Instance().Reset(config);
        sim::Instance().OpenLink();
        update::ResetUpdateState();
        update::workerProgress.SetObserver(
            [this](const std::wstring& t) { progress.push_back(t); });
    }
    void TearDown() override { update::workerProgress.SetObserver(nullptr); }

    // Runs a worker as StartWorker would, but on this thread.
    int32_t Run(update::Worker worker, int32_t argument) {
        update::updateState.workerStatus.store(static_cast<int32_t>(WorkerStatus::Running));
        sim::Instance().ClearTrace();
        progress.clear();
        return worker(argument);
    }
    int32_t Flash(int area, const std::vector<uint8_t>& file) {
        EXPECT_TRUE(samples::WriteFile("image.Bic", file));
        update::imageFileName.Set(L"image.Bic");
        return Run(update::FlashImageWorker, area);
    }
    size_t Calls(Op op) {
        size_t n = 0;
        for (const sim::Call& c : sim::Instance().Trace()) n += c.op == op;
        return n;
    }

    TempFolder folder;
    std::vector<std::wstring> progress;
};

TEST_F(WorkerTest, FlashImageWorkerProgramsTheBootLoaderUpToTheLastAddress) {
    EXPECT_EQ(Flash(10, samples::FileBytes(samples::Kind::Bootloader)), 1);
    EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Succeeded);
    ASSERT_EQ(progress.size(), 3u + 64u);
    EXPECT_EQ(progress[0], L"");
    EXPECT_EQ(progress[1], L"Erase");
    EXPECT_EQ(progress[2], L"0%   FFFFC0");
    const std::vector<std::wstring> pages(progress.begin() + 3, progress.begin() + 9);
    EXPECT_EQ(pages, (std::vector<std::wstring>{L"0%   FFFFC0", L"1%   FFFFC1", L"3%   FFFFC2",
                                                L"4%   FFFFC3", L"6%   FFFFC4", L"7%   FFFFC5"}));
    EXPECT_EQ(progress[progress.size() - 2], L"98%   FFFFFE");
    EXPECT_EQ(progress.back(), L"100%   FFFFFF");
    EXPECT_EQ(Calls(Op::WritePageBlock), 512u);
    EXPECT_EQ(Calls(Op::ProgramPage), 64u);
    const auto trace = sim::Instance().Trace();
    EXPECT_EQ(trace.front().op, Op::EraseSector);
    EXPECT_EQ(trace[1].args, (std::vector<int64_t>{0, 32})) << "offset 0, 32 bytes";
    EXPECT_EQ(trace[9].args, (std::vector<int64_t>{0, 0xFFFFC0})) << "sector 0, first page";
    EXPECT_EQ(trace.back().args, (std::vector<int64_t>{0, 0xFFFFFF}));
    EXPECT_TRUE(sim::Instance().AreaValid(0));
}

TEST_F(WorkerTest, FlashImageWorkerShowsPercentagesOfATwoKilobyteArea) {
    EXPECT_EQ(Flash(3, samples::FileBytes(samples::Kind::Interpolator)), 1);
    EXPECT_EQ(std::vector<std::wstring>(progress.begin() + 2, progress.end()),
              (std::vector<std::wstring>{L"0%   1068", L"0%   1068", L"14%   1069", L"28%   106A",
                                         L"42%   106B", L"57%   106C", L"71%   106D", L"85%   106E",
                                         L"100%   106F"}));
}

TEST_F(WorkerTest, FlashImageWorkerRejectsMalformedFilesWithoutTouchingTheDevice) {
    const std::vector<uint8_t> good = samples::FileBytes(samples::Kind::Bootloader);
    auto withAddress = [&](std::vector<uint8_t> bytes, uint8_t first) {
        bytes[8] = first;
        return bytes;
    };
    auto resized = [&](size_t size) {
        std::vector<uint8_t> bytes = good;
        bytes.resize(size, 0x5A);
        return bytes;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        const wchar_t* message;
        int32_t exitCode;
    } cases[] = {
        // A file shorter than its header has no contents: 0kB.
        {"empty", {}, L"Flashsize ERROR: EBIN = 0kB, Flash = 16kB", update::kExitLength},
        {"1 byte", resized(1), L"Flashsize ERROR: EBIN = 0kB, Flash = 16kB", update::kExitLength},
        {"15 bytes: no header, rejected by its length", resized(15),
         L"Flashsize ERROR: EBIN = 0kB, Flash = 16kB", update::kExitLength},
        {"the header alone", resized(16), L"Flashsize ERROR: EBIN = 0kB, Flash = 16kB",
         update::kExitLength},
        {"16 bytes short", resized(16384), L"Flashsize ERROR: EBIN = 15kB, Flash = 16kB",
         update::kExitLength},
        {"one byte short", resized(16399), L"Flashsize ERROR: EBIN = 15kB, Flash = 16kB",
         update::kExitLength},
        {"one byte long", resized(16401), L"Flashsize ERROR: EBIN = 16kB, Flash = 16kB",
         update::kExitLength},
        {"wrong start address", withAddress(good, 0x00), L"Address ERROR: 0x00FFC000",
         update::kExitAddress},
        {"wrong address and length: the address first", withAddress(resized(100), 0x00),
         L"Address ERROR: 0x00FFC000", update::kExitAddress},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Flash(10, c.file), c.exitCode) << c.what;
        EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Failed) << c.what;
        EXPECT_EQ(update::workerMessage.Get(), c.message) << c.what;
        EXPECT_EQ(update::workerProgress.Get(), L"") << c.what;
        EXPECT_TRUE(sim::Instance().Trace().empty()) << c.what;
    }
}

// The window thread acts on a result at once: a retry's worker opens the same
// file without sharing, so the file must be closed before the result is told.
TEST_F(WorkerTest, FlashImageWorkerClosesItsFileBeforeItTellsTheResult) {
    std::vector<uint8_t> wrongAddress = samples::FileBytes(samples::Kind::Bootloader);
    wrongAddress[8] = 0x00;
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::vector<sim::Fault> faults;
        WorkerStatus result;
    } cases[] = {
        {"programmed", samples::FileBytes(samples::Kind::Bootloader), {}, WorkerStatus::Succeeded},
        {"erase error",
         samples::FileBytes(samples::Kind::Bootloader),
         {{Op::EraseSector, 1, 1, 1, 7u, {}}},
         WorkerStatus::Failed},
        {"program error",
         samples::FileBytes(samples::Kind::Bootloader),
         {{Op::ProgramPage, 2, 1, 3, 9u, {}}},
         WorkerStatus::Failed},
        {"address error", wrongAddress, {}, WorkerStatus::Failed},
        {"length error", {1, 2, 3}, {}, WorkerStatus::Failed},
    };
    for (const Case& c : cases) {
        sim::Config config;
        config.startInBootloader = true;
        config.faults = c.faults;
        sim::Instance().Reset(config);
        sim::Instance().OpenLink();
        ASSERT_TRUE(samples::WriteFile("image.Bic", c.file));
        update::imageFileName.Set(L"image.Bic");
        g_statusAtClose.clear();
        g_watchCloses = true;
        Run(update::FlashImageWorker, 10);
        g_watchCloses = false;
        EXPECT_EQ(update::ReadWorkerStatus(), c.result) << c.what;
        EXPECT_EQ(g_statusAtClose, std::vector<WorkerStatus>{WorkerStatus::Running}) << c.what;
    }
}

// The same for the FPGA worker, on every way it ends with its file open. It
// runs on a thread of its own: this thread takes its note as the tick would.
TEST_F(WorkerTest, FpgaTransferWorkerClosesItsFileBeforeItTellsTheResult) {
    ASSERT_TRUE(samples::WriteFile("image.Bic", samples::FileBytes(samples::Kind::Fpga)));
    update::imageFileName.Set(L"image.Bic");
    const auto runWatched = [](const sim::Config& config) {
        sim::Instance().Reset(config);
        sim::Instance().OpenLink();
        sim::Instance().ClearTrace();
        g_statusAtClose.clear();
        g_watchCloses = true;
        update::updateState.workerStatus.store(static_cast<int32_t>(WorkerStatus::Running));
        std::atomic<bool> done{false};
        std::thread worker([&done] {
            update::FpgaTransferWorker(1);
            done = true;
        });
        while (!done) {
            update::ChangeWorkerStatus(WorkerStatus::Note, WorkerStatus::Running);
            std::this_thread::yield();
        }
        worker.join();
        g_watchCloses = false;
        return update::ReadWorkerStatus();
    };
    ASSERT_EQ(runWatched(sim::Config{}), WorkerStatus::Succeeded);
    const auto lastStatusRead = static_cast<int64_t>(sim::Instance().CountCalls(Op::JtagStatus));
    struct Case {
        const char* what;
        std::vector<sim::Fault> faults;
        WorkerStatus result;
        const wchar_t* message;
    } cases[] = {
        {"programmed", {}, WorkerStatus::Succeeded, L"Data Transfer OK"},
        {"link lost while sending",
         {{Op::JtagStatus, 2, 1, -5, {}, {}}},
         WorkerStatus::Failed,
         L"USB ERROR -5"},
        {"programmer error",
         {{Op::JtagStatus, lastStatusRead, 1, 1, 0x2010u, 0u}},
         WorkerStatus::Failed,
         L"JTAG Programmer ERROR -16 - CRC Failure"},
        {"link lost at the last read",
         {{Op::JtagStatus, lastStatusRead, 1, -5, 0x1000u, 0u}},
         WorkerStatus::Failed,
         L"USB ERROR -5"},
    };
    // Closed once, before the result: the worker may still be running, or its
    // note "Data Transfer OK" may not have been taken yet.
    const auto closedBeforeTheResult = [] {
        return g_statusAtClose.size() == 1 && (g_statusAtClose[0] == WorkerStatus::Running ||
                                               g_statusAtClose[0] == WorkerStatus::Note);
    };
    for (const Case& c : cases) {
        sim::Config config;
        config.faults = c.faults;
        EXPECT_EQ(runWatched(config), c.result) << c.what;
        EXPECT_EQ(update::workerMessage.Get(), c.message) << c.what;
        EXPECT_TRUE(closedBeforeTheResult()) << c.what;
    }
    // A file the worker refuses before it calls the programmer again.
    ASSERT_TRUE(samples::WriteFile("image.Bic", std::vector<uint8_t>(16, 0x5A)));
    EXPECT_EQ(runWatched(sim::Config{}), WorkerStatus::Failed);
    EXPECT_EQ(update::workerMessage.Get(), L"No FPGA data in Input file: image.Bic");
    EXPECT_TRUE(closedBeforeTheResult());
}

TEST_F(WorkerTest, FlashImageWorkerRejectsAFileBeyondFourGigabytes) {
    // 2^32 + 16400 bytes: its low 32 bits match the boot loader's size.
    std::vector<uint8_t> good = samples::FileBytes(samples::Kind::Bootloader);
    ASSERT_TRUE(samples::WriteFile("huge.Bic", good));
    ASSERT_EQ(truncate("huge.Bic", (1LL << 32) + 16400), 0);
    update::imageFileName.Set(L"huge.Bic");
    EXPECT_EQ(Run(update::FlashImageWorker, 10), update::kExitLength);
    EXPECT_EQ(update::workerMessage.Get(), L"Flashsize ERROR: EBIN = 4194303kB, Flash = 16kB");
    EXPECT_TRUE(sim::Instance().Trace().empty());
}

// The file changes its length once the first page is programmed (another
// process appends to it or cuts it): the worker sends no block beyond the
// length it checked and never a page outside the area, and the stage fails.
// It reads a page at a time: of a page cut short no block is sent.
TEST_F(WorkerTest, FlashImageWorkerSendsOnlyTheCheckedLengthWhateverTheFileDoes) {
    const std::vector<uint8_t> good = samples::FileBytes(samples::Kind::Firmware);
    const auto size = static_cast<off_t>(good.size());  // 16 + 384 pages
    struct Case {
        const char* what;
        off_t newSize;
        size_t blocks, pages;  // WritePageBlock and ProgramPage calls
    } cases[] = {
        {"4 KiB appended", size + 4096, 3072, 384},   {"one byte appended", size + 1, 3072, 384},
        {"cut by one block", size - 32, 3064, 383},   {"cut by one byte", size - 1, 3064, 383},
        {"cut after the first page", 16 + 256, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int programmedPages = 0;
        update::workerProgress.SetObserver([&](const std::wstring& text) {
            if (text.find(L"%") != std::wstring::npos && ++programmedPages == 2) {
                ASSERT_EQ(truncate("image.Bic", c.newSize), 0);
            }
        });
        EXPECT_EQ(Flash(9, good), update::kExitFlashFile);

        EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Failed);
        EXPECT_EQ(update::workerMessage.Get(), L"File Read ERROR: image.Bic");
        EXPECT_EQ(update::workerProgress.Get(), L"");
        EXPECT_EQ(Calls(Op::WritePageBlock), c.blocks);
        EXPECT_EQ(Calls(Op::ProgramPage), c.pages);
        int64_t lastPage = 0;
        for (const sim::Call& call : sim::Instance().Trace())
            if (call.op == Op::ProgramPage) lastPage = std::max(lastPage, call.args.at(1));
        EXPECT_EQ(lastPage, 0xFFFDFF + static_cast<int64_t>(c.pages)) << "no page outside the area";
    }
}

TEST_F(WorkerTest, FlashImageWorkerFailsWhenItsFileHasGone) {
    update::imageFileName.Set(L"gone.Bic");
    EXPECT_LT(Run(update::FlashImageWorker, 9), 0);
    EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Failed);
    EXPECT_EQ(update::workerMessage.Get(), L"Unable to open Input file: gone.Bic");
    EXPECT_EQ(update::workerProgress.Get(), L"");
    EXPECT_TRUE(sim::Instance().Trace().empty());
}

TEST_F(WorkerTest, ParameterImageCarriesTheValuesAndAByteSumChecksum) {
    struct Case {
        const char* what;
        std::vector<std::pair<int, int32_t>> values;
        uint32_t checksum;
    } cases[] = {
        {"all zero", {}, 0x0006F504},
        {"-1 adds four bytes of 255", {{5, -1}}, 0x0006F504 + 4 * 255},
        {"258 at parameter 1", {{1, 258}}, 0x0006F504 + 3},
    };
    for (const Case& c : cases) {
        update::ResetUpdateState();
        for (auto [index, value] : c.values) update::updateState.parameterValues[index] = value;
        ui::HeadlessWindow window;
        update::BuildSystemParameterImage(window);
        ASSERT_TRUE(testing_support::WaitWhileWorkerRuns());
        const uint8_t* image = update::systemParameterImage;
        EXPECT_EQ(update::updateState.parameterImagePointer, image);
        uint32_t checksum = 0, complement = 0;
        for (int i = 0; i < 4; ++i) {
            checksum |= static_cast<uint32_t>(image[2032 + i]) << (8 * i);
            complement |= static_cast<uint32_t>(image[2036 + i]) << (8 * i);
        }
        EXPECT_EQ(checksum, c.checksum) << c.what;
        EXPECT_EQ(complement, ~c.checksum) << c.what;
        EXPECT_EQ(image[300], 0xFF);
        EXPECT_EQ(image[2047], 0xFF);
        ASSERT_EQ(window.log().size(), 1u);
        EXPECT_EQ(window.log()[0].text, L"Programming System Parameter");
        EXPECT_EQ(window.log()[0].colour, 0x00CD0000u);
    }
    const uint8_t* image = update::systemParameterImage;
    EXPECT_EQ(std::vector<uint8_t>(image + 4, image + 8), (std::vector<uint8_t>{2, 1, 0, 0}));
    update::ResetUpdateState();
    ui::HeadlessWindow window;
    update::BuildSystemParameterImage(window);
    ASSERT_TRUE(testing_support::WaitWhileWorkerRuns());
    EXPECT_EQ(std::vector<uint8_t>(image + 2032, image + 2040),
              (std::vector<uint8_t>{0x04, 0xF5, 0x06, 0x00, 0xFB, 0x0A, 0xF9, 0xFF}));
    EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Succeeded);
    EXPECT_EQ(sim::Instance().SystemParameters(), (std::array<int32_t, 64>{}))
        << "the device took the image";
}

TEST_F(WorkerTest, ParameterImageWorkerWritesWordsAndProgramsEachPage) {
    for (int i = 0; i < 64; ++i) update::updateState.parameterValues[i] = i * 1000 - 7;
    ui::HeadlessWindow window;
    update::BuildSystemParameterImage(window);
    ASSERT_TRUE(testing_support::WaitWhileWorkerRuns());
    sim::Instance().ClearTrace();
    EXPECT_EQ(Run(update::ParameterImageWorker, 2), 1);
    EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Succeeded);
    EXPECT_EQ(progress,
              (std::vector<std::wstring>{L"", L"Erase", L"0%   1060", L"0%   1060", L"14%   1061",
                                         L"28%   1062", L"42%   1063", L"57%   1064", L"71%   1065",
                                         L"85%   1066", L"100%   1067"}));
    const auto trace = sim::Instance().Trace();
    ASSERT_EQ(trace.size(), 1u + 512u + 8u);
    size_t word = 0;
    for (size_t i = 1; i < trace.size(); ++i) {
        if (trace[i].op == Op::ProgramPage) {
            EXPECT_EQ(word % 64, 0u) << "a page follows every 64th word";
            EXPECT_EQ(trace[i].args[1], 0x1060 + static_cast<int64_t>(word / 64 - 1));
            continue;
        }
        ASSERT_EQ(trace[i].op, Op::WritePageWord);
        EXPECT_EQ(trace[i].args[0], static_cast<int64_t>((word % 64) * 4));
        EXPECT_EQ(trace[i].args[1], update::systemParameterImage[word * 4]);
        ++word;
    }
    EXPECT_EQ(sim::Instance().SystemParameters()[63], 63 * 1000 - 7);
}

// The two flash workers word their failures alike but for three points: the
// parameter worker shows an erase error in both texts, a status byte (not the
// page) in its program error, and no page after "Program ERROR".
TEST_F(WorkerTest, WorkersReportDeviceFailuresAndStopCallingTheDevice) {
    struct Case {
        bool parameterWorker;
        sim::Fault fault;
        const wchar_t* message;
        const wchar_t* progress;
        int32_t exitCode;
    } cases[] = {
        {false, {Op::EraseSector, 1, 1, 0, {}, {}}, L"Flasher ERROR", L"", update::kExitFlasher},
        {false,
         {Op::EraseSector, 1, 1, 1, 7u, {}},
         L"Erase ERROR 7",
         L"",
         update::kExitFlashStatus},
        {false, {Op::ProgramPage, 2, 1, -1, {}, {}}, L"Flasher ERROR", L"", update::kExitFlasher},
        {false,
         {Op::ProgramPage, 2, 1, 3, 9u, {}},
         L"SMPX = 3: Program ERROR FFFFC1",
         L"Program ERROR FFFFC1",
         update::kExitFlashStatus},
        {true, {Op::EraseSector, 1, 1, 0, {}, {}}, L"Flasher ERROR", L"", update::kExitFlasher},
        {true,
         {Op::EraseSector, 1, 1, 1, 7u, {}},
         L"Erase ERROR 7",
         L"Erase ERROR 7",
         update::kExitFlashStatus},
        {true, {Op::ProgramPage, 3, 1, 0, {}, {}}, L"Flasher ERROR", L"", update::kExitFlasher},
        {true,
         {Op::ProgramPage, 3, 1, 1, 3u, {}},
         L"SMPX = 1: Program ERROR 3",
         L"Program ERROR",
         update::kExitFlashStatus},
    };
    ASSERT_TRUE(samples::WriteFile("image.Bic", samples::FileBytes(samples::Kind::Bootloader)));
    update::imageFileName.Set(L"image.Bic");
    update::updateState.parameterImagePointer = update::systemParameterImage;
    for (const Case& c : cases) {
        sim::Config config;
        config.startInBootloader = true;
        config.faults = {c.fault};
        sim::Instance().Reset(config);
        sim::Instance().OpenLink();
        const int32_t exitCode = c.parameterWorker ? Run(update::ParameterImageWorker, 2)
                                                   : Run(update::FlashImageWorker, 10);
        EXPECT_EQ(exitCode, c.exitCode) << platform::ToUtf8(c.message);
        EXPECT_EQ(update::ReadWorkerStatus(), WorkerStatus::Failed);
        EXPECT_EQ(update::workerMessage.Get(), c.message);
        EXPECT_EQ(update::workerProgress.Get(), c.progress);
        EXPECT_EQ(sim::Instance().Trace().back().op, c.fault.op) << "no call after the failure";
    }
}

}  // namespace
