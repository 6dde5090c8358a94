// The copies that earlier runs left in the temporary folder. A running image cannot delete
// itself, so the copy the tool starts of itself stays behind; the next run removes it.
#pragma once

// The most names of the temporary folder one clean-up looks at.
extern const int MaxStaleCopyNames;

// Deletes the files of the temporary folder whose names are exactly a copy's
// ("korvanta-copy-<id>-<n>.exe") and that are not in use (a running copy fails to delete
// and stays), never the running image itself. Nothing is removed when the program cannot
// tell its own file name. Failures are not reported.
void RemoveStaleCopies();
