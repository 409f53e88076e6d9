// The whole chain as the application meets it: a bare instrument is plugged,
// the loader uploads its firmware, it comes back as an instrument and the
// driver finds it and runs a scan on it. Both libraries are loaded by name.
#include "firmware_loader/tests/LoaderTestSupport.h"
#include "firmware_loader/tests/DriverScanByName.h"

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

    LoaderTest::DriverScan scan;
    ASSERT_NO_FATAL_FAILURE(scanWithTheDriver(besideProgram("libTorvane.so"), 500, &scan));
    EXPECT_EQ(scan.product, "TS6BARE");
    for (std::size_t i = 0; i < scan.x.size(); ++i) {
        ASSERT_TRUE(std::isfinite(scan.x[i]) && std::abs(scan.x[i]) <= 10.24) << i;
        if (i > 0) {
            ASSERT_GT(scan.time[i], scan.time[i - 1]) << i;
        }
    }
    dlclose(ambrel);

    const std::string text = readFile(libraryLogPath());
    EXPECT_NE(text.find("Tesselon's firmware update complete."), std::string::npos) << text;
    EXPECT_NE(text.find("The device came back as an instrument."), std::string::npos) << text;
    bus.reset();
}

} // namespace
