#include "sdk/controller/controller_code.h"

#include "sdk/controller/model_table.h"

namespace {

// The first bytes of every code block and of the SM3252D image; anything else is not
// controller code and is never sent.
const BYTE kBlockLead[3] = {0x02, 0xC8, 0x03};
const BYTE kImageLead[3] = {0x02, 0xD0, 0x03};

bool Leads(const BYTE* code, const BYTE* lead) {
    return code && code[0] == lead[0] && code[1] == lead[1] && code[2] == lead[2];
}

int GroupOf(int modelCode) {
    switch (modelCode) {
        case kSM3270AB: return kCodeGroupSM3270AB;
        case kSM3270AC: return kCodeGroupSM3270AC;
        case kSM3271AB:
        case kSM3271AC: return kCodeGroupSM3271ABAC;
        case kSM3271AD: return kCodeGroupSM3271AD;
        default: return -1;
    }
}

}  // namespace

const BYTE* ControllerCodeBlock(int modelCode, int which) {
    int group = GroupOf(modelCode);
    if (group < 0 || which < 0 || which > 1) return NULL;
    const BYTE* block = LinkedControllerCode().blocks[group][which];
    return Leads(block, kBlockLead) ? block : NULL;
}

const BYTE* SM3252DCodeImage() {
    const BYTE* image = LinkedControllerCode().image;
    return Leads(image, kImageLead) ? image : NULL;
}
