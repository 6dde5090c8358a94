// The simulated machine's loader, for the exported lock pair: the program's imports are the
// simulated machine's own functions, bound when it was linked, so the executable's binding
// of its import table has nothing to do and succeeds unless the machine says otherwise.
#include "machine.h"
#include "sdk/scan/export_imports.h"

bool BindOwnImports() { return sim::machine().process.importsBindable; }
