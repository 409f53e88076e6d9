#include "common/LastError.h"
#include "common/ProcessManager.h"
#include "common/ProcessStarter.h"
#include "common/platform/Hooks.h"
#include "common/platform/Text.h"
#include "common/tests/TestScratch.h"
#include "testsupport/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

using namespace FenmarlCommonDLL;
using commontest::scratch;

namespace {

// A copy of sleep under a name no other process has.
std::string uniqueSleeper()
{
    const std::string name = "tslsleep" + std::to_string(::getpid()) + "z";
    const auto path = scratch() / name;
    std::filesystem::copy_file("/bin/sleep", path, std::filesystem::copy_options::overwrite_existing);
    return path.string();
}

// Each check reads the whole process table: look less often.
template <typename Condition> bool waitFor(Condition condition)
{
    return TestSupport::waitFor(condition, std::chrono::seconds(20), std::chrono::milliseconds(20));
}

} // namespace

TEST(ProcessManager, StartsFindsAndStopsAProgram)
{
    const std::string sleeper = uniqueSleeper();
    const std::string name = std::filesystem::path(sleeper).filename().string();
    ProcessManager manager(false);
    EXPECT_FALSE(manager.hasProcessID());
    EXPECT_FALSE(manager.stopProcess()); // nothing to stop
    EXPECT_FALSE(manager.isProcessRunning(sleeper + " 60"));

    ASSERT_TRUE(manager.startProcess(sleeper + " 60"));
    ASSERT_TRUE(manager.hasProcessID());
    const int pid = manager.processID();
    ASSERT_TRUE(waitFor([&] { return ProcessManager(false).isProcessRunning(name + " -x"); }));

    // Already running: nothing new is started and the running copy is kept.
    ProcessManager second(false);
    EXPECT_TRUE(second.startProcess(sleeper + " 60"));
    EXPECT_EQ(second.processID(), pid);
    ProcessManager attached(name, false);
    EXPECT_EQ(attached.processID(), pid);

    EXPECT_TRUE(manager.stopProcess());
    EXPECT_FALSE(manager.hasProcessID());
    EXPECT_TRUE(waitFor([&] { return !ProcessManager(false).isProcessRunning(name); }));
    // The process is gone, so a second kill fails and keeps the identifier.
    EXPECT_FALSE(second.stopProcess());
    EXPECT_EQ(second.processID(), pid);
}

TEST(ProcessManager, StopsItsProcessOnDestructionWhenAsked)
{
    const std::string sleeper = uniqueSleeper();
    const std::string name = std::filesystem::path(sleeper).filename().string();
    {
        ProcessManager manager(true);
        ASSERT_TRUE(manager.startProcess(sleeper + " 60"));
    }
    EXPECT_TRUE(waitFor([&] { return !ProcessManager(false).isProcessRunning(name); }));
    EXPECT_FALSE(ProcessManager(false).startProcess("/no/such/program"));
}

TEST(ProcessStarter, ReportsMissingFilesWithTheShellTexts)
{
    ProcessStarter starter;
    EXPECT_EQ(starter.lastResult(), -1);
    EXPECT_FALSE(starter.start(platform::utf8ToWide((scratch() / "missing.txt").string()), L"a b"));
    EXPECT_EQ(starter.getLastError(), L"File not found");
    EXPECT_FALSE(starter.start(platform::utf8ToWide((scratch() / "nofolder" / "x.txt").string()), L""));
    EXPECT_EQ(starter.getLastError(), L"Path not found");

    std::vector<std::pair<std::string, std::string>> boxes;
    platform::setMessageBoxHandler([&](const std::string& t, const std::string& c, unsigned) {
        boxes.emplace_back(t, c);
        return platform::IDOK_;
    });
    starter.start(L"/no/such/file.pdf", L"p q");
    starter.displayLastErrorDetails();
    platform::setMessageBoxHandler(nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, "ProcessStarter");
    EXPECT_EQ(boxes[0].first,
              "Unable to start the process: /no/such/file.pdf, with the parameter: \"p q\", because "
              "(process): Path not found");
}

TEST(ProcessStarter, RunsAProgramWithItsParameter)
{
    const auto script = scratch() / "record.sh";
    const auto marker = scratch() / "marker.txt";
    commontest::writeFile(script, "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" + marker.string() +
                                      ".tmp\"\nmv \"" + marker.string() + ".tmp\" \"" + marker.string() +
                                      "\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    ProcessStarter starter;
    ASSERT_TRUE(starter.start(platform::utf8ToWide(script.string()), L"two words"));
    EXPECT_EQ(starter.getLastError(), L"");
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(marker); }));
    EXPECT_EQ(commontest::readFile(marker), "1|two words");
}

TEST(LastError, DescriptionAndWideException)
{
    EXPECT_EQ(LastError::descritpion(2), L"2, The system cannot find the file specified.");
    EXPECT_EQ(LastError::descritpion(1167), L"1167, The device is not connected.");
    EXPECT_EQ(LastError::descritpion(4242), L"4242");
    EXPECT_EQ(LastError::descritpion(0), L"0");
    try {
        throw WException(L"wide \u00B5");
    } catch (const WException& e) {
        EXPECT_EQ(e.what(), L"wide \u00B5");
    }
}
