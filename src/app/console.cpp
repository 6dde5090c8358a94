#include "app/console.h"

#include "platform/win32.h"

#include <cstdarg>
#include <cstdio>

void ConsolePrint(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0) return;
    DWORD bytes = static_cast<DWORD>(length) < sizeof line ? static_cast<DWORD>(length)
                                                           : static_cast<DWORD>(sizeof line - 1);
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != NULL && out != INVALID_HANDLE_VALUE) WriteFile(out, line, bytes, &written, NULL);
}
