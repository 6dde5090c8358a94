#include "app/targets.h"

#include "app/console.h"
#include "app/drive_list.h"
#include "app/name_pattern.h"
#include "app/path_device.h"
#include "app/relaunch.h"
#include "app/relaunch_paths.h"

#include <cstring>

namespace {

char UpperLetter(WCHAR c) {
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c) : 0;
}

// The drive of `letters` whose volume `path` lies on; 0 when none is.
char DriveHolding(const WCHAR* path, const char* letters, int count) {
    WCHAR volume[kVolumeNameUnits];
    if (!VolumeOfPath(path, volume, kVolumeNameUnits)) return 0;
    for (int k = 0; k < count; ++k) {
        const WCHAR root[4] = {static_cast<WCHAR>(letters[k]), ':', '\\', 0};
        WCHAR other[kVolumeNameUnits];
        if (VolumeOfPath(root, other, kVolumeNameUnits) && SamePath(volume, other))
            return letters[k];
    }
    return 0;
}

void ResolvePlace(Target* t, const char* letters, int count) {
    WCHAR path[MAX_PATH];
    bool read = t->kind == TargetKind::ProgramDrive ? OwnImagePath(path, MAX_PATH)
                                                    : CurrentFolder(path, MAX_PATH);
    if (!read) return;
    char letter = DriveHolding(path, letters, count);
    if (letter == 0 && path[1] == ':') letter = UpperLetter(path[0]);
    if (letter == 0) {
        t->kind = TargetKind::Name;
        std::memcpy(t->text, path, sizeof t->text);
        t->text[kMaxTargetUnits - 1] = 0;
        return;
    }
    t->kind = TargetKind::Letter;
    t->letter = letter;
}

// Whether the volume label or the --list name of drive `letter` matches `pattern`.
bool DriveMatches(const WCHAR* pattern, char letter) {
    WCHAR text[kVolumeLabelUnits];
    VolumeLabel(letter, text, kVolumeLabelUnits);
    if (NameMatches(pattern, text)) return true;
    DriveDeviceName(letter, text, kVolumeLabelUnits);
    return NameMatches(pattern, text);
}

void Add(NamedDrives* named, char letter) {
    if (std::strchr(named->letters, letter) != NULL) return;
    named->letters[named->count++] = letter;
    named->letters[named->count] = 0;
}

}  // namespace

void ResolvePlaces(ParsedCommand* command, const char* letters, int count) {
    for (int k = 0; k < command->targetCount; ++k) {
        TargetKind kind = command->target[k].kind;
        if (kind == TargetKind::ProgramDrive || kind == TargetKind::CurrentDrive)
            ResolvePlace(&command->target[k], letters, count);
    }
}

void FindNamedDrives(const ParsedCommand& command, const char* letters, int count,
                     NamedDrives* named) {
    std::memset(named, 0, sizeof *named);
    for (int k = 0; k < command.targetCount; ++k) {
        const Target& t = command.target[k];
        for (int d = 0; d < count; ++d) {
            // A drive may be listed more than once (one entry per matching interface).
            if (std::memchr(letters, letters[d], static_cast<size_t>(d)) != NULL) continue;
            bool match = false;
            if (t.kind == TargetKind::Letter)
                match = letters[d] == t.letter;
            else if (t.kind == TargetKind::Name)
                match = DriveMatches(t.text, letters[d]);
            // A place whose path could not be read names no drive.
            if (!match) continue;
            named->named[k] = true;
            Add(named, letters[d]);
        }
    }
}

bool ReportUnnamedTargets(const ParsedCommand& command, const NamedDrives& named) {
    bool all = true;
    for (int k = 0; k < command.targetCount; ++k) {
        if (named.named[k]) continue;
        all = false;
        const Target& t = command.target[k];
        if (t.kind == TargetKind::Letter)
            ConsolePrint("Drive %c is not a USB drive with media.\n", t.letter);
        else
            ConsolePrintText(t.text, "No USB drive matches \"" UTF16_TEXT "\".\n");
    }
    return all;
}
