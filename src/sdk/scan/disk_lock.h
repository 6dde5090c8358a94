// Disk lock settings shared with the drive-letter list request.
#pragma once

// Keep-open flag of the disk lock: while nonzero, a locked device stays open between
// requests. Every drive-letter list request resets it to 0.
extern int KeepDiskOpen;

// Clears the keep-open flag, as at program start.
void ResetDiskLockSettings();
