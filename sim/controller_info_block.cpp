#include "smi_controller.h"

namespace sim {

// The profiles carry no information block yet: the image stays as the profile wrote it.
void PlaceInfoBlock(ControllerImage& image, const ControllerProfile& profile) {
    (void)image;
    (void)profile;
}

}  // namespace sim
