// The upload against the simulated bare device, driven on the test's thread:
// the exact control requests, failures at every action, the read-back check
// and the records' edge cases.
#include "firmware_loader/Ambrel.h"
#include "firmware_loader/ErrorText.h"
#include "firmware_loader/FirmwareWatcher.h"
#include "firmware_loader/tests/LoaderTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

using namespace LoaderTest;
using FenmarlUsb::BareDevice;
using TorvaneDLL::ImageRecord;

struct Expected
{
    std::uint8_t requestType;
    std::uint16_t value;
    std::vector<std::uint8_t> data;
};

std::vector<Expected> imageWrites(std::span<const ImageRecord> image, std::uint8_t requestType)
{
    std::vector<Expected> out;
    for (const ImageRecord& record : image) {
        if (record.type != 0) break;
        out.push_back({requestType, record.address, {record.data, record.data + record.length}});
    }
    return out;
}

Expected cpu(std::uint16_t reg, std::uint8_t value)
{
    return {0x40, reg, {value}};
}

// Every vendor request of one successful upload, in order.
std::vector<Expected> fullUpload()
{
    std::vector<Expected> seq = {cpu(0x7F92, 1), cpu(0xE600, 1), cpu(0x7F92, 1), cpu(0xE600, 1)};
    for (auto& e : imageWrites(TorvaneDLL::loaderImage(), 0x40))
        seq.push_back(e);
    for (auto e : {cpu(0x7F92, 0), cpu(0xE600, 0), cpu(0x7F92, 1), cpu(0xE600, 1)})
        seq.push_back(e);
    for (auto& e : imageWrites(TorvaneDLL::firmwareImage(), 0x40))
        seq.push_back(e);
    for (auto& e : imageWrites(TorvaneDLL::firmwareImage(), 0xC0))
        seq.push_back(e);
    for (auto e : {cpu(0x7F92, 1), cpu(0xE600, 1), cpu(0x7F92, 0), cpu(0xE600, 0)})
        seq.push_back(e);
    return seq;
}

std::size_t dataRecords(std::span<const ImageRecord> image)
{
    return imageWrites(image, 0x40).size();
}

// Index in the request sequence of each action's first request.
std::size_t firstRequestOfAction(int action)
{
    const std::size_t loader = dataRecords(TorvaneDLL::loaderImage());
    const std::size_t firmware = dataRecords(TorvaneDLL::firmwareImage());
    if (action <= 5) return static_cast<std::size_t>(action - 1);
    if (action <= 10) return loader + static_cast<std::size_t>(action - 2);
    return loader + 2 * firmware + static_cast<std::size_t>(action - 3);
}

const char* actionText(int action)
{
    static const char* const texts[] = {
        "Action 1, Failed reset using 0x7f92",  "Action 2, Failed reset using 0xE600",
        "Action 3, Failed reset using 0x7f92",  "Action 4, Failed reset using 0xE600",
        "Action 5, Failed to send loader data", "Action 6, Failed reset using 0x7f92",
        "Action 7, Failed reset using 0xE600",  "Action 8, Failed reset using 0x7f92",
        "Action 9, Failed reset using 0xE600",  "Action 10, Failed to send firmware",
        "Action 11, Failed reset using 0x7f92", "Action 12, Failed reset using 0xE600",
        "Action 13, Failed reset using 0x7f92"};
    return texts[action - 1];
}

class Upload : public ::testing::Test
{
protected:
    void SetUp() override
    {
        bus_ = &emptyBus();
        device_ = makeBareDevice();
        path_ = bus_->plug(device_);
    }
    void TearDown() override { bus_->reset(); }

    std::string log() const { return readFile(logPath_); }

    FenmarlUsb::SimulatedBus* bus_ = nullptr;
    std::shared_ptr<BareDevice> device_;
    std::string path_;
    std::wstring logPath_ = scratchLogPath("FirmwareDriver.log");
};

