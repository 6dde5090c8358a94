// Drives named as people name them: a pattern with wildcards matched against a volume label
// or a device name, without regard to case in Unicode.
#pragma once

#include "platform/win32.h"

// Whether `name` matches `pattern` as a whole: '*' stands for any run of characters, '?'
// for one (a surrogate pair is one). Both are compared in upper case as the file system
// cases names, the same on every Windows whatever its language, so "флешка" matches a
// label "ФЛЕШКА". An empty pattern matches nothing, and neither does a text longer than
// MAX_PATH units.
bool NameMatches(const WCHAR* pattern, const WCHAR* name);
