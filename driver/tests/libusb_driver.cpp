// The driver's scenarios a second time, over the libusb backend: the
// instrument is reached through libusb's usbfs code and the usbdevfs bridge,
// as a real one would be.
#include "driver/RecordDecoder.h"
#include "driver/tests/DriverFixture.h"
#include "testsupport/UsbdevfsBridge.h"

#include <cmath>
#include <string>

namespace {

using TestSupport::UsbdevfsBridge;

class LibusbDriver : public DriverTest
{
protected:
    double speed = 8.0;
    std::uint64_t unplugAfterBytes = 0;
    bool ramp = true;
    bool highSpeed = true;

    InstrumentConfig instrumentConfig() override
    {
        InstrumentConfig config;
        config.ramp = ramp;
        config.speedFactor = speed;
        config.fifoRecords = 1u << 20;
        config.unplugAfterBytes = unplugAfterBytes;
        config.highSpeed = highSpeed;
        if (!ramp)
            for (int k = 0; k < 6; ++k)
                config.channels[k].dc = level(k);
        return config;
    }

    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(bridge().ready(&why)) << why;
        ASSERT_EQ(FenmarlUsb::bus().backendName(), "libusb");
        bridge().reset();
        instrument = std::make_shared<Instrument>(instrumentConfig());
        ASSERT_FALSE(bridge().plug(instrument).empty());
        driver = std::make_unique<CDriverContext>();
    }

    void TearDown() override
    {
        driver.reset();
        bridge().reset();
    }

    static UsbdevfsBridge& bridge() { return UsbdevfsBridge::instance(); }
    // Distinct steady levels per channel when not in ramp mode.
    static double level(int channel) { return 0.5 * (channel + 1) - 1.25; }
};

TEST_F(LibusbDriver, OpenSendsTheResetSequenceAndControlRequestsAndTheirFailures)
{
    char product[128] = {};
    unsigned length = 0;
    EXPECT_EQ(driver->FindDevices(), 1);
    EXPECT_EQ(driver->GetDescriptor(0, product, sizeof product, &length), 0);
    EXPECT_STREQ(product, "TS6SIM1");

    instrument->clearControlRequests();
    ASSERT_EQ(driver->OpenDevice(0), 0) << driver->usb().lastError();
    EXPECT_TRUE(driver->IsUSBTwo());
    const auto requests = instrument->controlRequests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0].request, 0xAA);
    EXPECT_EQ(outRequests(), (std::vector<std::pair<int, int>>{{0xA6, 0}, {0xA2, 40}, {0xA1, 0}, {0xA5, 0}, {0xA6, 0}}));
    unsigned version = 0;
    EXPECT_EQ(driver->GetFirmwareVersion(&version), 0);
    EXPECT_EQ(version, instrument->config().firmwareVersion);

    instrument->clearControlRequests();
    ASSERT_EQ(driver->TurnSensorOn(1, true), 0);
    ASSERT_EQ(valuesSent(0xA3).size(), 1u);
    EXPECT_EQ(instrument->state().sensorWord, driver->sensorControlWord());

    // A stalled request: the export fails, the stored word stays, the log has WinUSB's number.
    const std::uint16_t before = driver->sensorControlWord();
    instrument->setFaults({failRequest(0xA3)});
    EXPECT_EQ(driver->TurnSensorOn(2, true), 1);
    EXPECT_EQ(driver->sensorControlWord(), before);
    EXPECT_NE(logText().find("WinUsb_ControlTransfer failed. GetLastError=31"), std::string::npos);
    instrument->setFaults({});
    EXPECT_EQ(driver->CloseDevice(), 0);
}

