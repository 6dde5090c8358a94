// What every fuzz target shares: a fresh process per input, the check that an input left
// nothing open, and controllers whose image comes from the input.
#pragma once

#include "fuzz/fuzz_input.h"
#include "sim/controller_profiles.h"
#include "sim/machine.h"
#include "sim/smi_controller.h"

#include <memory>
#include <vector>

namespace fuzz {

// The simulated machine empty and the SDK's process-wide state back at its start values,
// as when the program starts.
void FreshProcess();

// Turns the diagnostics trace on, so that the texts traced from device answers and from
// the registry are formatted too.
void TraceOn();

// Aborts, naming what is left, when a handle, device-information set, registry key,
// library or allocation is still open. An ASPI request that outlived its wait and could not
// be aborted keeps its block and event on purpose: while one is pending nothing is checked.
void CheckNothingOpen();

// The built-in controller profiles, the ones the seeds are written from.
const std::vector<sim::ControllerProfile>& Profiles();

// A controller: the profile the input's first byte chooses (its name, model code, family
// and strings) with an image made only of the input's pieces, each of them one part of the
// image (INQUIRY data, identification pages, RAM pages, SFR page, flash information,
// memory ranges, flash pages, failing command forms).
std::shared_ptr<sim::SmiController> ReadController(FuzzReader& in);

// The input that ReadController turns into profile `index` with `image`.
void WriteController(FuzzWriter& out, size_t index, const sim::ControllerImage& image);

// Machines for a controller. The pass-through road: Windows 10 with the controller behind
// the USB flash drive E:. The ASPI road: Windows 98 with the ASPI manager installed, the
// controller behind host adapter 0 and its removable unit E: in the registry.
enum { kControllerLetter = 'E' };
void PassThroughMachine(std::shared_ptr<sim::ScsiTarget> target);
void AspiMachine(std::shared_ptr<sim::ScsiTarget> target);

// On the ASPI road: hands out each of the scan's `count` records by index and releases it
// again, as the administrator list does.
void HandOutEachRecord(int count);

}  // namespace fuzz
