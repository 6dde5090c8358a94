#include "app/relaunch_paths.h"

#include <cstdio>
#include <cstring>

const char* const CopyNamePrefix = "korvanta-copy-";
const char* const CopyNameSuffix = ".exe";

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameTextNoCase(const char* a, const char* b, size_t n) {
    for (size_t k = 0; k < n; ++k)
        if (Upper(a[k]) != Upper(b[k])) return false;
    return true;
}

// Whether text of `written` characters fitted `size`; a text cut short is emptied.
bool Fit(int written, char* out, size_t size) {
    if (written >= 0 && static_cast<size_t>(written) < size) return true;
    if (size > 0) out[0] = 0;
    return false;
}

}  // namespace

char DriveOfPath(const char* path) {
    if (path == NULL) return 0;
    char letter = Upper(path[0]);
    if (letter < 'A' || letter > 'Z' || path[1] != ':' || path[2] != '\\') return 0;
    return letter;
}

bool SamePath(const char* a, const char* b) {
    size_t n = std::strlen(a);
    return n == std::strlen(b) && SameTextNoCase(a, b, n);
}

bool CopyPathFor(const char* folder, DWORD processId, unsigned attempt, char* out, size_t size) {
    int written = std::snprintf(out, size, "%s%s%lu-%u%s", folder, CopyNamePrefix,
                                static_cast<unsigned long>(processId), attempt, CopyNameSuffix);
    return Fit(written, out, size);
}

bool IsCopyName(const char* name) {
    size_t n = std::strlen(name);
    size_t prefix = std::strlen(CopyNamePrefix);
    size_t suffix = std::strlen(CopyNameSuffix);
    return n > prefix + suffix && SameTextNoCase(name, CopyNamePrefix, prefix) &&
           SameTextNoCase(name + n - suffix, CopyNameSuffix, suffix);
}

bool CopyCommandLine(const char* copyPath, const ParsedCommand& command, DWORD originalId,
                     char* out, size_t size) {
    if (std::strchr(copyPath, '"') != NULL) return Fit(-1, out, size);
    char form[8] = "";
    if (command.form == CommandForm::EjectLetter)
        std::snprintf(form, sizeof form, " %c:", command.driveLetter);
    else if (command.form == CommandForm::EjectAll)
        std::snprintf(form, sizeof form, " --all");
    char wait[32] = "";
    if (command.waitSeconds != 0)
        std::snprintf(wait, sizeof wait, " --wait=%lu",
                      static_cast<unsigned long>(command.waitSeconds));
    int written = std::snprintf(out, size, "\"%s\"%s%s %s%lu", copyPath, form, wait, RelaunchMarker,
                                static_cast<unsigned long>(originalId));
    return Fit(written, out, size);
}