TEST_F(LibusbDriver, BlockScanOf100000PointsLosesAndRepeatsNoSample)
{
    ASSERT_EQ(driver->OpenDevice(0), 0);
    ASSERT_EQ(driver->SetMeasurementRate(20833, false), 0);
    ASSERT_TRUE(scanToEnd(100000, std::chrono::minutes(5)));
    ASSERT_EQ(driver->GetCurrentNumberOfPoints(), 100000);
    expectRamp(100000);
    EXPECT_EQ(driver->usb().fifoOverflows(), 0u);
    EXPECT_EQ(driver->CloseDevice(), 0);
}

TEST_F(LibusbDriver, ContinuousScanAppendsOnePointPerPeriodUntilStopped)
{
    ramp = false;
    replug();
    ASSERT_EQ(driver->OpenDevice(0), 0);
    ASSERT_EQ(driver->TurnSensorOn(1, true), 0);
    ASSERT_EQ(driver->TurnSensorOn(2, true), 0);
    ASSERT_EQ(driver->SetMeasurementRate(100, false), 0);
    const double period = 1.0 / driver->effectivePointRate();
    ASSERT_NO_FATAL_FAILURE(startContinuousScan(5));
    const int points = stopContinuousScan();
    for (int group = 1; group <= 2; ++group) {
        const Points p = fetch(group, 0, points);
        ASSERT_EQ(p.status, 0);
        ASSERT_EQ(p.count, points);
        for (int i = 0; i < points; ++i) {
            EXPECT_NEAR(p.time[i], i * period, 1e-9) << i;
            EXPECT_NEAR(p.x[i], level(3 * (group - 1) + 0), 1e-3) << i;
            EXPECT_NEAR(p.y[i], level(3 * (group - 1) + 1), 1e-3) << i;
            EXPECT_NEAR(p.z[i], level(3 * (group - 1) + 2), 1e-3) << i;
        }
    }
}

TEST_F(LibusbDriver, StopWhileScanningAbortsTheReadAndKeepsWhatWasMeasured)
{
    speed = 1.0;
    replug();
    ASSERT_EQ(driver->OpenDevice(0), 0);
    ASSERT_EQ(driver->RunScan(true, 400000), 0);
    ASSERT_TRUE(waitFor([this] { return driver->GetCurrentNumberOfPoints() > 2000; }));
    EXPECT_EQ(driver->RunScan(false, 0), 0);
    EXPECT_FALSE(driver->IsScanning());
    EXPECT_FALSE(driver->usb().readRunning() || driver->usb().processRunning());
    const int points = driver->GetCurrentNumberOfPoints();
    EXPECT_LT(points, 400000);
    EXPECT_FALSE(valuesSent(0xAD).empty());
    expectRamp(points);
    // The connection still works after the abort.
    EXPECT_EQ(driver->RunScan(true, 1000), 0);
    ASSERT_TRUE(waitScanEnd());
    EXPECT_EQ(driver->GetCurrentNumberOfPoints(), 1000);
    expectRamp(1000);
}

TEST_F(LibusbDriver, BulkReadTimeOutAndFailureEndTheScan)
{
    ASSERT_EQ(driver->OpenDevice(0), 0);
    instrument->setFaults({failBulkRead(121, 5, 1)});
    ASSERT_TRUE(scanToEnd(200000));
    EXPECT_LT(driver->GetCurrentNumberOfPoints(), 200000);
    EXPECT_NE(logText().find("[ERROR] TorvaneDLL::USB2_ReadThread: WinUsb_ReadPipe failed"), std::string::npos) << logText();

    instrument->setFaults({failBulkRead(31, 20)});
    ASSERT_TRUE(scanToEnd(200000));
    EXPECT_LT(driver->GetCurrentNumberOfPoints(), 200000);
    const std::string log = logText();
    const std::string failed = "[ERROR] TorvaneDLL::USB2_ReadThread: WinUsb_ReadPipe failed";
    const auto once = log.find(failed);
    ASSERT_NE(once, std::string::npos);
    EXPECT_NE(log.find(failed, once + 1), std::string::npos) << "the second scan's failure is logged too";
    EXPECT_FALSE(instrument->state().sampling);
}

