#include "common/ProcessManager.h"

#include "common/ChildProcess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <vector>

namespace FenmarlCommonDLL {

namespace {

// The executable's file name of a process, as a process snapshot lists it:
// argv[0]'s last part, else the kernel's short name. Zombies do not count as running.
bool processName(unsigned long pid, std::string* name)
{
    const std::string base = "/proc/" + std::to_string(pid);
    std::ifstream stat(base + "/stat");
    std::string statLine;
    if (!std::getline(stat, statLine)) return false;
    const std::size_t close = statLine.rfind(')');
    if (close == std::string::npos || close + 2 >= statLine.size() || statLine[close + 2] == 'Z')
        return false;
    std::ifstream cmdline(base + "/cmdline", std::ios::binary);
    std::string argv0;
    std::getline(cmdline, argv0, '\0');
    if (!argv0.empty()) {
        const std::size_t slash = argv0.find_last_of('/');
        *name = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
        return true;
    }
    const std::size_t open = statLine.find('(');
    if (open == std::string::npos || open > close) return false;
    *name = statLine.substr(open + 1, close - open - 1);
    return true;
}

// Splits a command line into arguments; double quotes group blanks.
std::vector<std::string> splitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false;
    bool haveArg = false;
    for (char c : commandLine) {
        if (c == '"') {
            inQuotes = !inQuotes;
            haveArg = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (haveArg) args.push_back(current);
            current.clear();
            haveArg = false;
        } else {
            current.push_back(c);
            haveArg = true;
        }
    }
    if (haveArg) args.push_back(current);
    return args;
}

} // namespace

ProcessManager::ProcessManager(bool stopOnDestruction) : stopOnDestruction_(stopOnDestruction) {}

ProcessManager::ProcessManager(const std::string& commandLine, bool stopOnDestruction)
    : processId_(getProcessIDByName(removeCommandLineSwitches(commandLine))),
      stopOnDestruction_(stopOnDestruction)
{
}

ProcessManager::~ProcessManager()
{
    if (stopOnDestruction_ && processId_ != 0) stopProcess();
}

std::string ProcessManager::removeCommandLineSwitches(const std::string& commandLine)
{
    const std::size_t space = commandLine.find(' ');
    return space == std::string::npos ? commandLine : commandLine.substr(0, space);
}

unsigned long ProcessManager::getProcessIDByName(const std::string& name)
{
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    std::vector<unsigned long> pids;
    while (const dirent* entry = ::readdir(proc)) {
        const std::string n = entry->d_name;
        if (!n.empty() && std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; }))
            pids.push_back(std::stoul(n));
    }
    ::closedir(proc);
    std::sort(pids.begin(), pids.end());
    for (unsigned long pid : pids) {
        std::string exe;
        if (processName(pid, &exe) && exe.find(name) != std::string::npos) return pid;
    }
    return 0;
}

bool ProcessManager::isProcessRunning(const std::string& commandLine)
{
    // Snapshots list bare executable names, so a path is compared by its last part.
    std::string executable = removeCommandLineSwitches(commandLine);
    const std::size_t separator = executable.find_last_of("/\\");
    if (separator != std::string::npos) executable = executable.substr(separator + 1);
    processId_ = getProcessIDByName(executable);
    return processId_ != 0;
}

bool ProcessManager::startProcess(const std::string& commandLine)
{
    if (isProcessRunning(commandLine)) return true;
    std::vector<std::string> args = splitCommandLine(commandLine);
    if (args.empty()) return false;
    pid_t pid = 0;
    if (spawnChild(std::move(args), &pid) != 0) return false;
    processId_ = static_cast<unsigned long>(pid);
    reapLater(pid);
    return true;
}

bool ProcessManager::stopProcess()
{
    if (processId_ == 0) return false;
    // An ended child stays a zombie until it is reaped, and a kill would still
    // succeed on it; an ended process cannot be terminated again.
    std::string name;
    if (!processName(processId_, &name)) return false;
    if (::kill(static_cast<pid_t>(processId_), SIGKILL) != 0) return false;
    processId_ = 0;
    return true;
}

int ProcessManager::processID() const
{
    return static_cast<int>(processId_);
}
bool ProcessManager::hasProcessID() const
{
    return processId_ != 0;
}

} // namespace FenmarlCommonDLL
