// Windows version tests. Each asks the system afresh; nothing is cached. Only the major
// and minor version numbers take part.
#pragma once

// 1 on major version 4 (Windows 95, 98, ME and NT 4.0): the ASPI road.
int IsLegacyWindows();
// 1 on version 4.90, Windows ME.
int IsWindowsME();
// 1 on major version 6 or later (Vista onward): the pass-through takes and releases the
// volume lock.
int IsVistaOrLater();
