// The controller scan over devices whose INQUIRY data come from the input. First byte: bit
// 0 chooses the ASPI road (Windows 98, one host adapter per device, each with a unit of
// its own in the registry), else the pass-through road (Windows 10, one USB flash drive per
// device from D: on). Then one piece per device: an options byte (bit 0: the volume is a
// fixed disk; bit 1: INQUIRY fails; bit 2: no device answers behind the volume) and the
// INQUIRY data. After the scan, each record is opened and closed by its index as the
// ASPI road's callers do.
#include "fuzz/fuzz_support.h"
#include "sdk/scan/controller_scan.h"
#include "sim/builders.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshProcess();
    fuzz::TraceOn();
    sim::Machine& m = sim::machine();
    fuzz::FuzzReader in(data, size);
    bool aspi = (in.Byte() & 1) != 0;
    if (aspi) {
        m.version.major = 4;
        m.version.minor = 10;
        m.version.platformId = VER_PLATFORM_WIN32_WINDOWS;
        m.aspi.installed = true;
    }
    for (int device = 0; device < 23 && !in.Done(); ++device) {
        BYTE options = in.Byte();
        auto target = std::make_shared<sim::ScriptedDevice>();
        target->inquiry = in.Bytes();
        target->failInquiry = (options & 2) != 0;
        char letter = static_cast<char>('D' + device);
        if (aspi) {
            sim::HostAdapter adapter;
            if ((options & 4) == 0) adapter.target = target;
            m.aspi.adapters.push_back(adapter);
            char key[64];
            std::snprintf(key, sizeof key, "SCSI\\SMI_USB_DISK\\SMIMB_%02X01", device);
            sim::AddLegacyUnit(m, "C" + std::to_string(1000 + device), key, "DiskDrive", letter, 0,
                               0);
        } else {
            sim::AddUsbFlashDrive(m, letter, static_cast<DWORD>(device + 1));
            sim::Volume* volume = m.FindVolume(letter);
            if ((options & 1) != 0) volume->driveType = DRIVE_FIXED;
            if ((options & 4) == 0) volume->target = target;
        }
    }
    int count = ScanSMIDisks();
    if (aspi) fuzz::HandOutEachRecord(count);
    fuzz::CheckNothingOpen();
    return 0;
}
