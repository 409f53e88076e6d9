#include "common/SmartLogger.h"

#include "common/platform/Hooks.h"

namespace FenmarlCommonDLL {

SmartLogger::SmartLogger(const std::wstring& path, std::uint64_t maximumSize, bool enabled,
                         bool reportDirectoryFailure)
    : Logger(path, maximumSize, enabled, reportDirectoryFailure)
{
}

SmartLogger::SmartLogger() : Logger(NoDirectoryCheck{}, L"None", 0, true, false) {}

SmartPointer<SmartLogger> SmartLogger::create(const std::wstring& path, std::uint64_t maximumSize,
                                              bool enabled, bool reportDirectoryFailure)
{
    return SmartPointer<SmartLogger>(new SmartLogger(path, maximumSize, enabled, reportDirectoryFailure));
}

TestSmartLogger::TestSmartLogger() = default;

SmartPointer<TestSmartLogger> TestSmartLogger::create()
{
    return SmartPointer<TestSmartLogger>(new TestSmartLogger());
}

void TestSmartLogger::show(const std::string& source, const std::string& message)
{
    ThreadLocker guard(&outputLock_, true);
    if (isEnabled())
        platform::showMessageBox(message, source, platform::MB_ICONINFORMATION_ | platform::MB_OK_);
}

void TestSmartLogger::logNote(const std::string& source, const std::string& message)
{
    show(source, message);
}
void TestSmartLogger::logWarning(const std::string& source, const std::string& message)
{
    show(source, message);
}
void TestSmartLogger::logError(const std::string& source, const std::string& message)
{
    show(source, message);
}

DebugSmartLogger::DebugSmartLogger() = default;

SmartPointer<DebugSmartLogger> DebugSmartLogger::create()
{
    return SmartPointer<DebugSmartLogger>(new DebugSmartLogger());
}

void DebugSmartLogger::send(const std::string& source, const std::string& message)
{
    ThreadLocker guard(&outputLock_, true);
    if (isEnabled()) platform::outputDebugString(source + "\n" + message);
}

void DebugSmartLogger::logNote(const std::string& source, const std::string& message)
{
    send(source, message);
}
void DebugSmartLogger::logWarning(const std::string& source, const std::string& message)
{
    send(source, message);
}
void DebugSmartLogger::logError(const std::string& source, const std::string& message)
{
    send(source, message);
}

} // namespace FenmarlCommonDLL
