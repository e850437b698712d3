// Streams an FPGA configuration file to the device's JTAG programmer.
//
// The programmer has two receive buffers of 28000 bytes; its buffer word says
// which are busy (low byte: first, high byte: second; 0 = free). The worker
// sends 56-byte chunks into whatever the free buffers grant, then waits with
// back-to-back status reads until a buffer is free again, and finally waits
// for the programmer's "finished" bit and turns its last status into the
// result.
//
// Every way out ends: a status read that fails while bytes are still to be
// sent means the link has gone (the transfer is closed and the stage ends as a
// USB error), and a wait in which the programmer's words stand still for
// kStallLimitUs ends as a programmer time-out.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "update/Areas.h"
#include "update/UpdateState.h"
#include "update/Workers.h"

namespace update {
namespace {

constexpr uint16_t kFinished = 0x1000;       // the programmer has finished
constexpr uint16_t kFailed = 0xE000;         // any of these: it failed, low byte = code
constexpr int32_t kWindowPerBuffer = 28000;  // one free buffer = 500 chunks of 56 bytes
constexpr int32_t kChunk = 56;               // most bytes one write takes
constexpr size_t kChunkBuffer = 70;          // zero-filled before every read

constexpr int32_t kReadBlock = 1000 * kChunk;  // the file is read 56000 bytes at a time

// A healthy programmer changes its status or buffer word at least once per
// buffer it empties (28000 bytes: 70 ms at its pace of 400 bytes/ms) and once
// when it has finished. Even a programmer a hundred times slower, or a final
// check of several seconds, stays far below this limit; a programmer that
// stands still this long has stopped, and the stage ends so that it can be
// retried (and the window closed).
constexpr int64_t kStallLimitUs = 30'000'000;

struct Reason {
    int32_t code;
    const wchar_t* text;
};
constexpr Reason kReasons[] = {
    {11, L"- FPGA Verification Failure"}, {12, L"- File Read Failure"}, {13, L"- Version Failure"},
    {14, L"- Invalid Failure"},           {15, L"- Argument Failure"},  {16, L"- CRC Failure"},
    {20, L"- No RVQ Connected"},
};

std::wstring Percent(int64_t percent) {
    return platform::FormatText(L"%d%%", static_cast<int>(percent));
}

// The result's low 16 bits, read as a signed number.
int32_t UsbCode(int32_t result) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(result) & 0xFFFFu));
}

std::wstring UsbError(int32_t result) {
    return platform::FormatText(L"USB ERROR %d", UsbCode(result));
}

class Programmer {
public:
    int32_t ReadStatus() {
        result_ = device::Device().JtagStatus(0, &status_, &buffers_);
        return result_;
    }
    bool finished() const { return (status_ & kFinished) != 0; }
    bool bothBusy() const { return (buffers_ & 0x00FFu) != 0 && (buffers_ & 0xFF00u) != 0; }
    int32_t window() const {
        return ((buffers_ & 0x00FFu) == 0 ? kWindowPerBuffer : 0) +
               ((buffers_ & 0xFF00u) == 0 ? kWindowPerBuffer : 0);
    }
    uint16_t status() const { return status_; }
    int32_t result() const { return result_; }

    // Reads the status back to back while `waiting()` holds. False when the
    // status and buffer words have not changed for kStallLimitUs.
    template <typename Waiting>
    bool WaitWhile(Waiting waiting) {
        uint16_t status = status_, buffers = buffers_;
        int64_t since = platform::NowUs();
        while (waiting()) {
            ReadStatus();
            const int64_t now = platform::NowUs();
            if (status_ != status || buffers_ != buffers) {
                status = status_, buffers = buffers_, since = now;
            } else if (now - since >= kStallLimitUs) {
                return false;
            }
        }
        return true;
    }

private:
    uint16_t status_ = 0;
    uint16_t buffers_ = 0;
    int32_t result_ = 0;
};

// Hands out the payload chunk by chunk from blocks read ahead. It never reads
// past the payload, so a file that grew meanwhile still yields exactly what was
// announced, and a chunk that spans two blocks is still handed out whole: the
// chunks are those of one read per chunk, whatever the windows are.
class PayloadReader {
public:
    PayloadReader(platform::InputFile& file, int32_t payload)
        : file_(file),
          left_(payload),
          block_(static_cast<size_t>(payload < kReadBlock ? payload : kReadBlock)) {}

