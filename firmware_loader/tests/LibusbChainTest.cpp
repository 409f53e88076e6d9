// The chain from a bare chip to a scan over the libusb backend: the loader and
// the driver, both loaded by name, meet the devices through libusb's usbfs
// code and the usbdevfs bridge, re-enumeration included.
#include "firmware_loader/tests/DriverScanByName.h"
#include "driver/Torvane.h"
#include "simulator/BareDevice.h"
#include "simulator/Instrument.h"
#include "testsupport/ProgramLogs.h"
#include "testsupport/UsbdevfsBridge.h"
#include "testsupport/WaitFor.h"
#include "usb/UsbBus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace {

using TestSupport::UsbdevfsBridge;
using TestSupport::waitFor;

std::string besideProgram(const std::string& library)
{
    std::error_code ec;
    return (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / library).string();
}

std::string loaderLog()
{
    return TestSupport::logText("FirmwareDriver.log");
}

// Re-enumeration through umockdev is slower than on the simulated bus.
constexpr std::chrono::seconds kReenumerationWait{30};

TEST(LibusbChain, BareDeviceGetsFirmwareOverLibusbAndTheDriverScansIt)
{
    auto& bridge = UsbdevfsBridge::instance();
    std::string why;
    ASSERT_TRUE(bridge.ready(&why)) << why;
    ASSERT_EQ(FenmarlUsb::bus().backendName(), "libusb");
    bridge.reset();

    FenmarlUsb::InstrumentConfig config;
    config.product = "TS6BARE";
    config.ramp = true;
    auto instrument = std::make_shared<FenmarlUsb::Instrument>(config);
    auto bare = std::make_shared<FenmarlUsb::BareDevice>(instrument);
    ASSERT_FALSE(bridge.plug(bare).empty());
    ASSERT_TRUE(bridge.waitForCount(FenmarlUsb::DeviceClassId::Instrument, 0));

    void* ambrel = dlopen(besideProgram("libAmbrel.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(ambrel, nullptr) << dlerror();
    ASSERT_TRUE(waitFor([&] { return bare->reenumerated(); }, kReenumerationWait));
    ASSERT_TRUE(bridge.waitForCount(FenmarlUsb::DeviceClassId::Instrument, 1));
    EXPECT_TRUE(bridge.waitForCount(FenmarlUsb::DeviceClassId::BareMicrocontroller, 0));
    // The chip re-enumerates only with the expected image in its RAM: every byte
    // of it went through libusb's control URBs.
    EXPECT_TRUE(bare->requests().size() > 10u);

    LoaderTest::DriverScan scan;
    ASSERT_NO_FATAL_FAILURE(LoaderTest::scanWithTheDriver(besideProgram("libTorvane.so"), 500, &scan));
    EXPECT_EQ(scan.product, "TS6BARE");
    // The ramp: one count more per point, nothing lost or repeated.
    const std::vector<double>& x = scan.x;
    const double step = x[1] - x[0];
    EXPECT_GT(step, 0.0);
    for (std::size_t i = 1; i < x.size(); ++i)
        ASSERT_NEAR(x[i] - x[i - 1], step, step * 1e-3) << i;
    dlclose(ambrel);

    const std::string text = loaderLog();
    EXPECT_NE(text.find("Tesselon's firmware update complete."), std::string::npos) << text;
    EXPECT_NE(text.find("The device came back as an instrument."), std::string::npos) << text;
    bridge.reset();
}

TEST(LibusbChain, AStalledRequestIsLoggedAndTheChipStaysBare)
{
    auto& bridge = UsbdevfsBridge::instance();
    std::string why;
    ASSERT_TRUE(bridge.ready(&why)) << why;
    bridge.reset();
    auto bare = std::make_shared<FenmarlUsb::BareDevice>(std::make_shared<FenmarlUsb::Instrument>());
    bare->failRequest(3, 31); // a stall: the fourth request is a CPU reset
    ASSERT_FALSE(bridge.plug(bare).empty());

    const std::size_t before = loaderLog().size();
    void* ambrel = dlopen(besideProgram("libAmbrel.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(ambrel, nullptr) << dlerror();
    EXPECT_TRUE(waitFor([&] {
        // 31 in the words Windows has for it.
        return loaderLog().find("Failed to call WinUsb_ControlTransfer. Error: A device attached to the system is "
                                "not functioning.",
                                before) != std::string::npos;
    }, kReenumerationWait)) << loaderLog();
    dlclose(ambrel);
    EXPECT_FALSE(bare->reenumerated());
    EXPECT_TRUE(bridge.waitForCount(FenmarlUsb::DeviceClassId::BareMicrocontroller, 1));
    EXPECT_TRUE(bridge.waitForCount(FenmarlUsb::DeviceClassId::Instrument, 0));
    bridge.reset();
}

} // namespace
