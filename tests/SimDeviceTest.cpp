// The simulated device behaves like the device the tool is written for.
#include <gtest/gtest.h>

#include "simulator/Image.h"
#include "simulator/Samples.h"
#include "simulator/SimDevice.h"

using sim::Op;

namespace {

class SimDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { Start(sim::Config{}); }
    void Start(const sim::Config& config) {
        dev.Reset(config);
        ASSERT_EQ(dev.OpenLink(), 1);
    }
    int32_t Version(std::array<uint8_t, 4>* v = nullptr) {
        std::array<uint8_t, 4> tmp{};
        auto& out = v ? *v : tmp;
        return dev.ReadVersion(0, &out[0], &out[1], &out[2], &out[3]);
    }
    bool InFirmware() {
        uint32_t serial = 0;
        return dev.ReadSerialNumber(0, &serial) == 1;
    }
    // Waits out a reboot and opens the link again, as the tool's monitor would.
    void Reconnect() {
        dev.Advance(dev.config().rebootUs);
        ASSERT_EQ(dev.OpenLink(), 1);
    }
    // Erases a sector and programs `bytes` into it page by page in 32-byte blocks.
    uint8_t Program(uint8_t sector, uint32_t start, const std::vector<uint8_t>& bytes) {
        uint8_t status = 0;
        EXPECT_EQ(dev.EraseSector(0, sector, &status), 1);
        if (status != 0) return status;
        for (size_t offset = 0; offset < bytes.size(); offset += 32) {
            dev.WritePageBlock(0, static_cast<uint32_t>(offset & 0xE0), &bytes[offset], 32);
            if ((offset & 0xFF) == 0xE0) {
                const uint32_t page = (start + static_cast<uint32_t>(offset)) >> 8;
                EXPECT_EQ(dev.ProgramPage(0, sector, page, &status), 1);
                if (status != 0) return status;
            }
        }
        return status;
    }
    static std::vector<uint8_t> Contents(samples::Kind kind) {
        std::vector<uint8_t> file = samples::FileBytes(kind);
        return std::vector<uint8_t>(file.begin() + 16, file.end());
    }
    sim::Device& dev = sim::Instance();
};

TEST_F(SimDeviceTest, RestartDropsTheLinkUntilTheDeviceIsBackAndTheLinkReopened) {
    ASSERT_TRUE(InFirmware());
    ASSERT_EQ(dev.EnterBootloader(0), 1);
    EXPECT_LT(Version(), 0);
    EXPECT_EQ(dev.OpenLink(), 0) << "away while it reboots";
    dev.Advance(dev.config().rebootUs);
    EXPECT_LT(Version(), 0) << "back, but the link is not open yet";
    ASSERT_EQ(dev.OpenLink(), 1);
    std::array<uint8_t, 4> v{};
    EXPECT_GE(Version(&v), 0);
    EXPECT_EQ(v, (std::array<uint8_t, 4>{0, 6, 0, 2})) << "the boot loader's version";
    EXPECT_FALSE(InFirmware());
    ASSERT_EQ(dev.RestartDevice(0), 1);
    Reconnect();
    EXPECT_TRUE(InFirmware());
}

