#include "simulator/SimDevice.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>

#include "simulator/Image.h"

namespace sim {
namespace {

constexpr int32_t kNoAnswer = -1;            // the device does not answer (unplugged, rebooting)
constexpr uint8_t kStatusNotAllowed = 0x05;  // flash operation outside the boot loader
constexpr uint8_t kStatusBadSector = 0x09;   // unknown sector, or page outside the sector
constexpr uint8_t kStatusBadImage = 0x21;    // the image did not check out on its last page
constexpr int64_t kJtagBufferSize = 28000;
constexpr int32_t kJtagChunk = 56;

// The device's flash areas by sector id: start and end address.
struct SectorInfo {
    uint8_t id;
    uint32_t start, end;
    bool encrypted;  // holds an encrypted image that is checked on its last page
};
constexpr SectorInfo kSectors[] = {
    {2, 0x00104000, 0x001047FF, false},  {3, 0x00105000, 0x001057FF, false},
    {4, 0x00106000, 0x001067FF, false},  {5, 0x00106800, 0x00106FFF, true},
    {6, 0x00107000, 0x001077FF, false},  {7, 0xFFF80000, 0xFFF8FFFF, false},
    {8, 0xFFF90000, 0xFFF9FFFF, false},  {9, 0xFFFA0000, 0xFFFAFFFF, false},
    {10, 0xFFFB0000, 0xFFFBFFFF, false}, {1, 0xFFFE0000, 0xFFFF7FFF, true},
    {0, 0xFFFFC000, 0xFFFFFFFF, true},
};
constexpr uint8_t kFirmwareSector = 1, kBootloaderSector = 0, kSystemParameterSector = 4;

int64_t RealNowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The plain system parameter area: 64 values, 0xFF filler, checksum and its complement.
bool CheckParameterArea(const std::vector<uint8_t>& area) {
    if (area.size() != 2048) return false;
    std::vector<uint8_t> copy = area;
    const uint32_t checksum = Le32(&copy[2032]);
    const uint32_t complement = Le32(&copy[2036]);
    for (size_t i = 2032; i < 2036; ++i) copy[i] = 0;
    for (size_t i = 2036; i < 2040; ++i) copy[i] = 0xFF;
    uint32_t sum = 0;
    for (uint8_t b : copy) sum += b;
    return checksum == sum && complement == ~sum;
}

}  // namespace

const char* OpName(Op op) {
    static const char* const names[] = {
#define SIM_NAME(ord, name, params, args) #name,
        QDX_OPERATIONS(SIM_NAME)
#undef SIM_NAME
    };
    return names[static_cast<int>(op)];
}

void Device::Reset(const Config& config) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    config_ = config;
    virtualNow_ = 0;
    realStart_ = RealNowUs();
    callCounts_.clear();
    trace_.clear();
    plugged_ = config.plugged;
    inBootloader_ = config.startInBootloader;
    linkOpen_ = false;
    awayUntilUs_ = 0;
    replugAtUs_ = -1;
    blVersion_ = config.bootloaderVersion;
    fwVersion_ = config.firmwareVersion;
    fpgaVersion_ = config.fpgaVersion;
    sectors_.clear();
    for (const SectorInfo& s : kSectors) {
        Sector sector{s.start, s.end, std::vector<uint8_t>(s.end - s.start + 1u, 0xFF), true};
        sectors_[s.id] = sector;
    }
    pageBuffer_.fill(0xFF);
    // Distinct, non-zero parameters: hardware version at 2, date at 3.
    for (int i = 0; i < 64; ++i) systemParameters_[static_cast<size_t>(i)] = 1000 + 17 * i;
    systemParameters_[2] = 5;
    systemParameters_[3] = 2611;
    moduleParameters_.clear();
    moduleParameters_[255] = 42;
    if (!config.oldFirmware) moduleParameters_[511] = 107;
    for (int p = 230; p <= 238; ++p) moduleParameters_[p] = 0x55 + p;
    moduleSaves_ = userSaves_ = 0;
    jtag_ = Jtag{};
}

int64_t Device::NowUs() {
    return config_.virtualTime ? virtualNow_.load() : RealNowUs() - realStart_;
}

void Device::Advance(int64_t us) { virtualNow_ += us; }

