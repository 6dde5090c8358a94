#include "sdk/transport/pass_through.h"

#include "sdk/system/drive_paths.h"
#include "sdk/system/windows_version.h"
#include "sdk/transport/scsi_commands.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

const int kCommandAttempts = 6;
const DWORD kRetryPauseMs = 100;
const int kLockTries = 200;
// The longest directory path whose volume IsNTFSVolume asks for, with its trailing
// backslash and terminator: a device interface path is at most 512 characters.
const size_t kRootPathBytes = 514;
const DWORD kLockPauseMs = 100;
const UCHAR kScsiTargetId = 1;
const ULONG kSenseBytes = 32;

// The direct block: the pass-through header, a filler and a sense area. Sense data is not
// asked for, but the area is there for drivers that write it anyway.
struct DirectBlock {
    SCSI_PASS_THROUGH_DIRECT header;
    ULONG filler;
    UCHAR sense[kSenseBytes];
};

// The buffered INQUIRY block: header, filler, sense area and the data area.
struct InquiryBlock {
    SCSI_PASS_THROUGH header;
    ULONG filler;
    UCHAR sense[kSenseBytes];
    UCHAR data[2048];
};

#ifdef KORVANTA_CHECK_WIN32_LAYOUT
// The blocks as 32-bit Windows drivers expect them.
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44, "direct pass-through header");
static_assert(sizeof(SCSI_PASS_THROUGH) == 44, "buffered pass-through header");
static_assert(sizeof(DirectBlock) == 80 && offsetof(DirectBlock, sense) == 48, "direct block");
static_assert(sizeof(InquiryBlock) == 2128 && offsetof(InquiryBlock, data) == 80, "INQUIRY block");
static_assert(offsetof(InquiryBlock, sense) == 48, "INQUIRY sense area");
#endif

// Volumes whose path names a storage or SCSI device directly are never locked.
bool IsNeverLocked(const char* path) {
    for (const char* mark : {"STOR", "stor", "SCSI", "scsi"})
        if (std::strstr(path, mark) != NULL) return true;
    return false;
}

int OpenVolume(ScsiRequest* request, const char* path, bool lockWanted) {
    request->deviceHandle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                    OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, NULL);
    bool neverLocked = IsNeverLocked(path);
    if (request->deviceHandle == INVALID_HANDLE_VALUE) return 0;
    if (!lockWanted || neverLocked) return 1;
    if (!CSMISCSICmd::IsNTFSVolume(path) && !IsVistaOrLater()) return 1;

    BOOL locked = FALSE;
    for (int attempt = 0; attempt < kLockTries && !locked; ++attempt) {
        DWORD returned = 0;
        locked = DeviceIoControl(request->deviceHandle, FSCTL_LOCK_VOLUME, NULL, 0, NULL, 0,
                                 &returned, NULL);
        // The pause follows every try, the successful one too.
        Sleep(kLockPauseMs);
    }
    return locked ? 1 : 0;
}

// Fills what the direct and the buffered header share, in a header the caller has zeroed:
// the address, the command block (all 16 bytes), the direction, the transfer length, the
// time-out and where the sense area lies. The caller says where the data is.
template <typename Header>
void FillPassThroughHeader(Header* header, const ScsiRequest* request, UCHAR lun, UCHAR cdbLength,
                           const BYTE* cdb, UCHAR dataIn, ULONG length, ULONG senseOffset) {
    header->Length = sizeof *header;
    header->TargetId = kScsiTargetId;
    header->Lun = lun;
    header->CdbLength = cdbLength;
    header->SenseInfoLength = 0;
    header->DataIn = dataIn;
    header->DataTransferLength = length;
    header->TimeOutValue = static_cast<ULONG>(request->timeout);
    header->SenseInfoOffset = senseOffset;
    std::memcpy(header->Cdb, cdb, kCdbSize);
}

int SendDirect(const ScsiRequest* request, BYTE* buffer, DWORD length, const BYTE* cdb,
               UCHAR dataIn) {
    DirectBlock block;
    std::memset(&block, 0, sizeof block);
    FillPassThroughHeader(&block.header, request, static_cast<UCHAR>(request->lun),
                          kPassThroughCdbLength, cdb, dataIn, length, offsetof(DirectBlock, sense));
    block.header.DataBuffer = buffer;

    if (request->deviceHandle == INVALID_HANDLE_VALUE) return 0;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(request->deviceHandle, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block,
                              sizeof block, &block, sizeof block, &returned, NULL);
    if (dataIn == SCSI_IOCTL_DATA_OUT) FlushFileBuffers(request->deviceHandle);
    return ok ? 1 : 0;
}

