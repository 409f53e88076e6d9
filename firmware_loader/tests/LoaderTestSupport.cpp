#include "firmware_loader/tests/LoaderTestSupport.h"

#include "common/platform/Text.h"
#include "testsupport/ProgramLogs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace LoaderTest {

namespace {
// Before anything asks for the bus: the loader must see the simulated one.
const bool simulated = [] {
    setenv("TESSELON_USB", "simulator", 1);
    return true;
}();
} // namespace

FenmarlUsb::SimulatedBus& emptyBus()
{
    (void)simulated;
    auto& bus = FenmarlUsb::SimulatedBus::instance();
    bus.waitIdle();
    bus.reset();
    return bus;
}

std::shared_ptr<FenmarlUsb::BareDevice> makeBareDevice(bool becomesInstrument)
{
    auto device = std::make_shared<FenmarlUsb::BareDevice>(
        becomesInstrument ? std::make_shared<PlainInstrument>() : nullptr);
    device->setReenumerationDelay(std::chrono::milliseconds(20));
    return device;
}

std::string besideProgram(const std::string& library)
{
    std::error_code ec;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (program.parent_path() / library).string();
}

std::wstring scratchLogPath(const std::string& name)
{
    const char* scratch = std::getenv("TESSELON_TEST_SCRATCH");
    const std::string base = scratch ? scratch : std::string("/tmp");
    // One file per test, so tests sharing a process never read each other's lines.
    std::string test = "none";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        test = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : test)
        if (c == '/') c = '_';
    return FenmarlCommonDLL::platform::utf8ToWide(base + "/logs/" + test + "/" + name);
}

std::wstring libraryLogPath()
{
    return FenmarlCommonDLL::platform::utf8ToWide(TestSupport::logFile("FirmwareDriver.log").string());
}

std::string readFile(const std::wstring& path)
{
    std::ifstream in(FenmarlCommonDLL::platform::wideToUtf8(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t countOccurrences(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

} // namespace LoaderTest
