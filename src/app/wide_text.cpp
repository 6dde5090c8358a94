#include "app/wide_text.h"

size_t WideLength(const WCHAR* text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

WideBuilder StartWide(WCHAR* out, size_t size) {
    WideBuilder text = {out, size, 0, size > 0};
    if (size > 0) out[0] = 0;
    return text;
}

namespace {

void Put(WideBuilder* text, WCHAR unit) {
    if (!text->fits) return;
    if (text->length + 1 >= text->size) {
        text->fits = false;
        text->length = 0;
        text->out[0] = 0;
        return;
    }
    text->out[text->length++] = unit;
    text->out[text->length] = 0;
}

void PutRepeated(WideBuilder* text, WCHAR unit, size_t count) {
    for (size_t k = 0; k < count; ++k) Put(text, unit);
}

}  // namespace

void AddWide(WideBuilder* text, const WCHAR* piece, size_t units) {
    for (size_t k = 0; k < units; ++k) Put(text, piece[k]);
}

void AddWide(WideBuilder* text, const WCHAR* piece) { AddWide(text, piece, WideLength(piece)); }

void AddAscii(WideBuilder* text, const char* piece) {
    for (; *piece != 0; ++piece) Put(text, static_cast<WCHAR>(static_cast<unsigned char>(*piece)));
}

void AddDecimal(WideBuilder* text, unsigned long value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) Put(text, static_cast<WCHAR>(digits[--n]));
}

void AddArgument(WideBuilder* text, const WCHAR* argument) {
    bool plain = argument[0] != 0;
    for (const WCHAR* p = argument; *p != 0; ++p)
        if (*p == ' ' || *p == '\t' || *p == '"') plain = false;
    if (plain) {
        AddWide(text, argument);
        return;
    }
    Put(text, '"');
    size_t backslashes = 0;
    for (const WCHAR* p = argument; *p != 0; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        PutRepeated(text, '\\', *p == '"' ? 2 * backslashes : backslashes);
        backslashes = 0;
        if (*p != '"') {
            Put(text, *p);
            continue;
        }
        // Backslashes count double before a quote. The quote itself is written as \" between
        // two quoted parts: inside one, a \" before a blank would end the argument there.
        AddAscii(text, "\"\\\"\"");
    }
    PutRepeated(text, '\\', 2 * backslashes);
    Put(text, '"');
}
