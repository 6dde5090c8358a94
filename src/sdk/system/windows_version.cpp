#include "sdk/system/windows_version.h"

#include "platform/win32.h"

#include <cstring>

namespace {

OSVERSIONINFOA QueryVersion() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    // A failed query leaves the zeroed record: version 0.0 counts as none of the families.
    GetVersionExA(&info);
    return info;
}

}  // namespace

int IsLegacyWindows() { return QueryVersion().dwMajorVersion == 4 ? 1 : 0; }

int IsWindowsME() {
    OSVERSIONINFOA info = QueryVersion();
    return info.dwMajorVersion == 4 && info.dwMinorVersion == 90 ? 1 : 0;
}

int IsVistaOrLater() { return QueryVersion().dwMajorVersion >= 6 ? 1 : 0; }
