// SCSI targets: what sits behind a volume's pass-through or an ASPI host adapter. The
// machine hands each command to the target, which answers it like a device would.
#pragma once

#include <simwin/windef.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

enum class DataDirection { In, Out, None };

struct ScsiCommand {
    BYTE cdb[16] = {0};
    int cdbLength = 0;  // as the request declares it
    DataDirection direction = DataDirection::None;
    DWORD transferLength = 0;
    BYTE lun = 0;
    // The address the request names. On a volume handle the port driver fills in the
    // volume's own address whatever the caller put there, so nothing is refused for it.
    BYTE pathId = 0;
    BYTE targetId = 0;
    DWORD timeoutSeconds = 0;
};

class ScsiTarget {
public:
    virtual ~ScsiTarget() = default;
    // Executes one command. For data in, writes at most `length` bytes to `data` and stores
    // how many in `transferred`; for data out, `data` holds the `length` bytes sent. Returns
    // false when the transfer itself fails (the transport call then fails).
    virtual bool Execute(const ScsiCommand& command, BYTE* data, DWORD length,
                         DWORD* transferred) = 0;
    // A short name for the journal.
    virtual std::string Name() const = 0;
};

// Standard INQUIRY data: peripheral type, removable bit, vendor (8), product (16) and
// revision (4) space-padded, then `extra` from byte 36 on. `flagBytes` (up to three
// characters) goes into bytes 5 to 7, where SMI controllers put their signature.
std::vector<BYTE> InquiryData(const std::string& vendor, const std::string& product,
                              const std::string& revision, const std::vector<BYTE>& extra,
                              BYTE peripheral = 0, bool removable = true,
                              const std::string& flagBytes = "");

// A device whose answers are written down in advance. INQUIRY (0x12) answers with
// `inquiry` (all of its bytes as given); every other command is answered by the first rule
// whose pattern matches its command block. A command that no rule matches fails, and is
// remembered in `unmatched`.
class ScriptedDevice : public ScsiTarget {
public:
    struct Rule {
        // Up to 16 bytes compared with the command block; -1 matches any byte. Bytes past
        // the pattern are not compared.
        std::vector<int> pattern;
        bool fail = false;             // the transfer fails, every time
        int failTimes = 0;             // the first N matches fail, later ones succeed
        std::vector<BYTE> reply;       // data returned for a data-in command
        std::vector<int> failOn = {};  // the matches (1 = the first) that fail
        // Replies used in turn, one per answered match, the last one repeating; when
        // given they take the place of `reply`.
        std::vector<std::vector<BYTE>> replies = {};
        int matched = 0;   // how often the rule matched so far
        int answered = 0;  // how often it answered
    };

    std::string name = "scripted device";
    std::vector<BYTE> inquiry = InquiryData("GENERIC", "FLASH DISK", "1.00", {});
    bool failInquiry = false;
    int inquiryFailTimes = 0;  // the first N INQUIRY commands fail
    int inquiries = 0;         // INQUIRY commands so far
    std::vector<Rule> rules;
    std::vector<ScsiCommand> unmatched;

    bool Execute(const ScsiCommand& command, BYTE* data, DWORD length, DWORD* transferred) override;
    std::string Name() const override { return name; }
};

// Parses "12 00 ?? 00 24" into a rule pattern (hex bytes, "??" for any byte). Returns false
// on anything else.
bool ParsePattern(const std::string& text, std::vector<int>* pattern);
// Parses "12 00 ab" into bytes. Returns false on anything else.
bool ParseHexBytes(const std::string& text, std::vector<BYTE>* bytes);

}  // namespace sim
