// Setting up a machine for the platform contract cases. The same cases run on the
// simulated machine, set up through its builders, and on a real Win32 implementation
// (Wine in CI), set up through the real API; each build links one implementation of this.
#pragma once

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <string>

namespace contract {

// UTF-16 text as the W forms take it (WCHAR is wchar_t on Windows, char16_t elsewhere).
typedef std::basic_string<WCHAR> Wide;
// ASCII `text` widened, and UTF-16 `text` that is ASCII narrowed ('?' for the rest).
inline Wide Widened(const std::string& text) { return Wide(text.begin(), text.end()); }
inline std::string Narrowed(const WCHAR* text) {
    std::string out;
    for (; *text != 0; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

// The key under HKEY_LOCAL_MACHINE that the cases own.
extern const char kKeyPath[];

// Starts a case on a machine without the cases' key; ends it, removing what the case
// made and checking, where the machine can tell, that nothing was left open.
void Begin();
void End();

// A REG_SZ value `name` = `value` (stored with its terminator) in kKeyPath\`subkey`
// ("" for kKeyPath itself), creating the keys on the way.
void SetString(const char* subkey, const char* name, const char* value);

// A value `name` in kKeyPath of `type` holding exactly `size` bytes of `data`.
void SetBytes(const char* name, DWORD type, const void* data, DWORD size);

// A drive letter whose DOS device has a target name.
char DriveWithDosDevice();

// kKeyPath opened with `access`; a failed open fails the case and gives NULL.
inline HKEY OpenContractKey(REGSAM access) {
    HKEY key = NULL;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, access, &key), ERROR_SUCCESS);
    return key;
}

// True when standard output goes to a file or pipe: on the simulated machine after it is
// made so, on Windows when the cases' output is captured (as CTest captures it).
bool StandardOutputRedirected();

// True when the cases run under Wine, for the few answers where Wine and Windows differ.
bool RunningOnWine();

class PlatformContract : public ::testing::Test {
protected:
    void SetUp() override { Begin(); }
    void TearDown() override { End(); }
};

}  // namespace contract
