#pragma once

// Scans against the simulated instrument: the bus is the simulated one, the
// instrument is plugged fresh for each test and opened through the driver.

#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/ScanEvents.h"
#include "driver/Torvane.h"
#include "simulator/Instrument.h"
#include "simulator/SimulatedBus.h"

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace ScanTest {

inline const bool simulatedBus = [] {
    setenv("TESSELON_USB", "simulator", 1);
    return true;
}();

// Instrument seconds per wall-clock second: fast enough for quick tests, slow
// enough that the driver keeps up.
inline constexpr double kSpeed = 20.0;

inline FenmarlUsb::InstrumentConfig instrumentConfig(bool highSpeed = true)
{
    FenmarlUsb::InstrumentConfig config;
    config.highSpeed = highSpeed;
    config.speedFactor = kSpeed;
    config.seed = 7;
    for (int channel = 0; channel < 6; ++channel) {
        config.channels[channel].dc = 0.1 * (channel + 1);
        config.channels[channel].sines = {{0.5, 50.0 + 10.0 * channel, 0.0}};
        config.channels[channel].noise = 0.05;
    }
    return config;
}

// Plugs instruments on an empty bus; the first one is opened unless told not to.
inline std::vector<std::shared_ptr<FenmarlUsb::Instrument>>
plugInstruments(std::vector<FenmarlUsb::InstrumentConfig> configs, bool open = true)
{
    (void)simulatedBus;
    CloseDevice();
    auto& bus = FenmarlUsb::SimulatedBus::instance();
    bus.waitIdle();
    bus.reset();
    std::vector<std::shared_ptr<FenmarlUsb::Instrument>> plugged;
    for (auto& config : configs) {
        plugged.push_back(std::make_shared<FenmarlUsb::Instrument>(config));
        bus.plug(plugged.back());
    }
    bus.waitIdle();
    if (open && !plugged.empty() && FindDevices() > 0) OpenDevice(0);
    return plugged;
}

inline std::shared_ptr<FenmarlUsb::Instrument>
plugInstrument(FenmarlUsb::InstrumentConfig config = instrumentConfig())
{
    return plugInstruments({config}).front();
}

inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline std::string scratchFolder()
{
    const char* scratch = std::getenv("TESSELON_TEST_SCRATCH");
    return std::string(scratch ? scratch : "/tmp") + "/work";
}

} // namespace ScanTest
