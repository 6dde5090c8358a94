// Win32 contracts the program relies on, checked the same way on the simulated machine and
// on a real Win32 implementation (Wine in CI): a test passing on both means the simulated
// machine answers as the platform does. Every error check presets the thread's last error
// to a sentinel, so that a call which sets no error cannot pass on a stale value.
#include "tests/contracts/contract_setup.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>

namespace {

using contract::PlatformContract;

const DWORD kSentinel = 0xDEADBEEF;

TEST_F(PlatformContract, RegistryReadIntoASmallBufferReportsTheSizeNeeded) {
    contract::SetString("", "Name", "abc");
    HKEY key = NULL;
    // Key and value names are found without regard to case.
    std::string lower = contract::kKeyPath;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, lower.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);

    // The contents of a buffer that was too small are undefined on Windows (Wine and the
    // simulated machine leave it alone): only the status and the size are the contract.
    char small[2];
    DWORD size = sizeof small, type = REG_NONE;
    EXPECT_EQ(RegQueryValueExA(key, "name", NULL, &type, reinterpret_cast<LPBYTE>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);

    size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Name", NULL, &type, NULL, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);

    char exact[4];
    size = sizeof exact;
    EXPECT_EQ(RegQueryValueExA(key, "Name", NULL, &type, reinterpret_cast<LPBYTE>(exact), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(exact, "abc");

    EXPECT_EQ(RegQueryValueExA(key, "Missing", NULL, NULL, NULL, NULL), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(PlatformContract, MissingKeyIsNotFound) {
    HKEY key = reinterpret_cast<HKEY>(uintptr_t(1));
    std::string path = std::string(contract::kKeyPath) + "\\Absent";
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, HKEY(NULL)) << "a failed open leaves the caller no key";
}

// A key handle may do only what it was opened for; generic rights map to the key rights
// (GENERIC_READ is KEY_READ: query values and enumerate subkeys).
struct KeyRights {
    const char* name;
    REGSAM access;
    LSTATUS query, info, enumerate;
};
void PrintTo(const KeyRights& c, std::ostream* os) { *os << c.name; }

class KeyRightsContract : public PlatformContract,
                          public ::testing::WithParamInterface<KeyRights> {};

TEST_P(KeyRightsContract, CallsNeedTheRightsTheKeyWasOpenedWith) {
    contract::SetString("", "Value", "v");
    contract::SetString("Sub", "Other", "w");
    HKEY key = contract::OpenContractKey(GetParam().access);
    ASSERT_NE(key, HKEY(NULL));

    char data[16];
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key, "Value", NULL, NULL, reinterpret_cast<LPBYTE>(data), &size),
              GetParam().query);
    DWORD subkeys = kSentinel;
    // Windows refuses the key information query to a handle without KEY_QUERY_VALUE; Wine
    // (8) answers it whatever the handle's rights.
    LSTATUS info = contract::RunningOnWine() ? ERROR_SUCCESS : GetParam().info;
    EXPECT_EQ(
        RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
        info);
    if (info == ERROR_SUCCESS) {
        EXPECT_EQ(subkeys, 1u);
    }
    char name[16];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &nameSize, NULL, NULL, NULL, NULL), GetParam().enumerate);
    if (GetParam().enumerate == ERROR_SUCCESS) {
        EXPECT_STREQ(name, "Sub");
    }
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Rights, KeyRightsContract,
    ::testing::Values(
        KeyRights{"read", KEY_READ, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
        KeyRights{"generic_read", GENERIC_READ, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
        KeyRights{"query_only", KEY_QUERY_VALUE, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        KeyRights{"enumerate_only", KEY_ENUMERATE_SUB_KEYS, ERROR_ACCESS_DENIED,
                  ERROR_ACCESS_DENIED, ERROR_SUCCESS},
        KeyRights{"write_only", KEY_WRITE, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
                  ERROR_ACCESS_DENIED}),
    [](const ::testing::TestParamInfo<KeyRights>& info) { return std::string(info.param.name); });

TEST_F(PlatformContract, SecondNamedMutexOfTheSameNameExists) {
    const char kName[] = "KorvantaContractMutex";
    SetLastError(kSentinel);
    HANDLE first = CreateMutexA(NULL, TRUE, kName);
    ASSERT_NE(first, HANDLE(NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    SetLastError(kSentinel);
    HANDLE second = CreateMutexA(NULL, TRUE, kName);
    ASSERT_NE(second, HANDLE(NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(first, second);

    // A named mutex lives while a handle to it is open, no longer.
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(first));
    SetLastError(kSentinel);
    HANDLE again = CreateMutexA(NULL, FALSE, kName);
    ASSERT_NE(again, HANDLE(NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(CloseHandle(again));
}

TEST_F(PlatformContract, DosDeviceQueryWithAShortBufferFails) {
    char drive[3] = {contract::DriveWithDosDevice(), ':', 0};
    char target[MAX_PATH];
    std::memset(target, 0, sizeof target);
    SetLastError(kSentinel);
    DWORD stored = QueryDosDeviceA(drive, target, MAX_PATH);
    ASSERT_GT(stored, 0u);
    size_t first = std::strlen(target);
    ASSERT_GT(first, 0u);
    // The answer is a list of names, each terminated, ended by one more terminator.
    EXPECT_GE(stored, first + 2);

    // Room for the name but not for both terminators.
    char shortBuffer[MAX_PATH];
    SetLastError(kSentinel);
    EXPECT_EQ(QueryDosDeviceA(drive, shortBuffer, static_cast<DWORD>(first)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(PlatformContract, TextConversionReportsTheSizeItNeeds) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, NULL, 0), 4);
    WCHAR wide[8];
    SetLastError(kSentinel);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdefghij", -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    const WCHAR abc[] = {'a', 'b', 'c', 0};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, abc, -1, NULL, 0, NULL, NULL), 4);
    char narrow[3];
    SetLastError(kSentinel);
    EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, abc, -1, narrow, 3, NULL, NULL), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// A character the code page lacks becomes its best fit, a look-alike letter, unless
// WC_NO_BEST_FIT_CHARS asks for the default character. UTF-8 takes no default character
// (Wine 8 takes one).
TEST_F(PlatformContract, CharactersACodePageLacks) {
    const WCHAR text[] = {'o', 0x151 /* o with double acute */, 0x416 /* Cyrillic Zhe */};
    char out[8];
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text, 3, out, 8, "?", &used), 3);
    EXPECT_EQ(std::string(out, 3), "o??");
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(1252, 0, text, 3, out, 8, "?", &used), 3);
    EXPECT_EQ(std::string(out, 3), "oo?");
    const WCHAR so[] = {0x30BD};  // Katakana So: 83 5C in code page 932
    EXPECT_EQ(WideCharToMultiByte(932, 0, so, 1, out, 8, NULL, NULL), 2);
    EXPECT_EQ(std::string(out, 2), "\x83\x5C");
    if (contract::RunningOnWine()) return;
    SetLastError(kSentinel);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, so, 1, out, 8, "?", NULL), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// A redirected standard output is no console: the console calls refuse it, and the process
// list needs room for one process at least.
TEST_F(PlatformContract, ConsoleCallsOnARedirectedOutput) {
    if (!contract::StandardOutputRedirected()) GTEST_SKIP() << "the output is a console";
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = kSentinel, written = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetConsoleMode(out, &mode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    const WCHAR x[] = {'x'};
    SetLastError(kSentinel);
    EXPECT_FALSE(WriteConsoleW(out, x, 1, &written, NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DWORD list[1];
    SetLastError(kSentinel);
    EXPECT_EQ(GetConsoleProcessList(list, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
