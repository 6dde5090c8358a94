// A transport that reaches up into the scan: the layer check must refuse it.
#include "sdk/scan/controller_scan.h"
