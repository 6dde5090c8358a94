// The SMI controller models the SDK knows by name: each model's full name, its short name
// (the full name without the leading "SM") and its model code. The rows are scanned from
// the first and the first match wins, so their order is part of the data.
#pragma once

// Model codes the identification refers to by name. The rest appear only in the table.
enum : int {
    kSM325AC = 7,
    kSM3211BC = 5,
    kSM3211BC1 = 6,
    kSM3254AC = 11,
    kSM3255AB = 17,
    kSM3255AC = 18,
    kSM3257AA = 19,
    kSM3255ENAA = 20,
    kSM3255ENA1 = 21,
    kSM3257ENAA = 22,
    kSM3257ENLT = 23,
    kSM3257ENBA = 24,
    kSM3257ENBB = 25,
    kSM3260AA = 26,
    kSM3260AB = 27,
    kSM3260AD = 28,
    kSM3261AA = 29,
    kSM3261AB = 30,
    kSM3263AA = 31,
    kSM3263AB = 32,
    kSM3267AA = 33,
    kSM3267AB = 34,
    kSM3280AB = 42,
    kSM3280BA = 43,
    kSM3280BB = 44,
    kSM3282BB = 45,
    kSM3281AB = 46,
    kSM3281BA = 47,
    kSM3281BB = 48,
    kSM3270AA = 49,
    kSM3270AB = 50,
    kSM3270AC = 51,
    kSM3259AA = 52,
    kSM3259AB = 53,
    kSM3271AA = 54,
    kSM3271AB = 55,
    kSM3271AC = 56,
    kSM3271AD = 57,
};

struct ControllerModel {
    const char* fullName;
    const char* shortName;
    int code;
};

enum { kControllerModelCount = 53 };

extern const ControllerModel ControllerModelTable[kControllerModelCount];

// The code of the first row whose short name is the whole of `text`, or -1. `text` is read
// up to its NUL or `limit` bytes, whichever comes first.
int FindModelByShortName(const char* text, int limit);
// The code of the first row whose full name without its first two characters is the whole
// of `text`, or -1. Differs from the short name only where a full name carries a second
// name ("SM325AC/SM321U").
int FindModelByFullNameTail(const char* text, int limit);
// The full name of the first row with model code `code`, or NULL when no row has it.
const char* FindModelFullName(int code);
