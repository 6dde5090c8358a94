// The drives a command line's targets name among the supported drives with media, and the
// line of each target that names none.
#pragma once

#include "app/command_line.h"
#include "sdk/discovery/sysinfo.h"

struct NamedDrives {
    char letters[kMaxSysInfoLetters + 1];  // each once, terminated
    int count;
    bool named[kMaxTargets];  // whether each target names a drive
};

// Turns each "\" and "." target of `command` into the letter of the drive it stands for:
// the drive of `letters` (the `count` supported drives with media) whose volume
// holds the program's file or the current folder, through whichever subst letter or mounted
// folder; else the drive letter the path begins with. A path without one (a share) becomes
// a name, the path, which matches no label; a path that cannot be read stays, and names no
// drive. Made before the current folder is left, and before the hand-over to a copy, which
// is given the letters.
void ResolvePlaces(ParsedCommand* command, const char* letters, int count);

// The drives of `letters` that the targets name: a letter itself when it is one of them, a
// name each of them whose volume label or --list name it matches.
void FindNamedDrives(const ParsedCommand& command, const char* letters, int count,
                     NamedDrives* named);

// Prints, in command-line order, the line of each target that names no drive: "Drive F is
// not a USB drive with media." for a letter, else "No USB drive matches "<target>".". True
// when every target named a drive.
bool ReportUnnamedTargets(const ParsedCommand& command, const NamedDrives& named);
