#include "usb/LibusbBus.h"
#include "usb/UsbBus.h"

#include <gtest/gtest.h>

#include <libusb.h>

#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

using namespace FenmarlUsb;

TEST(ErrorMap, LibusbErrnoAndTransferStatusGiveWinUsbNumbers)
{
    EXPECT_EQ(win32FromLibusb(LIBUSB_SUCCESS), 0u);
    EXPECT_EQ(win32FromLibusb(LIBUSB_ERROR_ACCESS), 5u);
    EXPECT_EQ(win32FromLibusb(LIBUSB_ERROR_TIMEOUT), 121u);
    EXPECT_EQ(win32FromLibusb(LIBUSB_ERROR_INTERRUPTED), 995u);
    EXPECT_EQ(win32FromLibusb(LIBUSB_ERROR_NO_DEVICE), 1167u);
    EXPECT_EQ(win32FromLibusb(LIBUSB_ERROR_NOT_FOUND), 1168u);
    EXPECT_EQ(win32FromLibusb(LIBUSB_ERROR_PIPE), 31u);
    EXPECT_EQ(win32FromLibusb(LIBUSB_ERROR_INVALID_PARAM), 87u);
    EXPECT_EQ(win32FromLibusb(LIBUSB_ERROR_BUSY), 170u);
    EXPECT_EQ(win32FromLibusb(-12345), 31u) << "unknown failures are general failures";

    EXPECT_EQ(win32FromLibusb(EACCES), 5u);
    EXPECT_EQ(win32FromLibusb(EBADF), 6u);
    EXPECT_EQ(win32FromLibusb(ETIMEDOUT), 121u);
    EXPECT_EQ(win32FromLibusb(ECANCELED), 995u);
    EXPECT_EQ(win32FromLibusb(ENODEV), 1167u);

    EXPECT_EQ(win32FromTransferStatus(LIBUSB_TRANSFER_COMPLETED), 0u);
    EXPECT_EQ(win32FromTransferStatus(LIBUSB_TRANSFER_TIMED_OUT), 121u);
    EXPECT_EQ(win32FromTransferStatus(LIBUSB_TRANSFER_CANCELLED), 995u);
    EXPECT_EQ(win32FromTransferStatus(LIBUSB_TRANSFER_NO_DEVICE), 1167u);
    EXPECT_EQ(win32FromTransferStatus(LIBUSB_TRANSFER_STALL), 31u);
}

TEST(ErrorMap, LastErrorBelongsToTheCallingThread)
{
    setLastError(1167);
    std::uint32_t seen = 1;
    std::thread([&] {
        seen = lastError();
        setLastError(5);
    }).join();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(lastError(), 1167u);
}

TEST(DeviceClasses, TableAndGeneratedUdevRule)
{
    const DeviceClass& instrument = deviceClass(DeviceClassId::Instrument);
    const DeviceClass& bare = deviceClass(DeviceClassId::BareMicrocontroller);
    EXPECT_EQ(instrument.interfaceGuid, "{6F37543C-03B9-4D8B-AB72-D98CE8E1AF60}");
    EXPECT_EQ(bare.interfaceGuid, "{86130025-0EC1-4723-91CB-D14550BA6DFC}");
    ASSERT_EQ(bare.ids.size(), 1u);
    EXPECT_EQ(bare.ids[0].vendorId, 0x04b4);
    EXPECT_EQ(bare.ids[0].productId, 0x8613);
    ASSERT_FALSE(instrument.ids.empty());
    EXPECT_EQ(deviceClasses().size(), 2u);

    // Every id of the table gets a uaccess line, and nothing else does.
    const std::string rules = udevRules();
    std::istringstream lines(rules);
    std::string line;
    int ruleLines = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        ++ruleLines;
        EXPECT_NE(line.find("TAG+=\"uaccess\""), std::string::npos) << line;
        EXPECT_EQ(line.rfind("SUBSYSTEM==\"usb\"", 0), 0u) << line;
    }
    EXPECT_EQ(ruleLines, 2);
    for (const DeviceClass& c : deviceClasses())
        for (const UsbId& id : c.ids) {
            char match[80];
            std::snprintf(match, sizeof match, "ATTR{idVendor}==\"%04x\", ATTR{idProduct}==\"%04x\"",
                          id.vendorId, id.productId);
            EXPECT_NE(rules.find(match), std::string::npos) << match;
        }
}

TEST(DeviceClasses, PackagedUdevRuleIsTheGeneratedOne)
{
    // The packaged copy is generated with the placeholder instrument ids; a build
    // configured with the maker's ids generates its own rule.
    const UsbId id = deviceClass(DeviceClassId::Instrument).ids.front();
    if (id.vendorId != 0x04b4 || id.productId != 0x6f37) GTEST_SKIP() << "built with other instrument ids";
    const std::string rules = udevRules();
    std::ifstream packaged(std::string(TESSELON_SOURCE_DIR) + "/packaging/udev/70-tesselon-6.rules",
                           std::ios::binary);
    ASSERT_TRUE(packaged.good());
    std::stringstream text;
    text << packaged.rdbuf();
    EXPECT_EQ(text.str(), rules);
}

TEST(LibusbBackend, EnumeratesWithoutHardwareAndRefusesUnknownPaths)
{
    Bus& usb = libusbBus();
    EXPECT_EQ(usb.backendName(), "libusb");
    for (const DeviceClass& c : deviceClasses()) {
        const auto paths = usb.enumerate(c.id);
        // Whatever is attached, the paths are unique, sorted stably and name the class.
        EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()).size(), paths.size());
        EXPECT_EQ(usb.enumerate(c.id), paths);
        std::string guid = c.interfaceGuid;
        for (char& ch : guid)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        for (const std::string& p : paths)
            EXPECT_NE(p.find(guid), std::string::npos) << p;
    }
    setLastError(0);
    EXPECT_EQ(usb.open("\\\\?\\usb#vid_ffff&pid_ffff#9-9.9#{6f37543c-03b9-4d8b-ab72-d98ce8e1af60}"), nullptr);
    EXPECT_EQ(lastError(), 2u);

    // Watching and unwatching with nothing plugged reports nothing and returns promptly.
    int calls = 0;
    const int token =
        usb.watch(DeviceClassId::Instrument, [&](DeviceClassId, const std::string&, bool) { ++calls; });
    usb.unwatch(token);
    EXPECT_GE(token, 1);
}
