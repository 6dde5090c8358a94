// The contract cases' machine, described through the simulated machine's builders.
#include "tests/contracts/contract_setup.h"
#include "tests/support/sim_test.h"

#include <string>
#include <vector>

namespace contract {

const char kKeyPath[] = "SOFTWARE\\KorvantaContract";

void Begin() { FreshProcess(); }

void End() { ExpectNothingOpen(); }

void SetString(const char* subkey, const char* name, const char* value) {
    std::string path = kKeyPath;
    if (*subkey) path += std::string("\\") + subkey;
    sim::machine().registry.SetString(HKEY_LOCAL_MACHINE, path, name, value);
}

void SetBytes(const char* name, DWORD type, const void* data, DWORD size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    sim::machine().registry.SetRaw(HKEY_LOCAL_MACHINE, kKeyPath, name, type,
                                   std::vector<BYTE>(bytes, bytes + size));
}

char DriveWithDosDevice() {
    sim::AddFixedDisk(sim::machine(), 'C', 0);
    return 'C';
}

bool StandardOutputRedirected() {
    sim::machine().console.output = sim::Stream::File;
    return true;
}

bool RunningOnWine() { return false; }

}  // namespace contract
