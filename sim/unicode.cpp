#include "unicode.h"

#include "code_pages.h"
#include "machine.h"

namespace sim {

std::string Utf8Of(const WCHAR* text) {
    if (text == nullptr) return "";
    size_t n = 0;
    while (text[n] != 0) ++n;
    return ToUtf8(std::u16string(text, n));
}

std::string Utf8OfAnsi(const char* ansi) { return ansi ? ToUtf8(Widen(ansi)) : ""; }

std::string AnsiOf(const std::string& utf8) { return Narrow(FromUtf8(utf8)); }

}  // namespace sim
