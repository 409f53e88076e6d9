#pragma once

#include <functional>

// Long work that the user-interface thread does itself - saving a scan file,
// writing an export - calls ProgressPulse() between blocks of rows. The
// program installs a hook that lets its event loop run for a moment
// (repaints and timers, no user input), so the window keeps answering while a
// long record is written. The hook runs only on the thread that installed it.
void SetProgressPulse(std::function<void()> hook);
void ClearProgressPulse();
void ProgressPulse();