const Fault* Device::Begin(Op op) {
    // Every call costs device time: virtual time in tests, a busy wait in real
    // time (exact to the microsecond, unlike a sleep).
    if (config_.virtualTime) {
        virtualNow_ += config_.callCostUs;
    } else if (config_.callCostUs > 0) {
        const int64_t until = RealNowUs() + config_.callCostUs;
        while (RealNowUs() < until) {
        }
    }
    const int64_t n = ++callCounts_[op];
    UpdateTime();
    for (const Fault& f : config_.faults) {
        if (f.op == op && n >= f.first && (f.times < 0 || n < f.first + f.times)) return &f;
    }
    return nullptr;
}

int32_t Device::End(Op op, std::vector<int64_t> args, int32_t result) {
    if (config_.trace) trace_.push_back(Call{op, std::move(args), result});
    return result;
}

void Device::UpdateTime() {
    if (config_.unplugAtUs >= 0 && NowUs() >= config_.unplugAtUs) {
        plugged_ = false;
        if (config_.unplugForUs >= 0) replugAtUs_ = NowUs() + config_.unplugForUs;
        config_.unplugAtUs = -1;
    }
    if (replugAtUs_ >= 0 && NowUs() >= replugAtUs_) {
        plugged_ = true;
        linkOpen_ = false;  // plugged in again: the link has to be opened anew
        replugAtUs_ = -1;
    }
    DrainJtag();
}

bool Device::Answers() { return plugged_ && linkOpen_ && NowUs() >= awayUntilUs_; }

void Device::Reboot(bool intoBootloader) {
    // A restart comes back in the boot loader when the firmware is not complete.
    inBootloader_ = intoBootloader || !sectors_[kFirmwareSector].valid;
    linkOpen_ = false;
    awayUntilUs_ = NowUs() + config_.rebootUs;
    jtag_ = Jtag{};
    pageBuffer_.fill(0xFF);
}

#define SIM_BEGIN(op)                                   \
    std::lock_guard<std::recursive_mutex> lock(mutex_); \
    const Fault* fault = Begin(op);

int32_t Device::OpenLink() {
    SIM_BEGIN(Op::OpenLink);
    if (fault) return End(Op::OpenLink, {}, fault->result);
    const bool ok = plugged_ && NowUs() >= awayUntilUs_;
    if (ok) linkOpen_ = true;
    return End(Op::OpenLink, {}, ok ? 1 : 0);
}

int32_t Device::CloseLink() {
    SIM_BEGIN(Op::CloseLink);
    if (fault) return End(Op::CloseLink, {}, fault->result);
    linkOpen_ = false;
    return End(Op::CloseLink, {}, 1);
}

int32_t Device::RestartDevice(int32_t) {
    SIM_BEGIN(Op::RestartDevice);
    if (fault) return End(Op::RestartDevice, {}, fault->result);
    if (!Answers()) return End(Op::RestartDevice, {}, 0);
    Reboot(false);
    return End(Op::RestartDevice, {}, 1);
}

int32_t Device::EnterBootloader(int32_t) {
    SIM_BEGIN(Op::EnterBootloader);
    if (fault) return End(Op::EnterBootloader, {}, fault->result);
    if (!Answers()) return End(Op::EnterBootloader, {}, 0);
    Reboot(true);
    return End(Op::EnterBootloader, {}, 1);
}

int32_t Device::ReadVersion(int32_t, uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d) {
    SIM_BEGIN(Op::ReadVersion);
    if (fault) return End(Op::ReadVersion, {}, fault->result);
    if (!Answers()) return End(Op::ReadVersion, {}, kNoAnswer);
    const auto& v = inBootloader_ ? blVersion_ : fwVersion_;
    *a = v[0], *b = v[1], *c = v[2], *d = v[3];
    return End(Op::ReadVersion, {}, 1);
}

int32_t Device::ReadFpgaVersion(int32_t, uint32_t* version) {
    SIM_BEGIN(Op::ReadFpgaVersion);
    if (fault) return End(Op::ReadFpgaVersion, {}, fault->result);
    if (!Answers() || inBootloader_) return End(Op::ReadFpgaVersion, {}, Answers() ? 0 : kNoAnswer);
    *version = fpgaVersion_;
    return End(Op::ReadFpgaVersion, {}, 1);
}

