#pragma once

// A driver context on the simulated bus with one instrument plugged in.

#include "common/Logger.h"
#include "common/platform/Text.h"
#include "driver/CDriverContext.h"
#include "driver/RecordDecoder.h"
#include "driver/Torvane.h"
#include "simulator/Instrument.h"
#include "simulator/SimulatedBus.h"
#include "testsupport/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A decoded reading back in the instrument's counts (the ramp signal's units).
inline std::int64_t counts(double volts)
{
    return std::llround(volts / TorvaneDecode::kVoltsPerCount);
}

// The instrument fails vendor request `code` with `error` (Win32 number) from now on.
inline FenmarlUsb::InstrumentFault failRequest(int code, std::uint32_t error = 31)
{
    FenmarlUsb::InstrumentFault fault;
    fault.kind = FenmarlUsb::InstrumentFault::Kind::VendorRequest;
    fault.request = code;
    fault.error = error;
    return fault;
}

// The instrument fails bulk reads with `error` (121 waits the pipe time-out)
// after `after` good ones, `count` times (-1: for ever).
inline FenmarlUsb::InstrumentFault failBulkRead(std::uint32_t error, int after, int count = -1)
{
    FenmarlUsb::InstrumentFault fault;
    fault.kind = FenmarlUsb::InstrumentFault::Kind::BulkRead;
    fault.error = error;
    fault.after = after;
    fault.count = count;
    return fault;
}

class DriverTest : public ::testing::Test
{
protected:
    using Instrument = FenmarlUsb::Instrument;
    using InstrumentConfig = FenmarlUsb::InstrumentConfig;

    // Tests change the instrument before SetUp plugs it.
    virtual InstrumentConfig instrumentConfig() { return {}; }

    void SetUp() override
    {
        setenv("TESSELON_USB", "simulator", 1);
        bus().reset();
        instrument = std::make_shared<Instrument>(instrumentConfig());
        bus().plug(instrument);
        driver = std::make_unique<CDriverContext>();
    }

    void TearDown() override
    {
        driver.reset();
        bus().reset();
    }

    // Plugs a fresh instrument (after a test changed its configuration).
    void replug()
    {
        TearDown();
        SetUp();
    }

    static FenmarlUsb::SimulatedBus& bus() { return FenmarlUsb::SimulatedBus::instance(); }

    void open()
    {
        ASSERT_EQ(driver->OpenDevice(0), 0) << driver->usb().lastError();
        instrument->clearControlRequests();
    }

    // Vendor OUT requests the instrument received, as (code, value).
    std::vector<std::pair<int, int>> outRequests() const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto& r : instrument->controlRequests())
            if (r.requestType == 0x40) out.emplace_back(r.request, r.value);
        return out;
    }

    std::vector<int> valuesSent(int code) const
    {
        std::vector<int> values;
        for (const auto& [request, value] : outRequests())
            if (request == code) values.push_back(value);
        return values;
    }

    std::string errorText()
    {
        char text[128] = {};
        driver->GetErrorText(text);
        return text;
    }

    std::string logText()
    {
        const std::string path = FenmarlCommonDLL::platform::wideToUtf8(driver->log().logFilePath());
        std::ifstream in(path);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    // Waits for a condition with a generous limit; false if it never held.
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds limit = std::chrono::seconds(60))
    {
        return TestSupport::waitFor(condition, limit);
    }

    // Starts a continuous scan and waits until it has measured `points` points.
    void startContinuousScan(int points)
    {
        ASSERT_EQ(driver->RunScan(true, 0), 0);
        ASSERT_TRUE(waitFor([this, points] { return driver->GetCurrentNumberOfPoints() >= points; }));
    }

    // Stops the running continuous scan; the points it kept.
    int stopContinuousScan()
    {
        EXPECT_TRUE(driver->IsScanning());
        EXPECT_EQ(driver->RunScan(false, 0), 0);
        EXPECT_FALSE(driver->IsScanning());
        return driver->GetCurrentNumberOfPoints();
    }

    bool waitScanEnd(std::chrono::milliseconds limit = std::chrono::seconds(120))
    {
        return waitFor([this] { return !driver->IsScanning(); }, limit);
    }

    // Runs a block scan of `points` points to its end.
    ::testing::AssertionResult scanToEnd(int points,
                                         std::chrono::milliseconds limit = std::chrono::seconds(120))
    {
        if (const int started = driver->RunScan(true, points); started != 0)
            return ::testing::AssertionFailure() << "RunScan(true, " << points << ") returned " << started;
        if (!waitScanEnd(limit)) return ::testing::AssertionFailure() << "the scan did not end";
        return ::testing::AssertionSuccess();
    }

    struct Points
    {
        std::vector<double> time, x, y, z;
        int count = 0;
        int status = 1;
    };

    Points fetch(int group, int start, int count, int filter = 0)
    {
        Points p;
        p.time.assign(static_cast<std::size_t>(count), -1.0);
        p.x.assign(static_cast<std::size_t>(count), -1.0);
        p.y.assign(static_cast<std::size_t>(count), -1.0);
        p.z.assign(static_cast<std::size_t>(count), -1.0);
        AxisArrays xyz{p.x.data(), p.y.data(), p.z.data()};
        p.count = count;
        p.status = driver->GetMeasurement(group, start, &p.count, p.time.data(), &xyz, filter);
        return p;
    }

    // Fetches a whole scan the way the application does, in pieces.
    std::array<std::vector<double>, 6> fetchAll(int points, std::vector<double>* time = nullptr)
    {
        std::array<std::vector<double>, 6> channels;
        for (int group = 1; group <= 2; ++group) {
            for (int start = 0; start < points; start += 65536) {
                const Points p = fetch(group, start, std::min(65536, points - start));
                EXPECT_EQ(p.status, 0);
                for (int i = 0; i < p.count; ++i) {
                    channels[(group - 1) * 3 + 0].push_back(p.x[i]);
                    channels[(group - 1) * 3 + 1].push_back(p.y[i]);
                    channels[(group - 1) * 3 + 2].push_back(p.z[i]);
                    if (time && group == 1) time->push_back(p.time[i]);
                }
            }
        }
        return channels;
    }

    // Every point of a block scan of a ramp instrument, channel by channel:
    // none lost, none repeated (channel k reads sample index + k).
    void expectRamp(int points, std::vector<double>* time = nullptr)
    {
        const auto channels = fetchAll(points, time);
        ASSERT_EQ(channels[0].size(), static_cast<std::size_t>(points));
        const std::int64_t first = counts(channels[0][0]);
        std::size_t bad = 0;
        std::string firstBad;
        for (std::size_t i = 0; i < channels[0].size(); ++i)
            for (int k = 0; k < 6; ++k) {
                const std::int64_t want = (first + static_cast<std::int64_t>(i) + k) % (1 << 23);
                if (counts(channels[k][i]) == want) continue;
                if (bad++ == 0)
                    firstBad = "point " + std::to_string(i) + " channel " + std::to_string(k) + ": " +
                               std::to_string(counts(channels[k][i])) + " instead of " + std::to_string(want);
            }
        EXPECT_EQ(bad, 0u) << "points out of sequence, first at " << firstBad;
    }

    std::shared_ptr<Instrument> instrument;
    std::unique_ptr<CDriverContext> driver;
};
