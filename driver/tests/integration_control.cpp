// Connection, vendor requests and the control exports against the simulated instrument.
#include "driver/tests/DriverFixture.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

TEST_F(DriverTest, OpenSendsTheResetSequenceAndCloseReleasesTheConnection)
{
    instrument->clearControlRequests();
    ASSERT_EQ(driver->OpenDevice(0), 0);
    EXPECT_TRUE(driver->IsDeviceOpen());
    EXPECT_TRUE(driver->IsUSBTwo());

    const auto requests = instrument->controlRequests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0].requestType, 0xC0);
    EXPECT_EQ(requests[0].request, 0xAA);
    EXPECT_EQ(requests[0].length, 16);
    const std::vector<std::pair<int, int>> expected = {
        {0xA6, 0}, {0xA2, 40}, {0xA1, 0}, {0xA5, 0}, {0xA6, 0}};
    std::vector<std::pair<int, int>> outs;
    for (std::size_t i = 1; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].requestType, 0x40);
        EXPECT_EQ(requests[i].length, 0);
        outs.emplace_back(requests[i].request, requests[i].value);
    }
    EXPECT_EQ(outs, expected);
    for (const auto& r : requests)
        EXPECT_EQ(r.index, 0xBEEF);

    EXPECT_EQ(driver->OpenDevice(0), 1);
    EXPECT_EQ(errorText(), "The device is already open");
    EXPECT_EQ(driver->driverErrorText(), "The device is already open");

    EXPECT_EQ(driver->CloseDevice(), 0);
    EXPECT_FALSE(driver->IsDeviceOpen());
    // A second close fails and leaves the last failure text alone.
    EXPECT_EQ(driver->CloseDevice(), 1);
    EXPECT_EQ(errorText(), "The device is already open");

    const std::string log = logText();
    EXPECT_NE(log.find("Torvane: Loaded"), std::string::npos);
    EXPECT_NE(log.find("CUSBLib: Object Created"), std::string::npos);
    EXPECT_NE(log.find("Torvane: Connected to a device"), std::string::npos);
    EXPECT_NE(log.find("Torvane: Disconnected from a device"), std::string::npos);
    EXPECT_NE(log.find("[WARNING] CUSBLib::CloseDevice: Device is not open"), std::string::npos);
    EXPECT_NE(log.find("[ERROR] Torvane::OpenDevice: The device is already open"), std::string::npos);
}

TEST_F(DriverTest, OpenBeyondThePresentInstrumentsFailsAndStaysFlaggedOpen)
{
    EXPECT_EQ(driver->OpenDevice(3), 1);
    EXPECT_EQ(errorText(), "Cannot get interface type");
    EXPECT_TRUE(driver->IsDeviceOpen());
    EXPECT_TRUE(driver->IsUSBTwo());
    EXPECT_NE(logText().find("WinUsb_ControlTransfer failed. GetLastError=6"), std::string::npos);
    // Only a close brings it back.
    EXPECT_EQ(driver->OpenDevice(0), 1);
    EXPECT_EQ(driver->CloseDevice(), 0);
    EXPECT_EQ(driver->OpenDevice(0), 0);
}

TEST_F(DriverTest, FailedOpenStepsReportTheirText)
{
    instrument->setFaults({failRequest(0xA2)});
    EXPECT_EQ(driver->OpenDevice(0), 1);
    EXPECT_EQ(errorText(), "Cannot set the number of samples 1");
    EXPECT_NE(logText().find("[ERROR] Torvane::OpenDevice: Cannot set the number of samples 1"),
              std::string::npos);
}

class OddDescriptorInstrument : public FenmarlUsb::Instrument
{
public:
    using Instrument::Instrument;
    std::uint32_t descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t languageId,
                             std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred) override
    {
        if (type != 3 || index != 2)
            return Instrument::descriptor(type, index, languageId, buffer, length, transferred);
        const std::uint8_t reply[16] = {0x00, 0x09, 0x04, 'A', 0, 'B', 0, 'C', 0};
        std::memcpy(buffer, reply, std::min<std::uint32_t>(length, 16));
        *transferred = std::min<std::uint32_t>(length, 16);
        return 0;
    }
};