int32_t Device::ReadSerialNumber(int32_t, uint32_t* serial) {
    SIM_BEGIN(Op::ReadSerialNumber);
    if (fault) return End(Op::ReadSerialNumber, {}, fault->result);
    if (!Answers()) return End(Op::ReadSerialNumber, {}, kNoAnswer);
    if (inBootloader_) return End(Op::ReadSerialNumber, {}, 0);
    *serial = config_.serialNumber;
    return End(Op::ReadSerialNumber, {}, 1);
}

int32_t Device::ReadModuleRegister(int32_t, int32_t bank, int32_t reg, uint32_t* value) {
    SIM_BEGIN(Op::ReadModuleRegister);
    if (fault) return End(Op::ReadModuleRegister, {bank, reg}, fault->result);
    if (!Answers() || inBootloader_) return End(Op::ReadModuleRegister, {bank, reg}, 0);
    if (bank != 0 || reg != 252) return End(Op::ReadModuleRegister, {bank, reg}, 0);
    *value = config_.icmqVersion;
    return End(Op::ReadModuleRegister, {bank, reg}, 1);
}

int32_t Device::ReadModuleParameter(int32_t, int32_t param, int32_t* value) {
    SIM_BEGIN(Op::ReadModuleParameter);
    if (fault) return End(Op::ReadModuleParameter, {param}, fault->result);
    if (!Answers() || inBootloader_) return End(Op::ReadModuleParameter, {param}, 0);
    auto it = moduleParameters_.find(param);
    if (it == moduleParameters_.end()) return End(Op::ReadModuleParameter, {param}, 0);
    *value = it->second;
    return End(Op::ReadModuleParameter, {param}, 1);
}

int32_t Device::WriteModuleParameter(int32_t, int32_t param, int32_t value) {
    SIM_BEGIN(Op::WriteModuleParameter);
    if (fault) return End(Op::WriteModuleParameter, {param, value}, fault->result);
    if (!Answers() || inBootloader_) return End(Op::WriteModuleParameter, {param, value}, 0);
    moduleParameters_[param] = value;
    return End(Op::WriteModuleParameter, {param, value}, 1);
}

int32_t Device::SaveModuleParameters(int32_t) {
    SIM_BEGIN(Op::SaveModuleParameters);
    if (fault) return End(Op::SaveModuleParameters, {}, fault->result);
    if (!Answers() || inBootloader_) return End(Op::SaveModuleParameters, {}, 0);
    ++moduleSaves_;
    return End(Op::SaveModuleParameters, {}, 1);
}

int32_t Device::SaveUserParameters(int32_t) {
    SIM_BEGIN(Op::SaveUserParameters);
    if (fault) return End(Op::SaveUserParameters, {}, fault->result);
    if (!Answers() || inBootloader_) return End(Op::SaveUserParameters, {}, 0);
    ++userSaves_;
    return End(Op::SaveUserParameters, {}, 1);
}

int32_t Device::ReadSystemParameter(int32_t, int32_t index, int32_t* value) {
    SIM_BEGIN(Op::ReadSystemParameter);
    if (fault) return End(Op::ReadSystemParameter, {index}, fault->result);
    if (!Answers()) return End(Op::ReadSystemParameter, {index}, kNoAnswer);
    if (inBootloader_ || index < 0 || index > 63) return End(Op::ReadSystemParameter, {index}, 0);
    *value = systemParameters_[static_cast<size_t>(index)];
    return End(Op::ReadSystemParameter, {index}, 1);
}

// ---- Flash --------------------------------------------------------------------------------

int32_t Device::EraseSector(int32_t, uint8_t sector, uint8_t* status) {
    SIM_BEGIN(Op::EraseSector);
    if (fault) {
        if (fault->out) *status = static_cast<uint8_t>(*fault->out);
        return End(Op::EraseSector, {sector}, fault->result);
    }
    if (!Answers()) return End(Op::EraseSector, {sector}, kNoAnswer);
    auto it = sectors_.find(sector);
    if (!inBootloader_) {
        *status = kStatusNotAllowed;
    } else if (it == sectors_.end()) {
        *status = kStatusBadSector;
    } else {
        std::fill(it->second.bytes.begin(), it->second.bytes.end(), 0xFF);
        it->second.valid = false;
        *status = 0;
    }
    return End(Op::EraseSector, {sector}, 1);
}

