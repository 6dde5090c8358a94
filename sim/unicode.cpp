#include "unicode.h"

#include "machine.h"

#include <cstring>

namespace sim {

namespace {

const char32_t kReplacement = 0xFFFD;

void PutUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void PutUtf16(char32_t c, std::u16string* out) {
    if (c < 0x10000) {
        out->push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    }
}

}  // namespace

std::string Utf8Of(const std::u16string& text) {
    std::string out;
    for (size_t k = 0; k < text.size(); ++k) {
        char32_t c = text[k];
        if (c >= 0xD800 && c <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
            text[k + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++k] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        PutUtf8(c, &out);
    }
    return out;
}

std::string Utf8Of(const WCHAR* text) {
    if (text == nullptr) return "";
    size_t n = 0;
    while (text[n] != 0) ++n;
    return Utf8Of(std::u16string(text, n));
}

std::u16string Utf16Of(const std::string& utf8) {
    std::u16string out;
    for (size_t k = 0; k < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[k]);
        // How many continuation bytes follow the lead byte; -1: no lead byte.
        int more = lead < 0x80   ? 0
                   : lead < 0xC2 ? -1
                   : lead < 0xE0 ? 1
                   : lead < 0xF0 ? 2
                   : lead < 0xF5 ? 3
                                 : -1;
        char32_t c = lead & (0x7F >> (more > 0 ? more + 1 : 0));
        size_t end = k + 1 + (more > 0 ? more : 0);
        bool whole = more >= 0 && end <= utf8.size();
        for (size_t j = k + 1; whole && j < end; ++j) {
            unsigned char next = static_cast<unsigned char>(utf8[j]);
            whole = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        PutUtf16(whole ? c : kReplacement, &out);
        k = whole ? end : k + 1;
    }
    return out;
}

std::string Utf8OfAnsi(const char* ansi) { return ansi ? Utf8Of(Widen(ansi)) : ""; }

std::string AnsiOf(const std::string& utf8) { return Narrow(Utf16Of(utf8)); }

DWORD PathAnswer(const std::string& utf8, WCHAR* buffer, DWORD size) {
    std::u16string path = Utf16Of(utf8);
    if (buffer == nullptr || size <= path.size()) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    return static_cast<DWORD>(path.size());
}

}  // namespace sim
