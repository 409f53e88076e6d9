#include "app/acquisition/tests/ScanThreadTestSupport.h"

#include "app/settings/ScanConfigurationStore.h"
#include "app/base/AppLog.h"
#include "app/shell/InstrumentDetection.h"
#include "app/base/ScriptedUserInteraction.h"
#include "common/Logger.h"
#include "common/platform/Text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>

using namespace ScanTest;
using namespace FenmarlCommonDLL::platform;

namespace {

FenmarlUsb::InstrumentConfig named(const std::string& product)
{
    auto config = instrumentConfig();
    config.product = product;
    return config;
}

class DetectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        logPath = scratchFolder() + "/logs/Tesselon.log";
        log = std::make_unique<ApplicationLog>(
            std::make_shared<FenmarlCommonDLL::Logger>(utf8ToWide(logPath), 40960, true, true), nullptr);
        SetApplicationLog(log.get());
        store = std::make_unique<ScanConfigurationStore>(ui, CommandLineSwitches{});
        store->defaultSettings().ZeroAndStabilise = 0;
        store->scanConfiguration().Input1Mode = "Magnetometer";
    }
    void TearDown() override
    {
        CloseDevice();
        SetApplicationLog(nullptr);
    }
    std::string logText() const
    {
        std::ifstream in(logPath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string logPath;
    std::unique_ptr<ApplicationLog> log;
    ScriptedUserInteraction ui;
    std::unique_ptr<ScanConfigurationStore> store;
};

} // namespace

TEST_F(DetectionTest, TwoInstrumentsAreListedAndTheSelectedOneIsOpened)
{
    auto plugged = plugInstruments({named("TS6A"), named("TS6B")}, false);
    InstrumentDetection detection(ui, *store, false);
    ASSERT_TRUE(detection.detect());
    EXPECT_EQ(detection.entries(), (std::vector<std::string>{"TS6A", "TS6B"}));
    EXPECT_EQ(detection.statusText(), "2 Device(s) Found...");
    EXPECT_EQ(detection.selection(), 0);
    EXPECT_TRUE(detection.okEnabled());

    for (auto& instrument : plugged)
        instrument->clearControlRequests();
    detection.select(1);
    ASSERT_TRUE(detection.connect());
    EXPECT_TRUE(IsDeviceOpen());
    EXPECT_TRUE(plugged[0]->controlRequests().empty()) << "the other instrument is left alone";
    EXPECT_EQ(plugged[1]->state().sensorWord & 0x01, 0x01) << "input 1 powered on the chosen one";
    EXPECT_TRUE(ui.messages().empty());
    const std::string text = logText();
    EXPECT_NE(text.find("Detect Instruments: Searching For Instruments..."), std::string::npos);
    EXPECT_NE(text.find("Detect Instruments: Connecting to Tesselon."), std::string::npos);
    EXPECT_NE(text.find("Detect Instruments: Tesselon ready to acquire data."), std::string::npos);
}

TEST_F(DetectionTest, NothingFoundLeavesOkUsableButNothingToOpen)
{
    plugInstruments({}, false);
    InstrumentDetection detection(ui, *store, false);
    detection.detect();
    EXPECT_TRUE(detection.entries().empty());
    EXPECT_EQ(detection.statusText(), "No Devices Found");
    EXPECT_TRUE(detection.okEnabled());
    EXPECT_FALSE(detection.connect());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "No Device Present");
    EXPECT_EQ(ui.messages()[0].caption, "USB Control");
    EXPECT_EQ(ui.messages()[0].icon(), MB_ICONEXCLAMATION_);
    EXPECT_NE(logText().find("[WARNING] Detect Instruments: No Device Present"), std::string::npos);
}

TEST_F(DetectionTest, AnInstrumentThatRefusesToOpenGetsNothingSent)
{
    auto config = named("TS6A");
    FenmarlUsb::InstrumentFault fault;
    fault.request = 0xAA; // the interface type the driver asks for while opening
    config.faults = {fault};
    auto plugged = plugInstruments({config}, false);
    InstrumentDetection detection(ui, *store, false);
    detection.detect();
    ASSERT_EQ(detection.entries().size(), 1u);
    plugged[0]->clearControlRequests();
    EXPECT_FALSE(detection.connect());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Unable to open device");
    EXPECT_EQ(ui.messages()[0].caption, "Tesselon");
    for (const auto& r : plugged[0]->controlRequests())
        EXPECT_NE(r.request, 0xA3) << "no set-up after a failed open";
    EXPECT_NE(logText().find("[ERROR] Detect Instruments: Unable to open device"), std::string::npos);
}

TEST_F(DetectionTest, ArrivalsAreReportedAndASilentRunSkipsOnePostedSearch)
{
    plugInstruments({named("TS6A")}, false);
    InstrumentDetection detection(ui, *store, true);
    std::atomic<int> posted{0};
    detection.startWatching([&] { ++posted; });
    auto second = std::make_shared<FenmarlUsb::Instrument>(named("TS6B"));
    FenmarlUsb::SimulatedBus::instance().plug(second);
    ASSERT_TRUE(waitFor([&] { return posted.load() >= 1; }, std::chrono::seconds(10)));

    ASSERT_TRUE(detection.detect()) << "the direct silent search runs";
    EXPECT_EQ(detection.entries().size(), 2u);
    EXPECT_FALSE(detection.detect()) << "the posted one after it is skipped";
    EXPECT_TRUE(detection.entries().empty());
    EXPECT_TRUE(detection.detect());
    EXPECT_EQ(detection.entries().size(), 2u);
    EXPECT_NE(logText().find("Detect Instruments: Running silently."), std::string::npos);

    detection.stopWatching();
    const int before = posted.load();
    FenmarlUsb::SimulatedBus::instance().unplug(second->path());
    FenmarlUsb::SimulatedBus::instance().waitIdle();
    EXPECT_EQ(posted.load(), before) << "no callbacks once unwatched";
}

// The dialog's status says what was found when it cannot be used, and what to do.
TEST_F(DetectionTest, AnInstrumentThatCannotBeOpenedIsNamedInTheStatus)
{
    auto config = named("LOCKED");
    config.refuseOpen = 5;
    plugInstruments({config}, false);
    InstrumentDetection detection(ui, *store, false);
    detection.detect();
    EXPECT_TRUE(detection.entries().empty());
    EXPECT_NE(detection.statusText().find("access denied"), std::string::npos) << detection.statusText();
    EXPECT_NE(detection.statusText().find("70-tesselon-6.rules"), std::string::npos);
    EXPECT_NE(logText().find("[WARNING] Detect Instruments: A Tesselon-6 was found"), std::string::npos);
}