int32_t Device::WritePageBlock(int32_t, uint32_t offset, const uint8_t* data, int32_t count) {
    SIM_BEGIN(Op::WritePageBlock);
    if (fault) return End(Op::WritePageBlock, {offset, count}, fault->result);
    if (!Answers()) return End(Op::WritePageBlock, {offset, count}, kNoAnswer);
    if (count < 0 || offset + static_cast<uint32_t>(count) > kPageSize)
        return End(Op::WritePageBlock, {offset, count}, 0);
    std::copy(data, data + count, pageBuffer_.begin() + offset);
    return End(Op::WritePageBlock, {offset, count}, 1);
}

int32_t Device::WritePageWord(int32_t, uint32_t offset, uint8_t b0, uint8_t b1, uint8_t b2,
                              uint8_t b3) {
    SIM_BEGIN(Op::WritePageWord);
    std::vector<int64_t> args{offset, b0, b1, b2, b3};
    if (fault) return End(Op::WritePageWord, std::move(args), fault->result);
    if (!Answers()) return End(Op::WritePageWord, std::move(args), kNoAnswer);
    if (offset > kPageSize - 4) return End(Op::WritePageWord, std::move(args), 0);
    pageBuffer_[offset] = b0, pageBuffer_[offset + 1] = b1;
    pageBuffer_[offset + 2] = b2, pageBuffer_[offset + 3] = b3;
    return End(Op::WritePageWord, std::move(args), 1);
}

int32_t Device::ProgramPage(int32_t, uint8_t sector, uint32_t page, uint8_t* status) {
    SIM_BEGIN(Op::ProgramPage);
    if (fault) {
        if (fault->out) *status = static_cast<uint8_t>(*fault->out);
        return End(Op::ProgramPage, {sector, page}, fault->result);
    }
    if (!Answers()) return End(Op::ProgramPage, {sector, page}, kNoAnswer);
    auto it = sectors_.find(sector);
    if (!inBootloader_) {
        *status = kStatusNotAllowed;
    } else if (it == sectors_.end() || page < (it->second.start >> 8) ||
               page > (it->second.end >> 8)) {
        *status = kStatusBadSector;
    } else {
        Sector& s = it->second;
        const uint32_t offset = (page << 8) - s.start;
        std::copy(pageBuffer_.begin(), pageBuffer_.end(), s.bytes.begin() + offset);
        *status = 0;
        if (page == (s.end >> 8)) FinishImage(sector, status);
    }
    pageBuffer_.fill(0xFF);
    return End(Op::ProgramPage, {sector, page}, 1);
}

// The last page of an area is in: check what the area now holds.
void Device::FinishImage(uint8_t sector, uint8_t* status) {
    Sector& s = sectors_[sector];
    if (sector == kSystemParameterSector) {
        if (!CheckParameterArea(s.bytes)) {
            *status = kStatusBadImage;
            return;
        }
        for (int i = 0; i < 64; ++i)
            systemParameters_[static_cast<size_t>(i)] =
                static_cast<int32_t>(Le32(&s.bytes[4 * static_cast<size_t>(i)]));
        return;
    }
    const SectorInfo* info = nullptr;
    for (const SectorInfo& k : kSectors)
        if (k.id == sector) info = &k;
    if (info == nullptr || !info->encrypted) return;
    std::vector<uint8_t> plain = s.bytes;
    Crypt(plain);
    std::array<uint8_t, 4> version{};
    s.valid = CheckPlainImage(plain, &version);
    if (!s.valid) {
        *status = kStatusBadImage;
        return;
    }
    if (sector == kFirmwareSector) fwVersion_ = version;
    if (sector == kBootloaderSector) blVersion_ = version;
}

// ---- JTAG programmer ------------------------------------------------------------------------

