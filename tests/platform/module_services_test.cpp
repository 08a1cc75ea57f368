#include "windows_api.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string selfExe() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path));
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

TEST(ModuleServices, HostHandleNamesTheRunningProgram) {
    const HMODULE host = GetModuleHandleW(nullptr);
    ASSERT_NE(host, nullptr);
    char buffer[PATH_MAX] = {};
    const DWORD length = GetModuleFileNameA(host, buffer, sizeof(buffer));
    EXPECT_EQ(std::string(buffer), selfExe());
    EXPECT_EQ(length, selfExe().size());
    // The null handle means the program as well.
    char again[PATH_MAX] = {};
    GetModuleFileNameA(nullptr, again, sizeof(again));
    EXPECT_STREQ(again, buffer);
}

TEST(ModuleServices, LibraryHandleIsItsBaseAndNamesItsFile) {
    const HMODULE qtCore = GetModuleHandleW(L"libQt5Core.so.5");
    ASSERT_NE(qtCore, nullptr);
    EXPECT_NE(qtCore, GetModuleHandleW(nullptr));
    // A mapped ELF object starts with its magic number.
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(qtCore),
                          "\x7f"
                          "ELF",
                          4),
              0);

    wchar_t buffer[PATH_MAX] = {};
    const DWORD length = GetModuleFileNameW(qtCore, buffer, PATH_MAX);
    ASSERT_GT(length, 0u);
    const std::wstring path(buffer, length);
    EXPECT_EQ(path.front(), L'/');
    EXPECT_NE(path.find(L"libQt5Core.so"), std::wstring::npos);
}

TEST(ModuleServices, UnknownModuleIsReportedNotInvented) {
    EXPECT_EQ(GetModuleHandleW(L"no-such-module.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    char buffer[16] = {};
    int local = 0;
    // An address inside a module that is not its base is no module handle.
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(&local), buffer, sizeof(buffer)), 0u);
}

TEST(ModuleServices, PathCutToTheBufferStillEndsInATerminator) {
    const std::string exe = selfExe();
    ASSERT_GT(exe.size(), 8u);
    char buffer[8];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof(buffer)), 8u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(buffer), exe.substr(0, 7));
}

TEST(ModuleServices, ErrorCodesBecomeHresultsLikeWindows) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), 0x80070002u);
    EXPECT_EQ(static_cast<std::uint32_t>(HRESULT_FROM_WIN32(0x12345)), 0x80072345u);
    EXPECT_TRUE(FAILED(E_INVALIDARG));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_EQ(DisableThreadLibraryCalls(nullptr), FALSE);
    EXPECT_EQ(DisableThreadLibraryCalls(GetModuleHandleW(nullptr)), TRUE);
}

} // namespace
