#pragma once

// A driver context on the simulated bus with one instrument plugged in.

#include "common/Logger.h"
#include "common/platform/Text.h"
#include "driver/CDriverContext.h"
#include "driver/RecordDecoder.h"
#include "driver/Torvane.h"
#include "simulator/Instrument.h"
#include "simulator/SimulatedBus.h"

#include <gtest/gtest.h>

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
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    bool waitScanEnd(std::chrono::milliseconds limit = std::chrono::seconds(120))
    {
        return waitFor([this] { return !driver->IsScanning(); }, limit);
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

    std::shared_ptr<Instrument> instrument;
    std::unique_ptr<CDriverContext> driver;
};
