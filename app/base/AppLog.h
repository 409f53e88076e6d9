#pragma once

#include <functional>
#include <memory>
#include <string>

namespace FenmarlCommonDLL {
class Logger;
}

// Message types of the application log function.
enum LogFileMessageType { LogInformation = 0, LogWarning = 1, LogError = 2 };

// The application log: each message goes first to the diagnostics output
// (the diagnostics window's lines) and then to the Tesselon.log file.
class ApplicationLog
{
public:
    // Receives "source: message" lines; the GUI hands them to its Output.
    using DiagnosticsSink = std::function<void(const std::string& line)>;

    static constexpr unsigned long kMaximumLogSize = 40960;

    // logger may be null (nothing written to a file); the sink may be empty.
    ApplicationLog(std::shared_ptr<FenmarlCommonDLL::Logger> logger, DiagnosticsSink diagnostics);
    virtual ~ApplicationLog();

    // The application's log file: data folder + "/Tesselon/Logs/Tesselon.log".
    static std::wstring defaultLogFilePath();
    // The logger of the application object (40960 bytes, enabled, directory failures reported).
    static std::shared_ptr<FenmarlCommonDLL::Logger> makeDefaultLogger();

    void logToLogFile(const std::string& source, const std::string& message, int type);
    void setDiagnosticsSink(DiagnosticsSink diagnostics);
    FenmarlCommonDLL::Logger* logger() const { return logger_.get(); }

private:
    std::shared_ptr<FenmarlCommonDLL::Logger> logger_;
    DiagnosticsSink diagnostics_;
};

// The process's application log; the core's sequences log through it. Until
// one is installed, messages are dropped.
void SetApplicationLog(ApplicationLog* log);
ApplicationLog* GetApplicationLog();
void LogToLogFile(const std::string& source, const std::string& message, int type);
