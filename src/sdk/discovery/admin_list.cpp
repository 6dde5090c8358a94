#include "sdk/discovery/admin_list.h"

// The controller scan is not wired in yet: until it is, an administrator account finds no
// drive and the tool takes its no-drive path.
int ListControllerDriveLetters(char*, const char*, const char*) { return 0; }
