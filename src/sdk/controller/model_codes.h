// Controller model codes and the ranges of them that choose command forms, record layouts
// and read roads. This is the one place that spells the ranges; everything else asks these
// functions.
#pragma once

// Codes with a meaning of their own besides the model table's rows.
enum : int {
    kModelNothingRecognised = 0,  // the ASPI strategy recognised no controller
    kModelAspiSM3254 = 10,        // an SM3254 or SM3255 recognised by the ASPI strategy
    kModelNotIdentified = 65535,  // the pass-through strategy identified nothing
};

struct ModelRange {
    int first, last;
};

inline bool InModelRange(int code, ModelRange range) {
    return code >= range.first && code <= range.last;
}

// The command-form families. Middle and current models have forms of their own; every
// other code, "not identified" included, takes the early forms.
constexpr ModelRange kMiddleModels{10, 15};
constexpr ModelRange kCurrentModels{16, 58};
// Current models that address RAM with a full 32-bit address (SM3280, SM3281, SM3282).
constexpr ModelRange kWideAddressModels{41, 48};
// The first controller generation (SM3252, SM321, SM3211, SM325AC, SM334): the model
// table's codes below 10. Not the same set as the early command forms, which also serve
// 65535 and every unknown code.
constexpr ModelRange kFirstGenerationModels{0, 9};

inline bool IsMiddleModel(int code) { return InModelRange(code, kMiddleModels); }
inline bool IsCurrentModel(int code) { return InModelRange(code, kCurrentModels); }
inline bool IsWideAddressModel(int code) { return InModelRange(code, kWideAddressModels); }
inline bool UsesEarlyForms(int code) { return !IsMiddleModel(code) && !IsCurrentModel(code); }
inline bool IsFirstGenerationModel(int code) { return InModelRange(code, kFirstGenerationModels); }

// Flash identity record completion.
// Codes 26-57: their identification table always counts eight entries, and those that are
// not wide-address models keep their flash geometry in RAM pages 0xD8 and 0xDC.
constexpr ModelRange kPageD8Models{26, 57};
// Codes whose flash reply moves the block numbers out of the way: the information block's
// flash block number then comes from RAM page 0xDC.
constexpr ModelRange kRelocatedBlockNumberModels{26, 33};
// Codes whose geometry bytes come from the SFR page: 20-57 without the wide-address models.
constexpr ModelRange kSfrGeometryModels{20, 57};

inline bool KeepsSettingsInPageD8(int code) {
    return InModelRange(code, kPageD8Models) && !IsWideAddressModel(code);
}
// Current models that keep their settings in RAM page 0xF8 instead: 16-25 and 58.
inline bool KeepsSettingsInPageF8(int code) {
    return IsCurrentModel(code) && !KeepsSettingsInPageD8(code) && !IsWideAddressModel(code);
}
inline bool TakesGeometryFromSfr(int code) {
    return InModelRange(code, kSfrGeometryModels) && !IsWideAddressModel(code);
}

// Controller identification.
// SM3270 and SM3271 controllers, which may need controller code loaded before they answer
// the full vendor command set.
constexpr ModelRange kSM3270Models{49, 51};
constexpr ModelRange kSM3271Models{54, 57};
inline bool TakesCodePreload(int code) {
    return InModelRange(code, kSM3270Models) || InModelRange(code, kSM3271Models);
}
// Codes above 10 keep their USB string descriptors 32 bytes further into the information
// block; not identified (65535) counts among them.
inline bool HasShiftedDescriptors(int code) { return code > kModelAspiSM3254; }

// Information block and page map.
// A controller that keeps a single information block: its second copy is never read.
enum : int { kModelSingleInfoBlock = 19 };
// A current model whose second copy always sits at the block its RAM settings name.
enum : int { kModelOwnSecondCopyBlock = 17 };
// The SM3257ENBA: its second copy may sit at the record's alternative block.
enum : int { kModelSM3257ENBA = 24 };
// The one model whose page map table may start eight bytes early.
enum : int { kModelEarlyMapTable = 20 };
// Codes that always read copy 0 although they are current models.
constexpr ModelRange kAlwaysFirstCopyModels{39, 40};
// Controllers that keep copy 1 in a code area found through a candidate table: SM3259 and
// SM3271, and SM3281.
constexpr ModelRange kSM3259CodeAreaModels{52, 57};
constexpr ModelRange kSM3281CodeAreaModels{46, 48};
// First-generation controllers that select their early information block by a RAM byte.
constexpr ModelRange kSelectedEarlyBlockModels{5, 6};
// SM3257 family: first flash scan attempt with its own addressing byte, and a page map
// table of their own.
constexpr ModelRange kSM3257Models{22, 25};
// Codes whose page map switch is refined by their RAM settings.
constexpr ModelRange kRefinedPageMapModels{20, 57};
// Codes whose page map can be forced on as a special map.
constexpr ModelRange kSpecialPageMapModels{33, 36};
// Codes whose map page lists the page of each index byte by byte.
constexpr ModelRange kByteListPageMapModels{16, 33};

inline bool IsBelowCurrentModels(int code) { return code < kCurrentModels.first; }
