// The watcher's background thread and its reaction to device changes.
#include "firmware_loader/FirmwareWatcher.h"
#include "firmware_loader/tests/LoaderTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace LoaderTest;
using FenmarlUsb::DeviceClassId;

class Watcher : public ::testing::Test
{
protected:
    void SetUp() override { bus_ = &emptyBus(); }
    void TearDown() override { bus_->reset(); }

    std::string log() const { return readFile(logPath_); }
    bool instrumentPresent() const { return !bus_->enumerate(DeviceClassId::Instrument).empty(); }

    // A device already there when the watcher starts raises no arrival on a
    // real system; let the bus deliver its announcement before anyone watches.
    std::string plugBeforeStart(const std::shared_ptr<FenmarlUsb::SimulatedDevice>& device)
    {
        const std::string path = bus_->plug(device);
        EXPECT_TRUE(bus_->waitIdle());
        return path;
    }

    FenmarlUsb::SimulatedBus* bus_ = nullptr;
    std::wstring logPath_ = scratchLogPath("FirmwareDriver.log");
};

TEST_F(Watcher, UploadsToADevicePresentAtStartAndSeesItComeBack)
{
    auto device = makeBareDevice();
    plugBeforeStart(device);
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    ASSERT_TRUE(watcher.start());
    EXPECT_TRUE(waitFor([&] { return watcher.uploaded(); }));
    EXPECT_TRUE(waitFor([&] { return instrumentPresent(); }));
    EXPECT_TRUE(
        waitFor([&] { return log().find("The device came back as an instrument.") != std::string::npos; }));
    watcher.stop();
    EXPECT_FALSE(watcher.isRunning());
    EXPECT_FALSE(watcher.uploaded());

    const std::string text = log();
    EXPECT_EQ(countOccurrences(text, "[NOTE] Firmware Driver: Loaded."), 1u);
    EXPECT_EQ(countOccurrences(text, "[NOTE] Firmware Driver: Unloaded."), 1u);
    EXPECT_LT(text.find("Loaded."), text.find("Found a device"));
    EXPECT_LT(text.find("Found a device"), text.find("Unloaded."));
}

TEST_F(Watcher, ArrivalUploadsOnceAndLaterArrivalsAreIgnored)
{
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    ASSERT_TRUE(watcher.start());
    auto first = makeBareDevice();
    bus_->plug(first);
    ASSERT_TRUE(waitFor([&] { return watcher.uploaded(); }));
    ASSERT_TRUE(waitFor([&] { return first->reenumerated(); }));
    watcher.stop();

    // With uploaded set, an arrival of the bare class is ignored.
    TorvaneDLL::FirmwareWatcher settled(logPath_);
    auto spare = makeBareDevice();
    const std::string sparePath = bus_->plug(spare);
    ASSERT_TRUE(settled.handleDevicePresent());
    auto second = makeBareDevice();
    const std::string secondPath = bus_->plug(second);
    bus_->unplug(sparePath);
    settled.onDeviceChange(TorvaneDLL::kDeviceArrival, DeviceClassId::BareMicrocontroller, secondPath);
    EXPECT_TRUE(second->requests().empty());
}

TEST_F(Watcher, RemovalAndOtherClassesNeverUpload)
{
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    auto device = makeBareDevice();
    const std::string path = bus_->plug(device);
    watcher.onDeviceChange(TorvaneDLL::kDeviceRemoveComplete, DeviceClassId::BareMicrocontroller, path);
    watcher.onDeviceChange(TorvaneDLL::kDeviceArrival, DeviceClassId::Instrument, path);
    watcher.onDeviceChange(0x8001, DeviceClassId::BareMicrocontroller, path); // query-remove
    EXPECT_TRUE(device->requests().empty());
    EXPECT_FALSE(watcher.uploaded());
    // The same device still uploads on a real arrival.
    watcher.onDeviceChange(TorvaneDLL::kDeviceArrival, DeviceClassId::BareMicrocontroller, path);
    EXPECT_TRUE(watcher.uploaded());
}

TEST_F(Watcher, FailedUploadAtStartIsRetriedOnReplug)
{
    auto device = makeBareDevice();
    device->failRequest(0, 31);
    const std::string path = plugBeforeStart(device);
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    ASSERT_TRUE(watcher.start());
    ASSERT_TRUE(
        waitFor([&] { return log().find("Failed to update Tesselon's firmware.") != std::string::npos; }));
    EXPECT_FALSE(watcher.uploaded());

    bus_->unplug(path);
    bus_->plug(device);
    EXPECT_TRUE(waitFor([&] { return watcher.uploaded(); }));
    EXPECT_TRUE(waitFor([&] { return device->reenumerated(); }));
    watcher.stop();
}

TEST_F(Watcher, LogsWhenTheReleasedDeviceDoesNotComeBack)
{
    auto device = makeBareDevice(false);
    plugBeforeStart(device);
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    ASSERT_TRUE(watcher.start());
    ASSERT_TRUE(waitFor([&] { return watcher.uploaded(); }));
    EXPECT_TRUE(waitFor(
        [&] {
            return log().find(
                       "[ERROR] Firmware Driver::handleDevicePresent: The device did not come back as an "
                       "instrument within 5 seconds of its firmware upload.") != std::string::npos;
        },
        std::chrono::seconds(60)));
    EXPECT_EQ(log().find("came back as an instrument."), std::string::npos);
    watcher.stop();
}

TEST_F(Watcher, StopsWhileADeviceKeepsRefusingToOpen)
{
    auto device = makeBareDevice();
    device->refuseOpens(5);
    plugBeforeStart(device);
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    ASSERT_TRUE(watcher.start());
    watcher.stop(); // must not hang in the open attempts
    EXPECT_FALSE(watcher.isRunning());
    EXPECT_EQ(log().find("did not stop within"), std::string::npos);
    // Started again, it watches again.
    device->refuseOpens(0);
    ASSERT_TRUE(watcher.start());
    EXPECT_TRUE(waitFor([&] { return watcher.uploaded(); }));
    watcher.stop();
}

} // namespace
