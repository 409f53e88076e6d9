#pragma once

#include "common/Logger.h"
#include "common/SmartPointer.h"

namespace FenmarlCommonDLL {

// A reference-counted Logger.
class FENMARL_COMMON_API SmartLogger : public Logger, public SmartPointerBase
{
public:
    static SmartPointer<SmartLogger> create(const std::wstring& path, std::uint64_t maximumSize, bool enabled,
                                            bool reportDirectoryFailure);

protected:
    SmartLogger(const std::wstring& path, std::uint64_t maximumSize, bool enabled,
                bool reportDirectoryFailure);
    // Path "None", no cap, enabled, no directory check: for loggers that write elsewhere.
    SmartLogger();
};

// Shows every entry as an information box (caption = source, text = message).
class FENMARL_COMMON_API TestSmartLogger : public SmartLogger
{
public:
    static SmartPointer<TestSmartLogger> create();

    void logNote(const std::string& source, const std::string& message) override;
    void logWarning(const std::string& source, const std::string& message) override;
    void logError(const std::string& source, const std::string& message) override;

protected:
    TestSmartLogger();
    void show(const std::string& source, const std::string& message);
    Locker outputLock_;
};

// Sends source + "\n" + message of every entry to the debug output.
class FENMARL_COMMON_API DebugSmartLogger : public SmartLogger
{
public:
    static SmartPointer<DebugSmartLogger> create();

    void logNote(const std::string& source, const std::string& message) override;
    void logWarning(const std::string& source, const std::string& message) override;
    void logError(const std::string& source, const std::string& message) override;

protected:
    DebugSmartLogger();
    void send(const std::string& source, const std::string& message);
    Locker outputLock_;
};

} // namespace FenmarlCommonDLL
