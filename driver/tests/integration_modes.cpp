// Continuous mode and the zeroing procedure.
#include "common/platform/Hooks.h"
#include "driver/RecordDecoder.h"
#include "driver/tests/DriverFixture.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <filesystem>

namespace {

// Distinct steady levels per channel, so each field of a record is recognisable.
class SteadySignalTest : public DriverTest
{
protected:
    static double level(int channel) { return 0.5 * (channel + 1) - 1.25; }
    static double offset(int channel) { return 0.01 * (channel + 1); }

    InstrumentConfig instrumentConfig() override
    {
        InstrumentConfig config;
        for (int k = 0; k < 6; ++k) {
            config.channels[k].dc = level(k);
            config.channels[k].offset = offset(k);
        }
        return config;
    }

    void powerBothGroups()
    {
        ASSERT_EQ(driver->TurnSensorOn(1, true), 0);
        ASSERT_EQ(driver->TurnSensorOn(2, true), 0);
    }

    std::vector<double> fileDoubles()
    {
        std::ifstream in(driver->temporaryFilePath(), std::ios::binary);
        std::vector<double> values;
        unsigned char bytes[8];
        while (in.read(reinterpret_cast<char*>(bytes), 8)) {
            std::uint64_t bits = 0;
            for (int i = 0; i < 8; ++i)
                bits |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
            values.push_back(std::bit_cast<double>(bits));
        }
        return values;
    }
};

TEST_F(SteadySignalTest, ContinuousModeAppendsOneAveragedRecordPerPeriod)
{
    open();
    powerBothGroups();
    ASSERT_EQ(driver->SetMeasurementRate(10, false), 0);
    const double period = 1.0 / driver->effectivePointRate();
    ASSERT_NO_FATAL_FAILURE(startContinuousScan(3));
    const int points = stopContinuousScan();
    ASSERT_GE(points, 3);

    // Seven little-endian doubles per record: time, then X, Y, Z of group 1 and group 2 interleaved.
    const std::vector<double> file = fileDoubles();
    ASSERT_EQ(file.size(), static_cast<std::size_t>(points) * 7);
    for (int r = 0; r < points; ++r) {
        const double* record = &file[static_cast<std::size_t>(r) * 7];
        EXPECT_NEAR(record[0], r * period, 1e-9) << r;
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(record[1 + 2 * axis], level(axis) + offset(axis), 1e-5) << r;
            EXPECT_NEAR(record[2 + 2 * axis], level(3 + axis) + offset(3 + axis), 1e-5) << r;
        }
    }

    const Points group1 = fetch(1, 0, points);
    const Points group2 = fetch(2, 1, points); // shortened to what exists
    ASSERT_EQ(group1.status, 0);
    ASSERT_EQ(group1.count, points);
    ASSERT_EQ(group2.count, points - 1);
    for (int i = 0; i < points - 1; ++i) {
        const double* record = &file[static_cast<std::size_t>(i + 1) * 7];
        EXPECT_EQ(group2.time[i], record[0]);
        EXPECT_EQ(group2.x[i], record[2]);
        EXPECT_EQ(group2.y[i], record[4]);
        EXPECT_EQ(group2.z[i], record[6]);
    }
    EXPECT_EQ(group1.x[0], file[1]);
    EXPECT_EQ(group1.y[0], file[3]);
    EXPECT_EQ(group1.z[0], file[5]);

    // The instrument is left clocked for 10 kHz without decimation.
    EXPECT_EQ(driver->decimationFactor(), 1);
    EXPECT_DOUBLE_EQ(driver->effectivePointRate(), 10416.5);

    // A new continuous run starts from an empty file.
    ASSERT_EQ(driver->RunScan(true, -1), 0);
    ASSERT_TRUE(waitFor([this] { return driver->GetCurrentNumberOfPoints() >= 1; }));
    EXPECT_EQ(driver->RunScan(false, 0), 0);
    EXPECT_EQ(fileDoubles().size(), static_cast<std::size_t>(driver->GetCurrentNumberOfPoints()) * 7);
}

TEST_F(SteadySignalTest, ContinuousIntervalsWithoutPointsWriteNothing)
{
    open();
    // The first interval's read fails; the later ones deliver.
    instrument->setFaults({failBulkRead(31, 0, 1)});
    ASSERT_EQ(driver->SetMeasurementRate(20, false), 0);
    ASSERT_EQ(driver->RunScan(true, 0), 0);
    ASSERT_TRUE(waitFor([this] {
        return logText().find(
                   "[WARNING] Torvane::ContinuousThread: No points were measured in this interval") !=
               std::string::npos;
    }));
    ASSERT_TRUE(waitFor([this] { return driver->GetCurrentNumberOfPoints() >= 2; }));
    EXPECT_TRUE(driver->IsScanning()) << "one failed interval does not end continuous mode";
    EXPECT_EQ(driver->RunScan(false, 0), 0);
    const int points = driver->GetCurrentNumberOfPoints();
    EXPECT_EQ(fileDoubles().size(), static_cast<std::size_t>(points) * 7);
    EXPECT_EQ(fetch(1, -1, 5).status, 1);
}

// The default continuous interval (5 s) is beyond the rate divider: each
// interval still gives one record, 5 s after the one before.
TEST_F(SteadySignalTest, ContinuousModeAtAFiveSecondIntervalRecordsOnePointPerInterval)
{
    open();
    ASSERT_EQ(driver->SetMeasurementRate(0.2, false), 0);
    ASSERT_NO_FATAL_FAILURE(startContinuousScan(2));
    EXPECT_EQ(driver->RunScan(false, 0), 0);
    const int points = driver->GetCurrentNumberOfPoints();
    const Points p = fetch(1, 0, points);
    ASSERT_EQ(p.count, points);
    EXPECT_LE(points, 3) << "one record per interval, not a burst";
    EXPECT_EQ(p.time[0], 0.0);
    EXPECT_NEAR(p.time[1], 5.0, 1e-3);
}