int SendWithRetries(const ScsiRequest* request, BYTE* buffer, DWORD length, const BYTE* cdb,
                    UCHAR dataIn) {
    int result = 0;
    for (int attempt = 0; attempt < kCommandAttempts; ++attempt) {
        result = SendDirect(request, buffer, length, cdb, dataIn);
        if (result) break;
        Sleep(kRetryPauseMs);
    }
    return result;
}

}  // namespace

ScsiRequest MakeScsiRequest(HANDLE device, int timeoutSeconds) {
    ScsiRequest request;
    std::memset(&request, 0, sizeof request);
    request.deviceHandle = device;
    request.timeout = timeoutSeconds;
    return request;
}

int CSMISCSICmd::OpenSMIDiskLocked(ScsiRequest* request, const char* path) {
    return OpenVolume(request, path, true);
}

int CSMISCSICmd::OpenSMIDiskUnlocked(ScsiRequest* request, const char* path) {
    return OpenVolume(request, path, false);
}

int CSMISCSICmd::CloseSMIDiskHandle(ScsiRequest* request) {
    if (request->deviceHandle == INVALID_HANDLE_VALUE) return 0;
    if (IsVistaOrLater()) {
        DWORD returned = 0;
        DeviceIoControl(request->deviceHandle, FSCTL_UNLOCK_VOLUME, NULL, 0, NULL, 0, &returned,
                        NULL);
    }
    return CloseHandle(request->deviceHandle) ? 1 : 0;
}

int CSMISCSICmd::SCSIPassThroughRead(ScsiRequest* request, BYTE* buffer, DWORD length,
                                     const BYTE* cdb) {
    return SendWithRetries(request, buffer, length, cdb, SCSI_IOCTL_DATA_IN);
}

int CSMISCSICmd::SCSIPassThroughWrite(ScsiRequest* request, BYTE* buffer, DWORD length,
                                      const BYTE* cdb) {
    return SendWithRetries(request, buffer, length, cdb, SCSI_IOCTL_DATA_OUT);
}

int CSMISCSICmd::SCSIPassThroughInquiry(ScsiRequest* request, BYTE* out, int full) {
    InquiryBlock block;
    std::memset(&block, 0, sizeof block);
    BYTE cdb[kCdbSize];
    BuildInquiryCdb(cdb, kInquiryDataLength);
    FillPassThroughHeader(&block.header, request, 0, kInquiryCdbLength, cdb, SCSI_IOCTL_DATA_IN,
                          kInquiryDataLength, offsetof(InquiryBlock, sense));
    block.header.DataBufferOffset = offsetof(InquiryBlock, data);

    if (request->deviceHandle == INVALID_HANDLE_VALUE) return 0;
    DWORD returned = 0;
    BOOL ok =
        DeviceIoControl(request->deviceHandle, IOCTL_SCSI_PASS_THROUGH, &block, sizeof block.header,
                        &block, offsetof(InquiryBlock, data) + kInquiryDataLength, &returned, NULL);
    if (!ok) return 0;
    if (full)
        std::memcpy(out, block.data, kInquiryDataLength);
    else
        std::memcpy(out, block.data + 5, kInquiryShortLength);
    return 1;
}

int CSMISCSICmd::IsNTFSVolume(const char* path) {
    // "\\.\E:" names the volume whose root is "E:\"; any other path is taken as a
    // directory and gets a trailing backslash.
    char root[kRootPathBytes];
    if (std::strlen(path) == 6 && path[4] >= 'A' && path[4] <= 'Z') {
        DrivePath drive = RootPathOf(path[4]);
        std::memcpy(root, drive.text, sizeof drive.text);
    } else {
        int n = std::snprintf(root, sizeof root, "%s\\", path);
        if (n < 0 || static_cast<size_t>(n) >= sizeof root) return 0;
    }
    char volumeName[255];
    char fileSystem[80];
    std::memset(volumeName, 0, sizeof volumeName);
    std::memset(fileSystem, 0, sizeof fileSystem);
    DWORD serial = 0;
    if (!GetVolumeInformationA(root, volumeName, sizeof volumeName, &serial, NULL, NULL, fileSystem,
                               sizeof fileSystem))
        return 0;
    return std::strncmp(fileSystem, "NTFS", 4) == 0 ? 1 : 0;
}
