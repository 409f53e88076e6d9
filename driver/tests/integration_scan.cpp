// Block scans end to end: the read and decode threads, chunking, decimation,
// the filter, stopping, and faults on the way.
#include "driver/RecordDecoder.h"
#include "driver/tests/DriverFixture.h"

#include <cmath>
#include <string>

namespace {


// The instrument's ramp mode: channel k of sample i reads i + k counts, so
// consecutive points of one channel differ by exactly the samples between them.
class RampScanTest : public DriverTest
{
protected:
    double speed = 8.0;
    std::uint32_t fifoRecords = 1u << 20;

    InstrumentConfig instrumentConfig() override
    {
        InstrumentConfig config;
        config.ramp = true;
        config.speedFactor = speed;
        config.fifoRecords = fifoRecords;
        return config;
    }

    // Plugs the instrument in again at another speed and opens it.
    void reopenAt(double speedFactor)
    {
        speed = speedFactor;
        replug();
        open();
    }
};

TEST_F(RampScanTest, FullRateScanOf700000PointsLosesAndRepeatsNoSample)
{
    open();
    ASSERT_EQ(driver->SetMeasurementRate(20833, false), 0);
    ASSERT_TRUE(scanToEnd(700000, std::chrono::minutes(5)));
    ASSERT_EQ(driver->GetCurrentNumberOfPoints(), 700000);

    std::vector<double> time;
    ASSERT_NO_FATAL_FAILURE(expectRamp(700000, &time));
    EXPECT_DOUBLE_EQ(time[1], 1.0 / 20833.0);
    EXPECT_DOUBLE_EQ(time[699999], 699999 * (1.0 / 20833.0));
    // The instrument's own loss count is not asked: it keeps sampling until the
    // reader has its last byte, and on a starved machine its FIFO may overflow
    // with samples past the scan's end. The sequence above proves none of the
    // scan's samples was lost, and the driver saw no overflow mark.
    EXPECT_EQ(driver->usb().fifoOverflows(), 0u);

    bool readRunning = true, processRunning = true;
    int samplesRead = 0, buffered = -1, processed = 0;
    driver->GetThreadDetails(&readRunning, &processRunning, &samplesRead, &buffered, &processed);
    EXPECT_FALSE(readRunning);
    EXPECT_FALSE(processRunning);
    EXPECT_GE(samplesRead, 700000);
    EXPECT_EQ(processed, 700000);
}

TEST_F(RampScanTest, ScansLongerThanOneChunkAreSplitAt700000Samples)
{
    reopenAt(50.0);
    ASSERT_EQ(driver->SetMeasurementRate(20833, false), 0);
    // 1,399,960 points: 1,400,000 samples, two full chunks and an empty third.
    ASSERT_TRUE(scanToEnd(1399960, std::chrono::minutes(5)));
    EXPECT_EQ(valuesSent(0xA2), (std::vector<int>{700000 & 0xFFFF, 700000 & 0xFFFF, 0}));
    EXPECT_EQ(valuesSent(0xA1), (std::vector<int>{700001 & 0xFFFF, 700001 & 0xFFFF, 1}));
    EXPECT_EQ(valuesSent(0xA5).size(), 3u);
    EXPECT_EQ(valuesSent(0xAD).size(), 3u);
    EXPECT_EQ(driver->GetCurrentNumberOfPoints(), 1400000);
    EXPECT_EQ(driver->blockCapacity(), 1400000u);
}

TEST_F(RampScanTest, ArraysGrowInWholeBlocksOf40Points)
{
    open();
    for (const auto& [points, capacity] : {std::pair{1, 80u}, std::pair{40, 80u}, std::pair{41, 120u}}) {
        ASSERT_TRUE(scanToEnd(points));
        EXPECT_EQ(driver->blockCapacity(), capacity) << points;
        EXPECT_EQ(driver->GetCurrentNumberOfPoints(), points);
    }
}

TEST_F(RampScanTest, DecimationAveragesNSamplesIntoEachPoint)
{
    open();
    ASSERT_EQ(driver->SetMeasurementRate(250, true), 0);
    ASSERT_EQ(driver->decimationFactor(), 4);
    EXPECT_EQ(instrument->state().divider, 21u);
    ASSERT_TRUE(scanToEnd(50));
    ASSERT_EQ(driver->GetCurrentNumberOfPoints(), 50);
    const Points p = fetch(1, 0, 50);
    ASSERT_EQ(p.count, 50);
    for (int i = 0; i < 50; ++i) {
        // The mean of four consecutive counts c..c+3 is c + 1.5.
        const double c = p.x[i] / TorvaneDecode::kVoltsPerCount;
        EXPECT_NEAR(c - std::floor(c), 0.5, 1e-6) << i;
        if (i > 0) {
            EXPECT_NEAR((p.x[i] - p.x[i - 1]) / TorvaneDecode::kVoltsPerCount, 4.0, 1e-6) << i;
        }
        EXPECT_NEAR((p.y[i] - p.x[i]) / TorvaneDecode::kVoltsPerCount, 1.0, 1e-6);
    }
    EXPECT_DOUBLE_EQ(p.time[2], 2.0 / (20833.0 / 21 / 4));
}

TEST_F(RampScanTest, FilterIsOneCausalMovingAverageAcrossFetches)
{
    open();
    ASSERT_TRUE(scanToEnd(20));
    const Points raw = fetch(2, 0, 20);
    ASSERT_EQ(raw.count, 20);

    const Points first = fetch(2, 0, 1, 1);
    EXPECT_DOUBLE_EQ(first.x[0], raw.x[0]);
    const Points next = fetch(2, 1, 3, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(next.x[i], (raw.x[i] + raw.x[i + 1]) / 2) << i;
        EXPECT_DOUBLE_EQ(next.z[i], (raw.z[i] + raw.z[i + 1]) / 2) << i;
    }

    // A new length applies from the next scan on; length 1 passes values through.
    driver->SetLowpassFilterSize(0);
    const Points stillTwo = fetch(2, 4, 1, 1);
    EXPECT_DOUBLE_EQ(stillTwo.x[0], (raw.x[3] + raw.x[4]) / 2);
    ASSERT_TRUE(scanToEnd(20));
    const Points plain = fetch(1, 0, 20);
    const Points filtered = fetch(1, 0, 20, 1);
    for (int i = 0; i < 20; ++i)
        EXPECT_DOUBLE_EQ(filtered.y[i], plain.y[i]);
}

TEST_F(RampScanTest, FetchesStayWithinThePointsMeasured)
{
    open();
    ASSERT_TRUE(scanToEnd(10));
    EXPECT_EQ(fetch(1, 11, 5).status, 1);
    const Points tail = fetch(1, 8, 5);
    EXPECT_EQ(tail.status, 0);
    EXPECT_EQ(tail.count, 2);
    EXPECT_EQ(tail.x[2], -1.0);
    const Points none = fetch(1, 10, 5);
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(fetch(1, -1, 5).status, 1);
    EXPECT_EQ(fetch(3, 0, 5).status, 1);
    EXPECT_EQ(driver->driverErrorText(), "Sensor group number out of range");
    EXPECT_NE(logText().find("[ERROR] Torvane::GetData: Sensor group number out of range"),
              std::string::npos);
}

TEST_F(RampScanTest, BytesOfAnEarlierScanAreNeverDecodedIntoTheNext)
{
    open();
    ASSERT_TRUE(scanToEnd(100));
    // Whatever the instrument sends beyond a chunk is dropped, not carried over.
    ASSERT_TRUE(scanToEnd(100));
    ASSERT_EQ(driver->GetCurrentNumberOfPoints(), 100);
    const Points p = fetch(1, 0, 100);
    for (int i = 1; i < 100; ++i)
        ASSERT_EQ(counts(p.x[i]) - counts(p.x[i - 1]), 1) << i;
    // A fresh sampling run starts its ramp at 0, and the FIFO was emptied first.
    EXPECT_LT(counts(p.x[0]), 20833);
}

TEST_F(RampScanTest, StopWhileScanningEndsTheScanAndStopsTheInstrument)
{
    reopenAt(1.0);
    ASSERT_EQ(driver->RunScan(true, 400000), 0);
    ASSERT_TRUE(waitFor([this] { return driver->GetCurrentNumberOfPoints() > 2000; }));
    instrument->clearControlRequests();
    EXPECT_EQ(driver->RunScan(false, 0), 0);
    EXPECT_FALSE(driver->IsScanning());
    const int points = driver->GetCurrentNumberOfPoints();
    EXPECT_LT(points, 400000);
    EXPECT_FALSE(driver->usb().readRunning() || driver->usb().processRunning());
    const auto outs = outRequests();
    ASSERT_FALSE(outs.empty());
    EXPECT_EQ(outs.back(), std::make_pair(0xA6, 0));
    EXPECT_FALSE(valuesSent(0xAD).empty());
    // The stop ends with a board reset, sent in the IN form.
    EXPECT_FALSE(driver->IsBoardInReset());
    // What was measured stays readable.
    const Points p = fetch(1, 0, points);
    EXPECT_EQ(p.count, points);
    for (int i = 1; i < points; ++i)
        ASSERT_EQ(counts(p.x[i]) - counts(p.x[i - 1]), 1) << i;
    // Stopping again, with nothing running, is harmless.
    EXPECT_EQ(driver->RunScan(false, 0), 0);
}

TEST_F(DriverTest, StopWithNothingRunningSucceeds)
{
    EXPECT_EQ(driver->RunScan(false, 0), 0);
    EXPECT_FALSE(driver->IsScanning());
    open();
    EXPECT_EQ(driver->RunScan(false, 0), 0);
}

class FullSpeedTest : public DriverTest
{
protected:
    InstrumentConfig instrumentConfig() override
    {
        InstrumentConfig config;
        config.highSpeed = false;
        return config;
    }
};

TEST_F(FullSpeedTest, AFullSpeedConnectionStartsNoReadingAndMeasuresNothing)
{
    open();
    EXPECT_FALSE(driver->IsUSBTwo());
    ASSERT_TRUE(scanToEnd(100));
    EXPECT_EQ(driver->GetCurrentNumberOfPoints(), 0);
    EXPECT_TRUE(valuesSent(0xA5).empty());
    EXPECT_EQ(fetch(1, 0, 10).count, 0);
}

TEST_F(RampScanTest, FifoOverflowIsCountedAndLogged)
{
    fifoRecords = 1;
    reopenAt(50.0);
    ASSERT_TRUE(scanToEnd(2000));
    EXPECT_GT(instrument->state().overflows, 0u);
    EXPECT_GT(driver->usb().fifoOverflows(), 0u);
    EXPECT_NE(logText().find("[WARNING] TorvaneDLL::ProcessThread: The instrument's FIFO overflowed"),
              std::string::npos);
}

TEST_F(RampScanTest, ABulkReadFailureEndsTheScan)
{
    open();
    instrument->setFaults({failBulkRead(31, 20)});
    ASSERT_TRUE(scanToEnd(200000));
    const int points = driver->GetCurrentNumberOfPoints();
    EXPECT_GT(points, 0);
    EXPECT_LT(points, 200000);
    EXPECT_NE(logText().find("[ERROR] TorvaneDLL::USB2_ReadThread: WinUsb_ReadPipe failed"),
              std::string::npos);
    EXPECT_FALSE(valuesSent(0xAD).empty());
    EXPECT_FALSE(instrument->state().sampling);
}

TEST_F(RampScanTest, ABulkReadTimeOutEndsTheScan)
{
    open();
    instrument->setFaults({failBulkRead(121, 5, 1)});
    ASSERT_TRUE(scanToEnd(200000));
    EXPECT_LT(driver->GetCurrentNumberOfPoints(), 200000);
    EXPECT_NE(logText().find("WinUsb_ReadPipe failed"), std::string::npos);
}

TEST_F(RampScanTest, AFailedStartOfSamplingEndsTheScanWithoutPoints)
{
    open();
    instrument->setFaults({failRequest(0xA5)});
    ASSERT_TRUE(scanToEnd(1000));
    EXPECT_EQ(driver->GetCurrentNumberOfPoints(), 0);
    EXPECT_NE(logText().find("[ERROR] TorvaneDLL::USB2_ReadThread: VEND_STARTSCAN failed"),
              std::string::npos);
}

class UnplugTest : public RampScanTest
{
protected:
    InstrumentConfig instrumentConfig() override
    {
        InstrumentConfig config = RampScanTest::instrumentConfig();
        config.unplugAfterBytes = 24 * 20000;
        return config;
    }
};

TEST_F(UnplugTest, UnplugMidScanEndsTheScanAndLaterCallsFailCleanly)
{
    open();
    ASSERT_TRUE(scanToEnd(300000));
    EXPECT_LT(driver->GetCurrentNumberOfPoints(), 300000);
    EXPECT_EQ(driver->FindDevices(), 0);
    // Another scan on the gone instrument fails to start, and the stop and close still work.
    EXPECT_EQ(driver->RunScan(true, 100), 1);
    EXPECT_EQ(driver->driverErrorText(), "Cannot reset the fifo");
    EXPECT_FALSE(driver->IsScanning());
    EXPECT_EQ(driver->GetCurrentNumberOfPoints(), 0);
    EXPECT_EQ(driver->RunScan(true, 0), 1) << "continuous mode cannot start either";
    EXPECT_FALSE(driver->IsScanning());
    EXPECT_EQ(driver->RunScan(false, 0), 0);
    EXPECT_EQ(driver->TurnSensorOn(1, true), 1);
    EXPECT_EQ(driver->CloseDevice(), 0);
}

TEST_F(RampScanTest, ClosingDuringAScanDoesNotPullTheDeviceFromUnderTheReader)
{
    open();
    ASSERT_EQ(driver->RunScan(true, 300000), 0);
    ASSERT_TRUE(waitFor([this] { return driver->GetCurrentNumberOfPoints() > 1000; }));
    EXPECT_EQ(driver->CloseDevice(), 0);
    ASSERT_TRUE(waitScanEnd());
    EXPECT_LT(driver->GetCurrentNumberOfPoints(), 300000);
    // A closed instrument refuses the next scan instead of reporting it started.
    EXPECT_EQ(driver->RunScan(true, 100), 1);
    EXPECT_EQ(errorText(), "The device has not been opened");
    EXPECT_EQ(driver->RunScan(true, -1), 1);
}

TEST_F(RampScanTest, IntervalsBeyondTheDividerAreMeasuredOnePointPerInterval)
{
    reopenAt(4000.0);
    // 5 s needs a divider of 104165, more than its 16 bits hold.
    ASSERT_EQ(driver->SetMeasurementRate(0.2, false), 0);
    ASSERT_TRUE(scanToEnd(3));
    ASSERT_EQ(driver->GetCurrentNumberOfPoints(), 3);
    const Points p = fetch(1, 0, 3);
    ASSERT_EQ(p.count, 3);
    for (int i = 1; i < 3; ++i) {
        EXPECT_NEAR(p.time[i] - p.time[i - 1], 5.0, 1e-3) << i;
        // One sample kept in every two clock ticks: consecutive points are two samples apart, not averaged.
        EXPECT_EQ(counts(p.x[i]) - counts(p.x[i - 1]), 2) << i;
    }
    EXPECT_EQ(instrument->state().divider, 52083u);
}

TEST_F(RampScanTest, LostSamplesAreCountedPerScan)
{
    fifoRecords = 1;
    reopenAt(50.0);
    ASSERT_TRUE(scanToEnd(2000));
    const int lost = driver->GetLostSampleCount();
    EXPECT_GT(lost, 0);
    EXPECT_EQ(static_cast<std::uint32_t>(lost), driver->usb().fifoOverflows());
    // Every gap in the ramp is one overflow counted, and nothing else is.
    const Points p = fetch(1, 0, 2000);
    ASSERT_EQ(p.count, 2000);
    int gaps = 0;
    for (int i = 1; i < p.count; ++i)
        gaps += (counts(p.x[i]) - counts(p.x[i - 1]) + (1 << 23)) % (1 << 23) != 1;
    EXPECT_EQ(gaps, lost);

    // The next scan counts only its own losses.
    const std::uint32_t before = driver->usb().fifoOverflows();
    ASSERT_TRUE(scanToEnd(200));
    EXPECT_EQ(static_cast<std::uint32_t>(driver->GetLostSampleCount()),
              driver->usb().fifoOverflows() - before);
}

} // namespace
