// Device state that reaches into the simulated machine: the layer check must refuse it.
#include "sim/machine.h"
