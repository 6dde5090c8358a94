// Libraries the program loads when it needs them, from the system directory only.
//
// The tool runs from removable media and from the temporary folder, where anyone may leave
// a library with a system library's name. A library named by its full path in the system
// directory, loaded with LOAD_WITH_ALTERED_SEARCH_PATH, is found there, and so are the
// libraries it depends on, before any folder the program was started from.
#pragma once

#include "platform/win32.h"

// Loads `name` (a bare file name such as "version.dll") from the system directory; NULL
// when the path does not fit MAX_PATH or the library cannot be loaded. The caller frees
// what it gets with FreeLibrary.
HMODULE LoadSystemLibrary(const char* name);

// An entry point of `library` as its own function type, NULL when the library lacks it. The
// address goes through void (*)(void), which converts to any function pointer type.
template <typename Fn>
Fn EntryPoint(HMODULE library, const char* name) {
    FARPROC proc = GetProcAddress(library, name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(proc));
}
