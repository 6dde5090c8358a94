#include "app/veto_event.h"

#include <cstring>
#include <string_view>

const char* const RemovalVetoProvider = "Microsoft-Windows-Kernel-PnP";

namespace {

using Text = std::string_view;

// The fields of event 225, by position in its event data.
const size_t kProcessIdField = 0;
const size_t kProcessNameField = 2;
const size_t kDeviceIdField = 4;
const size_t kCommandLineAlone = 5;  // a command line without its length before it
const size_t kCommandLineField = 6;  // after its length, as Windows writes it
const size_t kMaxDataFields = 16;    // more are not looked at

struct Element {
    Text attributes;  // between the name and the end of the start tag
    Text content;     // empty for <Name .../>
    size_t end;       // just past the element
};

// Up to `n` characters of `text` from `at`; empty from past its end. Unlike substr and
// compare, it never throws, so the product builds without exceptions.
Text Part(Text text, size_t at, size_t n) {
    if (at > text.size()) return Text();
    return Text(text.data() + at, n < text.size() - at ? n : text.size() - at);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The next start tag <name ...> at or after `from` (not <nameOther>), or npos.
size_t FindStartTag(Text xml, Text name, size_t from) {
    while (from < xml.size()) {
        size_t at = xml.find('<', from);
        if (at == Text::npos || xml.size() - at - 1 < name.size()) return Text::npos;
        size_t after = at + 1 + name.size();
        if (Part(xml, at + 1, name.size()) == name && after < xml.size() &&
            (IsSpace(xml[after]) || xml[after] == '/' || xml[after] == '>'))
            return at;
        from = at + 1;
    }
    return Text::npos;
}

// The first element `name` at or after `from`, with its closing tag; false when the text
// ends before the element does.
bool FindElement(Text xml, Text name, size_t from, Element* out) {
    size_t at = FindStartTag(xml, name, from);
    if (at == Text::npos) return false;
    size_t open = at + 1 + name.size();
    size_t close = xml.find('>', open);
    if (close == Text::npos) return false;
    if (xml[close - 1] == '/') {
        out->attributes = Part(xml, open, close - 1 - open);
        out->content = Text();
        out->end = close + 1;
        return true;
    }
    out->attributes = Part(xml, open, close - open);
    // Elements of the same name do not nest in an event, so the first end tag closes it.
    size_t end = close + 1;
    while (true) {
        end = xml.find("</", end);
        if (end == Text::npos) return false;
        size_t after = end + 2 + name.size();
        if (Part(xml, end + 2, name.size()) == name && after <= xml.size()) {
            while (after < xml.size() && IsSpace(xml[after])) ++after;
            if (after < xml.size() && xml[after] == '>') {
                out->content = Part(xml, close + 1, end - close - 1);
                out->end = after + 1;
                return true;
            }
        }
        end += 2;
    }
}

// The value of attribute `name` (quoted with ' or "), still escaped.
bool FindAttribute(Text attributes, Text name, Text* value) {
    size_t at = 0;
    while ((at = attributes.find(name, at)) != Text::npos) {
        size_t k = at + name.size();
        bool startsName = at == 0 || IsSpace(attributes[at - 1]);
        at = k;
        if (!startsName) continue;
        while (k < attributes.size() && IsSpace(attributes[k])) ++k;
        if (k >= attributes.size() || attributes[k] != '=') continue;
        ++k;
        while (k < attributes.size() && IsSpace(attributes[k])) ++k;
        if (k >= attributes.size() || (attributes[k] != '\'' && attributes[k] != '"')) return false;
        size_t end = attributes.find(attributes[k], k + 1);
        if (end == Text::npos) return false;
        *value = Part(attributes, k + 1, end - k - 1);
        return true;
    }
    return false;
}

// One character of an entity reference (&amp; &lt; &gt; &quot; &apos; &#N; &#xH;), or -1.
// A character reference outside printable ASCII comes out as '?': a control character would
// break the console line. (Windows writes other characters as they are, not as references.)
int EntityChar(Text entity) {
    if (entity == "amp") return '&';
    if (entity == "lt") return '<';
    if (entity == "gt") return '>';
    if (entity == "quot") return '"';
    if (entity == "apos") return '\'';
    if (entity.size() < 2 || entity[0] != '#') return -1;
    bool hex = entity[1] == 'x' || entity[1] == 'X';
    size_t k = hex ? 2 : 1;
    if (k >= entity.size()) return -1;
    unsigned long code = 0;
    for (; k < entity.size(); ++k) {
        char c = entity[k];
        int digit = c >= '0' && c <= '9'          ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
        if (digit < 0) return -1;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
        if (code > 0x10FFFF) return -1;
    }
    return code >= 0x20 && code < 0x7F ? static_cast<int>(code) : '?';
}

// Unescapes `text` into `out` (`size` bytes with the terminator). Returns false for a
// malformed reference, or, unless `mayCut`, for a text that does not fit.
bool Unescape(Text text, char* out, size_t size, bool mayCut) {
    size_t n = 0;
    for (size_t k = 0; k < text.size(); ++k) {
        char c = text[k];
        if (c == '&') {
            size_t semicolon = text.find(';', k + 1);
            if (semicolon == Text::npos || semicolon - k > 10) return false;
            int decoded = EntityChar(Part(text, k + 1, semicolon - k - 1));
            if (decoded < 0) return false;
            c = static_cast<char>(decoded);
            k = semicolon;
        }
        if (n + 1 >= size) {
            if (!mayCut) return false;
            break;
        }
        out[n++] = c;
    }
    out[n] = 0;
    return true;
}

bool ParseNumber(Text text, DWORD* value) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    if (text.empty()) return false;
    unsigned long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
        if (n > 0xFFFFFFFFull) return false;
    }
    *value = static_cast<DWORD>(n);
    return true;
}