TEST_F(DriverTest, ProductStringsOfEveryInstrument)
{
    InstrumentConfig abc;
    abc.product = "ABC";
    bus().plug(std::make_shared<Instrument>(abc));
    bus().plug(std::make_shared<OddDescriptorInstrument>());
    InstrumentConfig refusing;
    refusing.refuseOpen = 5;
    bus().plug(std::make_shared<Instrument>(refusing));
    ASSERT_EQ(driver->FindDevices(), 4);

    char text[128];
    unsigned length = 99;
    EXPECT_EQ(driver->GetDescriptor(0, text, sizeof text, &length), 0);
    EXPECT_STREQ(text, "TS6SIM1");
    EXPECT_EQ(length, 8u);

    EXPECT_EQ(driver->GetDescriptor(1, text, sizeof text, &length), 0);
    EXPECT_STREQ(text, "ABC");
    EXPECT_EQ(length, 4u);

    // A reply that is not a string descriptor.
    EXPECT_EQ(driver->GetDescriptor(2, text, sizeof text, &length), 0);
    EXPECT_EQ(length, 0u);

    // An instrument that cannot be opened, and an index beyond the last: untouched.
    length = 99;
    EXPECT_EQ(driver->GetDescriptor(3, text, sizeof text, &length), 0);
    EXPECT_EQ(length, 99u);
    EXPECT_NE(logText().find("CUSBLib::GetWinUSBDeviceHandle: Failed to get DEVICE_CONTEXT"),
              std::string::npos);
    EXPECT_EQ(driver->GetDescriptor(4, text, sizeof text, &length), 0);
    EXPECT_EQ(length, 99u);

    // The reply offset stays below the capacity less one: a small buffer keeps its NUL.
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(driver->GetDescriptor(0, small, sizeof small, &length), 0);
    EXPECT_STREQ(small, "TS");
    EXPECT_EQ(length, 3u);

    bus().reset();
    EXPECT_EQ(driver->FindDevices(), 0);
    length = 77;
    EXPECT_EQ(driver->GetDescriptor(0, text, sizeof text, &length), 0);
    EXPECT_EQ(length, 77u);
}

TEST_F(DriverTest, ControlExportsSendTheWholeWordAfterEachChange)
{
    open();
    EXPECT_EQ(driver->TurnSensorOn(1, true), 0);
    EXPECT_EQ(driver->SetSensorGain(2, 3), 0);
    EXPECT_EQ(driver->SetSensorHPFilter(2, true), 0);
    EXPECT_EQ(driver->TurnSensorOn(2, true), 0);
    EXPECT_EQ(valuesSent(0xA3), (std::vector<int>{0x0001, 0x0021, 0x0061, 0x00E1}));
    EXPECT_EQ(instrument->state().sensorWord, 0x00E1);

    EXPECT_EQ(driver->SetSensorGain(1, 4), 0);
    EXPECT_EQ(driver->SetSensorHPFilter(1, true), 0);
    EXPECT_EQ(driver->SetSensorHPFilter(2, false), 0);
    EXPECT_EQ(driver->TurnSensorOn(1, false), 0);
    EXPECT_EQ(driver->sensorControlWord(), 0x00AE);

    EXPECT_EQ(driver->SetInputType(2, 1), 0);
    EXPECT_EQ(driver->SetInputType(1, 7), 0); // any type other than 1 clears the bit
    EXPECT_EQ(driver->SetInputType(2, 0), 0);
    EXPECT_EQ(valuesSent(0xA9), (std::vector<int>{0x0002, 0x0002, 0x0000}));
}

TEST_F(DriverTest, ControlExportsCheckTheirArgumentsBeforeSending)
{
    EXPECT_EQ(driver->TurnSensorOn(1, true), 1);
    EXPECT_EQ(driver->driverErrorText(), "Device not initialised");
    EXPECT_EQ(driver->Reset(), 1);
    EXPECT_EQ(driver->driverErrorText(), "Device not initialised");

    open();
    EXPECT_EQ(driver->SetSensorGain(1, 0), 1);
    EXPECT_EQ(driver->driverErrorText(), "Sensor gain out of range");
    EXPECT_EQ(driver->SetSensorGain(1, 5), 1);
    EXPECT_EQ(driver->SetSensorGain(3, 2), 1);
    EXPECT_EQ(driver->driverErrorText(), "Sensor group number out of range");
    EXPECT_EQ(driver->TurnSensorOn(0, true), 1);
    EXPECT_EQ(driver->SetSensorHPFilter(-1, true), 1);
    EXPECT_EQ(driver->SetInputType(3, 1), 1);
    EXPECT_TRUE(instrument->controlRequests().empty());
    EXPECT_EQ(driver->sensorControlWord(), 0);

    const std::string log = logText();
    EXPECT_NE(log.find("[ERROR] Torvane::SetSensorGain: Sensor gain out of range"), std::string::npos);
    EXPECT_NE(log.find("[ERROR] Torvane::SetInputType: Sensor group number out of range"), std::string::npos);
    EXPECT_NE(log.find("[ERROR] Torvane::TurnSensorOn: Device not initialised"), std::string::npos);
}

