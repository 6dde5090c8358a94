// Access rights as the object manager grants them: generic rights mapped to the specific
// rights of files and registry keys, and the access an I/O control code asks of its handle.
#pragma once

#include <simwin/windef.h>

#include <string>

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

// Rights a volume or a registry key refuses, as a machine description sets them. Opens are
// compared with them after their generic rights are mapped, so a generic right (or
// MAXIMUM_ALLOWED) here would match no open and deny nothing; mapping it instead would deny
// too much, as the read and write mappings share READ_CONTROL and SYNCHRONIZE. Setting one
// throws std::runtime_error naming the field.
class DeniedRights {
public:
    DeniedRights(DWORD rights = 0);  // NOLINT: set as a plain number, like the field it was
    operator DWORD() const { return rights_; }

private:
    DWORD rights_;
};

// `rights`, when they name specific rights only; otherwise throws std::runtime_error that
// begins with `field`.
DWORD SpecificRights(DWORD rights, const std::string& field);

}  // namespace sim
