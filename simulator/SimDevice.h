// A simulated QDX device behind the device library's 21 operations: link and
// reboots, boot loader and firmware, flash areas with a page buffer, system and
// module parameters, and the JTAG programmer with its two receive buffers.
// Tests drive it through this API; the shared library reads QDX140_SIM.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"

namespace sim {

enum class Op {
#define SIM_OP(ord, name, params, args) name,
    QDX_OPERATIONS(SIM_OP)
#undef SIM_OP
};
const char* OpName(Op op);

struct Call {
    Op op;
    std::vector<int64_t> args;  // scalar arguments after the device number; data as its count
    int32_t result;
};

// Makes a call fail or answer differently, from its `first`-th call (1-based)
// for `times` calls in a row (-1: for ever). The call then has no effect: it
// writes `out` (status byte or JTAG status word) and `out2` (buffer word) where
// given, and returns `result`.
struct Fault {
    Op op;
    int64_t first = 1;
    int64_t times = 1;
    int32_t result = 0;
    std::optional<uint32_t> out;
    std::optional<uint32_t> out2;
};

struct Config {
    bool virtualTime = true;     // tests: time moves only by Advance and call costs
    int64_t callCostUs = 10;     // charged per call: virtual time, or a busy wait in real time
    int64_t rebootUs = 300'000;  // how long the device is away after a restart
    bool plugged = true;
    bool startInBootloader = false;
    std::array<uint8_t, 4> bootloaderVersion{0, 6, 0, 2};
    std::array<uint8_t, 4> firmwareVersion{2, 4, 0, 0};
    uint32_t serialNumber = 0x1A2B;
    uint32_t fpgaVersion = 0x00120034;
    uint32_t icmqVersion = 0x12;
    bool oldFirmware = false;  // parameter 511 answers 0; 255 holds the version
    bool rvqModuleAttached = false;
    int64_t jtagDrainBytesPerMs = 2000;
    bool trace = true;
    int64_t unplugAtUs = -1;
    int64_t unplugForUs = -1;  // after unplugAtUs: plugged in again this much later (-1: never)
    std::vector<Fault> faults;
};

// Applies a scenario text such as "bootloader,erase-fault:3,latency:200".
// Returns an error text, empty when every item was understood.
std::string ApplyScenario(Config& config, const std::string& scenario);

inline constexpr uint32_t kPageSize = 256;

class Device {
public:
    void Reset(const Config& config);
    const Config& config() const { return config_; }

    // Time.
    int64_t NowUs();
    void Advance(int64_t us);

    // Inspection and manipulation for tests.
    std::vector<Call> Trace();
    void ClearTrace();
    size_t CountCalls(Op op);
    std::vector<uint8_t> Flash(uint8_t sector);
    bool AreaValid(uint8_t sector);
    std::array<int32_t, 64> SystemParameters();
    void SetSystemParameter(int index, int32_t value);
    std::map<int32_t, int32_t> ModuleParameters();
    int moduleSaves();
    int userSaves();
    std::array<uint8_t, 4> bootloaderVersion();
    std::array<uint8_t, 4> firmwareVersion();
    uint32_t fpgaVersion();
    void SetPlugged(bool plugged);
    void AddFault(const Fault& fault);

    // The operations, as the library exports them.
    int32_t OpenLink();
    int32_t CloseLink();
    int32_t RestartDevice(int32_t dev);
    int32_t ReadVersion(int32_t dev, uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d);
    int32_t ReadFpgaVersion(int32_t dev, uint32_t* version);
    int32_t ReadSerialNumber(int32_t dev, uint32_t* serial);
    int32_t ReadModuleRegister(int32_t dev, int32_t bank, int32_t reg, uint32_t* value);
    int32_t ReadModuleParameter(int32_t dev, int32_t param, int32_t* value);
    int32_t SaveModuleParameters(int32_t dev);
    int32_t WriteModuleParameter(int32_t dev, int32_t param, int32_t value);
    int32_t SaveUserParameters(int32_t dev);
    int32_t ReadSystemParameter(int32_t dev, int32_t index, int32_t* value);
    int32_t JtagStatus(int32_t dev, uint16_t* status, uint16_t* buffers);
    int32_t JtagControl(int32_t dev, int32_t length, uint8_t target);
    int32_t JtagWrite(int32_t dev, const uint8_t* data, int32_t count);
    int32_t JtagWriteEncrypted(int32_t dev, const uint8_t* data, int32_t count);
    int32_t EnterBootloader(int32_t dev);
    int32_t EraseSector(int32_t dev, uint8_t sector, uint8_t* status);
    int32_t ProgramPage(int32_t dev, uint8_t sector, uint32_t page, uint8_t* status);
    int32_t WritePageWord(int32_t dev, uint32_t offset, uint8_t b0, uint8_t b1, uint8_t b2,
                          uint8_t b3);
    int32_t WritePageBlock(int32_t dev, uint32_t offset, const uint8_t* data, int32_t count);

private:
    struct Sector {
        uint32_t start, end;
        std::vector<uint8_t> bytes;
        bool valid = true;
    };
    enum class Answer { Yes, Away };

    // Call bookkeeping: charges time, counts the call and applies a fault.
    // Returns the fault that replaces the call, if one fires.
    const Fault* Begin(Op op);
    int32_t End(Op op, std::vector<int64_t> args, int32_t result);
    void UpdateTime();
    bool Answers();  // plugged, back from a reboot and the link opened since
    void Reboot(bool intoBootloader);
    void FinishImage(uint8_t sector, uint8_t* status);
    void DrainJtag();
    int32_t JtagWriteAny(Op op, const uint8_t* data, int32_t count, bool encrypted);
    void FinishJtag();

    std::recursive_mutex mutex_;
    Config config_;
    std::atomic<int64_t> virtualNow_{0};
    int64_t realStart_ = 0;
    std::map<Op, int64_t> callCounts_;
    std::vector<Call> trace_;

    bool plugged_ = true;
    bool inBootloader_ = false;
    bool linkOpen_ = false;
    int64_t awayUntilUs_ = 0;
    int64_t replugAtUs_ = -1;
    std::array<uint8_t, 4> blVersion_{}, fwVersion_{};
    uint32_t fpgaVersion_ = 0;
    std::map<uint8_t, Sector> sectors_;
    std::array<uint8_t, kPageSize> pageBuffer_{};
    std::array<int32_t, 64> systemParameters_{};
    std::map<int32_t, int32_t> moduleParameters_;
    int moduleSaves_ = 0, userSaves_ = 0;

    struct Jtag {
        bool open = false;
        int64_t announced = 0;
        uint8_t target = 0;
        std::vector<uint8_t> received;       // decrypted payload
        std::array<int64_t, 2> fill{0, 0};   // bytes waiting in each buffer
        std::array<int64_t, 2> taken{0, 0};  // bytes each took since it opened
        std::deque<int> draining;            // buffers in the order they received data
        int filling = -1;                    // buffer that takes writes, -1: none open
        bool overflow = false;
        bool closed = false;
        uint16_t status = 0;
        int64_t lastDrainUs = 0;
    } jtag_;
};

// The instance behind the exported operations (and the static binding in tests).
Device& Instance();

// A DeviceLibrary whose operations call Instance() directly (tests, benchmarks).
// Taking it also makes Instance()'s clock the workers' clock, so that their
// time limits run on the device's (virtual) time.
device::DeviceLibrary StaticLibrary();

}  // namespace sim
