// The reader of a vetoed removal's event, as the System log renders it: the input is the
// XML text, in a buffer of exactly its length, so a read past the end is caught. A record
// read must hold terminated texts within its buffers, and its program name must lie
// within its process name.
#include "app/veto_event.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool Terminated(const char* text, size_t size) { return std::memchr(text, 0, size) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RemovalVetoEvent event;
    if (!ParseRemovalVetoEvent(reinterpret_cast<const char*>(data), size, &event)) return 0;
    Check(Terminated(event.provider, sizeof event.provider));
    Check(Terminated(event.systemTime, sizeof event.systemTime));
    Check(Terminated(event.processName, sizeof event.processName));
    Check(Terminated(event.deviceInstanceId, sizeof event.deviceInstanceId));
    Check(Terminated(event.commandLine, sizeof event.commandLine));
    // The name as UTF-16, unit for byte: the program lies within it.
    WCHAR name[sizeof event.processName];
    size_t length = std::strlen(event.processName);
    for (size_t k = 0; k <= length; ++k)
        name[k] = static_cast<WCHAR>(static_cast<unsigned char>(event.processName[k]));
    const WCHAR* program = ProgramOfProcessName(name);
    Check(program >= name && program <= name + length);
    // An event names its own device whenever it is a vetoed removal at all.
    if (event.deviceInstanceId[0] != 0 && event.eventId == kRemovalVetoEventId &&
        std::strcmp(event.provider, RemovalVetoProvider) == 0)
        Check(IsRemovalVetoOf(event, event.deviceInstanceId));
    return 0;
}
