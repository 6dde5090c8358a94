// Where Windows looks for the libraries that system libraries load by bare name as they
// work (the shell's, for one). By default the program's own folder comes first: the stick
// it was started from, or the temporary folder of its copy, where anyone may leave a
// library of such a name.
#pragma once

// Asks Windows to look in the system folder only: SetDefaultDllDirectories with the system
// folder where kernel32 has it (Windows 8 and later; Vista and 7 with the update that added
// it), else SetDllDirectoryW with an empty folder, which takes the current folder out of
// the search (from XP SP1; the program's own folder then still comes first). To be called
// at start, before any library is loaded. A failure leaves the search as it was.
void RestrictLibrarySearch();