TEST_F(DriverTest, AFailedControlRequestKeepsTheStoredWord)
{
    open();
    ASSERT_EQ(driver->TurnSensorOn(1, true), 0);
    instrument->setFaults({failRequest(0xA3), failRequest(0xA9)});
    EXPECT_EQ(driver->SetSensorGain(1, 4), 1);
    EXPECT_EQ(driver->sensorControlWord(), 0x0001);
    EXPECT_EQ(driver->driverErrorText(), "Cannot send sensor control byte");
    EXPECT_EQ(errorText(), "WinUsb_ControlTransfer failed");
    EXPECT_EQ(driver->SetInputType(1, 1), 1);
    EXPECT_EQ(driver->inputControlWord(), 0);
    EXPECT_EQ(driver->driverErrorText(), "Cannot send input control byte");
    EXPECT_NE(
        logText().find("[ERROR] CUSBLib::VendorRequest: WinUsb_ControlTransfer failed. GetLastError=31"),
        std::string::npos);

    instrument->setFaults({});
    instrument->clearControlRequests();
    ASSERT_EQ(driver->TurnSensorOn(2, true), 0);
    EXPECT_EQ(valuesSent(0xA3), std::vector<int>{0x0081});
}

TEST_F(DriverTest, MeasurementRateProgramsTheDividerAndDecimation)
{
    open();
    EXPECT_EQ(driver->SetMeasurementRate(10000, false), 0);
    EXPECT_EQ(valuesSent(0xA4).back(), 1);
    EXPECT_DOUBLE_EQ(driver->effectivePointRate(), 10416.5);
    EXPECT_EQ(instrument->state().divider, 2u);

    EXPECT_EQ(driver->SetMeasurementRate(20000, false), 0);
    EXPECT_EQ(valuesSent(0xA4).back(), 0);
    EXPECT_DOUBLE_EQ(driver->effectivePointRate(), 20833.0);
    EXPECT_EQ(driver->SetMeasurementRate(20833, false), 0);
    EXPECT_EQ(valuesSent(0xA4).back(), 0);

    EXPECT_EQ(driver->SetMeasurementRate(100, true), 0);
    EXPECT_EQ(valuesSent(0xA4).back(), 20);
    EXPECT_EQ(driver->decimationFactor(), 10);
    EXPECT_NEAR(driver->effectivePointRate(), 99.2047619, 1e-6);

    // Without the flag, or at 1 kHz and above, nothing is decimated.
    EXPECT_EQ(driver->SetMeasurementRate(100, false), 0);
    EXPECT_EQ(valuesSent(0xA4).back(), 207);
    EXPECT_EQ(driver->decimationFactor(), 1);
    EXPECT_EQ(driver->SetMeasurementRate(1000, true), 0);
    EXPECT_EQ(driver->decimationFactor(), 1);

    // Below about 0.318 Hz the divider would not fit its 16 bits: the clock runs
    // N times faster and one sample in N is kept, at the rate asked.
    EXPECT_EQ(driver->SetMeasurementRate(0.2, false), 0);
    EXPECT_EQ(driver->decimationFactor(), 2);
    EXPECT_TRUE(driver->decimationPicks());
    EXPECT_EQ(valuesSent(0xA4).back(), 52082);
    EXPECT_NEAR(1.0 / driver->effectivePointRate(), 5.0, 1e-4);
    EXPECT_EQ(driver->SetMeasurementRate(1.0 / 3600, false), 0);
    EXPECT_EQ(driver->decimationFactor(), 1145);
    EXPECT_NEAR(1.0 / driver->effectivePointRate(), 3600.0, 0.1);
    EXPECT_LE(valuesSent(0xA4).back(), 0xFFFF);
    // Averaging asked for, or a divider that fits, keeps the plain rules.
    EXPECT_EQ(driver->SetMeasurementRate(0.5, false), 0);
    EXPECT_EQ(driver->decimationFactor(), 1);
    EXPECT_FALSE(driver->decimationPicks());

    const std::size_t sent = valuesSent(0xA4).size();
    for (double bad : {0.0, -5.0, 20834.0, std::numeric_limits<double>::quiet_NaN(), 1e-12}) {
        EXPECT_EQ(driver->SetMeasurementRate(bad, false), 1) << bad;
        EXPECT_EQ(driver->driverErrorText(), "Measurement rate out of range");
        // A refusal of the driver's own is what GetErrorText gives, not an older text.
        EXPECT_EQ(errorText(), "Measurement rate out of range");
    }
    EXPECT_EQ(valuesSent(0xA4).size(), sent);
    EXPECT_NE(logText().find("[ERROR] Torvane::SetMeasurementRate: Measurement rate out of range"),
              std::string::npos);

    // A failed request puts the previous point rate back; N keeps its new value.
    ASSERT_EQ(driver->SetMeasurementRate(250, true), 0);
    EXPECT_EQ(driver->decimationFactor(), 4);
    const double before = driver->effectivePointRate();
    instrument->setFaults({failRequest(0xA4)});
    EXPECT_EQ(driver->SetMeasurementRate(5000, false), 1);
    EXPECT_EQ(driver->driverErrorText(), "Cannot send rate control byte");
    EXPECT_DOUBLE_EQ(driver->effectivePointRate(), before);
    EXPECT_EQ(driver->decimationFactor(), 1);
}

