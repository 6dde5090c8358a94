// The information block and the USB strings of a controller whose flash pages, code-area
// tables, page bitmaps and settings pages come from the input, read the way the
// administrator list reads them: the disk lock (which identifies the controller), the
// strings, the whole block, the unlock. On the pass-through road the pieces follow on
// their own for the identified model: the page map, the copy choice and both copies read
// into a buffer of the length the input names. Input: the road (bit 0 of the first byte:
// ASPI), the copy buffer's length (16 bits, at most 4096), the extra selector byte, then
// the controller (fuzz_support.h).
#include "fuzz/fuzz_support.h"
#include "sdk/device/device_table.h"
#include "sdk/scan/disk_lock.h"
#include "sdk/transport/pass_through.h"
#include "sdk/controller/device_strings.h"
#include "sdk/controller/info_block.h"
#include "sdk/controller/page_map.h"

#include <vector>

namespace {

void ReadPieces(int length, BYTE extraSelector) {
    int model = CurrentModelCode;
    ScsiRequest request = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    CSMISCSICmd::OpenSMIDiskUnlocked(&request, "\\\\.\\E:");
    std::vector<WORD> map(kPageMapEntries);
    BuildPageMap(model, &request, map.data());
    int copy = kInfoBlockCopyFirst;
    ChooseInfoBlockCopy(model, &request, copy);
    std::vector<BYTE> block(static_cast<size_t>(length));
    for (int c : {kInfoBlockCopyFirst, kInfoBlockCopySecond})
        ReadInfoBlock(model, &request, c, block.data(), length, extraSelector);
    CSMISCSICmd::CloseSMIDiskHandle(&request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshProcess();
    fuzz::FuzzReader in(data, size);
    bool aspi = (in.Byte() & 1) != 0;
    int length = in.Word() % 4097;
    BYTE extraSelector = in.Byte();
    auto controller = fuzz::ReadController(in);

    SMIDiskInfo info;
    ResetSMIDiskInfo(&info);
    info.driveLetter = fuzz::kControllerLetter;
    if (aspi) {
        fuzz::AspiMachine(controller);
        UseASPI = 1;
        info.aspiModule = LoadLibraryA("wnaspi32.dll");
    } else {
        fuzz::PassThroughMachine(controller);
    }
    LockSMIDisk(&info, 0);
    std::vector<char> vendor(kDeviceStringSize), product(kDeviceStringSize);
    GetDeviceStrings(&info, vendor.data(), product.data());
    std::vector<BYTE> block(kInfoBlockReadSize);
    ReadDiskInfoBlock(&info, block.data());
    UnLockSMIDisk(&info);
    if (aspi) FreeLibrary(info.aspiModule);
    if (!aspi) ReadPieces(length, extraSelector);
    fuzz::CheckNothingOpen();
    return 0;
}
