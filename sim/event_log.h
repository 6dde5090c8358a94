// The event log service of the simulated machine: "wevtapi.dll" with EvtQuery, EvtNext,
// EvtRender and EvtClose over the System log the machine holds.
#pragma once

#include "machine.h"

#include <cstdint>
#include <string>

namespace sim {

extern const char kEventLogLibrary[];  // "wevtapi.dll"

// The entry point of the event log library named `name`, or null.
FARPROC EventLogProc(const std::string& name);

// The record Windows writes when process `processId` stops the removal of a device:
// Kernel-PnP event 225 with its event data (the process, the device instance ID and the
// command line, each text after its length), written at `atMs` on the virtual clock.
EventRecord RemovalVetoRecord(DWORD processId, const std::string& processName,
                              const std::string& deviceInstanceId, const std::string& commandLine,
                              int64_t atMs = 0);

// The XML of record `index` of the System log, as EvtRender with EvtRenderEventXml gives
// it, in UTF-8 (the service hands it out as UTF-16).
std::string RenderEventXml(const Machine& m, size_t index);

// The wall-clock time of a moment of the virtual clock, as an event's SystemTime:
// "2026-01-05T10:00:01.5000000Z" for 1500 ms (the clock starts at 10:00 that day).
std::string SystemTimeAt(int64_t clockMs);

}  // namespace sim
