#include "app/console.h"

#include <cstdarg>
#include <cstdio>

namespace {

const size_t kLineBytes = 1024;
const size_t kLineUnits = 1024;
// In the ANSI code page a UTF-16 unit takes at most three bytes (UTF-8, which Windows 10 can
// make the ANSI code page); two in a double-byte code page.
const size_t kAnsiLineBytes = 3 * kLineUnits;

bool gPrinted = false;

// The stream's handle, or NULL when the process has none.
HANDLE StreamHandle(DWORD stream) {
    HANDLE h = GetStdHandle(stream);
    return h == INVALID_HANDLE_VALUE ? NULL : h;
}

bool IsConsole(HANDLE h) {
    DWORD mode = 0;
    return GetConsoleMode(h, &mode) != FALSE;
}

// '?' for a control character, which would move the cursor or end the line.
WCHAR Shown(WCHAR c) { return c < 0x20 || c == 0x7F ? static_cast<WCHAR>('?') : c; }

// `units` in the ANSI code page, at most `size` bytes; returns the byte count. A character the
// code page lacks becomes '?', never a look-alike letter (WC_NO_BEST_FIT_CHARS). A UTF-8 ANSI
// code page takes neither the flag nor a default character, and converts every character.
size_t ToAnsi(const WCHAR* units, size_t length, char* out, size_t size) {
    if (length == 0) return 0;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, static_cast<int>(length), out,
                                static_cast<int>(size), "?", NULL);
    if (n <= 0)
        n = WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(length), out,
                                static_cast<int>(size), NULL, NULL);
    if (n > 0) return static_cast<size_t>(n);
    // The conversion failed: the ASCII characters still make the line.
    size_t k = 0;
    for (; k < length && k < size; ++k)
        out[k] = units[k] < 0x80 ? static_cast<char>(units[k]) : '?';
    return k;
}

// `bytes` in the ANSI code page as UTF-16, at most `size` units; returns the unit count.
size_t FromAnsi(const char* bytes, size_t length, WCHAR* out, size_t size) {
    if (length == 0) return 0;
    int n = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(length), out,
                                static_cast<int>(size));
    if (n > 0) return static_cast<size_t>(n);
    size_t k = 0;
    for (; k < length && k < size; ++k) {
        unsigned char c = static_cast<unsigned char>(bytes[k]);
        out[k] = static_cast<WCHAR>(c < 0x80 ? c : '?');
    }
    return k;
}

void WriteUnits(DWORD stream, const WCHAR* units, size_t length) {
    gPrinted = true;
    HANDLE out = StreamHandle(stream);
    if (out == NULL) return;
    DWORD written = 0;
    if (IsConsole(out)) {
        WriteConsoleW(out, units, static_cast<DWORD>(length), &written, NULL);
        return;
    }
    char bytes[kAnsiLineBytes];
    WriteFile(out, bytes, static_cast<DWORD>(ToAnsi(units, length, bytes, sizeof bytes)), &written,
              NULL);
}

// A line in the ANSI code page: written as it is to a file, as UTF-16 to a console.
void WriteBytes(DWORD stream, const char* bytes, size_t length) {
    gPrinted = true;
    HANDLE out = StreamHandle(stream);
    if (out == NULL) return;
    DWORD written = 0;
    if (!IsConsole(out)) {
        WriteFile(out, bytes, static_cast<DWORD>(length), &written, NULL);
        return;
    }
    WCHAR units[kLineUnits];
    WriteConsoleW(out, units, static_cast<DWORD>(FromAnsi(bytes, length, units, kLineUnits)),
                  &written, NULL);
}

// Formats into `line` and returns the length, cut to the buffer; 0 when nothing formats.
size_t Format(char (&line)[kLineBytes], const char* format, va_list args) {
    int length = std::vsnprintf(line, sizeof line, format, args);
    if (length < 0) return 0;
    return static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length)
                                                     : sizeof line - 1;
}

}  // namespace

void ConsolePrint(const char* format, ...) {
    char line[kLineBytes];
    va_list args;
    va_start(args, format);
    size_t length = Format(line, format, args);
    va_end(args);
    WriteBytes(STD_OUTPUT_HANDLE, line, length);
}

void ConsoleError(const char* format, ...) {
    char line[kLineBytes];
    va_list args;
    va_start(args, format);
    size_t length = Format(line, format, args);
    va_end(args);
    WriteBytes(STD_ERROR_HANDLE, line, length);
}

void ConsolePrintText(const WCHAR* text, const char* format, ...) {
    char ascii[kLineBytes];
    va_list args;
    va_start(args, format);
    size_t length = Format(ascii, format, args);
    va_end(args);
    WCHAR line[kLineUnits];
    size_t n = 0;
    for (size_t k = 0; k < length && n < kLineUnits - 1; ++k) {
        unsigned char c = static_cast<unsigned char>(ascii[k]);
        if (c != static_cast<unsigned char>(UTF16_TEXT[0])) {
            line[n++] = static_cast<WCHAR>(c < 0x80 ? c : '?');
        } else if (text != NULL) {
            for (; *text != 0 && n < kLineUnits - 1; ++text) line[n++] = Shown(*text);
            text = NULL;  // one text a line
        }
    }
    WriteUnits(STD_OUTPUT_HANDLE, line, n);
}

bool StandardStreamIsConsole(DWORD stream) {
    HANDLE h = StreamHandle(stream);
    return h != NULL && IsConsole(h);
}

bool ConsoleHasPrinted() { return gPrinted; }

void ResetConsoleOutput() { gPrinted = false; }

void WidenAscii(const char* text, WCHAR* out, size_t units) {
    if (units == 0) return;
    size_t k = 0;
    for (; text[k] != 0 && k + 1 < units; ++k)
        out[k] = static_cast<WCHAR>(static_cast<unsigned char>(text[k]));
    out[k] = 0;
}
