#include "app/veto_owner.h"

#include "app/console.h"

namespace {

// The process id Windows gives its own System process.
const DWORD kSystemProcessId = 4;

}  // namespace

void PrintVetoOwnerLine(const VetoOwner& owner, char driveLetter) {
    if (owner.processId == kSystemProcessId) {
        ConsolePrint("Windows itself (process %lu) holds drive %c:.\n",
                     static_cast<unsigned long>(owner.processId), driveLetter);
        return;
    }
    ConsolePrint("Close %s (process %lu) and try again.\n", owner.program,
                 static_cast<unsigned long>(owner.processId));
}