bool EqualNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        char cb = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
}

bool ParseSystem(Text system, RemovalVetoEvent* event) {
    Element provider, eventId, created;
    Text name, time;
    if (!FindElement(system, "Provider", 0, &provider) ||
        !FindAttribute(provider.attributes, "Name", &name) ||
        !Unescape(name, event->provider, sizeof event->provider, false))
        return false;
    if (!FindElement(system, "EventID", 0, &eventId) ||
        !ParseNumber(eventId.content, &event->eventId))
        return false;
    // The time is kept for the reader; an event without one is still an event.
    if (FindElement(system, "TimeCreated", 0, &created) &&
        FindAttribute(created.attributes, "SystemTime", &time) &&
        !Unescape(time, event->systemTime, sizeof event->systemTime, false))
        return false;
    return true;
}

bool ParseEventData(Text data, RemovalVetoEvent* event) {
    Text fields[kMaxDataFields];
    size_t count = 0;
    Element field;
    for (size_t from = 0; count < kMaxDataFields && FindElement(data, "Data", from, &field);
         from = field.end)
        fields[count++] = field.content;
    if (count <= kDeviceIdField) return false;
    if (!ParseNumber(fields[kProcessIdField], &event->processId) ||
        !Unescape(fields[kProcessNameField], event->processName, sizeof event->processName,
                  false) ||
        !Unescape(fields[kDeviceIdField], event->deviceInstanceId, sizeof event->deviceInstanceId,
                  false))
        return false;
    if (count > kCommandLineField)
        return Unescape(fields[kCommandLineField], event->commandLine, sizeof event->commandLine,
                        true);
    if (count > kCommandLineAlone)
        return Unescape(fields[kCommandLineAlone], event->commandLine, sizeof event->commandLine,
                        true);
    return true;
}

}  // namespace

bool ParseRemovalVetoEvent(const char* xml, size_t length, RemovalVetoEvent* event) {
    std::memset(event, 0, sizeof *event);
    if (xml == NULL) return false;
    Text text(xml, length);
    Element whole, system, data;
    bool parsed = FindElement(text, "Event", 0, &whole) &&
                  FindElement(whole.content, "System", 0, &system) &&
                  ParseSystem(system.content, event) &&
                  FindElement(whole.content, "EventData", system.end, &data) &&
                  ParseEventData(data.content, event);
    if (!parsed) std::memset(event, 0, sizeof *event);
    return parsed;
}

bool IsRemovalVetoOf(const RemovalVetoEvent& event, const char* deviceInstanceId) {
    return deviceInstanceId != NULL && deviceInstanceId[0] != 0 &&
           event.eventId == kRemovalVetoEventId &&
           EqualNoCase(event.provider, RemovalVetoProvider) &&
           EqualNoCase(event.deviceInstanceId, deviceInstanceId);
}

const WCHAR* ProgramOfProcessName(const WCHAR* processName) {
    const WCHAR* program = processName;
    for (const WCHAR* c = processName; *c != 0; ++c)
        if (*c == '\\') program = c + 1;
    return program;
}
