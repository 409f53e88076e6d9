#include "common/platform/KnownFolders.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace FenmarlCommonDLL::platform {

namespace {

// An XDG variable counts only when it holds an absolute path.
std::string absoluteEnv(const char* name)
{
    const char* value = std::getenv(name);
    if (value && value[0] == '/') return value;
    return {};
}

std::filesystem::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] != '\0') return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::filesystem::path configHome()
{
    const std::string xdg = absoluteEnv("XDG_CONFIG_HOME");
    return xdg.empty() ? homeFolder() / ".config" : std::filesystem::path(xdg);
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs, as xdg-user-dir reads it:
// XDG_DOCUMENTS_DIR="$HOME/Documents" or an absolute path.
std::filesystem::path configuredDocumentsFolder()
{
    std::ifstream in(configHome() / "user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string prefix = "XDG_DOCUMENTS_DIR=";
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, prefix.size(), prefix) != 0) continue;
        std::string value = line.substr(start + prefix.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) return homeFolder().string() + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return {};
}

} // namespace

std::filesystem::path applicationDataFolder()
{
    const std::string xdg = absoluteEnv("XDG_DATA_HOME");
    return xdg.empty() ? homeFolder() / ".local" / "share" : std::filesystem::path(xdg);
}

std::filesystem::path documentsFolder()
{
    std::filesystem::path configured = configuredDocumentsFolder();
    return configured.empty() ? homeFolder() / "Documents" : configured;
}

std::filesystem::path temporaryFolder()
{
    if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] != '\0') return tmp;
    return "/tmp";
}

std::filesystem::path userConfigFolder()
{
    return configHome() / "Fenmarl";
}

std::filesystem::path machineConfigFolder()
{
    if (const char* dir = std::getenv("FENMARL_MACHINE_CONFIG_DIR"); dir && dir[0] != '\0') return dir;
    return "/etc/xdg/Fenmarl";
}

} // namespace FenmarlCommonDLL::platform
