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

// Hands every entry, whatever its level, to one output while enabled, one
// entry at a time.
class FENMARL_COMMON_API SingleOutputSmartLogger : public SmartLogger
{
public:
    void logNote(const std::string& source, const std::string& message) override;
    void logWarning(const std::string& source, const std::string& message) override;
    void logError(const std::string& source, const std::string& message) override;

protected:
    SingleOutputSmartLogger();
    virtual void write(const std::string& source, const std::string& message) = 0;

private:
    void deliver(const std::string& source, const std::string& message);
    Locker outputLock_;
};

// Shows every entry as an information box (caption = source, text = message).
class FENMARL_COMMON_API TestSmartLogger : public SingleOutputSmartLogger
{
public:
    static SmartPointer<TestSmartLogger> create();

protected:
    TestSmartLogger();
    void write(const std::string& source, const std::string& message) override;
};

// Sends source + "\n" + message of every entry to the debug output.
class FENMARL_COMMON_API DebugSmartLogger : public SingleOutputSmartLogger
{
public:
    static SmartPointer<DebugSmartLogger> create();

protected:
    DebugSmartLogger();
    void write(const std::string& source, const std::string& message) override;
};

} // namespace FenmarlCommonDLL
