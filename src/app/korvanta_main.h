// The tool's one run: take the single-instance guard, start up, find the supported USB
// drives with media, eject the one with the highest letter (or the one named, or each of
// them) and report.
#pragma once

// The product page opened when no drive is found; set at build time.
extern const char* const ProductPageAddress;

// Runs the tool once on the process command line and returns the process exit code.
// Without arguments: 0 for ejected or no drive, 1 for a second instance, a start-up failure
// or a failed ejection. The other forms are those of app/command_line.h; 2 for arguments
// that are not understood. Alone in a console window of its own, the tool keeps the window
// after its report (app/console_window.h).
int KorvantaMain();
