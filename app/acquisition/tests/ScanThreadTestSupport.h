#pragma once

// Scans against the simulated instrument: the bus is the simulated one, the
// instrument is plugged fresh for each test and opened through the driver.

#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/ScanEvents.h"
#include "app/base/ConfigurationValues.h"
#include "app/settings/ScanConfiguration.h"
#include "driver/Torvane.h"
#include "simulator/Instrument.h"
#include "simulator/SimulatedBus.h"
#include "testsupport/WaitFor.h"

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

// Scans run slowly under the sanitizers: a minute before a wait gives up.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(60))
{
    return TestSupport::waitFor(condition, limit);
}

// A short single scan: a magnetometer on input 1 alone, without high-pass
// filter (the short zeroing), 400 points at 1 ms, not averaged.
inline void shortMagnetometerScan(CScanConfiguration& c)
{
    c.Input1Mode = SensorTypes::Magnetometer;
    c.UseInput1 = 1;
    c.UseInput2 = 0;
    c.Input1HPFilter = 0;
    c.NoOfSamples = 400;
    c.SampleInterval = 0.001;
    c.ScanMode = ScanModes::Single;
    c.NoOfAverages = 1;
}

// Makes `c` a scan of `runs` runs, each saved to its own file.
inline CScanConfiguration& multipleRuns(CScanConfiguration& c, int runs)
{
    c.ScanMode = ScanModes::Multiple;
    c.NumberofRuns = runs;
    return c;
}

inline std::string scratchFolder()
{
    const char* scratch = std::getenv("TESSELON_TEST_SCRATCH");
    return std::string(scratch ? scratch : "/tmp") + "/work";
}

} // namespace ScanTest
