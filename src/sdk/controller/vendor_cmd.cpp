#include "sdk/controller/vendor_cmd.h"

#include "sdk/controller/flash_identity.h"
#include "sdk/controller/vendor_cdb.h"

#include <algorithm>
#include <cstring>

namespace {

const char kRamFailed[] = "The Read RAM Command is failed";
const char kSfrFailed[] = "The Read SFR Command is failed";
const char kFlashFailed[] = "The Read Flash Command is failed";

// The largest transfer byte 11 of a flash page read can carry.
const int kMaxFlashPageBytes = 255 * kSectorSize;

bool UsableBuffer(const BYTE* out, int length) { return length >= 0 && (out || length == 0); }

// Zeroes the caller's buffer and leaves the failure text at byte 432 where it fits whole.
int Fail(BYTE* out, int length, const char* message, int status) {
    if (out == NULL || length <= 0) return status;
    std::memset(out, 0, static_cast<size_t>(length));
    size_t need = kFailureMessageOffset + std::strlen(message) + 1;
    if (static_cast<size_t>(length) >= need)
        std::memcpy(out + kFailureMessageOffset, message, std::strlen(message) + 1);
    return status;
}

// Sends a data-in form into a zeroed local reply buffer of `replySize` bytes.
bool ReadInto(ScsiRequest* request, const VendorCdb& command, BYTE* reply, size_t replySize) {
    std::memset(reply, 0, replySize);
    DWORD length = std::min<DWORD>(command.length, static_cast<DWORD>(replySize));
    return CSMISCSICmd::SCSIPassThroughRead(request, reply, length, command.cdb) != 0;
}

void CopyOut(BYTE* out, int length, const BYTE* reply, size_t replySize) {
    size_t n = std::min(static_cast<size_t>(length), replySize);
    if (n) std::memcpy(out, reply, n);
}

}  // namespace

int CSMIVendorCmd::ReadControllerRam(int modelCode, ScsiRequest* request, DWORD pageOrAddress,
                                     BYTE* out, int length) {
    if (!UsableBuffer(out, length)) return kVendorReadFailed;
    BYTE reply[kRamReplySize];
    if (!ReadInto(request, RamReadCdb(modelCode, pageOrAddress), reply, sizeof reply))
        return Fail(out, length, kRamFailed, kVendorReadFailed);
    CopyOut(out, length, reply, sizeof reply);
    return 0;
}

int CSMIVendorCmd::ReadControllerSfr(int modelCode, ScsiRequest* request, BYTE* out, int length) {
    if (!UsableBuffer(out, length)) return kVendorReadFailed;
    BYTE reply[kSfrReplySize];
    if (!ReadInto(request, SfrReadCdb(modelCode), reply, sizeof reply))
        return Fail(out, length, kSfrFailed, kVendorReadFailed);
    CopyOut(out, length, reply, sizeof reply);
    return 0;
}

int CSMIVendorCmd::ReadFlashInfo(int modelCode, ScsiRequest* request, BYTE* out, int length) {
    if (!UsableBuffer(out, length)) return kFlashInfoReadFailed;
    // The record is completed here, in a buffer that holds every position the completion
    // writes, whatever the caller's length; the caller gets its share of the result.
    BYTE record[kFlashInfoReplySize];
    if (!ReadInto(request, FlashInfoCdb(modelCode), record, sizeof record))
        return Fail(out, length, kFlashFailed, kFlashInfoReadFailed);
    int status = CompleteFlashIdentity(modelCode, request, record);
    CopyOut(out, length, record, sizeof record);
    return status;
}

int CSMIVendorCmd::ReadFlashPages(int modelCode, ScsiRequest* request, unsigned block,
                                  unsigned page, BYTE* out, int length, BYTE control10,
                                  BYTE control7, BYTE control9, BYTE control6) {
    (void)modelCode;  // one form serves every model
    if (!UsableBuffer(out, length)) return kVendorReadFailed;
    // The caller finds zeros on every failure, a length the command cannot carry included.
    if (length > 0) std::memset(out, 0, static_cast<size_t>(length));
    if (length == 0 || length % kSectorSize != 0 || length > kMaxFlashPageBytes)
        return kVendorReadFailed;
    VendorCdb command = FlashPageReadCdb(block, page, control6, control7, control9, control10,
                                         static_cast<BYTE>(length / kSectorSize));
    if (!CSMISCSICmd::SCSIPassThroughRead(request, out, command.length, command.cdb))
        return kVendorReadFailed;
    return 0;
}
