#include "app/base/AppLog.h"

#include "common/Logger.h"
#include "common/Utils.h"

#include <atomic>

namespace {
std::atomic<ApplicationLog*> installedLog{nullptr};
}

ApplicationLog::ApplicationLog(std::shared_ptr<FenmarlCommonDLL::Logger> logger, DiagnosticsSink diagnostics)
    : logger_(std::move(logger)), diagnostics_(std::move(diagnostics))
{
}

ApplicationLog::~ApplicationLog()
{
    ApplicationLog* self = this;
    installedLog.compare_exchange_strong(self, nullptr);
}

std::wstring ApplicationLog::defaultLogFilePath()
{
    return FenmarlCommonDLL::Utils::getUsersDataDirectory() + L"/Tesselon/Logs/Tesselon.log";
}

std::shared_ptr<FenmarlCommonDLL::Logger> ApplicationLog::makeDefaultLogger()
{
    return std::make_shared<FenmarlCommonDLL::Logger>(defaultLogFilePath(), kMaximumLogSize, true, true);
}

void ApplicationLog::setDiagnosticsSink(DiagnosticsSink diagnostics)
{
    diagnostics_ = std::move(diagnostics);
}

void ApplicationLog::logToLogFile(const std::string& source, const std::string& message, int type)
{
    if (type < LogInformation || type > LogError) {
        logToLogFile(source, "CCorvelApp::logToLogFile, unknown LogFileMessageType", LogError);
        return;
    }
    if (diagnostics_ && !message.empty()) diagnostics_(source + ": " + message);
    if (!logger_) return;
    switch (type) {
    case LogInformation:
        logger_->logNote(source, message);
        break;
    case LogWarning:
        logger_->logWarning(source, message);
        break;
    default:
        logger_->logError(source, message);
        break;
    }
}

void SetApplicationLog(ApplicationLog* log)
{
    installedLog.store(log);
}

ApplicationLog* GetApplicationLog()
{
    return installedLog.load();
}

void LogToLogFile(const std::string& source, const std::string& message, int type)
{
    if (ApplicationLog* log = installedLog.load()) log->logToLogFile(source, message, type);
}
