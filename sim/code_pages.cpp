// Code pages of the simulated machine and the text conversions of kernel32 that use them.
// The machine's ANSI code page is what the A functions hand out and take; its OEM code page
// is what a console shows the bytes written to it in.
#include "code_pages.h"

#include "fault.h"
#include "machine.h"

#include <iconv.h>

#include <cstring>

using sim::Fail;
using sim::FaultHere;
using sim::machine;

namespace {

const DWORD kInvalidFlags = 1004;          // ERROR_INVALID_FLAGS
const DWORD kNoUnicodeTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION
const char16_t kReplacement = 0xFFFD;

// What Windows' best-fit tables give for the Latin letters U+00C0 to U+017F that a code page
// lacks: the letter without its accent; '?' where they give nothing.
const char kLatinBestFit[] =
    "AAAAAA?CEEEEIIII"
    "DNOOOOO?OUUUUY?s"
    "aaaaaa?ceeeeiiii"
    "dnooooo?ouuuuy?y"
    "AaAaAaCcCcCcCcDd"
    "DdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIi"
    "Ii??JjKk?LlLlLlL"
    "lLlNnNnNn???OoOo"
    "Oo??RrRrRrSsSsSs"
    "SsTtTtTtUuUuUuUu"
    "UuUuWwYyYZzZzZz?";

char BestFit(char32_t c) {
    if (c < 0xC0 || c > 0x17F) return '?';
    return kLatinBestFit[c - 0xC0];
}

std::string IconvName(UINT codePage) {
    return codePage == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(codePage);
}

// One character of UTF-16 at `k`: a surrogate pair whole, else one unit.
size_t CharUnits(const std::u16string& text, size_t k) {
    return k + 1 < text.size() && text[k] >= 0xD800 && text[k] < 0xDC00 && text[k + 1] >= 0xDC00 &&
                   text[k + 1] < 0xE000
               ? 2
               : 1;
}

char32_t CodePoint(const std::u16string& text, size_t k, size_t units) {
    if (units == 1) return text[k];
    return 0x10000 + ((char32_t(text[k]) - 0xD800) << 10) + (char32_t(text[k + 1]) - 0xDC00);
}

void AppendUtf8(std::string* out, char32_t c) {
    if (c >= 0xD800 && c < 0xE000) c = kReplacement;
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

void AppendUtf16(std::u16string* out, char32_t c) {
    if (c < 0x10000) {
        out->push_back(static_cast<char16_t>(c));
    } else {
        out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
}

// One character through iconv; false when the target lacks it.
bool Convert(iconv_t cd, const char* in, size_t inBytes, std::string* out) {
    char buffer[8];
    char* from = const_cast<char*>(in);
    char* to = buffer;
    size_t left = sizeof buffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &from, &inBytes, &to, &left) == static_cast<size_t>(-1)) return false;
    out->append(buffer, sizeof buffer - left);
    return true;
}

}  // namespace

namespace sim {

UINT ResolveCodePage(UINT codePage) {
    const Machine& m = machine();
    if (codePage == CP_ACP || codePage == CP_THREAD_ACP) return m.codePages.ansi;
    if (codePage == CP_OEMCP) return m.codePages.oem;
    for (UINT known : {1252u, 850u, 1251u, 866u, 932u, 437u, UINT(CP_UTF8)})
        if (codePage == known) return codePage;
    return 0;
}

std::u16string Decode(const std::string& bytes, UINT codePage) {
    if (codePage == CP_UTF8) return FromUtf8(bytes);
    std::u16string out;
    iconv_t cd = iconv_open("UTF-32LE", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::u16string(bytes.size(), kReplacement);
    size_t k = 0;
    while (k < bytes.size()) {
        // A character is one byte or, in a double-byte code page, two.
        bool converted = false;
        for (size_t n = 1; n <= 2 && k + n <= bytes.size() && !converted; ++n) {
            std::string unit;
            if (Convert(cd, bytes.data() + k, n, &unit) && unit.size() == 4) {
                char32_t c = 0;
                std::memcpy(&c, unit.data(), 4);
                AppendUtf16(&out, c);
                k += n;
                converted = true;
            }
        }
        if (!converted) {
            out.push_back(kReplacement);
            ++k;
        }
    }
    iconv_close(cd);
    return out;
}

std::string Encode(const std::u16string& text, UINT codePage, bool bestFit, char defaultChar,
                   bool* usedDefault) {
    if (usedDefault) *usedDefault = false;
    if (codePage == CP_UTF8) return ToUtf8(text);
    std::string out;
    iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-32LE");
    for (size_t k = 0; k < text.size();) {
        size_t units = CharUnits(text, k);
        char32_t c = CodePoint(text, k, units);
        k += units;
        if (cd != reinterpret_cast<iconv_t>(-1) &&
            Convert(cd, reinterpret_cast<const char*>(&c), sizeof c, &out))
            continue;
        char fit = bestFit ? BestFit(c) : '?';
        if (fit != '?') {
            out.push_back(fit);
        } else {
            out.push_back(defaultChar);
            if (usedDefault) *usedDefault = true;
        }
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return out;
}

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t k = 0; k < text.size();) {
        size_t units = CharUnits(text, k);
        AppendUtf8(&out, CodePoint(text, k, units));
        k += units;
    }
    return out;
}

std::u16string FromUtf8(const std::string& text) {
    std::u16string out;
    for (size_t k = 0; k < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[k]);
        size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        char32_t c = n == 1 ? lead : n == 2 ? lead & 0x1F : n == 3 ? lead & 0x0F : lead & 0x07;
        bool whole = n != 0 && k + n <= text.size();
        for (size_t i = 1; whole && i < n; ++i) {
            unsigned char next = static_cast<unsigned char>(text[k + i]);
            whole = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!whole || c > 0x10FFFF) {
            out.push_back(kReplacement);
            ++k;
            continue;
        }
        AppendUtf16(&out, c);
        k += n;
    }
    return out;
}

