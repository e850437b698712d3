#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

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

// Runs the tool from a folder of its own, beside the library given (if any).
ToolRun RunToolWith(const char* library) {
    const fs::path folder = fs::temp_directory_path() / ("qdx-bind-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(QDX_TOOL, folder / "qdx-update");
    if (library != nullptr) fs::copy_file(library, folder / "libQDX140.so");
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

TEST(ToolStart, RunsWithTheLibraryBesideIt) {
    const ToolRun run = RunToolWith(QDX_SIM_LIBRARY);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

TEST(ToolStart, RefusesToStartWithoutTheLibrary) {
    const ToolRun run = RunToolWith(nullptr);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("libQDX140.so"), std::string::npos) << run.output;
}

TEST(ToolStart, RefusesToStartWhenAnOperationIsMissing) {
    const ToolRun run = RunToolWith(QDX_MISSING_OP_LIBRARY);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("184 (JtagWriteEncrypted)"), std::string::npos) << run.output;
}
