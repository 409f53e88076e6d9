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

SingleOutputSmartLogger::SingleOutputSmartLogger() = default;

void SingleOutputSmartLogger::deliver(const std::string& source, const std::string& message)
{
    ThreadLocker guard(&outputLock_, true);
    if (isEnabled()) write(source, message);
}

void SingleOutputSmartLogger::logNote(const std::string& source, const std::string& message)
{
    deliver(source, message);
}
void SingleOutputSmartLogger::logWarning(const std::string& source, const std::string& message)
{
    deliver(source, message);
}
void SingleOutputSmartLogger::logError(const std::string& source, const std::string& message)
{
    deliver(source, message);
}

TestSmartLogger::TestSmartLogger() = default;

SmartPointer<TestSmartLogger> TestSmartLogger::create()
{
    return SmartPointer<TestSmartLogger>(new TestSmartLogger());
}

void TestSmartLogger::write(const std::string& source, const std::string& message)
{
    platform::showMessageBox(message, source, platform::MB_ICONINFORMATION_ | platform::MB_OK_);
}

DebugSmartLogger::DebugSmartLogger() = default;

SmartPointer<DebugSmartLogger> DebugSmartLogger::create()
{
    return SmartPointer<DebugSmartLogger>(new DebugSmartLogger());
}

void DebugSmartLogger::write(const std::string& source, const std::string& message)
{
    platform::outputDebugString(source + "\n" + message);
}

} // namespace FenmarlCommonDLL