// The A functions hand out and take text in the machine's ANSI code page, with best fit.
std::string Narrow(const std::u16string& s) {
    return Encode(s, machine().codePages.ansi, true, '?', nullptr);
}

std::u16string Widen(const std::string& s) { return Decode(s, machine().codePages.ansi); }

}  // namespace sim

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR src, int cb, LPWSTR dst,
                               int cch) {
    if (FaultHere("MultiByteToWideChar")) return Fail(kNoUnicodeTranslation, 0);
    UINT codePage = sim::ResolveCodePage(CodePage);
    if (codePage == 0 || src == nullptr || cb == 0 || cch < 0 || (dst == nullptr && cch > 0))
        return Fail(ERROR_INVALID_PARAMETER, 0);
    if (dwFlags != 0) return Fail(kInvalidFlags, 0);
    size_t n = cb < 0 ? std::strlen(src) + 1 : static_cast<size_t>(cb);
    std::u16string wide = sim::Decode(std::string(src, n), codePage);
    if (cch == 0) return static_cast<int>(wide.size());
    if (static_cast<size_t>(cch) < wide.size()) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    std::memcpy(dst, wide.data(), wide.size() * sizeof(WCHAR));
    return static_cast<int>(wide.size());
}

// UTF-8 takes no flags and no default character; the other code pages take
// WC_NO_BEST_FIT_CHARS, which turns a character they lack into the default character
// rather than a look-alike.
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR src, int cch, LPSTR dst,
                               int cb, LPCSTR defaultChar, LPBOOL usedDefault) {
    if (FaultHere("WideCharToMultiByte")) return Fail(kNoUnicodeTranslation, 0);
    UINT codePage = sim::ResolveCodePage(CodePage);
    if (codePage == 0 || src == nullptr || cch == 0 || cb < 0 || (dst == nullptr && cb > 0))
        return Fail(ERROR_INVALID_PARAMETER, 0);
    if (codePage == CP_UTF8 && dwFlags != 0) return Fail(kInvalidFlags, 0);
    if (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefault != nullptr))
        return Fail(ERROR_INVALID_PARAMETER, 0);
    if ((dwFlags & ~DWORD(WC_NO_BEST_FIT_CHARS)) != 0) return Fail(kInvalidFlags, 0);
    size_t n = 0;
    if (cch > 0) n = static_cast<size_t>(cch);
    while (cch < 0 && src[n++] != 0) {
    }
    bool used = false;
    std::string narrow =
        sim::Encode(std::u16string(src, n), codePage, (dwFlags & WC_NO_BEST_FIT_CHARS) == 0,
                    defaultChar != nullptr ? defaultChar[0] : '?', &used);
    if (cb == 0) return static_cast<int>(narrow.size());
    if (static_cast<size_t>(cb) < narrow.size()) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    std::memcpy(dst, narrow.data(), narrow.size());
    if (usedDefault) *usedDefault = used ? TRUE : FALSE;
    return static_cast<int>(narrow.size());
}
