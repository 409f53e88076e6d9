#include "common/ProcessStarter.h"

#include "common/ChildProcess.h"
#include "common/platform/Hooks.h"
#include "common/platform/Text.h"

#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace FenmarlCommonDLL {

namespace {

// The shell's result codes; anything above 32 is success.
constexpr std::int64_t kSuccess = 42;
constexpr std::int64_t kFileNotFound = 2;
constexpr std::int64_t kPathNotFound = 3;
constexpr std::int64_t kAccessDenied = 5;
constexpr std::int64_t kNoAssociation = 31;

struct ShellText
{
    std::int64_t code;
    const wchar_t* text;
};

constexpr ShellText kShellTexts[] = {
    {0, L"Out of memory"},
    {2, L"File not found"},
    {3, L"Path not found"},
    {5, L"The operating system denied access to the specified file."},
    {8, L"There was not enough memory to complete the operation."},
    {11, L"The .exe file is invalid (non-Win32 .exe or error in .exe image)."},
    {26, L"A sharing violation occurred."},
    {27, L"The file name association is incomplete or invalid."},
    {28, L"The DDE transaction could not be completed because the request timed out."},
    {29, L"The DDE transaction failed."},
    {30, L"The DDE transaction could not be completed because other DDE transactions were being processed."},
    {31, L"There is no application associated with the given file name extension. This error will also be "
         L"returned if you attempt to print a file that is not printable."},
    {32, L"The specified DLL was not found."},
};

bool isAddress(const std::string& file)
{
    return file.find("://") != std::string::npos || file.rfind("mailto:", 0) == 0;
}

std::int64_t spawn(std::vector<std::string> args, pid_t* pid)
{
    const int rc = spawnChild(std::move(args), pid);
    if (rc == 0) return kSuccess;
    if (rc == EACCES) return kAccessDenied;
    if (rc == ENOENT) return kFileNotFound;
    return kNoAssociation;
}

// xdg-open usually returns at once; its exit code tells whether a program was
// found. One that keeps running (some desktops wait for the program) counts as started.
std::int64_t openWithDesktop(const std::string& file)
{
    pid_t pid = 0;
    if (spawn({"xdg-open", file}, &pid) != kSuccess) return kNoAssociation;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (!WIFEXITED(status)) return kNoAssociation;
            switch (WEXITSTATUS(status)) {
            case 0:
                return kSuccess;
            case 2:
                return kFileNotFound;
            default:
                return kNoAssociation;
            }
        }
        if (done < 0 && errno != EINTR) return kSuccess;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    reapLater(pid);
    return kSuccess;
}

} // namespace

ProcessStarter::ProcessStarter() = default;
ProcessStarter::~ProcessStarter() = default;

bool ProcessStarter::start(std::wstring file, std::wstring parameters)
{
    file_ = file;
    parameters_ = L"\"" + parameters + L"\"";
    const std::string path = platform::wideToUtf8(file);

    struct stat st;
    if (isAddress(path)) {
        lastResult_ = openWithDesktop(path);
    } else if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        const std::size_t slash = path.find_last_of('/');
        struct stat folder;
        const bool folderMissing =
            slash != std::string::npos && slash > 0 && ::stat(path.substr(0, slash).c_str(), &folder) != 0;
        lastResult_ = folderMissing ? kPathNotFound : kFileNotFound;
    } else if (S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0) {
        // A program: run it with the parameters as its one argument.
        std::vector<std::string> args{path};
        if (!parameters.empty()) args.push_back(platform::wideToUtf8(parameters));
        pid_t pid = 0;
        lastResult_ = spawn(args, &pid);
        if (lastResult_ == kSuccess) reapLater(pid);
    } else {
        lastResult_ = openWithDesktop(path);
    }
    return lastResult_ > 32;
}

std::wstring ProcessStarter::getLastError()
{
    if (lastResult_ > 32) return {};
    for (const ShellText& t : kShellTexts) {
        if (t.code == lastResult_) return t.text;
    }
    return {};
}

void ProcessStarter::displayLastErrorDetails()
{
    const std::wstring text = L"Unable to start the process: " + file_ + L", with the parameter: " +
                              parameters_ + L", because (process): " + getLastError();
    platform::showMessageBox(platform::wideToUtf8(text), "ProcessStarter", platform::MB_OK_);
}

} // namespace FenmarlCommonDLL
