// Administrator drive list: the letters of the SMI controller devices that the controller
// scan finds, optionally narrowed by the USB vendor and product strings they store.
#pragma once

// Writes the letters to `letters` (not terminated) and returns their count.
int ListControllerDriveLetters(char* letters, const char* vendorFilter, const char* productFilter);