TEST_F(Upload, SendsTheExactRequestSequenceAndTheDeviceComesBackAsInstrument)
{
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    ASSERT_TRUE(watcher.handleDevicePresent());
    EXPECT_TRUE(watcher.uploaded());
    EXPECT_EQ(watcher.activeDevice(), nullptr);

    const auto expected = fullUpload();
    const auto got = device_->requests();
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE("request " + std::to_string(i));
        EXPECT_EQ(got[i].setup.requestType, expected[i].requestType);
        EXPECT_EQ(got[i].setup.request, 0xA0);
        EXPECT_EQ(got[i].setup.value, expected[i].value);
        EXPECT_EQ(got[i].setup.index, 0);
        EXPECT_EQ(got[i].setup.length, expected[i].data.size());
        EXPECT_EQ(got[i].data, expected[i].data);
    }

    // The firmware's bytes are in RAM and the released chip re-enumerates.
    for (const auto& block : BareDevice::builtInFirmware())
        ASSERT_EQ(device_->ram(block.address, block.bytes.size()), block.bytes);
    EXPECT_TRUE(waitFor([&] { return !bus_->enumerate(FenmarlUsb::DeviceClassId::Instrument).empty(); }));
    EXPECT_TRUE(bus_->enumerate(FenmarlUsb::DeviceClassId::BareMicrocontroller).empty());

    const std::string text = log();
    const auto found =
        text.find("[NOTE] Firmware Driver::handleDevicePresent: Found a device, uploading its firmware.");
    const auto complete =
        text.find("[NOTE] LoadTesselonFirmware::SendTesselonLoader: Tesselon's firmware update complete.");
    const auto completed =
        text.find("[NOTE] Firmware Driver::handleDevicePresent: Completed firmware upload.");
    ASSERT_NE(found, std::string::npos);
    ASSERT_NE(complete, std::string::npos);
    ASSERT_NE(completed, std::string::npos);
    EXPECT_LT(found, complete);
    EXPECT_LT(complete, completed);
    EXPECT_EQ(text.find("[ERROR]"), std::string::npos);
}

TEST_F(Upload, ActiveDeviceCarriesTheDescriptorIds)
{
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    auto* context = watcher.activate(bus_->open(path_));
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->vendorId, 0x04B4);
    EXPECT_EQ(context->productId, 0x8613);
    FenmarlUsb::Device* handle = nullptr;
    TorvaneDLL::Ambrel uploader(&watcher);
    EXPECT_EQ(uploader.GetDevice(&handle), 0u);
    EXPECT_EQ(handle, context->winusbHandle.get());
    watcher.deactivate();
    EXPECT_EQ(uploader.GetDevice(&handle), 6u);
    EXPECT_EQ(uploader.ResetTesselonWithValue(0xE600, 1), 6u);
    EXPECT_TRUE(device_->requests().empty());
    EXPECT_EQ(
        countOccurrences(log(), "[ERROR] LoadTesselonFirmware::GetDevice: Could not get active device."), 2u);
}

class FailingAction : public Upload, public ::testing::WithParamInterface<int>
{
};

TEST_P(FailingAction, StopsThereLeavesUploadedFalseAndTheNextArrivalRetries)
{
    const int action = GetParam();
    const std::size_t failing = firstRequestOfAction(action);
    device_->failRequest(failing, 31);

    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    EXPECT_FALSE(watcher.handleDevicePresent());
    EXPECT_FALSE(watcher.uploaded());
    EXPECT_EQ(device_->requests().size(), failing + 1) << "nothing may be sent after the failing action";

    const std::string text = log();
    const std::string transferSource = action == 5 || action == 10 ? "AmbrelDrvDLL::SendTesselonLoader"
                                                                   : "AmbrelDrvDLL::ResetTesselonWithValue";
    EXPECT_NE(text.find("[ERROR] " + transferSource + ": Failed to call WinUsb_ControlTransfer. Error: " +
                        TorvaneDLL::errorText(TorvaneDLL::ErrorKind::Win32, 31)),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(std::string("[ERROR] LoadTesselonFirmware: ") + actionText(action)),
              std::string::npos)
        << text;
    EXPECT_NE(
        text.find("[ERROR] LoadTesselonFirmware::SendTesselonLoader: Failed to update Tesselon's firmware."),
        std::string::npos);
    EXPECT_EQ(text.find("firmware update complete"), std::string::npos);

    // The chip was left as the failing action left it; the next arrival uploads again.
    watcher.onDeviceChange(TorvaneDLL::kDeviceArrival, FenmarlUsb::DeviceClassId::BareMicrocontroller, path_);
    EXPECT_TRUE(watcher.uploaded());
    EXPECT_EQ(device_->requests().size(), failing + 1 + fullUpload().size());
}

INSTANTIATE_TEST_SUITE_P(EveryAction, FailingAction, ::testing::Range(1, 14));

