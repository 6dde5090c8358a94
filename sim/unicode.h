// Text the program passes or gets back in UTF-16, as the machine holds it: UTF-8. The A
// forms of a call take and give bytes of the ANSI code page, through Narrow and Widen.
#pragma once

#include "code_pages.h"

#include <simwin/windef.h>

#include <cstring>
#include <string>

namespace sim {

std::string Utf8Of(const WCHAR* text);  // null: ""

// An A form's text argument, and the text an A form hands out.
std::string Utf8OfAnsi(const char* ansi);  // null: ""
std::string AnsiOf(const std::string& utf8);

// The answer of the calls that fill a caller's buffer of `size` characters with a path
// (GetTempPath, GetSystemDirectory): the length without the terminator when it fits, else
// the size needed with it and nothing written.
template <typename Char>
DWORD PathAnswer(const std::basic_string<Char>& path, Char* buffer, DWORD size) {
    if (buffer == nullptr || size <= path.size()) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(Char));
    return static_cast<DWORD>(path.size());
}

// The same for the W forms, from the machine's UTF-8.
inline DWORD PathAnswer(const std::string& utf8, WCHAR* buffer, DWORD size) {
    return PathAnswer(FromUtf8(utf8), buffer, size);
}

}  // namespace sim
