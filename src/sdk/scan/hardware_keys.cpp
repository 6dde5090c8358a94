#include "sdk/scan/hardware_keys.h"

#include "sdk/system/windows_version.h"
#include "sdk/trace/debug_trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kLiveDevices[] = "Config Manager\\Enum";

// A registry key closed when the scope ends.
class ScopedKey {
public:
    ScopedKey() : key_(NULL) {}
    ~ScopedKey() {
        if (key_ != NULL) RegCloseKey(key_);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    bool Open(HKEY root, const char* path) {
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key_) == ERROR_SUCCESS) return true;
        key_ = NULL;
        return false;
    }
    // Reads a value as a string into a zero-filled buffer of kHardwareKeyChars, always
    // terminated.
    bool ReadString(const char* name, char* out) const {
        std::memset(out, 0, kHardwareKeyChars);
        DWORD size = kHardwareKeyChars;
        if (RegQueryValueExA(key_, name, NULL, NULL, reinterpret_cast<LPBYTE>(out), &size) !=
            ERROR_SUCCESS)
            return false;
        out[kHardwareKeyChars - 1] = 0;
        return true;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_;
};

// The text after a key's second backslash, or NULL when it has fewer than two.
const char* Tail(const char* key) {
    const char* first = std::strchr(key, '\\');
    if (first == NULL) return NULL;
    const char* second = std::strchr(first + 1, '\\');
    return second == NULL ? NULL : second + 1;
}

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Windows ME: the position of the '&' in front of the second-to-last non-empty
// '&'-separated field of a key, and that field's length. False when the key has no such
// field, which then pairs with nothing.
bool MeFieldPosition(const char* key, size_t* position, size_t* length) {
    size_t n = std::strlen(key);
    size_t counted = 0;
    bool seen = false;
    for (size_t i = n; i-- > 1;) {
        if (key[i] == '&') {
            if (counted == 0) {
                seen = true;
                continue;
            }
            *position = i;
            *length = counted;
            return true;
        }
        if (seen) ++counted;
    }
    return false;
}

// The list of live device nodes: the root and its subkey count.
bool OpenLiveDevices(ScopedKey* root, DWORD* count) {
    if (!root->Open(HKEY_DYN_DATA, kLiveDevices)) return false;
    *count = 0;
    return RegQueryInfoKeyA(root->get(), NULL, NULL, NULL, count, NULL, NULL, NULL, NULL, NULL,
                            NULL, NULL) == ERROR_SUCCESS;
}

