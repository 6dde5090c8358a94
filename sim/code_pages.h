// The machine's code pages: text in its ANSI and OEM code pages, UTF-16 as Windows hands it
// out, and UTF-8 for scenario files and reports. The conversions run on the host's iconv.
#pragma once

#include <simwin/winapi.h>

#include <string>

namespace sim {

// The code page `codePage` names on this machine: CP_ACP and CP_THREAD_ACP its ANSI code
// page, CP_OEMCP its OEM one, CP_UTF8 and the pages of the machines described (1252, 850,
// 1251, 866, 932, 437) themselves; 0 for a code page the machine does not have.
UINT ResolveCodePage(UINT codePage);

// `bytes` in `codePage` as UTF-16; a sequence the code page does not define becomes U+FFFD.
std::u16string Decode(const std::string& bytes, UINT codePage);

// `text` in `codePage`. A character the code page lacks becomes, with `bestFit`, the letter
// Windows' best-fit tables give for it (a Latin letter without its accent: 'o' for U+0151),
// and otherwise `defaultChar`, which sets *usedDefault.
std::string Encode(const std::u16string& text, UINT codePage, bool bestFit, char defaultChar,
                   bool* usedDefault);

// UTF-16 and UTF-8; an unpaired surrogate or a malformed sequence becomes U+FFFD.
std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);

}  // namespace sim