void Device::DrainJtag() {
    const int64_t now = NowUs();
    int64_t budget = (now - jtag_.lastDrainUs) * config_.jtagDrainBytesPerMs / 1000;
    if (budget <= 0) return;
    jtag_.lastDrainUs = now;
    while (budget > 0 && !jtag_.draining.empty()) {
        const auto b = static_cast<size_t>(jtag_.draining.front());
        const int64_t take = std::min(budget, jtag_.fill[b]);
        jtag_.fill[b] -= take;
        budget -= take;
        if (jtag_.fill[b] == 0) {
            jtag_.draining.pop_front();
            if (jtag_.filling == static_cast<int>(b)) jtag_.filling = -1;
        }
    }
    if (jtag_.closed && jtag_.draining.empty()) FinishJtag();
}

void Device::FinishJtag() {
    jtag_.closed = false;
    jtag_.open = false;
    const bool complete =
        !jtag_.overflow && static_cast<int64_t>(jtag_.received.size()) == jtag_.announced;
    std::array<uint8_t, 4> version{};
    if (complete && CheckPlainImage(jtag_.received, &version)) {
        if (jtag_.target == 0) fpgaVersion_ = Le32(version.data());
        jtag_.status = 0x1000;
    } else {
        jtag_.status = 0x3000 | 16;  // CRC failure
    }
}

int32_t Device::JtagStatus(int32_t, uint16_t* status, uint16_t* buffers) {
    SIM_BEGIN(Op::JtagStatus);
    if (fault) {
        if (fault->out) *status = static_cast<uint16_t>(*fault->out);
        if (fault->out2) *buffers = static_cast<uint16_t>(*fault->out2);
        return End(Op::JtagStatus, {}, fault->result);
    }
    if (!Answers()) return End(Op::JtagStatus, {}, kNoAnswer);
    if (inBootloader_) return End(Op::JtagStatus, {}, 0);
    *status = jtag_.status;
    *buffers =
        static_cast<uint16_t>((jtag_.fill[0] > 0 ? 0x01 : 0) | (jtag_.fill[1] > 0 ? 0x0100 : 0));
    return End(Op::JtagStatus, {*status, *buffers}, 1);
}

int32_t Device::JtagControl(int32_t, int32_t length, uint8_t target) {
    SIM_BEGIN(Op::JtagControl);
    if (fault) return End(Op::JtagControl, {length, target}, fault->result);
    if (!Answers() || inBootloader_) return End(Op::JtagControl, {length, target}, 0);
    if (length > 0) {
        jtag_ = Jtag{};
        jtag_.lastDrainUs = NowUs();
        jtag_.open = true;
        jtag_.announced = length;
        jtag_.target = target;
        if (target > 1 || (target == 1 && !config_.rvqModuleAttached)) {
            jtag_.open = false;
            jtag_.status = 0x3000 | 20;  // no module on that target
        }
    } else if (jtag_.open) {
        jtag_.closed = true;
        DrainJtag();
        if (jtag_.draining.empty()) FinishJtag();
    }
    return End(Op::JtagControl, {length, target}, 1);
}

int32_t Device::JtagWriteAny(Op op, const uint8_t* data, int32_t count, bool encrypted) {
    if (!Answers() || inBootloader_) return End(op, {count}, Answers() ? 0 : kNoAnswer);
    if (!jtag_.open || jtag_.closed || count < 0 || count > kJtagChunk) return End(op, {count}, 0);
    // A buffer takes 28000 bytes from the moment it opens, however much of them
    // has drained meanwhile; then the next free buffer opens.
    int b = jtag_.filling;
    if (b < 0 || jtag_.taken[static_cast<size_t>(b)] + count > kJtagBufferSize) {
        b = jtag_.fill[0] == 0 && b != 0 ? 0 : (jtag_.fill[1] == 0 && b != 1 ? 1 : -1);
        if (b >= 0) jtag_.taken[static_cast<size_t>(b)] = 0;
    }
    if (b < 0) {
        jtag_.overflow = true;  // more than the buffers grant: the bytes are lost
        return End(op, {count}, 0);
    }
    const auto slot = static_cast<size_t>(b);
    if (jtag_.fill[slot] == 0 && count > 0) jtag_.draining.push_back(b);
    jtag_.filling = b;
    jtag_.fill[slot] += count;
    jtag_.taken[slot] += count;
    for (int32_t i = 0; i < count; ++i) {
        const auto pos = static_cast<uint32_t>(jtag_.received.size());
        jtag_.received.push_back(encrypted ? static_cast<uint8_t>(data[i] ^ KeyByte(pos))
                                           : data[i]);
    }
    return End(op, {count}, 1);
}

