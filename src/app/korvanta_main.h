// The tool's one run: take the single-instance guard, start up, find the supported USB
// drives with media, eject the one with the highest letter and report.
#pragma once

// The product page opened when no drive is found; set at build time.
extern const char* const ProductPageAddress;

// Runs the tool once and returns the process exit code: 0 for ejected or no drive, 1 for a
// second instance, a start-up failure or a failed ejection.
int KorvantaMain();
