// advapi32's registry of the simulated machine. Keys and values are found without regard
// to case, as on Windows; a key may be told to refuse being opened, or to refuse some
// rights. Each call checks the rights its key was opened with, as Windows does. The machine
// is 64-bit Windows running the 32-bit program: HKLM\SOFTWARE has a second, 64-bit view
// that the program opens only with KEY_WOW64_64KEY.
#include "access.h"
#include "fault.h"
#include "machine.h"

#include <cstring>
#include <iterator>
#include <string>

using sim::FaultHere;
using sim::machine;
using sim::ObjectKind;
using sim::OpenObject;

namespace {

const DWORD kAllKeyRights = 0xF003F;  // KEY_ALL_ACCESS
// ERROR_KEY_DELETED: another program deleted the key while it was open, the way a query on
// an open key fails.
const LSTATUS kKeyDeleted = 1018;

// The key behind a handle, its name and the rights the handle holds. The predefined roots
// are open with every right.
sim::RegKey* KeyOf(HKEY h, std::string* name, DWORD* access = nullptr) {
    sim::Machine& m = machine();
    if (h == HKEY_LOCAL_MACHINE || h == HKEY_DYN_DATA) {
        *name = h == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_DYN_DATA";
        if (access) *access = kAllKeyRights;
        return &m.registry.roots[h];
    }
    OpenObject* o = m.Lookup(reinterpret_cast<HANDLE>(h), ObjectKind::RegistryKey);
    if (o == nullptr) return nullptr;
    *name = o->name;
    if (access) *access = o->access;
    return o->key;
}

// A path in HKLM\SOFTWARE, the part of the registry that has a view of its own for each
// bitness.
bool InSoftware(const std::string& path) {
    const std::string software = "SOFTWARE";
    return sim::EqualNoCase(path.substr(0, software.size()), software) &&
           (path.size() == software.size() || path[software.size()] == '\\');
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

const char kView64Suffix[] = " (64-bit view)";
const char kHklmPrefix[] = "HKEY_LOCAL_MACHINE\\";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// "SOFTWARE\Wow6432Node\X" spelt out is the 32-bit view's "SOFTWARE\X", from either view.
bool StripWow6432Node(std::string* path) {
    const std::string node = "SOFTWARE\\Wow6432Node";
    if (!sim::EqualNoCase(path->substr(0, node.size()), node) ||
        (path->size() > node.size() && (*path)[node.size()] != '\\'))
        return false;
    *path = "SOFTWARE" + path->substr(node.size());
    return true;
}

}  // namespace

namespace sim {

const HKEY Hklm64BitView = reinterpret_cast<HKEY>(uintptr_t(0x80000102));

}  // namespace sim

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = NULL;  // whatever the failure, the caller holds no key
    if (FaultHere("RegOpenKeyExA")) return ERROR_ACCESS_DENIED;
    std::string name;
    sim::RegKey* key = KeyOf(hKey, &name);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    std::string path = lpSubKey ? lpSubKey : "";
    std::string view;
    sim::Registry& registry = machine().registry;
    const bool ask32 = (samDesired & KEY_WOW64_32KEY) != 0 && (samDesired & KEY_WOW64_64KEY) == 0;
    if (hKey == HKEY_LOCAL_MACHINE && StripWow6432Node(&path)) {
        // The 32-bit view, which is this program's own.
    } else if ((samDesired & KEY_WOW64_64KEY) != 0 && hKey == HKEY_LOCAL_MACHINE &&
               InSoftware(path)) {
        key = &registry.roots[sim::Hklm64BitView];
        view = kView64Suffix;
    } else if (ask32 && EndsWith(name, kView64Suffix) && name.rfind(kHklmPrefix, 0) == 0) {
        // Below a key of the 64-bit view, KEY_WOW64_32KEY opens the 32-bit view's key of
        // the same path.
        std::string below =
            name.substr(std::strlen(kHklmPrefix),
                        name.size() - std::strlen(kHklmPrefix) - std::strlen(kView64Suffix));
        path = below + (path.empty() ? "" : "\\" + path);
        key = &registry.roots[HKEY_LOCAL_MACHINE];
        name = "HKEY_LOCAL_MACHINE";
    }
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            auto it = key->subkeys.find(path.substr(start, end - start));
            if (it == key->subkeys.end()) return ERROR_FILE_NOT_FOUND;
            key = &it->second;
        }
        start = end + 1;
    }
    if (key->openError != ERROR_SUCCESS) return key->openError;
    DWORD access = sim::MapKeyAccess(samDesired);
    if ((access & key->deniedAccess) != 0) return ERROR_ACCESS_DENIED;
    OpenObject object{ObjectKind::RegistryKey, (path.empty() ? name : name + "\\" + path) + view};
    object.key = key;
    object.access = access;
    machine().journal.Note("regopen " + object.name);
    *phkResult = reinterpret_cast<HKEY>(machine().Open(std::move(object)));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    if (FaultHere("RegQueryValueExA")) return kKeyDeleted;
    std::string name;
    DWORD access = 0;
    sim::RegKey* key = KeyOf(hKey, &name, &access);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
    auto it = key->values.find(lpValueName ? lpValueName : "");
    if (it == key->values.end()) {
        if (lpData == nullptr && lpcbData != nullptr) *lpcbData = 0;
        return ERROR_FILE_NOT_FOUND;
    }
    const sim::RegValue& v = it->second;
    // The buffer's size is read before anything is written: lpType and lpcbData may name
    // the same variable.
    DWORD capacity = lpcbData ? *lpcbData : 0;
    if (lpType) *lpType = v.type;
    DWORD size = static_cast<DWORD>(v.data.size());
    if (lpData != nullptr) {
        if (capacity < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(lpData, v.data.data(), size);
        // A string stored without its terminator gets one where the buffer has room.
        if (IsText(v.type) && capacity > size && (size == 0 || v.data[size - 1] != 0))
            lpData[size] = 0;
    }
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_DYN_DATA) return ERROR_SUCCESS;
    if (!machine().Close(reinterpret_cast<HANDLE>(hKey), ObjectKind::RegistryKey))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR, LPDWORD, LPDWORD, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD,
                                void*) {
    if (FaultHere("RegQueryInfoKeyA")) return kKeyDeleted;
    std::string name;
    DWORD access = 0;
    sim::RegKey* key = KeyOf(hKey, &name, &access);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (!(access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(key->subkeys.size());
    if (lpcValues) *lpcValues = static_cast<DWORD>(key->values.size());
    if (lpcbMaxSubKeyLen) {
        DWORD longest = 0;
        for (const auto& sub : key->subkeys)
            if (sub.first.size() > longest) longest = static_cast<DWORD>(sub.first.size());
        *lpcbMaxSubKeyLen = longest;
    }
    // The longest value name in characters without its terminator, and the largest data in
    // bytes as the registry stores it: text in UTF-16, two bytes for each character.
    DWORD longestName = 0, largest = 0;
    for (const auto& value : key->values) {
        const sim::RegValue& v = value.second;
        DWORD stored = static_cast<DWORD>(v.data.size()) * (IsText(v.type) ? 2 : 1);
        if (value.first.size() > longestName) longestName = static_cast<DWORD>(value.first.size());
        if (stored > largest) largest = stored;
    }
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = longestName;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = largest;
    return ERROR_SUCCESS;
}

// Subkeys are enumerated in name order, without regard to case.
LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                             LPSTR, LPDWORD, void*) {
    if (FaultHere("RegEnumKeyExA")) return kKeyDeleted;
    std::string name;
    DWORD access = 0;
    sim::RegKey* key = KeyOf(hKey, &name, &access);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (!(access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
    if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    auto it = key->subkeys.begin();
    std::advance(it, dwIndex);
    if (*lpcchName <= it->first.size()) return ERROR_MORE_DATA;
    std::memcpy(lpName, it->first.c_str(), it->first.size() + 1);
    *lpcchName = static_cast<DWORD>(it->first.size());
    return ERROR_SUCCESS;
}
