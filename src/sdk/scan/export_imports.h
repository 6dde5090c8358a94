// The import table of the executable when another program loads it as a library.
//
// The system maps an executable loaded with LoadLibraryA and applies its base relocations,
// but binds none of its imports and runs none of its start-up: every call through its
// import address table would jump to a name-table entry. Each exported function calls
// BindOwnImports before anything else, and calls no system function when it fails.
// The Windows build reads the mapped image and the system's loader data
// (export_imports.cpp); the simulated machine's loader answers for itself.
#pragma once

// Binds the executable's import address table once per process, from the system's own
// loader: finds kernel32.dll among the modules the process has loaded, reads
// GetProcAddress, LoadLibraryA and VirtualProtect from its export directory, then loads
// each library the executable imports from and writes the address of each imported
// function into its entry. Uses no imported function, no C runtime and no start-up state
// before that. Returns false when a library or function cannot be found; the table is then
// not to be called through, and every later call returns false as well. Calls from other
// threads during the binding wait for it.
bool BindOwnImports();
