// UTF-16 text as Windows hands out paths, built piece by piece in a caller's fixed buffer.
// A path stays UTF-16 from the call that gives it to the call that takes it, so a folder
// or account name outside the ANSI code page reaches the file system whole.
#pragma once

#include "platform/win32.h"

#include <cstddef>

// The units of `text` before its terminator.
size_t WideLength(const WCHAR* text);

// A text being built in `out`, which holds `size` units with the terminator. Once a piece
// does not fit, the text is emptied and stays empty; the builder says so in `fits`.
struct WideBuilder {
    WCHAR* out;
    size_t size;
    size_t length;
    bool fits;
};

WideBuilder StartWide(WCHAR* out, size_t size);
void AddWide(WideBuilder* text, const WCHAR* piece, size_t units);
void AddWide(WideBuilder* text, const WCHAR* piece);
void AddAscii(WideBuilder* text, const char* piece);
void AddDecimal(WideBuilder* text, unsigned long value);
// One argument of a command line as Windows programs take theirs apart (and as
// ParseCommandLine does): as it is when it holds no blank or double quote, else in double
// quotes with the backslashes before a quote or the closing quote doubled, and each quote
// escaped between two quoted parts.
void AddArgument(WideBuilder* text, const WCHAR* argument);