    // Up to `count` bytes into `out`, fewer only where the file ended before
    // the payload did; -1 when a read failed.
    int32_t Take(uint8_t* out, int32_t count) {
        int32_t have = 0;
        while (have < count) {
            if (next_ == end_) {
                if (left_ == 0) break;
                const int32_t n = file_.Read(
                    block_.data(), static_cast<uint32_t>(left_ < kReadBlock ? left_ : kReadBlock));
                if (n < 0) return -1;
                if (n == 0) break;
                left_ -= n, next_ = 0, end_ = n;
            }
            const int32_t n = count - have < end_ - next_ ? count - have : end_ - next_;
            std::memcpy(out + have, block_.data() + next_, static_cast<size_t>(n));
            next_ += n, have += n;
        }
        return have;
    }

private:
    platform::InputFile& file_;
    int32_t left_;  // payload bytes not read yet
    std::vector<uint8_t> block_;
    int32_t next_ = 0, end_ = 0;
};

std::wstring TimeoutMessage() {
    return platform::FormatText(L"JTAG Programmer ERROR %d ", kExitFpgaTimeout) + L"- Timeout";
}

// The file is let go before the result is told: the window thread may start
// the stage's next attempt at once, and that worker opens the same file
// without sharing. (Closing a file that was never opened does nothing.)
enum class Progress { Keep, Clear };
int32_t Fail(platform::InputFile& file, int32_t code, const std::wstring& message,
             Progress progress) {
    file.Close();
    if (progress == Progress::Keep)
        WorkerFailedKeepProgress(message);
    else
        WorkerFailed(message, L"");
    return code;
}

// Only the argument's low byte counts, signed: target a / 2 (toward zero),
// encrypted when a % 2 is 1, so a negative argument always means a plain file.
int8_t LowByte(int32_t argument) {
    return static_cast<int8_t>(static_cast<uint8_t>(static_cast<uint32_t>(argument) & 0xFFu));
}
uint8_t Target(int32_t argument) { return static_cast<uint8_t>(LowByte(argument) / 2); }
bool Encrypted(int32_t argument) { return LowByte(argument) % 2 == 1; }

}  // namespace

FileCheck CheckFpgaFile(platform::InputFile& file, int32_t argument, const std::wstring& name,
                        int32_t& payload) {
    uint64_t fileLength = 0;
    if (!file.Length(fileLength))
        return {kExitFpgaFile, L"Unable to take the length of Input file: " + name};
    const uint64_t skipped = Encrypted(argument) ? kHeaderSize : 0;
    // The programmer is told the length as a signed 32-bit count.
    if (fileLength > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + skipped)
        return {kExitFpgaFile, L"Input file too large: " + name};
    // An announced transfer of nothing is never finished by the programmer:
    // refuse an empty payload.
    if (fileLength <= skipped) return {kExitFpgaFile, L"No FPGA data in Input file: " + name};
    payload = static_cast<int32_t>(fileLength - skipped);
    return {0, L""};
}

