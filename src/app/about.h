// The informational forms of the command line: --help and --version.
#pragma once

#include <cstddef>

// --help: the usage on standard output. Returns the exit code, 0.
int ShowHelp();

// Reads the file version of the running program from its version resource as
// "major.minor.patch" (with ".build" when the build number is not zero) into `text`.
// Returns false, with `text` empty, when the program has no readable version resource.
bool ReadProgramVersion(char* text, size_t size);

// --version: "Korvanta <version>" on standard output and 0, or a line on standard error
// and 1 when the version resource cannot be read.
int ShowVersion();

// The usage line, with its line feed: the first line of --help, and alone on standard error
// for a command line that was not understood.
extern const char* const UsageLine;