TEST_F(DriverTest, TimeOutVersionBoardResetAndFilterSettings)
{
    EXPECT_EQ(driver->SetTimeOut(99), 1);
    EXPECT_EQ(errorText(), "The timeout must be 100ms or more");
    EXPECT_EQ(driver->driverErrorText(), "The timeout must be 100ms or more");
    EXPECT_EQ(driver->SetTimeOut(100), 0);
    EXPECT_EQ(driver->usb().timeoutMs(), 100);

    unsigned version = 0;
    EXPECT_EQ(driver->GetFirmwareVersion(&version), 1);
    open();
    EXPECT_EQ(driver->GetFirmwareVersion(&version), 0);
    EXPECT_EQ(version, instrument->config().firmwareVersion);

    instrument->setFaults({failRequest(0xAB), failRequest(0xA6)});
    EXPECT_EQ(driver->GetFirmwareVersion(&version), 1);
    EXPECT_EQ(driver->driverErrorText(), "Cannot get version number");
    EXPECT_FALSE(driver->IsBoardInReset());
    EXPECT_EQ(driver->usb().Reset8051(), 1);
    EXPECT_TRUE(driver->IsBoardInReset());
    EXPECT_EQ(errorText(), "Cannot reset the fifo");
    instrument->setFaults({});
    instrument->clearControlRequests();
    EXPECT_EQ(driver->usb().Reset8051(), 0);
    EXPECT_FALSE(driver->IsBoardInReset());
    // The board reset sends its requests in the IN form.
    const auto requests = instrument->controlRequests();
    ASSERT_EQ(requests.size(), 5u);
    for (const auto& r : requests)
        EXPECT_EQ(r.requestType, 0xC0);

    EXPECT_EQ(driver->filterLength(), 2);
    driver->SetLowpassFilterCutOff(1e9);
    EXPECT_EQ(driver->filterLength(), 2);
    driver->SetLowpassFilterCutOff(10);
    const int length = driver->filterLength();
    EXPECT_GT(length, 2);
    driver->SetLowpassFilterCutOff(0);
    driver->SetLowpassFilterCutOff(-1);
    EXPECT_EQ(driver->filterLength(), length);
    driver->SetLowpassFilterSize(0);
    EXPECT_EQ(driver->filterLength(), 1);
    driver->SetLowpassFilterSize(-4);
    EXPECT_EQ(driver->filterLength(), 1);
    driver->SetLowpassFilterSize(9);
    EXPECT_EQ(driver->filterLength(), 9);
}

} // namespace
