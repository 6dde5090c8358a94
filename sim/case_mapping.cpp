// Upper and lower case as kernel32's LCMapStringW gives them without linguistic casing: the
// file system's table, the same for every locale. The simulated machine knows the letters of
// the Latin, Greek and Cyrillic blocks and the full-width Latin ones; other characters have
// no case here. As in the file system's table, final sigma has no upper case of its own.
#include "fault.h"
#include "machine.h"

#include <string>

using sim::Fail;
using sim::FaultHere;

namespace {

// Whether `c` lies in [first, last] on the member of its pair that `odd` names (the pairs of
// Latin Extended-A and Cyrillic: upper case on one parity, lower case on the next).
bool InPairs(char16_t c, char16_t first, char16_t last, bool odd) {
    return c >= first && c <= last && (c % 2 == 1) == odd;
}

char16_t Upper(char16_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F) ||
        (c >= 0xFF41 && c <= 0xFF5A))
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    if (InPairs(c, 0x101, 0x137, true) || InPairs(c, 0x14B, 0x177, true) ||
        InPairs(c, 0x13A, 0x148, false) || InPairs(c, 0x17A, 0x17E, false) ||
        InPairs(c, 0x461, 0x481, true) || InPairs(c, 0x48B, 0x4BF, true) ||
        InPairs(c, 0x4C2, 0x4CE, false) || InPairs(c, 0x4D1, 0x52F, true))
        return static_cast<char16_t>(c - 1);
    return c;
}

char16_t Lower(char16_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F) ||
        (c >= 0xFF21 && c <= 0xFF3A))
        return static_cast<char16_t>(c + 0x20);
    if (c == 0x178) return 0xFF;
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    if (InPairs(c, 0x100, 0x136, false) || InPairs(c, 0x14A, 0x176, false) ||
        InPairs(c, 0x139, 0x147, true) || InPairs(c, 0x179, 0x17D, true) ||
        InPairs(c, 0x460, 0x480, false) || InPairs(c, 0x48A, 0x4BE, false) ||
        InPairs(c, 0x4C1, 0x4CD, true) || InPairs(c, 0x4D0, 0x52E, false))
        return static_cast<char16_t>(c + 1);
    return c;
}

}  // namespace

int WINAPI LCMapStringW(LCID, DWORD dwMapFlags, LPCWSTR lpSrcStr, int cchSrc, LPWSTR lpDestStr,
                        int cchDest) {
    if (FaultHere("LCMapStringW")) return Fail(ERROR_INVALID_PARAMETER, 0);
    if (dwMapFlags != LCMAP_UPPERCASE && dwMapFlags != LCMAP_LOWERCASE)
        return Fail(ERROR_INVALID_FLAGS, 0);
    if (lpSrcStr == nullptr || cchSrc == 0 || cchDest < 0 || (cchDest > 0 && lpDestStr == nullptr))
        return Fail(ERROR_INVALID_PARAMETER, 0);
    // A negative length: up to the terminator, which is mapped too.
    size_t n =
        cchSrc > 0 ? static_cast<size_t>(cchSrc) : std::char_traits<char16_t>::length(lpSrcStr) + 1;
    if (cchDest == 0) return static_cast<int>(n);
    if (static_cast<size_t>(cchDest) < n) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    for (size_t k = 0; k < n; ++k)
        lpDestStr[k] = dwMapFlags == LCMAP_UPPERCASE ? Upper(lpSrcStr[k]) : Lower(lpSrcStr[k]);
    return static_cast<int>(n);
}
