// Win32 contracts of the relaunch, checked the same way on the simulated machine and on a
// real Win32 implementation: the temporary folder, copying the program's own file there
// without overwriting, finding and deleting the copy, and opening a process by its id (the
// W forms, which carry any file name whole).
#include "tests/contracts/contract_setup.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using contract::PlatformContract;

const DWORD kSentinel = 0xDEADBEEF;

contract::Wide TemporaryFolder() {
    SetLastError(kSentinel);
    DWORD needed = GetTempPathW(0, NULL);
    EXPECT_GT(needed, 1u);
    WCHAR folder[MAX_PATH] = {0};
    DWORD n = GetTempPathW(MAX_PATH, folder);
    // Without a buffer the answer counts the terminator; with one, it does not.
    EXPECT_EQ(n + 1, needed);
    EXPECT_EQ(folder[n - 1], '\\');
    return folder;
}

TEST_F(PlatformContract, APathTooLongForTheBufferReportsTheSizeNeeded) {
    WCHAR small[2];
    UINT needed = GetSystemDirectoryW(small, 2);
    ASSERT_GT(needed, 2u);
    WCHAR whole[MAX_PATH];
    EXPECT_EQ(GetSystemDirectoryW(whole, MAX_PATH) + 1, needed);
    EXPECT_EQ(contract::Wide(whole).size() + 1, needed);
}

TEST_F(PlatformContract, ACopyOfTheProgramIsMadeOnceFoundAndDeleted) {
    WCHAR image[MAX_PATH] = {0};
    ASSERT_GT(GetModuleFileNameW(NULL, image, MAX_PATH), 0u);
    char name[64];
    std::snprintf(name, sizeof name, "korvanta-contract-%08lX.exe",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    contract::Wide copy = TemporaryFolder() + contract::Widened(name);

    ASSERT_TRUE(CopyFileW(image, copy.c_str(), TRUE));
    SetLastError(kSentinel);
    EXPECT_FALSE(CopyFileW(image, copy.c_str(), TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    WIN32_FIND_DATAW found;
    std::memset(&found, 0, sizeof found);
    contract::Wide pattern = copy.substr(0, copy.size() - 6) + contract::Widened("*.exe");
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(contract::Narrowed(found.cFileName), name);
    EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    SetLastError(kSentinel);
    EXPECT_FALSE(FindNextFileW(search, &found));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(search));

    EXPECT_TRUE(DeleteFileW(copy.c_str()));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileW(copy.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_EQ(FindFirstFileW(pattern.c_str(), &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A program file that is not there does not start.
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    std::memset(&started, 0, sizeof started);
    contract::Wide line = contract::Widened("\"") + copy + contract::Widened("\"");
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateProcessW(copy.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                                &started));
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
