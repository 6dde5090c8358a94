// A build without controller code: nothing to load, so nothing is ever sent.
#include "sdk/controller/controller_code.h"

const ControllerCodeSet& LinkedControllerCode() {
    static const ControllerCodeSet kNone = {};
    return kNone;
}
