// A registry tree as fuzz input, for the drive-letter mapping of Windows 98 and ME. Each
// piece starts with a tag byte and a root byte (0 HKEY_DYN_DATA, else HKEY_LOCAL_MACHINE)
// and the key's path ("Config Manager\Enum\C1000"):
//   tag 0, a value: its name, its type (32 bits) and its data;
//   tag 1, a key without values;
//   tag 2, a key that refuses to be opened: the error (32 bits).
#pragma once

#include "fuzz/fuzz_input.h"
#include "sim/machine.h"

namespace fuzz {

void ReadRegistry(FuzzReader& in, sim::Registry& registry);
// The pieces that ReadRegistry turns into the HKEY_DYN_DATA and HKEY_LOCAL_MACHINE trees of
// `registry`.
void WriteRegistry(FuzzWriter& out, const sim::Registry& registry);

}  // namespace fuzz
