#include "common/ChildProcess.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace FenmarlCommonDLL {

int spawnChild(std::vector<std::string> args, pid_t* pid)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return ::posix_spawnp(pid, argv[0], nullptr, nullptr, argv.data(), environ);
}

void reapLater(pid_t pid)
{
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

} // namespace FenmarlCommonDLL
