// The contract cases' machine, set up through the real registry API on the machine the
// tests run on.
#include "tests/contracts/contract_setup.h"

#include <cstdio>
#include <cstring>

namespace contract {

const char kKeyPath[] = "SOFTWARE\\KorvantaContract";

namespace {

// Removes a key and everything under it.
void DeleteTree(HKEY parent, const char* path) {
    HKEY key = NULL;
    if (RegOpenKeyExA(parent, path, 0, KEY_ENUMERATE_SUB_KEYS | DELETE, &key) != ERROR_SUCCESS)
        return;
    char name[256];
    DWORD size = sizeof name;
    while (RegEnumKeyExA(key, 0, name, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS) {
        DeleteTree(key, name);
        size = sizeof name;
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, path);
}

}  // namespace

void Begin() { DeleteTree(HKEY_LOCAL_MACHINE, kKeyPath); }

void End() { DeleteTree(HKEY_LOCAL_MACHINE, kKeyPath); }

void SetString(const char* subkey, const char* name, const char* value) {
    char path[256];
    std::snprintf(path, sizeof path, "%s%s%s", kKeyPath, *subkey ? "\\" : "", subkey);
    HKEY key = NULL;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>(std::strlen(value) + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetBytes(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = NULL;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL),
        ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

char DriveWithDosDevice() {
    char windows[MAX_PATH] = {0};
    EXPECT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    return windows[0];
}

// Wine's ntdll exports its version; Windows' does not.
bool StandardOutputRedirected() {
    DWORD mode = 0;
    return !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}

bool RunningOnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

}  // namespace contract
