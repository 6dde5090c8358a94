// Win32 contracts of the relaunch, checked the same way on the simulated machine and on a
// real Win32 implementation: the temporary folder, copying the program's own file there
// without overwriting, finding and deleting the copy, and opening a process by its id.
#include "tests/contracts/contract_setup.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using contract::PlatformContract;

const DWORD kSentinel = 0xDEADBEEF;

std::string TemporaryFolder() {
    SetLastError(kSentinel);
    DWORD needed = GetTempPathA(0, NULL);
    EXPECT_GT(needed, 1u);
    char folder[MAX_PATH] = {0};
    DWORD n = GetTempPathA(MAX_PATH, folder);
    // Without a buffer the answer counts the terminator; with one, it does not.
    EXPECT_EQ(n + 1, needed);
    EXPECT_EQ(folder[n - 1], '\\');
    return folder;
}

TEST_F(PlatformContract, APathTooLongForTheBufferReportsTheSizeNeeded) {
    char small[2];
    UINT needed = GetSystemDirectoryA(small, sizeof small);
    ASSERT_GT(needed, sizeof small);
    char whole[MAX_PATH];
    EXPECT_EQ(GetSystemDirectoryA(whole, MAX_PATH) + 1, needed);
    EXPECT_EQ(std::strlen(whole) + 1, needed);
}

TEST_F(PlatformContract, ACopyOfTheProgramIsMadeOnceFoundAndDeleted) {
    char image[MAX_PATH] = {0};
    ASSERT_GT(GetModuleFileNameA(NULL, image, MAX_PATH), 0u);
    std::string folder = TemporaryFolder();
    char name[64];
    std::snprintf(name, sizeof name, "korvanta-contract-%08lX.exe",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    std::string copy = folder + name;

    ASSERT_TRUE(CopyFileA(image, copy.c_str(), TRUE));
    SetLastError(kSentinel);
    EXPECT_FALSE(CopyFileA(image, copy.c_str(), TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    WIN32_FIND_DATAA found;
    std::memset(&found, 0, sizeof found);
    std::string pattern = copy.substr(0, copy.size() - 6) + "*.exe";
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, name);
    EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    SetLastError(kSentinel);
    EXPECT_FALSE(FindNextFileA(search, &found));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(search));

    EXPECT_TRUE(DeleteFileA(copy.c_str()));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(copy.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_EQ(FindFirstFileA(pattern.c_str(), &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A program file that is not there does not start.
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    std::memset(&started, 0, sizeof started);
    char line[MAX_PATH + 2];
    std::snprintf(line, sizeof line, "\"%s\"", copy.c_str());
    SetLastError(kSentinel);
    EXPECT_FALSE(
        CreateProcessA(copy.c_str(), line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PlatformContract, AProcessIsOpenedByItsIdWhileItRuns) {
    // No process has this id (ids are multiples of four, handed out from the bottom).
    SetLastError(kSentinel);
    EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, 0x7FFFFFFC), HANDLE(NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    HANDLE self = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
    ASSERT_NE(self, HANDLE(NULL));
    EXPECT_EQ(WaitForSingleObject(self, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(CloseHandle(self));
}

}  // namespace
