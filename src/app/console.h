// Formatted lines on standard output and standard error.
#pragma once

// Formats like printf and writes the result to standard output, byte for byte, so each
// line ends in the single line feed it was given. Output longer than 1023 bytes is cut.
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
