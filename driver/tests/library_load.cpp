// The shipped library as the application sees it: loaded by the dynamic
// linker, its 24 C exports found by name, its context built on load and torn
// down on unload.
#include "testsupport/ProgramLogs.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST(TorvaneLibrary, BuildsItsContextOnLoadAndTearsItDownOnUnload)
{
    setenv("TESSELON_USB", "simulator", 1);
    const std::filesystem::path temporary =
        std::filesystem::path(std::getenv("TMPDIR")) / "ContinuousScanData.tmp";
    std::ofstream(temporary) << "left over";
    const std::filesystem::path log = TestSupport::logFile("Torvane.log");

    void* library = dlopen(TORVANE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_FALSE(std::filesystem::exists(temporary)) << "a stale temporary file survives the load";
    const std::string loaded = readFile(log);
    EXPECT_NE(loaded.find("[NOTE] CUSBLib: Object Created"), std::string::npos);
    EXPECT_NE(loaded.find("[NOTE] Torvane: Loaded"), std::string::npos);

    for (const char* name :
         {"Torvane_Init", "FindDevices", "GetDescriptor", "OpenDevice", "SetTimeOut", "CloseDevice", "IsDeviceOpen",
          "TurnSensorOn", "SetSensorGain", "SetSensorHPFilter", "SetInputType", "SetMeasurementRate", "Reset",
          "RunScan", "GetCurrentNumberOfPoints", "GetMeasurement", "IsScanning", "IsUSBTwo", "GetFirmwareVersion",
          "IsBoardInReset", "GetErrorText", "SetLowpassFilterCutOff", "SetLowpassFilterSize", "GetThreadDetails",
          "GetLostSampleCount"})
        EXPECT_NE(dlsym(library, name), nullptr) << name;

    // A short session through the C interface on the simulator's default instrument.
    auto init = reinterpret_cast<int (*)()>(dlsym(library, "Torvane_Init"));
    auto find = reinterpret_cast<int (*)()>(dlsym(library, "FindDevices"));
    auto open = reinterpret_cast<int (*)(int)>(dlsym(library, "OpenDevice"));
    auto isOpen = reinterpret_cast<bool (*)()>(dlsym(library, "IsDeviceOpen"));
    auto errorText = reinterpret_cast<int (*)(char*)>(dlsym(library, "GetErrorText"));
    auto close = reinterpret_cast<int (*)()>(dlsym(library, "CloseDevice"));
    ASSERT_TRUE(init && find && open && isOpen && errorText && close);
    EXPECT_EQ(init(), 0);
    ASSERT_GE(find(), 1);
    EXPECT_EQ(open(0), 0);
    EXPECT_TRUE(isOpen());
    EXPECT_EQ(open(0), 1);
    char text[128] = {};
    EXPECT_EQ(errorText(text), 0);
    EXPECT_STREQ(text, "The device is already open");
    EXPECT_EQ(close(), 0);

    ASSERT_EQ(dlclose(library), 0);
    const std::string unloaded = readFile(log);
    EXPECT_NE(unloaded.find("[NOTE] Torvane: Closed"), std::string::npos);
    EXPECT_NE(unloaded.find("[NOTE] CUSBLib: Object Destroyed"), std::string::npos);
}

} // namespace
