#pragma once

#include "common/Locker.h"

#include <atomic>

// Process-wide scan state shared by the user-interface thread and the scan
// thread.

// Held for every access to scan data and for every driver call made once a
// scan runs. Recursive, so a holder may call helpers that take it again.
FenmarlCommonDLL::Locker& ScanDataLock();

// Set by the main window when it starts a scan; cleared by stop, abort and
// scan completion. The scan thread goes on while it is set.
extern std::atomic<bool> scanRequested;
// Set by the scan thread once the instrument runs, cleared when the thread ends.
extern std::atomic<bool> scanThreadActive;
