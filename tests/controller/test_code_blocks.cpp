// Test controller code for the identification tests: blocks that carry the leading bytes
// real controller code starts with, the test mark, and their group and place, so a test can
// tell which block reached the device. Linked into the identification test program only.
#include "sdk/controller/controller_code.h"

#include <cstring>

namespace {

const char kMark[] = "KORVANTA TEST CODE";

struct TestCode {
    BYTE blocks[kCodeGroupCount][2][kCodeBlockSize];
    BYTE image[kCodeImageSize];
    ControllerCodeSet set;

    TestCode() {
        for (int g = 0; g < kCodeGroupCount; ++g) {
            for (int which = 0; which < 2; ++which) {
                BYTE* b = blocks[g][which];
                std::memset(b, 0, kCodeBlockSize);
                b[0] = 0x02;
                b[1] = 0xC8;
                b[2] = 0x03;
                std::memcpy(b + 3, kMark, sizeof kMark - 1);
                b[kCodeBlockSize - 2] = static_cast<BYTE>(g);
                b[kCodeBlockSize - 1] = static_cast<BYTE>(which);
                set.blocks[g][which] = b;
            }
        }
        std::memset(image, 0, sizeof image);
        image[0] = 0x02;
        image[1] = 0xD0;
        image[2] = 0x03;
        std::memcpy(image + 3, kMark, sizeof kMark - 1);
        set.image = image;
    }
};

}  // namespace

const ControllerCodeSet& LinkedControllerCode() {
    static const TestCode code;
    return code.set;
}
