// Paths and the volumes they lie on: the name the mount manager gives every volume, the
// folders a volume is mounted at besides its letter, and subst letters, which stand for a
// folder on another drive.
#pragma once

#include "machine.h"

#include <string>

namespace sim {

// "\\?\Volume{…}\" for the volume of drive `letter`: a name of its own for every letter.
std::string VolumeNameOf(char letter);

// The volume a full path lies on, as the file system finds it: "\\?\" in front is taken
// off, a subst letter is replaced by its folder, and the deepest folder a volume is mounted
// at wins over the drive letter. Null for a path on no volume of the machine.
Volume* VolumeOfPath(const std::string& path);

// What QueryDosDevice answers for the DOS device `name` ("E:"): the folder of a subst
// letter as "\??\E:\Tools", or the volume's device; "" when there is none.
std::string DosDeviceOf(const std::string& name);

}  // namespace sim