int32_t Device::JtagWrite(int32_t, const uint8_t* data, int32_t count) {
    SIM_BEGIN(Op::JtagWrite);
    if (fault) return End(Op::JtagWrite, {count}, fault->result);
    return JtagWriteAny(Op::JtagWrite, data, count, false);
}

int32_t Device::JtagWriteEncrypted(int32_t, const uint8_t* data, int32_t count) {
    SIM_BEGIN(Op::JtagWriteEncrypted);
    if (fault) return End(Op::JtagWriteEncrypted, {count}, fault->result);
    return JtagWriteAny(Op::JtagWriteEncrypted, data, count, true);
}

// ---- Inspection -----------------------------------------------------------------------------

std::vector<Call> Device::Trace() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return trace_;
}
void Device::ClearTrace() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    trace_.clear();
}
size_t Device::CountCalls(Op op) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return static_cast<size_t>(callCounts_[op]);
}
std::vector<uint8_t> Device::Flash(uint8_t sector) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = sectors_.find(sector);
    return it == sectors_.end() ? std::vector<uint8_t>{} : it->second.bytes;
}
bool Device::AreaValid(uint8_t sector) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return sectors_[sector].valid;
}
std::array<int32_t, 64> Device::SystemParameters() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return systemParameters_;
}
void Device::SetSystemParameter(int index, int32_t value) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    systemParameters_.at(static_cast<size_t>(index)) = value;
}
std::map<int32_t, int32_t> Device::ModuleParameters() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return moduleParameters_;
}
int Device::moduleSaves() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return moduleSaves_;
}
int Device::userSaves() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return userSaves_;
}
std::array<uint8_t, 4> Device::bootloaderVersion() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return blVersion_;
}
std::array<uint8_t, 4> Device::firmwareVersion() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return fwVersion_;
}
uint32_t Device::fpgaVersion() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return fpgaVersion_;
}
void Device::SetPlugged(bool plugged) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    plugged_ = plugged;
    if (!plugged) linkOpen_ = false;
}
void Device::AddFault(const Fault& fault) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    config_.faults.push_back(fault);
}

// ---- Scenarios ------------------------------------------------------------------------------

std::string ApplyScenario(Config& config, const std::string& scenario) {
    std::stringstream items(scenario);
    std::string item, errors;
    while (std::getline(items, item, ',')) {
        if (item.empty()) continue;
        const size_t colon = item.find(':');
        const std::string key = item.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : item.substr(colon + 1);
        const long long number = value.empty() ? 0 : std::atoll(value.c_str());
        if (key == "bootloader") {
            config.startInBootloader = true;
        } else if (key == "old-bootloader") {
            config.bootloaderVersion = {0, 6, 0, 1};
        } else if (key == "old-firmware") {
            config.oldFirmware = true;
        } else if (key == "unplugged") {
            config.plugged = false;
        } else if (key == "rvq") {
            config.rvqModuleAttached = true;
        } else if (key == "refuse-restart") {
            config.faults.push_back({Op::RestartDevice, 1, -1, 0, {}, {}});
        } else if (key == "erase-fault" && number > 0) {
            config.faults.push_back({Op::EraseSector, 1, number, 1, 7u, {}});
        } else if (key == "program-fault" && number > 0) {
            config.faults.push_back({Op::ProgramPage, 1, number, 1, 3u, {}});
        } else if (key == "jtag-fault" && number > 0) {
            config.faults.push_back({Op::JtagStatus, 1, number, -5, {}, {}});
        } else if (key == "latency") {
            config.callCostUs = number;
        } else if (key == "reboot") {
            config.rebootUs = number * 1000;
        } else if (key == "unplug-at") {
            config.unplugAtUs = number * 1000;
        } else if (key == "unplug-for") {
            config.unplugForUs = number * 1000;
        } else if (key == "drain") {
            config.jtagDrainBytesPerMs = number;
        } else {
            errors += (errors.empty() ? "" : ", ") + item;
        }
    }
    return errors.empty() ? "" : "unknown scenario items: " + errors;
}

Device& Instance() {
    static Device device;
    return device;
}

}  // namespace sim