int32_t FpgaTransferWorker(int32_t argument) {
    const uint8_t target = Target(argument);
    const bool encrypted = Encrypted(argument);
    device::DeviceLibrary& lib = device::Device();
    const auto write = encrypted ? lib.JtagWriteEncrypted : lib.JtagWrite;

    WorkerRunning(Percent(0));

    platform::InputFile file;  // opened once the programmer has answered
    Programmer programmer;
    if (programmer.ReadStatus() != 1)
        return Fail(file, programmer.result(), UsbError(programmer.result()), Progress::Keep);

    const std::wstring name = imageFileName.Get();
    if (!file.Open(name))
        return Fail(file, kExitFpgaFile, L"Unable to open Input file: " + name, Progress::Keep);
    workerProgress.Set(Percent(0));

    // Everything that can go wrong with the file before anything is announced
    // ends here, with no device call: the programmer is never told about a
    // transfer that cannot happen.
    int32_t payload = 0;
    const FileCheck check = CheckFpgaFile(file, argument, name, payload);
    if (check.code != 0) return Fail(file, check.code, check.message, Progress::Clear);
    if (encrypted) {
        uint8_t header[kHeaderSize];  // the EBIN header: read and dropped unchecked
        if (file.Read(header, sizeof header) != static_cast<int32_t>(sizeof header))
            return Fail(file, kExitFpgaFile, L"Unable to read Input file: " + name,
                        Progress::Clear);
    }

    lib.JtagControl(0, payload, target);
    // Until the last byte is handed over, a way out closes the transfer again,
    // so the programmer does not wait for bytes that never come.
    bool open = true;
    const auto fail = [&](const std::wstring& message, Progress progress, int32_t code) {
        if (open) lib.JtagControl(0, 0, target);
        return Fail(file, code, message, progress);
    };
    programmer.ReadStatus();
    PayloadReader reader(file, payload);
    int32_t sent = 0;
    uint8_t chunk[kChunkBuffer];
    int64_t shownPercent = 0;
    std::wstring progress = Percent(0);

    for (;;) {
        // A status read that fails with bytes still to send: the link has gone,
        // and every further write would be refused.
        if (programmer.result() != 1)
            return fail(UsbError(programmer.result()), Progress::Keep, programmer.result());
        if (programmer.finished()) break;

        int32_t window = programmer.window();
        if (window > payload - sent) window = payload - sent;

        int32_t inWindow = 0;
        int32_t written = 1;
        while (written == 1 && inWindow < window) {
            std::memset(chunk, 0, sizeof chunk);
            const int32_t n =
                reader.Take(chunk, window - inWindow < kChunk ? window - inWindow : kChunk);
            // The file failed or came to its end before the payload was
            // complete (it shrank while it was sent).
            if (n <= 0)
                return fail(L"Unable to read Input file: " + name, Progress::Clear, kExitFpgaFile);
            inWindow += n;
            written = write(0, chunk, n);
            sent += n;
            // In 64 bits: sent × 100 overflows 32 bits from 21 MB on. The text
            // is handed over after every chunk but formatted only when the
            // percentage moves (a hundred times per transfer, not per chunk).
            const int64_t percent = static_cast<int64_t>(sent) * 100 / payload;
            if (percent != shownPercent) {
                shownPercent = percent;
                progress = Percent(percent);
            }
            workerProgress.Set(progress);
        }

        if (sent == payload) {
            // A refused last chunk may mean the link has gone: the transfer
            // counts as handed over only while the programmer still answers.
            if (written != 1 && programmer.ReadStatus() != 1)
                return fail(UsbError(programmer.result()), Progress::Keep, programmer.result());
            lib.JtagControl(0, 0, target);
            open = false;
            WorkerNote(L"Data Transfer OK");
        }

        // Wait for a free buffer.
        programmer.ReadStatus();
        const bool moved = programmer.WaitWhile([&programmer] {
            return !programmer.finished() && programmer.bothBusy() && programmer.result() == 1;
        });
        if (!moved) return fail(TimeoutMessage(), Progress::Keep, kExitFpgaTimeout);
        if (sent >= payload) break;
    }

    // Wait for the programmer to finish; a failed read ends the wait.
    if (!programmer.WaitWhile(
            [&programmer] { return !programmer.finished() && programmer.result() == 1; }))
        return fail(TimeoutMessage(), Progress::Keep, kExitFpgaTimeout);

    // This read decides.
    programmer.ReadStatus();

    if ((programmer.status() & kFailed) != 0) {
        const int32_t code = -static_cast<int32_t>(programmer.status() & 0xFFu);
        std::wstring message = platform::FormatText(L"JTAG Programmer ERROR %d ", code);
        for (const Reason& r : kReasons)
            if (r.code == -code) message += r.text;
        return Fail(file, code, message, Progress::Keep);
    }
    if (programmer.result() != 1)
        return Fail(file, UsbCode(programmer.result()), UsbError(programmer.result()),
                    Progress::Keep);
    file.Close();
    WorkerSucceeded();
    return kExitDone;
}

}  // namespace update
