#include "app/console.h"

#include "platform/win32.h"

#include <cstdarg>
#include <cstdio>

namespace {

void WriteFormatted(DWORD stream, const char* format, va_list args) {
    char line[1024];
    int length = std::vsnprintf(line, sizeof line, format, args);
    if (length < 0) return;
    DWORD bytes = static_cast<DWORD>(length) < sizeof line ? static_cast<DWORD>(length)
                                                           : static_cast<DWORD>(sizeof line - 1);
    DWORD written = 0;
    HANDLE out = GetStdHandle(stream);
    if (out != NULL && out != INVALID_HANDLE_VALUE) WriteFile(out, line, bytes, &written, NULL);
}

}  // namespace

void ConsolePrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteFormatted(STD_OUTPUT_HANDLE, format, args);
    va_end(args);
}

void ConsoleError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteFormatted(STD_ERROR_HANDLE, format, args);
    va_end(args);
}