TEST_F(LibusbDriver, UnplugMidScanEndsTheScanAndLaterCallsFailCleanly)
{
    unplugAfterBytes = 24 * 20000;
    replug();
    ASSERT_EQ(driver->OpenDevice(0), 0);
    ASSERT_TRUE(scanToEnd(300000));
    EXPECT_LT(driver->GetCurrentNumberOfPoints(), 300000);
    EXPECT_NE(logText().find("WinUsb_ReadPipe failed"), std::string::npos) << logText();
    EXPECT_TRUE(waitFor([this] { return driver->FindDevices() == 0; }));
    // Another scan on the gone instrument fails to start, and the stop and close still work.
    EXPECT_EQ(driver->RunScan(true, 100), 1);
    EXPECT_FALSE(driver->IsScanning());
    EXPECT_EQ(driver->GetCurrentNumberOfPoints(), 0);
    EXPECT_EQ(driver->RunScan(false, 0), 0);
    EXPECT_EQ(driver->TurnSensorOn(1, true), 1);
    EXPECT_EQ(driver->CloseDevice(), 0);
}

TEST_F(LibusbDriver, ClosingDuringAScanDoesNotPullTheDeviceFromUnderTheReader)
{
    ASSERT_EQ(driver->OpenDevice(0), 0);
    ASSERT_EQ(driver->RunScan(true, 300000), 0);
    ASSERT_TRUE(waitFor([this] { return driver->GetCurrentNumberOfPoints() > 1000; }));
    EXPECT_EQ(driver->CloseDevice(), 0);
    ASSERT_TRUE(waitScanEnd());
    EXPECT_LT(driver->GetCurrentNumberOfPoints(), 300000);
    // The instrument is still there for the next open.
    EXPECT_EQ(driver->OpenDevice(0), 0);
    EXPECT_EQ(driver->CloseDevice(), 0);
}

TEST_F(LibusbDriver, EveryPluggedInstrumentIsListedAndAFullSpeedOneMeasuresNothing)
{
    highSpeed = false;
    replug();
    InstrumentConfig second;
    second.product = "TS6TWO";
    ASSERT_FALSE(bridge().plug(std::make_shared<Instrument>(second)).empty());
    ASSERT_EQ(driver->FindDevices(), 2);
    std::vector<std::string> products;
    for (int i = 0; i < 2; ++i) {
        char product[128] = {};
        unsigned length = 0;
        EXPECT_EQ(driver->GetDescriptor(i, product, sizeof product, &length), 0);
        products.push_back(product);
    }
    // In plug order: the ports are numbered so.
    EXPECT_EQ(products, (std::vector<std::string>{"TS6SIM1", "TS6TWO"}));
    ASSERT_EQ(driver->OpenDevice(0), 0);
    EXPECT_FALSE(driver->IsUSBTwo());
    ASSERT_TRUE(scanToEnd(100));
    EXPECT_EQ(driver->GetCurrentNumberOfPoints(), 0);
}

TEST_F(LibusbDriver, AnInstrumentHeldByAnotherHandleCannotBeOpenedAndTheLogSaysWhy)
{
    const std::string path = bridge().libusbPath(instrument);
    ASSERT_FALSE(path.empty());
    auto holder = FenmarlUsb::libusbBus().open(path);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(driver->FindDevices(), 1);
    char product[128] = {};
    unsigned length = 0;
    driver->GetDescriptor(0, product, sizeof product, &length);
    EXPECT_EQ(length, 0u);
    EXPECT_NE(logText().find("[ERROR] CUSBLib::GetWinUSBDeviceHandle: WinUsb_Initialize failed. GetLastError=170"),
              std::string::npos)
        << logText();
    holder.reset();
    EXPECT_EQ(driver->GetDescriptor(0, product, sizeof product, &length), 0);
    EXPECT_STREQ(product, "TS6SIM1");
}

} // namespace
