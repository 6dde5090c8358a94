// Access rights as the object manager grants them: generic rights mapped to the specific
// rights of files and registry keys, and the access an I/O control code asks of its handle.
#pragma once

#include <simwin/windef.h>

namespace sim {

// The rights a file or device open is granted for `desired`: GENERIC_READ becomes
// FILE_GENERIC_READ and so on, specific rights stay as they are.
DWORD MapFileAccess(DWORD desired);

// The rights a registry key open is granted for `desired`: GENERIC_READ becomes KEY_READ and
// so on; the registry-view flags (KEY_WOW64_32KEY, KEY_WOW64_64KEY) are not rights and drop.
DWORD MapKeyAccess(DWORD desired);

// Whether a handle granted `granted` may send I/O control `code`: the code's access field
// asks for read data, write data, both or neither.
bool IoControlAllowed(DWORD code, DWORD granted);

}  // namespace sim