TEST_F(SteadySignalTest, ALostInstrumentEndsContinuousMode)
{
    open();
    ASSERT_EQ(driver->SetMeasurementRate(20, false), 0);
    ASSERT_NO_FATAL_FAILURE(startContinuousScan(2));
    ASSERT_TRUE(bus().unplug(instrument->path()));
    // Continuous mode ends by itself, as a block scan does, instead of retrying for ever.
    ASSERT_TRUE(waitFor([this] { return !driver->IsScanning(); }));
    EXPECT_EQ(driver->driverErrorText(), "The instrument stopped delivering data: continuous mode ended");
    const int points = driver->GetCurrentNumberOfPoints();
    EXPECT_GE(points, 2);
    EXPECT_EQ(fetch(1, 0, points).count, points) << "what was measured stays readable";
    EXPECT_EQ(driver->RunScan(false, 0), 0);
}

TEST_F(SteadySignalTest, ZeroingMeasuresTheInputOffsetsAndRestoresTheWords)
{
    open();
    ASSERT_EQ(driver->TurnSensorOn(1, true), 0);
    ASSERT_EQ(driver->SetInputType(2, 1), 0);
    instrument->clearControlRequests();

    ASSERT_EQ(driver->Reset(), 0);
    std::vector<std::pair<int, int>> words;
    for (const auto& r : outRequests())
        if (r.first == 0xA3 || r.first == 0xA9 || r.first == 0xA4) words.push_back(r);
    // Group 1 zeroed (its input bit is clear), group 2 left alone; rate 20 kHz.
    const std::vector<std::pair<int, int>> expected = {
        {0xA3, 0x01}, {0xA9, 0x06}, {0xA4, 0}, {0xA3, 0x01}, {0xA9, 0x02}};
    EXPECT_EQ(words, expected);
    // The 40-point measurement runs between the rate and the restored words.
    const auto outs = outRequests();
    const auto rate = std::find(outs.begin(), outs.end(), std::make_pair(0xA4, 0));
    const auto start = std::find(outs.begin(), outs.end(), std::make_pair(0xA5, 0));
    ASSERT_NE(start, outs.end());
    EXPECT_LT(rate, start);
    EXPECT_EQ(valuesSent(0xA2), std::vector<int>{80});

    const double* table = driver->zeroTable();
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(table[k], offset(k), 2e-6) << k;
    for (int k = 3; k < 6; ++k)
        EXPECT_EQ(table[k], 0.0) << k;
    EXPECT_EQ(driver->sensorControlWord(), 0x01);
    EXPECT_EQ(driver->inputControlWord(), 0x02);
    EXPECT_DOUBLE_EQ(driver->effectivePointRate(), 20833.0);

    // A second zeroing adds the previous table value to every measured value.
    ASSERT_EQ(driver->Reset(), 0);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(driver->zeroTable()[k], 2 * offset(k), 4e-6) << k;
}

TEST_F(SteadySignalTest, ZeroingAPoweredSensorWithHighPassWaitsForItToSettle)
{
    open();
    ASSERT_EQ(driver->TurnSensorOn(1, true), 0);
    ASSERT_EQ(driver->SetSensorHPFilter(1, true), 0);
    instrument->clearControlRequests();
    std::atomic<int> pumped{0};
    FenmarlCommonDLL::platform::setMessagePump([&pumped] { ++pumped; });

    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(driver->Reset(), 0);
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    FenmarlCommonDLL::platform::setMessagePump(nullptr);

    EXPECT_EQ(valuesSent(0xA3), (std::vector<int>{0x01, 0x09}));
    EXPECT_EQ(valuesSent(0xA9), (std::vector<int>{0x0C, 0x00}));
    // Five pauses before the input word and a hundred after, each pumping messages.
    EXPECT_GE(elapsed, std::chrono::milliseconds(300 + 200 + 10500));
    EXPECT_GE(pumped.load(), 105);
}

TEST_F(SteadySignalTest, ZeroingWithoutSettlingStillPumpsMessagesThroughEveryPause)
{
    open();
    ASSERT_EQ(driver->TurnSensorOn(1, true), 0);
    std::atomic<int> pumped{0};
    FenmarlCommonDLL::platform::setMessagePump([&pumped] { ++pumped; });
    ASSERT_EQ(driver->Reset(), 0);
    FenmarlCommonDLL::platform::setMessagePump(nullptr);
    // 300 ms before the measurement and 200 ms after it, in 50 ms slices: the
    // calling window never goes half a second without painting.
    EXPECT_GE(pumped.load(), 10);
}

TEST_F(SteadySignalTest, ZeroingThatCannotSendPutsTheWordsBack)
{
    open();
    ASSERT_EQ(driver->TurnSensorOn(1, true), 0);
    ASSERT_EQ(driver->SetSensorHPFilter(1, true), 0);
    instrument->setFaults({failRequest(0xA3)});
    EXPECT_EQ(driver->Reset(), 1);
    EXPECT_EQ(driver->driverErrorText(), "Cannot send sensor control byte");
    EXPECT_EQ(driver->sensorControlWord(), 0x09);
    EXPECT_EQ(driver->inputControlWord(), 0x00);

    instrument->setFaults({failRequest(0xA9)});
    EXPECT_EQ(driver->Reset(), 1);
    EXPECT_EQ(driver->driverErrorText(), "Cannot send input control byte");
    EXPECT_EQ(driver->inputControlWord(), 0x00);
    EXPECT_NE(logText().find("[ERROR] Torvane::Reset: Cannot send input control byte"), std::string::npos);
}

} // namespace
