#include "common/platform/KnownFolders.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
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

std::filesystem::path configuredDocumentsFolder()
{
    std::ifstream in(configHome() / "user-dirs.dirs", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return documentsFolderFromUserDirs(text, homeFolder());
}

} // namespace

// XDG_DOCUMENTS_DIR as xdg-user-dir reads it: XDG_DOCUMENTS_DIR="$HOME/Documents"
// or an absolute path; the first such line counts.
std::filesystem::path documentsFolderFromUserDirs(const std::string& text, const std::filesystem::path& home)
{
    const std::string prefix = "XDG_DOCUMENTS_DIR=";
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = text.size();
        const std::string line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, prefix.size(), prefix) != 0) continue;
        std::string value = line.substr(start + prefix.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        // "$HOME" alone or followed by a slash; "$HOMEX" is not the home folder.
        if (value == "$HOME" || value.rfind("$HOME/", 0) == 0) return home.string() + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return {};
}

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