// Reads the hardware key named by live device node `index`.
bool ReadHardwareKey(const ScopedKey& root, DWORD index, char* hardwareKey) {
    char name[kHardwareKeyChars];
    std::memset(name, 0, sizeof name);
    DWORD nameSize = sizeof name;
    if (RegEnumKeyExA(root.get(), index, name, &nameSize, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
        return false;
    name[sizeof name - 1] = 0;
    char path[sizeof kLiveDevices + kHardwareKeyChars + 1];
    std::snprintf(path, sizeof path, "%s\\%s", kLiveDevices, name);
    ScopedKey node;
    return node.Open(HKEY_DYN_DATA, path) && node.ReadString("HardWareKey", hardwareKey);
}

bool OpenUnitKey(ScopedKey* unit, const char* hardwareKey) {
    char path[kHardwareKeyChars + 8];
    std::snprintf(path, sizeof path, "Enum\\%s", hardwareKey);
    return unit->Open(HKEY_LOCAL_MACHINE, path);
}

void TraceNonMatchingMeKey(const char* key) {
    char line[64];
    const char* tail = Tail(key);
    std::snprintf(line, sizeof line, "%.4s%20s%.12s", key, "", tail ? tail : "");
    DebugTrace(line);
}

// Reads one unit's class, letter, LUN and target id into `entry`.
bool ReadUnit(const char* hardwareKey, HWKEYNode* entry) {
    ScopedKey unit;
    if (!OpenUnitKey(&unit, hardwareKey)) return false;
    char value[kHardwareKeyChars];
    if (!unit.ReadString("Class", value)) return false;
    int u;
    if (StartsWith(value, "CDROM")) {
        entry->cdromIndex = 1;
        u = 1;
    } else {
        entry->removableIndex = 2;
        u = 2;
    }
    if (!unit.ReadString("CurrentDriveLetterAssignment", value)) return false;
    entry->unitLetter[u] = value[0];
    if (!unit.ReadString("SCSILUN", value)) return false;
    entry->unitLun[u] = static_cast<int>(std::strtol(value, NULL, 10));
    if (!unit.ReadString("SCSITargetID", value)) return false;
    entry->unitTarget[u] = static_cast<int>(std::strtol(value, NULL, 10));
    return true;
}

}  // namespace

bool IsSMIHardwareKey(const char* key, bool windowsMe) {
    const char* tail = Tail(key);
    if (tail == NULL) return false;
    if (windowsMe)
        return StartsWith(key, "SCSI") &&
               (StartsWith(tail, "USBSTOR&CDROM") || StartsWith(tail, "USBSTOR&DISK"));
    return StartsWith(tail, "SMIMB");
}

bool HardwareKeysPair(const char* key, const char* entryKey, bool windowsMe) {
    if (windowsMe) {
        size_t keyPosition, keyLength, entryPosition, entryLength;
        if (!MeFieldPosition(key, &keyPosition, &keyLength) ||
            !MeFieldPosition(entryKey, &entryPosition, &entryLength))
            return false;
        return std::strncmp(key + keyPosition, entryKey + entryPosition, entryLength) == 0;
    }
    // Keys that differ only in their last two characters belong to one device.
    size_t n = std::strlen(key);
    return n < 2 || std::strncmp(key, entryKey, n - 2) == 0;
}

int ParseHWKEYList(HWKEYNode* head) {
    bool windowsMe = IsWindowsME() != 0;
    ScopedKey root;
    DWORD subkeys = 0;
    if (!OpenLiveDevices(&root, &subkeys)) return 0;

    HWKEYNode* tail = head;
    while (tail->next != NULL) tail = tail->next;

    int matching = 0;
    for (DWORD index = 0; index < subkeys; ++index) {
        char key[kHardwareKeyChars];
        if (!ReadHardwareKey(root, index, key)) return 0;
        if (!IsSMIHardwareKey(key, windowsMe)) {
            if (windowsMe) TraceNonMatchingMeKey(key);
            continue;
        }
        if (windowsMe) DebugTrace("***FindIt***");
        ++matching;

        HWKEYNode* entry = head->next;
        while (entry != NULL && !HardwareKeysPair(key, entry->firstKey, windowsMe))
            entry = entry->next;
        HWKEYNode* created = NULL;
        if (entry == NULL) {
            created = NewHWKEYNode();
            if (created == NULL) return 0;
            std::memcpy(created->firstKey, key, sizeof key);
            entry = created;
        } else {
            std::memcpy(entry->secondKey, key, sizeof key);
        }
        if (!ReadUnit(key, entry)) {
            std::free(created);  // never appended
            return 0;
        }
        if (created != NULL) {
            tail->next = created;
            tail = created;
        }
    }
    return matching;
}

int FindDiskLetter(char* letter, int n) {
    *letter = static_cast<char>(0xFF);
    bool windowsMe = IsWindowsME() != 0;
    ScopedKey root;
    DWORD subkeys = 0;
    if (!OpenLiveDevices(&root, &subkeys)) return 0;

    int ordinal = 0;
    for (DWORD index = 0; index < subkeys; ++index) {
        char key[kHardwareKeyChars];
        if (!ReadHardwareKey(root, index, key)) return 0;
        if (!IsSMIHardwareKey(key, windowsMe)) continue;
        if (ordinal++ != n) continue;

        ScopedKey unit;
        char value[kHardwareKeyChars];
        if (!OpenUnitKey(&unit, key) || !unit.ReadString("CurrentDriveLetterAssignment", value))
            return 0;
        *letter = value[0];
        break;
    }
    return *letter != static_cast<char>(0xFF) ? 1 : 0;
}

HWKEYNode* NewHWKEYNode() { return static_cast<HWKEYNode*>(std::calloc(1, sizeof(HWKEYNode))); }

void ReleaseHWKEYList(HWKEYNode* head) {
    while (head->next != NULL) {
        HWKEYNode* entry = head->next;
        DebugTrace("Releaseing now...");
        char line[64];
        // A missing unit reads index 0, which holds NUL and so ends the line there.
        std::snprintf(line, sizeof line, " CDROMExist[%c] , RemoveExist[%c]",
                      entry->unitLetter[entry->cdromIndex],
                      entry->unitLetter[entry->removableIndex]);
        DebugTrace(line);
        head->next = entry->next;
        std::free(entry);
    }
    std::free(head);
}
