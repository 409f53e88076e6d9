// The whole chain as the application meets it: a bare instrument is plugged,
// the loader uploads its firmware, it comes back as an instrument and the
// driver finds it and runs a scan on it. Both libraries are loaded by name.
#include "firmware_loader/tests/LoaderTestSupport.h"

#include "driver/Torvane.h"
#include "simulator/Instrument.h"
#include "simulator/SimulatorProfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>

namespace {

using namespace LoaderTest;

// The driver's functions by name; only their types come from its header.
template <typename F> F* symbol(void* library, const char* name)
{
    return reinterpret_cast<F*>(dlsym(library, name));
}
#define DRIVER_FUNCTION(library, name) symbol<decltype(::name)>(library, #name)

TEST(Chain, BareDeviceGetsFirmwareAndTheDriverScansIt)
{
    // A simulator profile whose instrument starts bare, as TESSELON_SIMULATOR may name one.
    const std::string profilePath = std::string(std::getenv("TESSELON_TEST_SCRATCH")) + "/bare.ini";
    std::ofstream(profilePath)
        << "[Simulator]\nInstruments = 1\n[Instrument1]\nProduct = TS6BARE\nStartBare = 1\n";
    auto& bus = emptyBus();
    const auto instruments = FenmarlUsb::plugProfile(bus, FenmarlUsb::readProfile(profilePath));
    ASSERT_EQ(instruments.size(), 1u);
    const auto instrument = instruments.front();
    ASSERT_EQ(bus.enumerate(FenmarlUsb::DeviceClassId::BareMicrocontroller).size(), 1u);
    EXPECT_TRUE(bus.enumerate(FenmarlUsb::DeviceClassId::Instrument).empty());

    void* ambrel = dlopen(besideProgram("libAmbrel.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(ambrel, nullptr) << dlerror();
    ASSERT_TRUE(waitFor([&] { return instrument->isPlugged(); }, std::chrono::seconds(30)));
    EXPECT_TRUE(bus.enumerate(FenmarlUsb::DeviceClassId::BareMicrocontroller).empty());

    void* torvane = dlopen(besideProgram("libTorvane.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(torvane, nullptr) << dlerror();
    auto findDevices = DRIVER_FUNCTION(torvane, FindDevices);
    auto openDevice = DRIVER_FUNCTION(torvane, OpenDevice);
    auto setRate = DRIVER_FUNCTION(torvane, SetMeasurementRate);
    auto runScan = DRIVER_FUNCTION(torvane, RunScan);
    auto isScanning = DRIVER_FUNCTION(torvane, IsScanning);
    auto pointsSoFar = DRIVER_FUNCTION(torvane, GetCurrentNumberOfPoints);
    auto getMeasurement = DRIVER_FUNCTION(torvane, GetMeasurement);
    auto closeDevice = DRIVER_FUNCTION(torvane, CloseDevice);
    ASSERT_TRUE(findDevices && openDevice && setRate && runScan && isScanning && pointsSoFar &&
                getMeasurement && closeDevice);

    EXPECT_EQ(findDevices(), 1);
    char product[128] = {};
    unsigned length = 0;
    auto getDescriptor = DRIVER_FUNCTION(torvane, GetDescriptor);
    ASSERT_NE(getDescriptor, nullptr);
    getDescriptor(0, product, sizeof product, &length);
    EXPECT_STREQ(product, "TS6BARE");
    ASSERT_EQ(openDevice(0), 0);
    ASSERT_EQ(setRate(1000.0, false), 0);
    constexpr int kPoints = 500;
    ASSERT_EQ(runScan(true, kPoints), 0);
    EXPECT_TRUE(
        waitFor([&] { return pointsSoFar() >= kPoints && !isScanning(); }, std::chrono::seconds(120)));

    std::vector<double> time(kPoints), x(kPoints), y(kPoints), z(kPoints);
    AxisArrays xyz{x.data(), y.data(), z.data()};
    int count = kPoints;
    ASSERT_EQ(getMeasurement(1, 0, &count, time.data(), &xyz, 0), 0);
    EXPECT_EQ(count, kPoints);
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(std::isfinite(x[i]) && std::abs(x[i]) <= 10.24) << i;
        if (i > 0) {
            ASSERT_GT(time[i], time[i - 1]) << i;
        }
    }
    closeDevice();
    dlclose(torvane);
    dlclose(ambrel);

    const std::string text = readFile(libraryLogPath());
    EXPECT_NE(text.find("Tesselon's firmware update complete."), std::string::npos) << text;
    EXPECT_NE(text.find("The device came back as an instrument."), std::string::npos) << text;
    bus.reset();
}

} // namespace
