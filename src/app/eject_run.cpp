#include "app/eject_run.h"

#include "app/console.h"
#include "app/eject.h"
#include "app/veto_owner.h"
#include "sdk/discovery/sysinfo.h"

#include <cstring>

namespace {

// One USB device to eject and the drive letters on it, highest first.
struct DeviceGroup {
    bool found;      // its device was found; else `errorText` says why not
    DEVINST device;  // 0 for a disk without a parent: never shared with another letter
    char deviceInstanceId[kDeviceInstanceIdBytes];
    char errorText[kEjectTextBytes];
    char letters[kMaxSysInfoLetters + 1];
    int letterCount;
};

// Every distinct letter is a group at most.
struct DeviceGroups {
    DeviceGroup group[kMaxSysInfoLetters];
    int count;
};

// The blockers already named during one device's wait. A wait of kMaxWaitSeconds could meet
// more distinct ones than this; those past the limit are not named, so that none is ever
// named twice.
const int kMaxNamedBlockers = 32;

struct NamedBlockers {
    VetoOwner owner[kMaxNamedBlockers];
    int count;
};

// The tick count moves in steps of 10 to 16 ms, so the records of a run are looked for from a
// little before its first request; an earlier run's last request is followed by a 500 ms
// pause before that run ends.
const DWORD kTickStepMs = 100;

void AddLetter(DeviceGroup* g, char letter) {
    // Kept highest first.
    int k = g->letterCount;
    while (k > 0 && g->letters[k - 1] < letter) {
        g->letters[k] = g->letters[k - 1];
        --k;
    }
    g->letters[k] = letter;
    g->letters[++g->letterCount] = 0;
}

// A group of `letter` alone, with the device it belongs to.
void StartGroup(DeviceGroup* g, char letter) {
    std::memset(g, 0, sizeof *g);
    g->found = FindEjectableDevice(letter, &g->device, g->errorText, g->deviceInstanceId);
    AddLetter(g, letter);
}

// Finds the device of `letter` and adds the letter to its group, or to a new one.
void AddToGroups(DeviceGroups* groups, char letter) {
    for (int k = 0; k < groups->count; ++k)
        if (std::strchr(groups->group[k].letters, letter) != NULL) return;
    DeviceGroup* fresh = &groups->group[groups->count];
    StartGroup(fresh, letter);
    if (fresh->found && fresh->device != 0) {
        for (int k = 0; k < groups->count; ++k) {
            DeviceGroup* g = &groups->group[k];
            if (g->found && g->device == fresh->device) {
                AddLetter(g, letter);
                return;
            }
        }
    }
    ++groups->count;
}

// Devices in the order of their highest letter, highest first.
void SortGroups(DeviceGroups* groups) {
    for (int i = 1; i < groups->count; ++i)
        for (int k = i; k > 0 && groups->group[k - 1].letters[0] < groups->group[k].letters[0];
             --k) {
            DeviceGroup swap = groups->group[k];
            groups->group[k] = groups->group[k - 1];
            groups->group[k - 1] = swap;
        }
}

bool SameText(const WCHAR* a, const WCHAR* b) {
    for (; *a != 0 && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

bool AlreadyNamed(const NamedBlockers& named, const VetoOwner& owner) {
    for (int k = 0; k < named.count; ++k)
        if (named.owner[k].processId == owner.processId &&
            SameText(named.owner[k].program, owner.program))
            return true;
    return false;
}

// The blocker the System log holds for the device among the records written since this
// run's first ejection request for it (tick count `firstRequest`): an older record, left by an
// earlier run, may name a program already closed.
bool FindBlocker(const DeviceGroup& g, DWORD firstRequest, VetoOwner* owner) {
    return FindVetoOwner(g.deviceInstanceId, GetTickCount() - firstRequest + kTickStepMs, owner);
}

// Names the blocker the System log now holds for the device, unless it was named before.
void NameNewBlocker(const DeviceGroup& g, DWORD firstRequest, NamedBlockers* named) {
    VetoOwner owner;
    if (!FindBlocker(g, firstRequest, &owner) || AlreadyNamed(*named, owner) ||
        named->count == kMaxNamedBlockers)
        return;
    named->owner[named->count++] = owner;
    PrintVetoOwnerLine(owner, g.letters[0]);
}

// Asks once a second while the removal stays vetoed, until a request returns with
// `waitSeconds` gone since the waiting line. A request may itself take seconds (Windows asks
// every driver of the device first), so the wait goes by the clock, not by its turns; the
// tick count's subtraction stays right across its wrap after 49.7 days.
EjectOutcome WaitForDevice(const DeviceGroup& g, DWORD firstRequest, DWORD waitSeconds,
                           WCHAR (&reason)[MAX_PATH]) {
    ConsolePrint("Drive %c is in use; waiting up to %lu second%s.\n", g.letters[0],
                 static_cast<unsigned long>(waitSeconds), waitSeconds == 1 ? "" : "s");
    const DWORD start = GetTickCount();
    NamedBlockers named;
    named.count = 0;
    NameNewBlocker(g, firstRequest, &named);
    EjectOutcome outcome = EjectOutcome::Vetoed;
    do {
        Sleep(kWaitPauseMs);
        WCHAR text[MAX_PATH];
        outcome = RequestEjection(g.device, text);
        // A request that fails naming nothing (the stick was pulled) leaves the wait's last
        // veto name for the failure line.
        if (outcome != EjectOutcome::Failed || text[0] != 0) std::memcpy(reason, text, sizeof text);
        if (outcome == EjectOutcome::Vetoed) NameNewBlocker(g, firstRequest, &named);
    } while (outcome == EjectOutcome::Vetoed && GetTickCount() - start < waitSeconds * 1000);
    return outcome;
}

// Ejects one device and prints its lines. True when it was ejected.
bool EjectGroup(const DeviceGroup& g, DWORD waitSeconds) {
    // The reason shown: a stage's own, or the veto name Windows gives, in UTF-16.
    WCHAR reason[MAX_PATH];
    WidenAscii(g.errorText, reason, MAX_PATH);
    const DWORD firstRequest = GetTickCount();
    EjectOutcome outcome = g.found ? EjectDevice(g.device, reason) : EjectOutcome::Failed;
    bool waited = outcome == EjectOutcome::Vetoed && waitSeconds != 0;
    if (waited) outcome = WaitForDevice(g, firstRequest, waitSeconds, reason);

    for (int k = 0; k < g.letterCount; ++k) {
        if (outcome == EjectOutcome::Ejected)
            ConsolePrint("Drive %c Ejected\n", g.letters[k]);
        else
            ConsolePrintText(reason, "Problem ejecting drive %c: " UTF16_TEXT "\n", g.letters[k]);
    }
    // Windows logs which process stopped the removal; naming it tells the user what to
    // close. A wait has named every blocker already.
    if (outcome != EjectOutcome::Ejected && !waited) {
        VetoOwner owner;
        if (FindBlocker(g, firstRequest, &owner)) PrintVetoOwnerLine(owner, g.letters[0]);
    }
    return outcome == EjectOutcome::Ejected;
}

int Report(bool allEjected) {
    MessageBeep(allEjected ? MB_OK : MB_ICONHAND);
    return allEjected ? 0 : 1;
}

}  // namespace

int EjectAndReport(char target, DWORD waitSeconds) {
    DeviceGroup g;
    StartGroup(&g, target);
    return Report(EjectGroup(g, waitSeconds));
}

int EjectAllAndReport(const char* letters, int count, DWORD waitSeconds, bool failedBefore) {
    DeviceGroups groups;
    groups.count = 0;
    for (int k = 0; k < count && k < kMaxSysInfoLetters; ++k) AddToGroups(&groups, letters[k]);
    SortGroups(&groups);
    bool allEjected = !failedBefore;
    for (int k = 0; k < groups.count; ++k)
        if (!EjectGroup(groups.group[k], waitSeconds)) allEjected = false;
    return Report(allEjected);
}
