// Lines for a person, on standard output and standard error. A stream that is a console gets
// UTF-16 (WriteConsoleW), so that every character shows as it is, whatever the console's code
// page; a stream redirected to a file or pipe gets bytes in the ANSI code page, as before, with
// '?' for a character the code page lacks.
#pragma once

#include "platform/win32.h"

#include <cstddef>

// Formats like printf and writes the result to standard output, each line ending in the single
// line feed it was given. The text is ASCII or in the ANSI code page (the SDK's texts). Output
// longer than 1023 bytes is cut.
void ConsolePrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The same on standard error, for the usage line of a command line that was not understood
// and for failures of the informational forms.
void ConsoleError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Where the UTF-16 text of ConsolePrintText goes in its format:
// ConsolePrintText(program, "Close " UTF16_TEXT " (process %lu) and try again.\n", id).
#define UTF16_TEXT "\x01"

// Formats the ASCII `format` like printf and writes it to standard output with `text`, a
// terminated UTF-16 text from Windows (a veto name, a program's or a device's name), in
// place of UTF16_TEXT. Control characters of the text show as '?', so the line stays one
// line. The whole line is cut at 1023 units.
void ConsolePrintText(const WCHAR* text, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// True when the standard stream (STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE) is a
// console rather than a file or pipe.
bool StandardStreamIsConsole(DWORD stream);

// Whether this process has printed anything on standard output or standard error, and the
// start of a process again, for the tests that run the program many times in one process.
bool ConsoleHasPrinted();
void ResetConsoleOutput();

// An ASCII text as UTF-16 in `out`, cut to `units` - 1 units and terminated.
void WidenAscii(const char* text, WCHAR* out, size_t units);
