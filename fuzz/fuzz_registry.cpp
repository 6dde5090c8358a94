// The drive-letter mapping of Windows 98 and ME over a registry tree that comes from the
// input: the hardware-key list, the letter of each matching key, the release, then the
// scan on the ASPI road, which pairs host adapters with the list's units. First byte: bit
// 0 Windows ME, bits 1-2 the number of SMI host adapters. Then pieces (fuzz_registry.h).
#include "fuzz/fuzz_registry.h"
#include "fuzz/fuzz_support.h"
#include "sdk/scan/controller_scan.h"
#include "sdk/scan/hardware_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshProcess();
    fuzz::TraceOn();
    sim::Machine& m = sim::machine();
    fuzz::FuzzReader in(data, size);
    BYTE header = in.Byte();
    m.version.major = 4;
    m.version.minor = (header & 1) != 0 ? 90 : 10;
    m.version.platformId = VER_PLATFORM_WIN32_WINDOWS;
    m.aspi.installed = true;
    for (int k = 0; k < ((header >> 1) & 3); ++k) {
        sim::HostAdapter adapter;
        adapter.target = sim::MakeController(fuzz::Profiles()[0]);
        m.aspi.adapters.push_back(adapter);
    }
    fuzz::ReadRegistry(in, m.registry);

    HWKEYNode* head = NewHWKEYNode();
    if (head == NULL) return 0;
    int keys = ParseHWKEYList(head);
    for (int n = 0; n <= keys && n < 8; ++n) {
        char letter = 0;
        FindDiskLetter(&letter, n);
    }
    ReleaseHWKEYList(head);
    fuzz::HandOutEachRecord(ScanSMIDisks());
    fuzz::CheckNothingOpen();
    return 0;
}