TEST_F(Upload, FailuresInsideAnImageAndOfTheLastWrite)
{
    const std::size_t loader = dataRecords(TorvaneDLL::loaderImage());
    const std::size_t total = fullUpload().size();
    {
        // The last loader record: action 5 still owns it.
        device_->failRequest(4 + loader - 1, 1167);
        TorvaneDLL::FirmwareWatcher watcher(logPath_);
        EXPECT_FALSE(watcher.handleDevicePresent());
        EXPECT_NE(log().find("Action 5, Failed to send loader data"), std::string::npos);
        EXPECT_NE(log().find("(device not connected/removed)"), std::string::npos);
    }
    {
        // The final 0xE600 <- 0 is not checked: a failure there is still a success.
        const std::size_t before = device_->requests().size();
        device_->failRequest(total - 1, 31);
        TorvaneDLL::FirmwareWatcher watcher(logPath_);
        EXPECT_TRUE(watcher.handleDevicePresent());
        EXPECT_EQ(device_->requests().size(), before + total);
    }
}

TEST_F(Upload, FirmwareThatReadsBackWrongIsNeverReleased)
{
    const auto firmware = BareDevice::builtInFirmware();
    const std::uint16_t recordAddress = firmware[firmware.size() / 2].address;
    const std::uint16_t bad = static_cast<std::uint16_t>(recordAddress + 1);
    device_->setStuckByte(bad);

    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    EXPECT_FALSE(watcher.handleDevicePresent());
    EXPECT_FALSE(watcher.uploaded());
    EXPECT_TRUE(device_->cpuHeldInReset());

    // Nothing after the failing read: the CPU control writes of actions 11 to 13 never happen.
    const auto got = device_->requests();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().setup.requestType, 0xC0);
    char where[8];
    std::snprintf(where, sizeof where, "0x%04X", static_cast<unsigned>(recordAddress));
    const std::string text = log();
    EXPECT_NE(
        text.find(
            std::string("[ERROR] AmbrelDrvDLL::VerifyTesselonImage: Read back differs from the image at ") +
            where + "."),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("[ERROR] LoadTesselonFirmware: Action 10, Firmware read back does not match"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Failed to update Tesselon's firmware."), std::string::npos);
}

TEST_F(Upload, RecordEdgeCases)
{
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    ASSERT_NE(watcher.activate(bus_->open(path_)), nullptr);
    TorvaneDLL::Ambrel uploader(&watcher);

    // An image that ends at once sends nothing and succeeds.
    const ImageRecord endOnly[] = {{0, 0, 0x0000, 1, {}}};
    EXPECT_EQ(uploader.SendTesselonLoader(endOnly), 0u);
    EXPECT_TRUE(device_->requests().empty());

    // A 16-byte record at 0x0400 is one write with value 0x0400.
    ImageRecord full{16, 0, 0x0400, 0, {}};
    for (int i = 0; i < 16; ++i)
        full.data[i] = static_cast<std::uint8_t>(0xF0 ^ i);
    const ImageRecord image[] = {full, {0, 0, 0x0000, 1, {}}};
    EXPECT_EQ(uploader.SendTesselonLoader(image), 0u);
    auto got = device_->requests();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].setup.value, 0x0400);
    EXPECT_EQ(got[0].setup.length, 16);
    EXPECT_EQ(got[0].data, std::vector<std::uint8_t>(full.data, full.data + 16));
    EXPECT_EQ(device_->ram(0x0400, 16), got[0].data);
    EXPECT_EQ(uploader.VerifyTesselonImage(image), 0u);

    // A record claiming more than 16 bytes is refused, not sent.
    const ImageRecord corrupt[] = {{40, 0, 0x0100, 0, {}}, {0, 0, 0x0000, 1, {}}};
    EXPECT_EQ(uploader.SendTesselonLoader(corrupt), 13u);
    EXPECT_EQ(device_->requests().size(), 2u); // the write and the read-back above only

    // An image without its end record stops at its last record.
    EXPECT_EQ(uploader.SendTesselonLoader(std::span<const ImageRecord>(image, 1)), 0u);
    EXPECT_EQ(device_->requests().size(), 3u);
    watcher.deactivate();
}

TEST_F(Upload, DeviceThatCannotBeOpenedIsGivenUpAfterTwentyAttempts)
{
    device_->refuseOpens(5);
    TorvaneDLL::FirmwareWatcher watcher(logPath_);
    EXPECT_FALSE(watcher.handleDevicePresent());
    EXPECT_FALSE(watcher.uploaded());
    EXPECT_TRUE(device_->requests().empty());
    const std::string text = log();
    EXPECT_NE(text.find("[ERROR] Firmware Driver::handleDevicePresent: winusbReady == false"),
              std::string::npos);
    EXPECT_EQ(text.find("Found a device"), std::string::npos);
}

} // namespace
