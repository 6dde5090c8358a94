#include "sdk/controller/model_table.h"

#include <cstddef>

// The order decides the first match and is kept as it is: SM3211BC1 stands before SM3211BC,
// and the SM3255ENA1 row after the SM3257 rows.
const ControllerModel ControllerModelTable[kControllerModelCount] = {
    {"SM325AC/SM321U", "325AC", kSM325AC},
    {"SM3252A", "3252A", 1},
    {"SM3252B", "3252B", 2},
    {"SM3252C", "3252C", 3},
    {"SM321BB", "321BB", 4},
    {"SM3211BC1", "3211BC1", kSM3211BC1},
    {"SM3211BC", "3211BC", kSM3211BC},
    {"SM334AC", "334AC", 8},
    {"SM3254AC", "3254AC", kSM3254AC},
    {"SM3254AD", "3254AD", 12},
    {"SM3254AE", "3254AE", 13},
    {"SM3255AA", "3255AA", 14},
    {"SM3255AB", "3255AB", kSM3255AB},
    {"SM3255AC", "3255AC", kSM3255AC},
    {"SM3255ENAA", "3255ENAA", kSM3255ENAA},
    {"SM3257AA", "3257AA", kSM3257AA},
    {"SM3257ENAA", "3257ENAA", kSM3257ENAA},
    {"SM3257ENLT", "3257ENLT", kSM3257ENLT},
    {"SM3257ENBA", "3257ENBA", kSM3257ENBA},
    {"SM3257ENBB", "3257ENBB", kSM3257ENBB},
    {"SM3255ENA1", "3255ENA1", kSM3255ENA1},
    {"SM3260AA", "3260AA", kSM3260AA},
    {"SM3260AB", "3260AB", kSM3260AB},
    {"SM3260AD", "3260AD", kSM3260AD},
    {"SM3261AA", "3261AA", kSM3261AA},
    {"SM3261AB", "3261AB", kSM3261AB},
    {"SM3263AA", "3263AA", kSM3263AA},
    {"SM3263AB", "3263AB", kSM3263AB},
    {"SM3267AA", "3267AA", kSM3267AA},
    {"SM3267AB", "3267AB", kSM3267AB},
    {"SM3267AC", "3267AC", 35},
    {"SM3267AE", "3267AE", 36},
    {"SM3269AA", "3269AA", 37},
    {"SM3269AB", "3269AB", 38},
    {"SM3268AA", "3268AA", 39},
    {"SM3268AB", "3268AB", 40},
    {"SM3280AA", "3280AA", 41},
    {"SM3280AB", "3280AB", kSM3280AB},
    {"SM3280BA", "3280BA", kSM3280BA},
    {"SM3280BB", "3280BB", kSM3280BB},
    {"SM3282BB", "3282BB", kSM3282BB},
    {"SM3281AB", "3281AB", kSM3281AB},
    {"SM3281BA", "3281BA", kSM3281BA},
    {"SM3281BB", "3281BB", kSM3281BB},
    {"SM3270AA", "3270AA", kSM3270AA},
    {"SM3270AB", "3270AB", kSM3270AB},
    {"SM3270AC", "3270AC", kSM3270AC},
    {"SM3259AA", "3259AA", kSM3259AA},
    {"SM3259AB", "3259AB", kSM3259AB},
    {"SM3271AA", "3271AA", kSM3271AA},
    {"SM3271AB", "3271AB", kSM3271AB},
    {"SM3271AC", "3271AC", kSM3271AC},
    {"SM3271AD", "3271AD", kSM3271AD},
};

namespace {

// Whole-text equality of `name` with a text of at most `limit` bytes that may lack its NUL.
// Reads no byte of `text` past its NUL or its first difference.
bool IsWholeText(const char* text, int limit, const char* name) {
    int i = 0;
    for (; name[i] != '\0'; ++i)
        if (i >= limit || text[i] != name[i]) return false;
    return i == limit || text[i] == '\0';
}

}  // namespace

int FindModelByShortName(const char* text, int limit) {
    for (const ControllerModel& row : ControllerModelTable)
        if (IsWholeText(text, limit, row.shortName)) return row.code;
    return -1;
}

int FindModelByFullNameTail(const char* text, int limit) {
    for (const ControllerModel& row : ControllerModelTable)
        if (IsWholeText(text, limit, row.fullName + 2)) return row.code;
    return -1;
}

const char* FindModelFullName(int code) {
    for (const ControllerModel& row : ControllerModelTable)
        if (row.code == code) return row.fullName;
    return NULL;
}
