#pragma once

#include "common/Export.h"

#include <string>

namespace FenmarlCommonDLL {

// Starts, finds and stops an auxiliary program by its executable's name.
class FENMARL_COMMON_API ProcessManager
{
public:
    explicit ProcessManager(bool stopOnDestruction = true);
    // Attaches to a copy of the command line's program that already runs.
    ProcessManager(const std::string& commandLine, bool stopOnDestruction);
    virtual ~ProcessManager();

    // True when the program already runs (nothing is started) or was started.
    bool startProcess(const std::string& commandLine);
    // Kills the process (SIGKILL); false without an identifier or when the kill fails.
    bool stopProcess();
    bool isProcessRunning(const std::string& commandLine);
    int processID() const;
    bool hasProcessID() const;

private:
    // First running process whose executable name contains name; 0 when none.
    static unsigned long getProcessIDByName(const std::string& name);
    static std::string removeCommandLineSwitches(const std::string& commandLine);

    unsigned long processId_ = 0;
    bool stopOnDestruction_;
};

} // namespace FenmarlCommonDLL
