#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device/DeviceLibrary.h"
#include "platform/Text.h"

namespace fs = std::filesystem;

namespace {

void* ByName(void* handle, const device::Operation& op) { return dlsym(handle, op.name); }

struct ToolRun {
    int exitCode;
    std::string output;  // both streams
    std::string out;     // standard output
    std::string err;     // standard error
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

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the tool without a terminal: it gets as far as the library binding.
ToolRun RunToolWith(const char* library, const std::string& arguments = "") {
    const fs::path folder = ToolFolder(library);
    const fs::path errFile =
        fs::temp_directory_path() / ("qdx-bind-err-" + std::to_string(getpid()));
    // Started from elsewhere: the library is found beside the program, not here.
    const std::string command = "cd / && " + (folder / "qdx-update").string() + " " + arguments +
                                " 2>" + errFile.string() + " </dev/null";
    ToolRun run{-1, {}, {}, {}};
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) run.out += buffer;
        const int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    run.err = ReadFile(errFile);
    run.output = run.out + run.err;
    fs::remove(errFile);
    fs::remove_all(folder);
    return run;
}

// A file that only looks like a library, for the loader to refuse.
fs::path WriteFixture(const std::string& name, const std::string& bytes) {
    const fs::path file = fs::temp_directory_path() / (name + "-" + std::to_string(getpid()));
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

// The start of a 32-bit x86 shared object: ELF identification, ET_DYN, EM_386.
std::string Elf32Library() {
    std::string bytes(512, '\0');
    const unsigned char ident[] = {0x7f, 'E', 'L', 'F', ELFCLASS32, ELFDATA2LSB, EV_CURRENT};
    bytes.replace(0, sizeof ident, reinterpret_cast<const char*>(ident), sizeof ident);
    bytes[16] = ET_DYN;
    bytes[18] = EM_386;
    bytes[20] = EV_CURRENT;
    return bytes;
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
    EXPECT_EQ(lib.JtagWriteEncrypted,
              reinterpret_cast<device::JtagWriteEncryptedFn>(dlsym(handle, "JtagWriteEncrypted")));
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

TerminalRun RunToolInTerminal(const char* library, const std::string& shown,
                              const std::string& keys) {
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

// Every way the library can fail to load is said in words, with what to do and
// the system's own text beside it.
TEST(ToolStart, ExplainsALibraryThatCannotBeLoaded) {
    const fs::path elf32 = WriteFixture("qdx-elf32", Elf32Library());
    const fs::path notElf = WriteFixture("qdx-not-elf", std::string(512, 'x'));
    const struct {
        const char* what;
        const char* library;
        std::vector<std::string> said;
    } cases[] = {
        {"missing",
         nullptr,
         {"The device library libQDX140.so was not found. It was looked for in /tmp/qdx-bind-",
          "the folder of qdx-update, and only there", "No such file or directory"}},
        {"32-bit",
         elf32.c_str(),
         {"libQDX140.so is a 32-bit library; qdx-update is a 64-bit program and needs a 64-bit "
          "libQDX140.so.",
          "wrong ELF class: ELFCLASS32"}},
        {"missing dependency",
         QDX_NEEDS_ABSENT_LIBRARY,
         {std::string("libQDX140.so needs ") + QDX_ABSENT_NAME +
              ", which is not installed on this computer",
          "cannot open shared object file"}},
        {"not a library",
         notElf.c_str(),
         {"libQDX140.so could not be loaded.", "invalid ELF header"}},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunToolWith(c.library);
        EXPECT_EQ(run.exitCode, 2) << c.what;
        EXPECT_EQ(run.err.rfind("QDX-Update: ", 0), 0u) << c.what << ": " << run.err;
        for (const std::string& text : c.said)
            EXPECT_NE(run.err.find(text), std::string::npos)
                << c.what << ": no \"" << text << "\" in\n"
                << run.err;
    }
    fs::remove(elf32);
    fs::remove(notElf);
}

// Without /proc the program cannot tell its folder: it must not load a library
// from the current directory instead.
TEST(DeviceBinding, WithoutTheProgramsFolderNothingIsLoadedFromHere) {
    const fs::path here = fs::temp_directory_path() / ("qdx-here-" + std::to_string(getpid()));
    fs::create_directories(here);
    fs::copy_file(QDX_SIM_LIBRARY, here / "libQDX140.so", fs::copy_options::overwrite_existing);
    const fs::path before = fs::current_path();
    fs::current_path(here);
    device::DeviceLibrary lib;
    const device::BindResult result = device::LoadDeviceLibraryBeside(lib, "/no/proc/self/exe");
    const bool loaded = dlopen((here / "libQDX140.so").c_str(), RTLD_NOW | RTLD_NOLOAD) != nullptr;
    fs::current_path(before);
    fs::remove_all(here);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(loaded) << "the library in the current directory was loaded";
    EXPECT_EQ(lib.OpenLink, nullptr);
    EXPECT_EQ(
        platform::ToUtf8(result.error),
        "The device library libQDX140.so is loaded only from the folder of qdx-update, and that "
        "folder could not be found (/no/proc/self/exe: No such file or directory). Start "
        "qdx-update where /proc is mounted.");
}

// The command line: two questions answered without the library or a terminal,
// anything else refused with the usage on standard error.
TEST(ToolStart, CommandLine) {
    const std::string usage = "usage: qdx-update [--help | --version]\n";
    const struct {
        const char* arguments;
        int exitCode;
        std::vector<std::string> out;  // texts on standard output
        std::string err;               // the start of standard error
    } cases[] = {
        {"--help",
         0,
         {"QDX-Update " QDX_TEST_VERSION ": brings a QDX device up to date over USB.",
          "Keys:", "  U           Update\n", "loaded from the folder of qdx-update",
          "QDX140-GA0010.Bic", "current directory", "QDX140_SIM", usage},
         ""},
        {"--version", 0, {"QDX-Update " QDX_TEST_VERSION "\n"}, ""},
        {"-h", 2, {}, "qdx-update: unknown argument '-h'\n" + usage},
        {"--help --version", 2, {}, "qdx-update: unknown argument '--help'\n" + usage},
        {"update", 2, {}, "qdx-update: unknown argument 'update'\n" + usage},
    };
    for (const auto& c : cases) {
        // No library beside the tool: the answers do not need one.
        const ToolRun run = RunToolWith(nullptr, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << c.arguments;
        if (c.exitCode == 0) {
            EXPECT_EQ(run.err, "") << c.arguments;
        }
        if (c.out.empty()) {
            EXPECT_EQ(run.out, "") << c.arguments;
        }
        for (const std::string& text : c.out)
            EXPECT_NE(run.out.find(text), std::string::npos)
                << c.arguments << ": no \"" << text << "\"";
    }
}
