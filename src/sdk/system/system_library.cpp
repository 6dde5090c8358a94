#include "sdk/system/system_library.h"

#include <cstring>

HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    size_t length = std::strlen(name);
    if (n == 0 || n >= MAX_PATH || n + 1 + length >= MAX_PATH) return NULL;
    path[n] = '\\';
    std::memcpy(path + n + 1, name, length + 1);
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}
