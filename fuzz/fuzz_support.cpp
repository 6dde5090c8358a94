#include "fuzz/fuzz_support.h"

#include "sdk/device/device_table.h"
#include "sdk/scan/controller_scan.h"
#include "sim/builders.h"
#include "tools/process_state.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void FreshProcess() { scenario::ResetProcessState(); }

void TraceOn() {
    sim::machine().registry.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", 1);
}

void CheckNothingOpen() {
    const sim::Machine& m = sim::machine();
    if (!m.pendingAspi.empty()) return;
    sim::Leaks leaks = m.OpenObjects();
    if (leaks.Total() == 0) return;
    std::fprintf(stderr,
                 "left open: %d handles, %d device-information sets, %d registry keys, "
                 "%d libraries, %d allocations\n",
                 leaks.handles, leaks.deviceInfoSets, leaks.registryKeys, leaks.libraries,
                 leaks.allocations);
    for (const auto& object : m.objects) std::fprintf(stderr, "  %s\n", object.second.name.c_str());
    std::abort();
}

const std::vector<sim::ControllerProfile>& Profiles() {
    static const std::vector<sim::ControllerProfile> kProfiles = sim::BuiltInControllerProfiles();
    return kProfiles;
}

namespace {

// The pieces of a controller image.
enum Piece : uint8_t {
    kInquiry,
    kIdentificationCurrent,
    kIdentificationEarly,
    kSfr,
    kFlashInfo,
    kRamPage,
    kRamAtAddress,
    kEarlyInfoBlock,
    kMemory,
    kFlashPage,
    kFault,
    kPieceKinds
};

}  // namespace

std::shared_ptr<sim::SmiController> ReadController(FuzzReader& in) {
    sim::ControllerProfile profile = Profiles()[in.Byte() % Profiles().size()];
    profile.image = sim::ControllerImage();
    sim::ControllerImage& image = profile.image;
    std::vector<sim::ControllerFault> faults;
    while (!in.Done()) {
        switch (in.Byte() % kPieceKinds) {
            case kInquiry: image.inquiry = in.Bytes(); break;
            case kIdentificationCurrent: image.identificationCurrent = in.Bytes(); break;
            case kIdentificationEarly: image.identificationEarly = in.Bytes(); break;
            case kSfr: image.sfr = in.Bytes(); break;
            case kFlashInfo: image.flashInfo = in.Bytes(); break;
            case kRamPage: {
                unsigned page = in.Word();
                image.ramPages[page] = in.Bytes();
                break;
            }
            case kRamAtAddress: {
                DWORD address = in.Dword();
                image.ramAtAddress[address] = in.Bytes();
                break;
            }
            case kEarlyInfoBlock: {
                unsigned selector = in.Word();
                image.earlyInfoBlocks[selector] = in.Bytes();
                break;
            }
            case kMemory: {
                sim::MemoryRange range;
                range.space = in.Byte();
                range.address = in.Dword() & 0xFFFFFF;
                BYTE access = in.Byte();
                range.readable = (access & 1) != 0;
                range.writable = (access & 2) != 0;
                range.bytes = in.Bytes();
                image.memory.push_back(range);
                break;
            }
            case kFlashPage: {
                sim::FlashPage page;
                page.block = in.Word();
                page.page = in.Word();
                page.data = in.Bytes();
                image.flashPages.push_back(page);
                break;
            }
            case kFault: {
                sim::ControllerFault fault;
                fault.form = static_cast<sim::ControllerForm>(
                    in.Byte() % (static_cast<int>(sim::ControllerForm::Unknown) + 1));
                fault.times = in.Byte();
                uint32_t at = in.Dword();
                fault.at = at == 0xFFFFFFFFu ? -1 : static_cast<long long>(at);
                faults.push_back(fault);
                break;
            }
        }
    }
    auto controller = std::make_shared<sim::SmiController>(profile);
    controller->faults = faults;
    return controller;
}

void WriteController(FuzzWriter& out, size_t index, const sim::ControllerImage& image) {
    out.Byte(static_cast<uint8_t>(index));
    auto piece = [&](Piece kind, const std::vector<BYTE>& bytes) {
        if (bytes.empty()) return;
        out.Byte(kind);
        out.Bytes(bytes);
    };
    piece(kInquiry, image.inquiry);
    piece(kIdentificationCurrent, image.identificationCurrent);
    piece(kIdentificationEarly, image.identificationEarly);
    piece(kSfr, image.sfr);
    piece(kFlashInfo, image.flashInfo);
    for (const auto& page : image.ramPages) {
        out.Byte(kRamPage);
        out.Word(static_cast<uint16_t>(page.first));
        out.Bytes(page.second);
    }
    for (const auto& page : image.ramAtAddress) {
        out.Byte(kRamAtAddress);
        out.Dword(page.first);
        out.Bytes(page.second);
    }
    for (const auto& block : image.earlyInfoBlocks) {
        out.Byte(kEarlyInfoBlock);
        out.Word(static_cast<uint16_t>(block.first));
        out.Bytes(block.second);
    }
    for (const sim::MemoryRange& range : image.memory) {
        out.Byte(kMemory);
        out.Byte(range.space);
        out.Dword(range.address);
        out.Byte(static_cast<uint8_t>((range.readable ? 1 : 0) | (range.writable ? 2 : 0)));
        out.Bytes(range.bytes);
    }
    for (const sim::FlashPage& page : image.flashPages) {
        out.Byte(kFlashPage);
        out.Word(static_cast<uint16_t>(page.block));
        out.Word(static_cast<uint16_t>(page.page));
        out.Bytes(page.data);
    }
}

void PassThroughMachine(std::shared_ptr<sim::ScsiTarget> target) {
    sim::Machine& m = sim::machine();
    TraceOn();
    sim::AddUsbFlashDrive(m, kControllerLetter, 1);
    m.FindVolume(kControllerLetter)->target = std::move(target);
}

void AspiMachine(std::shared_ptr<sim::ScsiTarget> target) {
    sim::Machine& m = sim::machine();
    TraceOn();
    m.version.major = 4;
    m.version.minor = 10;
    m.version.build = 1998;
    m.version.platformId = VER_PLATFORM_WIN32_WINDOWS;
    m.aspi.installed = true;
    sim::HostAdapter adapter;
    adapter.target = std::move(target);
    m.aspi.adapters.push_back(adapter);
    sim::AddLegacyUnit(m, "C1000", "SCSI\\SMI_USB_DISK\\SMIMB_7F01", "DiskDrive", kControllerLetter,
                       0, 0);
    m.vwin32.present = true;
}

void HandOutEachRecord(int count) {
    for (int index = 0; index < count; ++index) {
        SMIDiskInfo info;
        ResetSMIDiskInfo(&info);
        if (OpenSMIDiskByIndex(index, &info)) CloseSMIDisk(&info);
    }
}

}  // namespace fuzz
