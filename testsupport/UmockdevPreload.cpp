// Linked into every program that runs the usbdevfs bridge: when the program
// was started without umockdev's preload library, it starts itself again
// with it, so the programs run the same by hand, under CTest and in the
// sanitizer builds. A sanitizer's runtime must come first in LD_PRELOAD, so
// the one this program carries is put in front.
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <link.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";
constexpr const char* kGuard = "TESSELON_UMOCKDEV_RESTARTED";

int findSanitizer(dl_phdr_info* info, std::size_t, void* out)
{
    const char* name = info->dlpi_name;
    if (name && (std::strstr(name, "/libasan.so") || std::strstr(name, "/libtsan.so"))) {
        *static_cast<std::string*>(out) = name;
        return 1;
    }
    return 0;
}

__attribute__((constructor)) void restartWithUmockdev()
{
    const char* current = std::getenv("LD_PRELOAD");
    if (current && std::strstr(current, "libumockdev-preload")) return;
    if (std::getenv(kGuard)) return; // tried once already: the bridge reports why it is not ready
    std::string preload;
    dl_iterate_phdr(findSanitizer, &preload);
    if (!preload.empty()) preload += ":";
    preload += kPreload;
    if (current && *current) preload += std::string(":") + current;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv(kGuard, "1", 1);
    // /proc/self/cmdline gives the arguments before main() has them.
    std::string args;
    if (FILE* f = std::fopen("/proc/self/cmdline", "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            args.append(buffer, n);
        std::fclose(f);
    }
    std::vector<char*> argv;
    for (std::size_t i = 0; i < args.size(); i += std::strlen(args.c_str() + i) + 1)
        argv.push_back(args.data() + i);
    argv.push_back(nullptr);
    // The program's own path, so its name (and its threads' names) stay its own.
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return;
    self[n] = '\0';
    execv(self, argv.data());
    // If that failed the bridge says so; nothing else to do here.
}

} // namespace
