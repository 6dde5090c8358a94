#include "app/name_pattern.h"

#include "app/wide_text.h"

#include <cstring>

namespace {

// Patterns and names are at most this long with their terminator; a volume label is at
// most MAX_PATH units.
const size_t kCompareUnits = MAX_PATH + 1;

// `text` in upper case in `out`. Should the case mapping fail, the text is compared as it
// is: a match then still means the name was typed as it is.
bool Upper(const WCHAR* text, WCHAR* out) {
    size_t n = WideLength(text);
    if (n >= kCompareUnits) return false;
    int units = static_cast<int>(n);
    if (n > 0 && LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text, units, out, units) != units)
        std::memcpy(out, text, n * sizeof(WCHAR));
    out[n] = 0;
    return true;
}

// The units of the character at `p`: a surrogate pair, or one unit.
size_t CharacterUnits(const WCHAR* p) {
    bool pair = p[0] >= 0xD800 && p[0] <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF;
    return pair ? 2 : 1;
}

// The wildcard match itself: on a mismatch after a '*', the star takes one more character
// and the rest of the pattern is tried again from there.
bool Matches(const WCHAR* pattern, const WCHAR* name) {
    const WCHAR* star = NULL;
    const WCHAR* resume = NULL;
    while (*name != 0) {
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
        } else if (*pattern == '?') {
            ++pattern;
            name += CharacterUnits(name);
        } else if (*pattern != 0 && *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star != NULL) {
            pattern = star;
            resume += CharacterUnits(resume);
            name = resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

}  // namespace

bool NameMatches(const WCHAR* pattern, const WCHAR* name) {
    WCHAR upperPattern[kCompareUnits];
    WCHAR upperName[kCompareUnits];
    if (pattern[0] == 0 || !Upper(pattern, upperPattern) || !Upper(name, upperName)) return false;
    return Matches(upperPattern, upperName);
}