TEST_F(SimDeviceTest, UnpluggedForAWhileItAnswersAgainOnceTheLinkIsReopened) {
    sim::Config config;
    config.unplugAtUs = 1'000'000;
    config.unplugForUs = 3'000'000;
    Start(config);
    EXPECT_GE(Version(), 0);
    dev.Advance(1'000'000);
    EXPECT_LT(Version(), 0);
    EXPECT_EQ(dev.OpenLink(), 0) << "unplugged";
    dev.Advance(2'900'000);
    EXPECT_EQ(dev.OpenLink(), 0) << "still unplugged";
    dev.Advance(100'000);
    EXPECT_LT(Version(), 0) << "plugged in again, the link not yet reopened";
    EXPECT_EQ(dev.OpenLink(), 1);
    EXPECT_TRUE(InFirmware());
}

TEST_F(SimDeviceTest, RestartComesBackInTheBootLoaderWhileTheFirmwareIsIncomplete) {
    ASSERT_EQ(dev.EnterBootloader(0), 1);
    Reconnect();
    uint8_t status = 0xEE;
    ASSERT_EQ(dev.EraseSector(0, 1, &status), 1);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(dev.RestartDevice(0), 1);
    Reconnect();
    EXPECT_FALSE(InFirmware());
    EXPECT_EQ(Program(1, 0xFFFE0000u, Contents(samples::Kind::Firmware)), 0);
    ASSERT_EQ(dev.RestartDevice(0), 1);
    Reconnect();
    EXPECT_TRUE(InFirmware());
    EXPECT_EQ(dev.firmwareVersion(), (std::array<uint8_t, 4>{2, 5, 0, 0}));
}

TEST_F(SimDeviceTest, FlashIsProgrammedOnlyInTheBootLoaderAndOnlyInsideTheSector) {
    uint8_t status = 0;
    ASSERT_EQ(dev.EraseSector(0, 5, &status), 1);
    EXPECT_NE(status, 0) << "the firmware refuses to erase";
    ASSERT_EQ(dev.EnterBootloader(0), 1);
    Reconnect();
    ASSERT_EQ(dev.EraseSector(0, 6, &status), 1);
    ASSERT_EQ(status, 0);
    std::vector<uint8_t> block(32);
    for (uint32_t offset = 0; offset < 256; offset += 32) {
        for (size_t i = 0; i < 32; ++i) block[i] = static_cast<uint8_t>(offset + i);
        dev.WritePageBlock(0, offset, block.data(), 32);
    }
    ASSERT_EQ(dev.ProgramPage(0, 6, 0x1071, &status), 1);
    EXPECT_EQ(status, 0);
    const std::vector<uint8_t> area = dev.Flash(6);
    EXPECT_EQ(area[0x100], 0x00);
    EXPECT_EQ(area[0x1FF], 0xFF);
    EXPECT_EQ(area[0x17F], 0x7F);
    EXPECT_EQ(area[0], 0xFF) << "other pages stay erased";
    ASSERT_EQ(dev.ProgramPage(0, 6, 0x1080, &status), 1);
    EXPECT_NE(status, 0) << "page 0x1080 lies outside sector 6";
}

TEST_F(SimDeviceTest, AnImageWithAMisplacedBlockFailsOnItsLastPage) {
    ASSERT_EQ(dev.EnterBootloader(0), 1);
    Reconnect();
    struct Case {
        const char* what;
        void (*spoil)(std::vector<uint8_t>&);
    } cases[] = {
        {"intact", [](std::vector<uint8_t>&) {}},
        {"two blocks swapped",
         [](std::vector<uint8_t>& b) {
             std::swap_ranges(b.begin() + 64, b.begin() + 96, b.begin() + 96);
         }},
        {"one block repeated",
         [](std::vector<uint8_t>& b) { std::copy(b.begin(), b.begin() + 32, b.begin() + 32); }},
        {"one block lost",
         [](std::vector<uint8_t>& b) { std::fill(b.begin() + 512, b.begin() + 544, 0xFF); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = Contents(samples::Kind::Interpolator);
        c.spoil(bytes);
        const uint8_t status = Program(5, 0x00106800u, bytes);
        EXPECT_EQ(status == 0, std::string(c.what) == "intact") << c.what;
        EXPECT_EQ(dev.AreaValid(5), status == 0) << c.what;
    }
}

TEST_F(SimDeviceTest, ThePlainParameterAreaReplacesTheParametersWhenItsChecksumIsRight) {
    const auto before = dev.SystemParameters();
    ASSERT_EQ(dev.EnterBootloader(0), 1);
    Reconnect();
    std::vector<uint8_t> area(2048, 0xFF);
    for (int i = 0; i < 256; ++i) area[static_cast<size_t>(i)] = 0;
    area[8] = 9;  // parameter 2 = 9
    for (int i = 2032; i < 2036; ++i) area[static_cast<size_t>(i)] = 0;
    uint32_t sum = 0;
    for (uint8_t b : area) sum += b;
    std::vector<uint8_t> bad = area;
    for (int i = 0; i < 4; ++i) {
        area[2032 + static_cast<size_t>(i)] = static_cast<uint8_t>(sum >> (8 * i));
        area[2036 + static_cast<size_t>(i)] = static_cast<uint8_t>(~sum >> (8 * i));
    }
    EXPECT_NE(Program(4, 0x00106000u, bad), 0) << "checksum missing";
    EXPECT_EQ(dev.SystemParameters(), before);
    EXPECT_EQ(Program(4, 0x00106000u, area), 0);
    EXPECT_EQ(dev.SystemParameters()[2], 9);
    EXPECT_EQ(dev.SystemParameters()[5], 0);
}

TEST_F(SimDeviceTest, JtagBuffersFillDrainAndTheProgrammerChecksThePayload) {
    sim::Config config;
    config.jtagDrainBytesPerMs = 1000;  // 28000 bytes drain in 28 ms
    Start(config);
    std::vector<uint8_t> payload = Contents(samples::Kind::Fpga);
    uint16_t status = 0, buffers = 0;
    ASSERT_EQ(dev.JtagControl(0, static_cast<int32_t>(payload.size()), 0), 1);
    size_t sent = 0;
    auto send = [&](size_t bytes) {
        for (size_t end = sent + bytes; sent < end && sent < payload.size(); sent += 56) {
            const auto n = static_cast<int32_t>(std::min<size_t>(56, payload.size() - sent));
            ASSERT_EQ(dev.JtagWriteEncrypted(0, &payload[sent], n), 1) << sent;
        }
    };
    // Window by window, waiting for a free buffer each time; then closed and drained.
    auto sendRestAndClose = [&] {
        while (sent < payload.size()) {
            send(28000);
            do {
                dev.Advance(1000);
                dev.JtagStatus(0, &status, &buffers);
            } while (buffers == 0x0101);
        }
        dev.JtagControl(0, 0, 0);
        dev.Advance(100'000);
    };
    send(56000);
    ASSERT_EQ(dev.JtagStatus(0, &status, &buffers), 1);
    EXPECT_EQ(buffers, 0x0101) << "both buffers hold data";
    EXPECT_EQ(dev.JtagWriteEncrypted(0, payload.data(), 56), 0) << "a third window overflows";
    dev.Advance(28'000);
    ASSERT_EQ(dev.JtagStatus(0, &status, &buffers), 1);
    EXPECT_EQ(buffers, 0x0100) << "the first buffer has drained";
    EXPECT_EQ(status & 0x1000, 0);
    // The overflowing write lost its bytes: the programmer must report a CRC failure.
    sendRestAndClose();
    ASSERT_EQ(dev.JtagStatus(0, &status, &buffers), 1);
    EXPECT_EQ(status, 0x3010);

    // Sent within the windows, the same payload checks out.
    Start(config);
    sent = 0;
    ASSERT_EQ(dev.JtagControl(0, static_cast<int32_t>(payload.size()), 0), 1);
    sendRestAndClose();
    ASSERT_EQ(dev.JtagStatus(0, &status, &buffers), 1);
    EXPECT_EQ(status, 0x1000);
    EXPECT_EQ(dev.fpgaVersion(), 0x00100010u);
}

TEST_F(SimDeviceTest, TheRvqTargetWithoutAModuleFailsAtOnce) {
    ASSERT_EQ(dev.JtagControl(0, 1000, 1), 1);
    uint16_t status = 0, buffers = 0;
    ASSERT_EQ(dev.JtagStatus(0, &status, &buffers), 1);
    EXPECT_EQ(status, 0x3014);
}

TEST_F(SimDeviceTest, FaultsFireFromTheirNthCallForTheirCount) {
    sim::Config config;
    config.faults.push_back({Op::ReadSerialNumber, 2, 2, -7, {}, {}});
    Start(config);
    int32_t results[5];
    uint32_t serial = 0;
    for (int32_t& r : results) r = dev.ReadSerialNumber(0, &serial);
    EXPECT_EQ(std::vector<int32_t>(results, results + 5), (std::vector<int32_t>{1, -7, -7, 1, 1}));
    const auto trace = dev.Trace();
    ASSERT_EQ(trace.size(), 6u);
    EXPECT_EQ(trace[0].op, Op::OpenLink);
    EXPECT_EQ(trace[2].result, -7);
}

TEST(SimScenario, TextsSetUpTheDevice) {
    sim::Config config;
    EXPECT_EQ(sim::ApplyScenario(config, "bootloader,old-bootloader,erase-fault:3,latency:50"), "");
    EXPECT_TRUE(config.startInBootloader);
    EXPECT_EQ(config.bootloaderVersion, (std::array<uint8_t, 4>{0, 6, 0, 1}));
    ASSERT_EQ(config.faults.size(), 1u);
    EXPECT_EQ(config.faults[0].times, 3);
    EXPECT_EQ(config.callCostUs, 50);
    EXPECT_EQ(sim::ApplyScenario(config, "unplug-at:4000,unplug-for:3000"), "");
    EXPECT_EQ(config.unplugAtUs, 4'000'000);
    EXPECT_EQ(config.unplugForUs, 3'000'000);
    EXPECT_NE(sim::ApplyScenario(config, "nonsense"), "");
}

TEST(SampleFiles, HaveTheirHeaderAndLength) {
    struct Case {
        samples::Kind kind;
        size_t length;
        uint8_t address[4];
    } cases[] = {
        {samples::Kind::Bootloader, 16400, {0xFF, 0xFF, 0xC0, 0x00}},
        {samples::Kind::Firmware, 98320, {0xFF, 0xFE, 0x00, 0x00}},
        {samples::Kind::Interpolator, 2064, {0x00, 0x10, 0x68, 0x00}},
        {samples::Kind::Fpga, 16 + samples::kFpgaPayloadSize, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file = samples::FileBytes(c.kind);
        EXPECT_EQ(file.size(), c.length);
        EXPECT_TRUE(std::equal(c.address, c.address + 4, file.begin() + 8));
    }
    const std::vector<uint8_t> bl = samples::FileBytes(samples::Kind::Bootloader);
    EXPECT_EQ(std::string(bl.begin() + 4, bl.begin() + 8), "0602");
}

}  // namespace
