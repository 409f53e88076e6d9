#pragma once

// Starting and collecting child processes, shared by ProcessManager and
// ProcessStarter. Internal to FenmarlCommon.

#include <string>
#include <sys/types.h>
#include <vector>

namespace FenmarlCommonDLL {

// Starts args[0] (searched on PATH) with args as its argument list; 0 or the
// errno value posix_spawnp gave.
int spawnChild(std::vector<std::string> args, pid_t* pid);
// Collects the child once it has ended, so it does not linger as a zombie.
void reapLater(pid_t pid);

} // namespace FenmarlCommonDLL
