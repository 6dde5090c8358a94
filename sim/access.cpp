#include "access.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

const DWORD kGenericRead = 0x80000000UL;
const DWORD kGenericWrite = 0x40000000UL;
const DWORD kGenericExecute = 0x20000000UL;
const DWORD kGenericAll = 0x10000000UL;
const DWORD kMaximumAllowed = 0x02000000UL;

struct GenericMapping {
    DWORD read, write, execute, all;
};

// winnt.h: FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS.
const GenericMapping kFileMapping = {0x120089, 0x120116, 0x1200A0, 0x1F01FF};
// winnt.h: KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS.
const GenericMapping kKeyMapping = {0x20019, 0x20006, 0x20019, 0xF003F};

DWORD Map(DWORD desired, const GenericMapping& mapping) {
    DWORD granted =
        desired & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kMaximumAllowed);
    if (desired & kGenericRead) granted |= mapping.read;
    if (desired & kGenericWrite) granted |= mapping.write;
    if (desired & kGenericExecute) granted |= mapping.execute;
    // Nobody in this machine is refused anything the object allows, so "as much as
    // allowed" is everything.
    if (desired & (kGenericAll | kMaximumAllowed)) granted |= mapping.all;
    return granted;
}

}  // namespace

DWORD MapFileAccess(DWORD desired) { return Map(desired, kFileMapping); }

DWORD MapKeyAccess(DWORD desired) {
    const DWORD kViewFlags = 0x0100 | 0x0200;  // KEY_WOW64_64KEY, KEY_WOW64_32KEY
    return Map(desired & ~kViewFlags, kKeyMapping);
}

DWORD SpecificRights(DWORD rights, const std::string& field) {
    const DWORD kNotSpecific =
        kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kMaximumAllowed;
    if ((rights & kNotSpecific) == 0) return rights;
    char why[160];
    std::snprintf(why, sizeof why,
                  ": 0x%08lX holds generic rights, which no open is compared with; name the "
                  "specific rights (FILE_READ_DATA, KEY_SET_VALUE, ...)",
                  static_cast<unsigned long>(rights));
    throw std::runtime_error(field + why);
}

DeniedRights::DeniedRights(DWORD rights) : rights_(SpecificRights(rights, "deniedAccess")) {}

bool IoControlAllowed(DWORD code, DWORD granted) {
    const DWORD kReadData = 0x0001, kWriteData = 0x0002;  // FILE_READ_DATA, FILE_WRITE_DATA
    DWORD required =
        (code >> 14) & 3;  // FILE_ANY_ACCESS 0, FILE_READ_ACCESS 1, FILE_WRITE_ACCESS 2
    if ((required & 1) && !(granted & kReadData)) return false;
    if ((required & 2) && !(granted & kWriteData)) return false;
    return true;
}

}  // namespace sim
