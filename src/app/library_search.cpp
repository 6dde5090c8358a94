#include "app/library_search.h"

#include "platform/win32.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);

}  // namespace

void RestrictLibrarySearch() {
    // Looked up, not imported: the call is missing before Windows 8 without the update.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC proc = kernel != NULL ? GetProcAddress(kernel, "SetDefaultDllDirectories") : NULL;
    SetDefaultDllDirectoriesFn setDefault =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)(void)>(proc));
    if (setDefault != NULL && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    const WCHAR noFolder[1] = {0};
    SetDllDirectoryW(noFolder);
}
