#include "common/Logger.h"

#include "common/Utils.h"
#include "common/platform/Hooks.h"
#include "common/platform/Text.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace FenmarlCommonDLL {

namespace {

const char* const kBanner = "--------------------------- Log File Started ---------------------------";

// Paths written the Windows way ("...\\Tesselon\\Logs\\x.log") name the same file here.
std::wstring normalisedPath(const std::wstring& path)
{
    std::wstring out = path;
    for (wchar_t& c : out) {
        if (c == L'\\') c = L'/';
    }
    return out;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool fileSize(const std::string& path, std::uint64_t* size)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

} // namespace

Logger::Logger(const std::wstring& path, std::uint64_t maximumSize, bool enabled, bool reportDirectoryFailure)
    : path_(normalisedPath(path)), maximumSize_(maximumSize), enabled_(enabled),
      reportDirectoryFailure_(reportDirectoryFailure)
{
    ThreadLocker guard(&lock_, true);
    ensureLogFileDirectoryExists();
    if (enabled_) writeLine("NOTE", "LogFile", kBanner);
}

Logger::Logger(NoDirectoryCheck, const std::wstring& path, std::uint64_t maximumSize, bool enabled,
               bool reportDirectoryFailure)
    : path_(path), maximumSize_(maximumSize), enabled_(enabled),
      reportDirectoryFailure_(reportDirectoryFailure)
{
}

Logger::~Logger() = default;

void Logger::setEnabled(bool enabled)
{
    ThreadLocker guard(&lock_, true);
    enabled_ = enabled;
}

bool Logger::isEnabled()
{
    ThreadLocker guard(&lock_, true);
    return enabled_;
}

std::wstring Logger::logFilePath()
{
    ThreadLocker guard(&lock_, true);
    return path_;
}

std::wstring Logger::logFileDirectory()
{
    ThreadLocker guard(&lock_, true);
    return Utils::directoryPathFromPath(path_);
}

void Logger::logNote(const std::string& source, const std::string& message)
{
    ThreadLocker guard(&lock_, true);
    if (enabled_) writeLine("NOTE", source, message);
}

void Logger::logWarning(const std::string& source, const std::string& message)
{
    ThreadLocker guard(&lock_, true);
    if (enabled_) writeLine("WARNING", source, message);
}

void Logger::logError(const std::string& source, const std::string& message)
{
    ThreadLocker guard(&lock_, true);
    if (enabled_) writeLine("ERROR", source, message);
}

namespace {

// One entry, one line: a line break inside a text (a logged message box of
// two lines, say) becomes " | ", so readers that split the log by lines see
// every entry whole, with its time stamp. Breaks at the end are dropped.
std::string oneLine(const std::string& text)
{
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r'))
        --end;
    if (text.find_first_of("\r\n") >= end) return text.substr(0, end);
    std::string out;
    out.reserve(end + 8);
    for (std::size_t i = 0; i < end; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            out.push_back(c);
            continue;
        }
        if (c == '\r' && i + 1 < end && text[i + 1] == '\n') ++i; // CR LF is one break
        out += " | ";
    }
    return out;
}

} // namespace

std::string Logger::formatLine(std::chrono::system_clock::time_point when, const char* level,
                               const std::string& source, const std::string& message)
{
    using namespace std::chrono;
    const auto sinceEpoch = when.time_since_epoch();
    auto secs = duration_cast<seconds>(sinceEpoch);
    auto millis = duration_cast<milliseconds>(sinceEpoch - secs).count();
    if (millis < 0) { // before 1970: floor, not truncate
        millis += 1000;
        secs -= seconds(1);
    }
    const std::time_t t = static_cast<std::time_t>(secs.count());
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[64];
    const std::size_t n = std::strftime(stamp, sizeof stamp, "%d/%m/%y %H:%M:%S", &local);
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03d", static_cast<int>(millis % 1000));
    std::string line;
    line.reserve(n + 16 + source.size() + message.size());
    line.append(stamp, n).append(ms).append(" [").append(level).append("] ");
    line.append(oneLine(source)).append(": ").append(oneLine(message));
    return line;
}

void Logger::ensureLogFileDirectoryExists()
{
    std::wstring directory = Utils::directoryPathFromPath(path_);
    // A bare file name lives in the current folder.
    if (directory == path_) directory = L".";
    if (directory.empty()) directory = L"/";
    directoryAvailable_ = Utils::directoryExists(directory) || Utils::createDirectory(directory);
    if (!directoryAvailable_ && reportDirectoryFailure_) {
        platform::showMessageBox(
            "Unable to create log directory for log file: " + platform::wideToUtf8(path_),
            "Logger::ensureLogFileDirectoryExists", platform::MB_ICONEXCLAMATION_ | platform::MB_OK_);
    }
}

void Logger::writeLine(const char* level, const std::string& source, const std::string& message)
{
    if (!directoryAvailable_) return;
    std::string line = formatLine(std::chrono::system_clock::now(), level, source, message);
    line.push_back('\n');
    const std::string native = platform::wideToUtf8(path_);
    const int fd = ::open(native.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    const bool written = writeAll(fd, line);
    ::close(fd);
    if (!written) return;

    // A pass that does not shrink the file (or a file that vanished) ends the loop.
    std::uint64_t previous = UINT64_MAX;
    std::uint64_t size = 0;
    while (fileSize(native, &size) && size > maximumSize_ && size < previous) {
        previous = size;
        if (!trimOldestLine()) break;
    }
}

bool Logger::trimOldestLine()
{
    const std::string native = platform::wideToUtf8(path_);
    std::FILE* in = std::fopen(native.c_str(), "rb");
    if (!in) return false;
    std::string content;
    char buffer[8192];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        content.append(buffer, n);
    const bool readOk = !std::ferror(in);
    std::fclose(in);
    if (!readOk) return false;

    // Drop whole lines from the front, at least one, until the rest fits.
    std::size_t start = 0;
    do {
        const std::size_t eol = content.find('\n', start);
        start = (eol == std::string::npos) ? content.size() : eol + 1;
    } while (start < content.size() && content.size() - start > maximumSize_);

    // Rewritten beside and renamed over, so a failure never leaves half a log.
    const std::string temp = native + ".trim";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written = writeAll(fd, std::string_view(content).substr(start));
    ::close(fd);
    if (!written || ::rename(temp.c_str(), native.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace FenmarlCommonDLL
