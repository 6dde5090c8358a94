// Answers of Win32 calls at their edges, as Wine's conformance tests record them of Windows
// (kernel32 file.c and sync.c, advapi32 registry.c, kernel32 process.c), checked the same
// way on the simulated machine and under Wine: copies that cannot be made, folder listings,
// the last error of a successful open, waits on mutexes and events, a started child opened
// by its id, registry reads at the edges of their buffers, and upper case.
#include "tests/contracts/contract_setup.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

using contract::PlatformContract;

const DWORD kSentinel = 0xDEADBEEF;

using contract::Wide;
using contract::Widened;

Wide OwnImage() {
    WCHAR image[MAX_PATH] = {0};
    EXPECT_GT(GetModuleFileNameW(NULL, image, MAX_PATH), 0u);
    return image;
}

Wide TempFolder() {
    WCHAR folder[MAX_PATH] = {0};
    EXPECT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    return folder;
}

DWORD CopyError(const WCHAR* from, const WCHAR* to) {
    SetLastError(kSentinel);
    EXPECT_FALSE(CopyFileW(from, to, FALSE));
    return GetLastError();
}

// file.c test_CopyFileW.
TEST_F(PlatformContract, CopiesWithoutAPathOrOntoTheSourceFail) {
    Wide image = OwnImage();
    Wide copy = TempFolder() + Widened("korvanta-answer.tmp");
    EXPECT_EQ(CopyError(NULL, copy.c_str()), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CopyError(image.c_str(), NULL), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(CopyFileW(image.c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(CopyError(copy.c_str(), copy.c_str()), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(DeleteFileW(copy.c_str()));
}

// file.c test_FindFirstFileA: a folder that is not a root lists "." and ".." first, and
// "*.*" matches a name without a dot.
TEST_F(PlatformContract, AFolderListsItselfItsParentAndNamesWithoutADot) {
    char name[48];
    std::snprintf(name, sizeof name, "korvanta-answer-%lu",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    Wide folder = TempFolder();
    Wide file = folder + Widened(name);
    ASSERT_TRUE(CopyFileW(OwnImage().c_str(), file.c_str(), FALSE));

    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + Widened("*.*")).c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(contract::Narrowed(found.cFileName), ".");
    EXPECT_NE(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    ASSERT_TRUE(FindNextFileW(search, &found));
    EXPECT_EQ(contract::Narrowed(found.cFileName), "..");
    bool listed = false;
    while (FindNextFileW(search, &found))
        listed = listed || contract::Narrowed(found.cFileName) == name;
    EXPECT_TRUE(listed);
    EXPECT_TRUE(FindClose(search));

    search = FindFirstFileW((file + Widened(".*")).c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(contract::Narrowed(found.cFileName), name);
    EXPECT_TRUE(FindClose(search));
    EXPECT_TRUE(DeleteFileW(file.c_str()));
}

// file.c test_CreateFileA: a successful open of an existing object clears the last error.
TEST_F(PlatformContract, ASuccessfulOpenClearsTheLastError) {
    char volume[] = "\\\\.\\C:";
    volume[4] = contract::DriveWithDosDevice();
    SetLastError(kSentinel);
    HANDLE h =
        CreateFileA(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(CloseHandle(h));
}

// sync.c test_mutex: the owner of a mutex takes it again without waiting.
TEST_F(PlatformContract, TheOwnerOfAMutexTakesItAgain) {
    HANDLE mutex = CreateMutexA(NULL, TRUE, NULL);
    ASSERT_NE(mutex, HANDLE(NULL));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(CloseHandle(mutex));
}

// sync.c test_event and test_WaitForSingleObject: a satisfied wait resets an auto-reset
// event and leaves a manual-reset one signalled; the low two bits of a handle value are
// ignored; a second event of a name that exists says so.
TEST_F(PlatformContract, WaitsOnEvents) {
    const char kName[] = "KorvantaAnswerEvent";
    SetLastError(kSentinel);
    HANDLE automatic = CreateEventA(NULL, FALSE, TRUE, kName);
    ASSERT_NE(automatic, HANDLE(NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    SetLastError(kSentinel);
    HANDLE again = CreateEventA(NULL, FALSE, FALSE, kName);
    ASSERT_NE(again, HANDLE(NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(CloseHandle(automatic));

    HANDLE manual = CreateEventA(NULL, TRUE, TRUE, NULL);
    ASSERT_NE(manual, HANDLE(NULL));
    for (uintptr_t bits = 0; bits < 4; ++bits) {
        HANDLE tagged = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(manual) | bits);
        EXPECT_EQ(WaitForSingleObject(tagged, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << bits;
    }
    EXPECT_TRUE(CloseHandle(manual));
}

// process.c: a child that CreateProcessW started is opened by its id while a handle to it
// is held.
TEST_F(PlatformContract, AStartedChildIsOpenedByItsId) {
    Wide image = OwnImage();
    Wide line = Widened("\"") + image + Widened("\" --gtest_filter=-*");
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    std::memset(&child, 0, sizeof child);
    ASSERT_TRUE(CreateProcessW(image.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                               &child));
    HANDLE opened = OpenProcess(SYNCHRONIZE, FALSE, child.dwProcessId);
    EXPECT_NE(opened, HANDLE(NULL));
    if (opened != NULL) {
        EXPECT_TRUE(CloseHandle(opened));
    }
    WaitForSingleObject(child.hProcess, 30000);
    EXPECT_TRUE(CloseHandle(child.hThread));
    EXPECT_TRUE(CloseHandle(child.hProcess));
}

// registry.c test_query_value_ex and test_string_termination.
TEST_F(PlatformContract, ValueReadsAtTheEdges) {
    contract::SetString("", "Name", "abc");
    // Three bytes of text with no terminator after them (RegSetValueExA would take in a
    // terminator that follows the data).
    const char kText[] = "xyzw";
    contract::SetBytes("Unterminated", REG_SZ, kText, 3);
    HKEY key = contract::OpenContractKey(KEY_READ);
    ASSERT_NE(key, HKEY(NULL));

    DWORD size = kSentinel;
    EXPECT_EQ(RegQueryValueExA(key, "Missing", NULL, NULL, NULL, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, 0u);

    char text[8];
    std::memset(text, 'q', sizeof text);
    size = sizeof text;
    EXPECT_EQ(
        RegQueryValueExA(key, "Unterminated", NULL, NULL, reinterpret_cast<LPBYTE>(text), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_STREQ(text, "xyz") << "a terminator is added where the buffer has room";

    // The type and the size in one variable: the size is read before the type is written.
    DWORD both = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key, "Name", NULL, &both, reinterpret_cast<LPBYTE>(text), &both),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "abc");

    DWORD longestName = kSentinel, largest = kSentinel;
    EXPECT_EQ(RegQueryInfoKeyA(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &longestName,
                               &largest, NULL, NULL),
              ERROR_SUCCESS);
    EXPECT_EQ(longestName, std::strlen("Unterminated"));
    EXPECT_EQ(largest, 8u) << "\"abc\" and its terminator, stored in UTF-16";
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// The file system's casing, the same in every locale: Latin, Greek and Cyrillic letters and
// their pairs; final sigma, the sharp s and what is no letter unchanged.
TEST_F(PlatformContract, UpperCaseIsTheSameInEveryLocale) {
    const WCHAR text[] = {'a', 0xE9, 0xFF, 0x101, 0x17E, 0x3C2, 0x44F, 0x451, 0x4E9, 0xDF, '*'};
    const WCHAR upper[] = {'A', 0xC9, 0x178, 0x100, 0x17D, 0x3C2, 0x42F, 0x401, 0x4E8, 0xDF, '*'};
    const int n = sizeof text / sizeof text[0];
    WCHAR out[n];
    EXPECT_EQ(LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text, n, out, n), n);
    EXPECT_EQ(Wide(out, n), Wide(upper, n));
    SetLastError(kSentinel);
    EXPECT_EQ(LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text, n, out, n - 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
