// Controller code that the SDK loads into controllers: two 512-byte blocks for each group of
// SM3270 and SM3271 models, and the 2048-byte image of SM3252D controllers. The code is
// supplied with the controllers, not written here: a build carries it from files named at
// build time, or carries none, and then nothing is ever sent. A block is handed out only
// when it starts with the bytes every such block starts with.
#pragma once

#include "platform/win32.h"

enum { kCodeBlockSize = 512, kCodeImageSize = 2048 };

// The groups of models that share a pair of blocks.
enum ControllerCodeGroup {
    kCodeGroupSM3270AB,    // 50
    kCodeGroupSM3270AC,    // 51
    kCodeGroupSM3271ABAC,  // 55 and 56
    kCodeGroupSM3271AD,    // 57
    kCodeGroupCount,
};

// What one build carries; null where it carries nothing. Exactly one library linked into a
// program defines LinkedControllerCode: the product's (blocks from files, or none) or the
// test programs' own.
struct ControllerCodeSet {
    const BYTE* blocks[kCodeGroupCount][2];  // kCodeBlockSize bytes each, in sending order
    const BYTE* image;                       // kCodeImageSize bytes
};
const ControllerCodeSet& LinkedControllerCode();

// Block `which` (0 first, 1 second) of the group of `modelCode`, or null: for a model that
// takes no blocks, a build without them, or a block that lacks the leading bytes 02 C8 03.
const BYTE* ControllerCodeBlock(int modelCode, int which);
// The SM3252D image, or null when the build has none or it lacks the leading 02 D0 03.
const BYTE* SM3252DCodeImage();
