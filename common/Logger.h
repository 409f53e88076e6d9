#pragma once

#include "common/Export.h"
#include "common/Locker.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace FenmarlCommonDLL {

// Plain-text log with a size cap (oldest lines dropped). Every deliverable
// builds one at load time. Paths are wide; join with '/' on Linux.
class FENMARL_COMMON_API Logger
{
public:
    Logger(const std::wstring& path, std::uint64_t maximumSize, bool enabled, bool reportDirectoryFailure);
    virtual ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    virtual void setEnabled(bool enabled);
    virtual bool isEnabled();
    virtual std::wstring logFilePath();
    virtual std::wstring logFileDirectory();
    virtual void logNote(const std::string& source, const std::string& message);
    virtual void logWarning(const std::string& source, const std::string& message);
    virtual void logError(const std::string& source, const std::string& message);

    // One log line without its line end:
    // "%d/%m/%y %H:%M:%S" "." milliseconds(3 digits) " [" level "] " source ": " message.
    static std::string formatLine(std::chrono::system_clock::time_point when, const char* level,
                                  const std::string& source, const std::string& message);

protected:
    struct NoDirectoryCheck
    {
    };
    Logger(NoDirectoryCheck, const std::wstring& path, std::uint64_t maximumSize, bool enabled,
           bool reportDirectoryFailure);
    void writeLine(const char* level, const std::string& source, const std::string& message);
    void ensureLogFileDirectoryExists();
    // Drops the oldest lines so that the file fits the maximum; false when the
    // file could not be read or rewritten (the caller stops trimming).
    bool trimOldestLine();

    Locker lock_;
    std::wstring path_;
    std::uint64_t maximumSize_;
    bool enabled_;
    bool directoryAvailable_ = false;
    bool reportDirectoryFailure_;
};

} // namespace FenmarlCommonDLL
