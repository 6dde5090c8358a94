#include "fuzz/fuzz_registry.h"

#include <functional>

namespace fuzz {

namespace {

enum Piece : uint8_t { kValue, kKey, kRefusingKey, kPieceKinds };

HKEY RootOf(uint8_t root) { return root == 0 ? HKEY_DYN_DATA : HKEY_LOCAL_MACHINE; }

}  // namespace

void ReadRegistry(FuzzReader& in, sim::Registry& registry) {
    while (!in.Done()) {
        uint8_t tag = in.Byte() % kPieceKinds;
        HKEY root = RootOf(in.Byte());
        std::string path = in.Text();
        switch (tag) {
            case kValue: {
                std::string name = in.Text();
                DWORD type = in.Dword();
                std::vector<uint8_t> bytes = in.Bytes();
                registry.SetRaw(root, path, name, type,
                                std::vector<BYTE>(bytes.begin(), bytes.end()));
                break;
            }
            case kKey: registry.Key(root, path); break;
            case kRefusingKey: {
                LSTATUS error = static_cast<LSTATUS>(in.Dword());
                registry.Key(root, path).openError = error == 0 ? ERROR_ACCESS_DENIED : error;
                break;
            }
        }
    }
}

void WriteRegistry(FuzzWriter& out, const sim::Registry& registry) {
    std::function<void(uint8_t, const std::string&, const sim::RegKey&)> walk =
        [&](uint8_t root, const std::string& path, const sim::RegKey& key) {
            if (key.values.empty() && key.subkeys.empty()) {
                out.Byte(kKey);
                out.Byte(root);
                out.Text(path);
            }
            for (const auto& value : key.values) {
                out.Byte(kValue);
                out.Byte(root);
                out.Text(path);
                out.Text(value.first);
                out.Dword(value.second.type);
                out.Bytes(value.second.data);
            }
            if (key.openError != ERROR_SUCCESS) {
                out.Byte(kRefusingKey);
                out.Byte(root);
                out.Text(path);
                out.Dword(static_cast<uint32_t>(key.openError));
            }
            for (const auto& sub : key.subkeys)
                walk(root, path.empty() ? sub.first : path + "\\" + sub.first, sub.second);
        };
    for (const auto& root : registry.roots) {
        if (root.first == HKEY_DYN_DATA) walk(0, "", root.second);
        if (root.first == HKEY_LOCAL_MACHINE) walk(1, "", root.second);
    }
}

}  // namespace fuzz
