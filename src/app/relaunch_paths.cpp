#include "app/relaunch_paths.h"

#include "app/command_line.h"
#include "app/wide_text.h"

const char* const CopyNamePrefix = "korvanta-copy-";
const char* const CopyNameSuffix = ".exe";

namespace {

// The most digits a DWORD has in decimal.
const size_t kMaxDecimalDigits = 10;

WCHAR Upper(WCHAR c) { return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 'a' + 'A') : c; }

// Whether `text` begins with the ASCII `ascii` without regard to case; `rest` then points
// past it.
bool StartsWithNoCase(const WCHAR* text, const char* ascii, const WCHAR** rest) {
    for (; *ascii != 0; ++text, ++ascii)
        if (*text == 0 || Upper(*text) != Upper(static_cast<WCHAR>(*ascii))) return false;
    *rest = text;
    return true;
}

// Whether `text` begins with one to ten decimal digits; `rest` then points past them.
bool SkipDecimal(const WCHAR* text, const WCHAR** rest) {
    size_t n = 0;
    while (text[n] >= '0' && text[n] <= '9') ++n;
    if (n == 0 || n > kMaxDecimalDigits) return false;
    *rest = text + n;
    return true;
}

}  // namespace

bool SamePath(const WCHAR* a, const WCHAR* b) {
    for (; *a != 0 && *b != 0; ++a, ++b)
        if (Upper(*a) != Upper(*b)) return false;
    return *a == *b;
}

bool CopyPathFor(const WCHAR* folder, DWORD processId, unsigned attempt, WCHAR* out, size_t size) {
    WideBuilder path = StartWide(out, size);
    AddWide(&path, folder);
    AddAscii(&path, CopyNamePrefix);
    AddDecimal(&path, processId);
    AddAscii(&path, "-");
    AddDecimal(&path, attempt);
    AddAscii(&path, CopyNameSuffix);
    return path.fits;
}

bool IsCopyName(const WCHAR* name) {
    const WCHAR* p = name;
    return StartsWithNoCase(p, CopyNamePrefix, &p) && SkipDecimal(p, &p) &&
           StartsWithNoCase(p, "-", &p) && SkipDecimal(p, &p) &&
           StartsWithNoCase(p, CopyNameSuffix, &p) && *p == 0;
}

bool CopyCommandLine(const WCHAR* copyPath, const WCHAR* const* targets, int targetCount,
                     DWORD waitSeconds, DWORD originalId, WCHAR* out, size_t size) {
    WideBuilder line = StartWide(out, size);
    for (const WCHAR* p = copyPath; *p != 0; ++p)
        if (*p == '"') return false;
    AddAscii(&line, "\"");
    AddWide(&line, copyPath);
    AddAscii(&line, "\"");
    for (int k = 0; k < targetCount; ++k) {
        AddAscii(&line, " ");
        AddArgument(&line, targets[k]);
    }
    if (waitSeconds != 0) {
        AddAscii(&line, " --wait=");
        AddDecimal(&line, waitSeconds);
    }
    AddAscii(&line, " ");
    AddAscii(&line, RelaunchMarker);
    AddDecimal(&line, originalId);
    return line.fits;
}
