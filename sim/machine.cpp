#include "machine.h"

#include <cctype>
#include <cstdio>
#include <utility>

namespace sim {

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    NoCaseLess less;
    return !less(a, b) && !less(b, a);
}

RegKey& Registry::Key(HKEY root, const std::string& path) {
    RegKey* key = &roots[root];
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) key = &key->subkeys[path.substr(start, end - start)];
        start = end + 1;
    }
    return *key;
}

void Registry::SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type,
                      std::vector<BYTE> data) {
    RegValue& v = Key(root, path).values[name];
    v.type = type;
    v.data = std::move(data);
}

void Registry::SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    SetRaw(root, path, name, REG_DWORD,
           {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)});
}

void Registry::SetString(HKEY root, const std::string& path, const std::string& name,
                         const std::string& value) {
    std::vector<BYTE> data(value.begin(), value.end());
    data.push_back(0);
    SetRaw(root, path, name, REG_SZ, std::move(data));
}

uint64_t Journal::Note(const std::string& line) {
    lines.push_back(line);
    return nextSeq++;
}

uint64_t Journal::NoteUnicode(const std::string& utf8) {
    unicodeLines.insert(lines.size());
    return Note(utf8);
}

namespace {

std::vector<std::string> SplitLines(const std::vector<ConsoleWrite>& writes) {
    std::string all;
    for (const ConsoleWrite& w : writes) all += w.text;
    std::vector<std::string> out;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) {
            out.push_back(all.substr(start));
            break;
        }
        out.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace

std::vector<std::string> Journal::ConsoleLines() const { return SplitLines(console); }
std::vector<std::string> Journal::ErrorLines() const { return SplitLines(errorOutput); }

Volume* Machine::FindVolume(char letter) {
    auto it = volumes.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    return it == volumes.end() ? nullptr : &it->second;
}

Volume& Machine::AddVolume(const Volume& v) {
    char key = static_cast<char>(std::toupper(static_cast<unsigned char>(v.letter)));
    Volume& stored = volumes[key];
    stored = v;
    stored.letter = key;
    return stored;
}

Interface& Machine::AddInterface(const Interface& i) {
    interfaces.push_back(i);
    return interfaces.back();
}

HANDLE Machine::Open(OpenObject object) {
    uintptr_t value = nextHandle;
    nextHandle += 4;
    objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

void* Machine::Allocate(size_t bytes, const std::string& name) {
    OpenObject object(ObjectKind::Allocation, name);
    object.memory.assign(bytes ? bytes : 1, 0);
    // The handle value is not the memory's address: hand out the buffer, which stays put
    // inside its object until it is freed.
    return Lookup(Open(std::move(object)), ObjectKind::Allocation)->memory.data();
}

bool Machine::Free(void* memory) {
    for (auto it = objects.begin(); it != objects.end(); ++it) {
        if (it->second.kind == ObjectKind::Allocation && it->second.memory.data() == memory) {
            objects.erase(it);
            return true;
        }
    }
    return false;
}

OpenObject* Machine::Lookup(HANDLE h, ObjectKind kind) {
    auto it = objects.find(reinterpret_cast<uintptr_t>(h));
    if (it == objects.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

bool Machine::Close(HANDLE h, ObjectKind kind) {
    auto it = objects.find(reinterpret_cast<uintptr_t>(h));
    if (it == objects.end() || it->second.kind != kind) return false;
    objects.erase(it);
    return true;
}

Leaks Machine::OpenObjects() const {
    Leaks leaks;
    for (const auto& entry : objects) {
        switch (entry.second.kind) {
            case ObjectKind::File:
            case ObjectKind::Event:
            case ObjectKind::Process:
            case ObjectKind::Thread:
            case ObjectKind::FileSearch:
            case ObjectKind::EventLogHandle: ++leaks.handles; break;
            case ObjectKind::Mutex: break;
            case ObjectKind::DeviceInfoSet: ++leaks.deviceInfoSets; break;
            case ObjectKind::RegistryKey: ++leaks.registryKeys; break;
            case ObjectKind::Allocation: ++leaks.allocations; break;
        }
    }
    for (const auto& library : libraries) leaks.libraries += library.second.references;
    return leaks;
}

Machine& machine() {
    static Machine m;
    return m;
}

void Reset() { machine() = Machine(); }

std::string Narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return out;
}

std::u16string Widen(const std::string& s) {
    std::u16string out;
    for (char c : s) out.push_back(static_cast<unsigned char>(c));
    return out;
}

std::string Hex(DWORD v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(v));
    return buf;
}

}  // namespace sim
