#pragma once

// The end of every firmware chain test: the driver, loaded by name as the
// application loads it, finds the instrument the bare chip became and scans it.

#include "driver/Torvane.h"
#include "testsupport/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <dlfcn.h>
#include <string>
#include <thread>
#include <vector>

namespace LoaderTest {

struct DriverScan
{
    std::string product;
    std::vector<double> time, x;
};

template <typename F> F* driverSymbol(void* library, const char* name)
{
    return reinterpret_cast<F*>(dlsym(library, name));
}
#define TORVANE_FUNCTION(library, name) LoaderTest::driverSymbol<decltype(::name)>(library, #name)

// Scans `points` samples at 1 kHz with the driver at torvanePath and reads input 1.
// Call through ASSERT_NO_FATAL_FAILURE.
inline void scanWithTheDriver(const std::string& torvanePath, int points, DriverScan* scan)
{
    void* torvane = dlopen(torvanePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(torvane, nullptr) << dlerror();
    auto findDevices = TORVANE_FUNCTION(torvane, FindDevices);
    auto getDescriptor = TORVANE_FUNCTION(torvane, GetDescriptor);
    auto openDevice = TORVANE_FUNCTION(torvane, OpenDevice);
    auto setRate = TORVANE_FUNCTION(torvane, SetMeasurementRate);
    auto runScan = TORVANE_FUNCTION(torvane, RunScan);
    auto isScanning = TORVANE_FUNCTION(torvane, IsScanning);
    auto pointsSoFar = TORVANE_FUNCTION(torvane, GetCurrentNumberOfPoints);
    auto getMeasurement = TORVANE_FUNCTION(torvane, GetMeasurement);
    auto closeDevice = TORVANE_FUNCTION(torvane, CloseDevice);
    ASSERT_TRUE(findDevices && getDescriptor && openDevice && setRate && runScan && isScanning &&
                pointsSoFar && getMeasurement && closeDevice);

    EXPECT_EQ(findDevices(), 1);
    char product[128] = {};
    unsigned length = 0;
    getDescriptor(0, product, sizeof product, &length);
    scan->product = product;
    ASSERT_EQ(openDevice(0), 0);
    ASSERT_EQ(setRate(1000.0, false), 0);
    ASSERT_EQ(runScan(true, points), 0);
    EXPECT_TRUE(TestSupport::waitFor([&] { return pointsSoFar() >= points && !isScanning(); },
                                     std::chrono::seconds(120)))
        << "the scan did not end in 120 s";

    scan->time.assign(static_cast<std::size_t>(points), 0.0);
    scan->x.assign(static_cast<std::size_t>(points), 0.0);
    std::vector<double> y(static_cast<std::size_t>(points)), z(static_cast<std::size_t>(points));
    AxisArrays xyz{scan->x.data(), y.data(), z.data()};
    int count = points;
    ASSERT_EQ(getMeasurement(1, 0, &count, scan->time.data(), &xyz, 0), 0);
    ASSERT_EQ(count, points);
    closeDevice();
    dlclose(torvane);
}

} // namespace LoaderTest
