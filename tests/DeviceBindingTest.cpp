#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"

namespace fs = std::filesystem;

namespace {

void* ByName(void* handle, const device::Operation& op) { return dlsym(handle, op.name); }

struct ToolRun {
    int exitCode;
    std::string output;
};

// A folder of its own with the tool and, if given, a library beside it.
fs::path ToolFolder(const char* library) {
    const fs::path folder = fs::temp_directory_path() / ("qdx-bind-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(QDX_TOOL, folder / "qdx-update");
    if (library != nullptr) fs::copy_file(library, folder / "libQDX140.so");
    return folder;
}

// Runs the tool without a terminal: it gets as far as the library binding.
ToolRun RunToolWith(const char* library) {
    const fs::path folder = ToolFolder(library);
    // Started from elsewhere: the library is found beside the program, not here.
    const std::string command = "cd / && " + (folder / "qdx-update").string() + " 2>&1";
    ToolRun run{-1, {}};
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
        const int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    fs::remove_all(folder);
    return run;
}

}  // namespace

TEST(DeviceBinding, BindsAllOperationsOfTheSimulatedLibrary) {
    void* handle = dlopen(QDX_SIM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    device::DeviceLibrary lib;
    const device::BindResult result = device::BindOperations(lib, ByName, handle);
    EXPECT_TRUE(result.ok) << platform::ToUtf8(result.error);
    EXPECT_NE(lib.OpenLink, nullptr);
    EXPECT_NE(lib.WritePageBlock, nullptr);
    EXPECT_EQ(lib.JtagWriteEncrypted, reinterpret_cast<device::JtagWriteEncryptedFn>(
                                          dlsym(handle, "JtagWriteEncrypted")));
    dlclose(handle);
}

TEST(DeviceBinding, NamesTheFirstMissingOperationByOrdinalAndName) {
    device::DeviceLibrary lib;
    auto resolver = [](void*, const device::Operation& op) -> void* {
        static int dummy;
        return op.ordinal == 177 ? nullptr : &dummy;
    };
    const device::BindResult result = device::BindOperations(lib, resolver, nullptr);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, L"The device library has no operation 177 (ReadSystemParameter).");
    EXPECT_EQ(lib.OpenLink, nullptr) << "a failed binding leaves the table untouched";
}

TEST(DeviceBinding, OrdinalsAreTheLibrarysOwn) {
    const int expected[] = {1,   2,   5,   12,  13,  14,  33,  171, 173, 175, 176,
                            177, 181, 182, 183, 184, 191, 192, 193, 194, 195};
    for (int i = 0; i < device::kOperationCount; ++i)
        EXPECT_EQ(device::kOperations[i].ordinal, expected[i]) << device::kOperations[i].name;
}

// Runs the tool in a pseudo terminal, started from "/": waits until its window
// shows `shown`, sends `keys`, and collects everything it writes until it ends.
struct TerminalRun {
    bool shown = false;
    bool ended = false;
    int exitCode = -1;
    std::string output;     // all of it
    std::string afterKeys;  // what came after the keys
};

TerminalRun RunToolInTerminal(const char* library, const std::string& shown, const std::string& keys) {
    const fs::path folder = ToolFolder(library);
    const std::string tool = (folder / "qdx-update").string();
    TerminalRun run;
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        if (chdir("/") != 0) _exit(126);
        setenv("TERM", "xterm-256color", 1);
        execl(tool.c_str(), "qdx-update", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) return run;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    bool keysSent = false;
    while (std::chrono::steady_clock::now() < limit) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;  // the tool has ended and the terminal closed
            run.output.append(buffer, static_cast<size_t>(n));
            if (keysSent) run.afterKeys.append(buffer, static_cast<size_t>(n));
        }
        if (!keysSent && run.output.find(shown) != std::string::npos) {
            run.shown = true;
            keysSent = write(master, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
        }
    }
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 20 && done == 0; ++i) {
        done = waitpid(pid, &status, WNOHANG);
        if (done == 0) usleep(100000);
    }
    if (done == pid) {
        run.ended = true;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else {
        kill(pid, SIGKILL);  // our own child, still running after the time limit
        waitpid(pid, &status, 0);
    }
    close(master);
    fs::remove_all(folder);
    return run;
}

TEST(ToolStart, RunsWithTheLibraryBesideIt) {
    // The window comes up with its buttons, and Escape ends the tool with the
    // terminal given back (xterm: leave the alternate screen, show the cursor).
    const TerminalRun run = RunToolInTerminal(QDX_SIM_LIBRARY, "QDX Info", "\x1b");
    ASSERT_TRUE(run.shown) << run.output;
    ASSERT_TRUE(run.ended) << "the tool did not end after Escape";
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.afterKeys.find("\x1b[?1049l"), std::string::npos) << "alternate screen left";
    EXPECT_NE(run.afterKeys.find("\x1b[?25h"), std::string::npos) << "cursor shown again";
}

TEST(ToolStart, WithoutATerminalItSaysSoAfterBindingTheLibrary) {
    const ToolRun run = RunToolWith(QDX_SIM_LIBRARY);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("runs in a terminal"), std::string::npos) << run.output;
}

TEST(ToolStart, RefusesToStartWithoutTheLibrary) {
    const ToolRun run = RunToolWith(nullptr);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("libQDX140.so"), std::string::npos) << run.output;
}

TEST(ToolStart, RefusesToStartWhenAnOperationIsMissing) {
    const ToolRun run = RunToolWith(QDX_MISSING_OP_LIBRARY);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("177 (ReadSystemParameter)"), std::string::npos) << run.output;
}
