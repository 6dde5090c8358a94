#include "storage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

// How many bytes of a data-out transfer the journal keeps: enough to tell a code block
// (02 C8 03 ...) or a register write apart.
const DWORD kDataOutShown = 16;

std::string CdbText(const ScsiCommand& c) {
    std::string text;
    char byte[4];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", c.cdb[i]);
        text += byte;
    }
    return text;
}

const char* DirectionText(DataDirection d) {
    return d == DataDirection::In ? "in" : d == DataDirection::Out ? "out" : "none";
}

DataDirection FromDataIn(UCHAR dataIn) {
    return dataIn == SCSI_IOCTL_DATA_IN    ? DataDirection::In
           : dataIn == SCSI_IOCTL_DATA_OUT ? DataDirection::Out
                                           : DataDirection::None;
}

// The header fields both pass-through forms share.
template <typename Header>
bool DecodeHeader(const Header& h, ScsiCommand* c) {
    if (h.Length != sizeof(Header) || h.CdbLength > 16 || h.DataIn > SCSI_IOCTL_DATA_UNSPECIFIED)
        return false;
    std::memcpy(c->cdb, h.Cdb, 16);
    c->cdbLength = h.CdbLength;
    c->direction = FromDataIn(h.DataIn);
    c->transferLength = h.DataTransferLength;
    c->lun = h.Lun;
    c->pathId = h.PathId;
    c->targetId = h.TargetId;
    c->timeoutSeconds = h.TimeOutValue;
    return true;
}

// The path and target ids of a pass-through request; an ASPI request names its adapter and
// target in `where` already.
std::string Address(const std::string& transport, const ScsiCommand& c) {
    if (transport.compare(0, 12, "pass-through") != 0) return "";
    return " path " + std::to_string(c.pathId) + " target " + std::to_string(c.targetId);
}

}  // namespace

bool SendToTarget(ScsiTarget* target, const std::string& transport, const std::string& where,
                  const ScsiCommand& command, BYTE* data, DWORD length, DWORD* transferred) {
    Machine& m = machine();
    *transferred = 0;
    bool ok = target != nullptr && target->Execute(command, data, length, transferred);
    std::string name = where + (target ? " (" + target->Name() + ")" : "");
    uint64_t seq = m.journal.Note(
        "scsi " + transport + " " + name + " cdb " + CdbText(command) + " len " +
        std::to_string(command.cdbLength) + " " + DirectionText(command.direction) + " " +
        std::to_string(command.transferLength) + " lun " + std::to_string(command.lun) +
        Address(transport, command) + (ok ? "" : " failed"));
    std::vector<BYTE> dataOut;
    if (command.direction == DataDirection::Out && data != nullptr)
        dataOut.assign(data, data + std::min<DWORD>(length, kDataOutShown));
    m.journal.scsiCommands.push_back({seq, transport, name, command, ok, dataOut});
    return ok;
}

BOOL VolumeLockControl(OpenObject& file, DWORD code) {
    Machine& m = machine();
    if (file.volume == nullptr) return Fail(ERROR_INVALID_FUNCTION, FALSE);
    Volume& v = *file.volume;
    bool ok = true;
    if (code == FSCTL_LOCK_VOLUME && !v.lockAnswers.empty()) {
        size_t at = static_cast<size_t>(v.lockTries);
        ok = v.lockAnswers[at < v.lockAnswers.size() ? at : v.lockAnswers.size() - 1];
    }
    if (code == FSCTL_LOCK_VOLUME) ++v.lockTries;
    m.journal.Note(std::string(code == FSCTL_LOCK_VOLUME ? "lock " : "unlock ") + file.name +
                   (ok ? "" : " failed"));
    return ok ? TRUE : Fail(ERROR_ACCESS_DENIED, FALSE);
}

BOOL PassThroughControl(OpenObject& file, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                        DWORD outSize, LPDWORD returned) {
    if (file.volume == nullptr) return Fail(ERROR_INVALID_FUNCTION, FALSE);
    if (file.volume->passThroughDenied) return Fail(ERROR_ACCESS_DENIED, FALSE);
    ScsiTarget* target = file.volume->target.get();
    ScsiCommand command;
    DWORD transferred = 0;

    if (code == IOCTL_SCSI_PASS_THROUGH_DIRECT) {
        if (in == nullptr || inSize < sizeof(SCSI_PASS_THROUGH_DIRECT))
            return Fail(ERROR_INVALID_PARAMETER, FALSE);
        SCSI_PASS_THROUGH_DIRECT* h = static_cast<SCSI_PASS_THROUGH_DIRECT*>(in);
        if (!DecodeHeader(*h, &command) || (h->DataTransferLength != 0 && h->DataBuffer == nullptr))
            return Fail(ERROR_INVALID_PARAMETER, FALSE);
        // Direct transfers move between the device and the caller's buffer.
        if (!SendToTarget(target, "pass-through direct", file.name, command,
                          static_cast<BYTE*>(h->DataBuffer), h->DataTransferLength, &transferred))
            return Fail(ERROR_IO_DEVICE, FALSE);
        h->ScsiStatus = 0;
        if (command.direction == DataDirection::In) h->DataTransferLength = transferred;
        if (out != nullptr && out != in)
            std::memcpy(out, in, std::min<size_t>(outSize, sizeof(SCSI_PASS_THROUGH_DIRECT)));
        if (returned) *returned = sizeof(SCSI_PASS_THROUGH_DIRECT);
        return TRUE;
    }

    // The buffered form: the data area lies inside the caller's buffers, at
    // DataBufferOffset of the output buffer for data in and of the input buffer for data out.
    if (in == nullptr || inSize < sizeof(SCSI_PASS_THROUGH))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    SCSI_PASS_THROUGH header;
    std::memcpy(&header, in, sizeof header);
    if (!DecodeHeader(header, &command)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    BYTE* data = nullptr;
    if (command.direction == DataDirection::In) {
        if (out == nullptr || header.DataBufferOffset > outSize ||
            header.DataTransferLength > outSize - header.DataBufferOffset)
            return Fail(ERROR_INVALID_PARAMETER, FALSE);
        data = static_cast<BYTE*>(out) + header.DataBufferOffset;
    } else if (header.DataTransferLength != 0) {
        if (header.DataBufferOffset > inSize ||
            header.DataTransferLength > inSize - header.DataBufferOffset)
            return Fail(ERROR_INVALID_PARAMETER, FALSE);
        data = static_cast<BYTE*>(in) + header.DataBufferOffset;
    }
    if (!SendToTarget(target, "pass-through", file.name, command, data, header.DataTransferLength,
                      &transferred))
        return Fail(ERROR_IO_DEVICE, FALSE);
    if (out != nullptr && outSize >= sizeof(SCSI_PASS_THROUGH)) {
        header.ScsiStatus = 0;
        if (command.direction == DataDirection::In) header.DataTransferLength = transferred;
        std::memcpy(out, &header, sizeof header);
    }
    if (returned)
        *returned = static_cast<DWORD>(header.DataBufferOffset) +
                    (command.direction == DataDirection::In ? transferred : 0);
    return TRUE;
}

}  // namespace sim
