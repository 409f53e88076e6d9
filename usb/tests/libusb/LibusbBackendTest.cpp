// The libusb backend at the kernel interface: simulated devices reach libusb
// through the usbdevfs bridge, and every call below goes through libusb's
// usbfs code, URBs and event thread.
#include "simulator/BareDevice.h"
#include "simulator/Instrument.h"
#include "simulator/RecordCodec.h"
#include "testsupport/UsbdevfsBridge.h"
#include "testsupport/WaitFor.h"
#include "usb/UsbBus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace FenmarlUsb;
using TestSupport::UsbdevfsBridge;

constexpr std::uint16_t kIndex = 0xBEEF;

// A device with ids of its own that names an interface GUID in its Microsoft
// OS 1.0 descriptors, as WinUSB devices do.
class WinUsbStyleDevice : public SimulatedDevice
{
public:
    WinUsbStyleDevice(std::uint16_t productId, std::string guid) : productId_(productId), guid_(std::move(guid)) {}
    DeviceClassId deviceClass() const override { return DeviceClassId::Instrument; }
    UsbId usbId() const override { return {0x1209, productId_}; }
    std::uint32_t descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t languageId, std::uint8_t* buffer,
                             std::uint32_t length, std::uint32_t* transferred) override
    {
        if (type != 3 || index != 0xEE)
            return SimulatedDevice::descriptor(type, index, languageId, buffer, length, transferred);
        const std::uint8_t msft[18] = {18, 3, 'M', 0, 'S', 0, 'F', 0, 'T', 0, '1', 0, '0', 0, '0', 0, kVendorCode, 0};
        *transferred = std::min<std::uint32_t>(length, sizeof msft);
        std::copy(msft, msft + *transferred, buffer);
        return 0;
    }
    std::uint32_t vendorRequest(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred,
                                std::uint32_t) override
    {
        ++vendorRequests;
        if (setup.requestType != 0xC1 || setup.request != kVendorCode || setup.index != 5) return 31;
        std::vector<std::uint8_t> d;
        const auto u32 = [&](std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                d.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        };
        const auto utf16 = [&](const std::string& text) {
            for (char c : text) {
                d.push_back(static_cast<std::uint8_t>(c));
                d.push_back(0);
            }
            d.push_back(0);
            d.push_back(0);
        };
        const std::string name = "DeviceInterfaceGUID";
        const std::uint32_t nameBytes = static_cast<std::uint32_t>(2 * (name.size() + 1));
        const std::uint32_t dataBytes = static_cast<std::uint32_t>(2 * (guid_.size() + 1));
        const std::uint32_t section = 14 + nameBytes + dataBytes;
        u32(10 + section);
        d.insert(d.end(), {0x00, 0x01, 0x05, 0x00, 0x01, 0x00});
        u32(section);
        u32(1); // REG_SZ
        d.push_back(static_cast<std::uint8_t>(nameBytes));
        d.push_back(0);
        utf16(name);
        u32(dataBytes);
        utf16(guid_);
        *transferred = std::min<std::uint32_t>(setup.length, static_cast<std::uint32_t>(d.size()));
        std::copy(d.begin(), d.begin() + *transferred, data);
        return 0;
    }
    std::atomic<int> vendorRequests{0};

private:
    static constexpr std::uint8_t kVendorCode = 0x42;
    std::uint16_t productId_;
    std::string guid_;
};

class LibusbBackend : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(bridge().ready(&why)) << why;
        bridge().reset();
    }

    void TearDown() override { bridge().reset(); }

    static UsbdevfsBridge& bridge() { return UsbdevfsBridge::instance(); }

    // Plugs an instrument and opens it through libusb.
    std::unique_ptr<Device> plugAndOpen(InstrumentConfig config = {})
    {
        instrument = std::make_shared<Instrument>(std::move(config));
        path = bridge().plug(instrument);
        EXPECT_FALSE(path.empty());
        auto device = libusbBus().open(path);
        EXPECT_NE(device, nullptr) << lastError();
        return device;
    }

    static bool out(Device& d, std::uint8_t code, std::uint16_t value)
    {
        std::uint32_t n = 0;
        return d.controlTransfer(SetupPacket{0x40, code, value, kIndex, 0}, nullptr, &n);
    }

    std::shared_ptr<Instrument> instrument;
    std::string path;
};

TEST_F(LibusbBackend, EnumeratesOpensAndDescribesTheInstrument)
{
    auto device = plugAndOpen();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(libusbBus().enumerate(DeviceClassId::Instrument), std::vector<std::string>{path});
    EXPECT_TRUE(libusbBus().enumerate(DeviceClassId::BareMicrocontroller).empty());

    std::vector<PipeInformation> pipes;
    ASSERT_TRUE(device->queryPipes(&pipes));
    const auto expected = instrument->pipes();
    ASSERT_EQ(pipes.size(), expected.size());
    for (std::size_t i = 0; i < pipes.size(); ++i) {
        EXPECT_EQ(pipes[i].pipeId, expected[i].pipeId);
        EXPECT_EQ(pipes[i].pipeType, expected[i].pipeType);
        EXPECT_EQ(pipes[i].maximumPacketSize, expected[i].maximumPacketSize);
    }
    std::uint8_t speed = 0;
    ASSERT_TRUE(device->queryDeviceSpeed(&speed));
    EXPECT_EQ(speed, kHighSpeed);

    // The product string the driver reads: a descriptor request on the default pipe.
    std::uint8_t buffer[64] = {};
    std::uint32_t n = 0;
    ASSERT_TRUE(device->getDescriptor(3, 2, 0x0409, buffer, sizeof buffer, &n)) << lastError();
    // The firmware's own form: a big-endian length, the type, then one character every two bytes.
    ASSERT_GE(n, 4u);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(buffer[3], 'T');
    EXPECT_EQ(buffer[5], 'S');

    // Interface 0 is claimed by the open handle: a second open is refused, as usbfs refuses it.
    EXPECT_EQ(libusbBus().open(path), nullptr);
    EXPECT_EQ(lastError(), 170u);
    device.reset();
    EXPECT_NE(libusbBus().open(path), nullptr) << "closing released the interface";
    EXPECT_EQ(libusbBus().open(path + "x"), nullptr);
    EXPECT_EQ(lastError(), 2u);
}

TEST_F(LibusbBackend, UnknownIdsAreAnInstrumentOnlyWhenTheirOsDescriptorsNameItsGuid)
{
    auto stranger = std::make_shared<WinUsbStyleDevice>(0x0002, "{00000000-1111-2222-3333-444444444444}");
    ASSERT_FALSE(bridge().bus().plug(stranger).empty());
    auto named = std::make_shared<WinUsbStyleDevice>(0x0001, deviceClass(DeviceClassId::Instrument).interfaceGuid);
    const std::string path = bridge().plug(named);
    ASSERT_FALSE(path.empty()) << "a device naming the instrument's GUID is listed as one";
    EXPECT_EQ(libusbBus().enumerate(DeviceClassId::Instrument), std::vector<std::string>{path});
    EXPECT_GT(stranger->vendorRequests.load(), 0) << "the stranger was asked, and refused";
    EXPECT_TRUE(libusbBus().enumerate(DeviceClassId::BareMicrocontroller).empty());
    auto device = libusbBus().open(path);
    EXPECT_NE(device, nullptr) << lastError();
    // The answer is remembered per device: listing again asks nobody.
    const int asked = named->vendorRequests.load();
    libusbBus().enumerate(DeviceClassId::Instrument);
    EXPECT_EQ(named->vendorRequests.load(), asked);
}

TEST_F(LibusbBackend, VendorRequestsReachTheInstrumentAndStallsFail)
{
    auto device = plugAndOpen();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(out(*device, 0xA3, 0x1234)) << lastError();
    std::array<std::uint8_t, 16> reply{};
    std::uint32_t n = 0;
    ASSERT_TRUE(device->controlTransfer(SetupPacket{0xC0, 0xAB, 0, kIndex, 16}, reply.data(), &n));
    EXPECT_EQ(n, 16u);
    EXPECT_EQ(reply[0], instrument->config().firmwareVersion);
    EXPECT_EQ(instrument->state().sensorWord, 0x1234);
    const auto requests = instrument->controlRequests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2].request, 0xA3);
    EXPECT_EQ(requests[requests.size() - 2].value, 0x1234);

    // An unknown request stalls: WinUSB reports ERROR_GEN_FAILURE.
    EXPECT_FALSE(out(*device, 0x77, 0));
    EXPECT_EQ(lastError(), 31u);
    InstrumentFault fault;
    fault.request = 0xA9;
    fault.count = 1;
    instrument->setFaults({fault});
    EXPECT_FALSE(out(*device, 0xA9, 1));
    EXPECT_EQ(lastError(), 31u);
    EXPECT_TRUE(out(*device, 0xA9, 1)) << "the fault was for one request only";
}

TEST_F(LibusbBackend, BulkReadsDeliverTheRampInOrder)
{
    InstrumentConfig config;
    config.ramp = true;
    config.speedFactor = 20.0;
    config.fifoRecords = 1u << 20;
    auto device = plugAndOpen(config);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->setPipeTransferTimeout(Instrument::kBulkInPipe, 10000));
    ASSERT_TRUE(out(*device, 0xA6, 0));
    ASSERT_TRUE(out(*device, 0xA5, 0));
    constexpr std::size_t kRecords = 100000;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> buffer(24 * 2048);
    while (data.size() < kRecords * record::kBytes) {
        std::uint32_t got = 0;
        ASSERT_TRUE(device->readPipe(Instrument::kBulkInPipe, buffer.data(),
                                     static_cast<std::uint32_t>(buffer.size()), &got))
            << lastError();
        data.insert(data.end(), buffer.begin(), buffer.begin() + got);
    }
    ASSERT_TRUE(out(*device, 0xAD, 0));
    std::size_t outOfSequence = 0;
    std::array<std::int32_t, 6> first{}, raw{};
    record::decode(data.data(), first.data());
    for (std::size_t i = 0; i < kRecords; ++i) {
        record::decode(data.data() + i * record::kBytes, raw.data());
        for (int k = 0; k < 6; ++k)
            if (raw[k] != static_cast<std::int32_t>((first[0] + i + k) % (1u << 23)) &&
                raw[k] != static_cast<std::int32_t>((first[0] + i + k) % (1u << 23)) - (1 << 23))
                ++outOfSequence;
    }
    EXPECT_EQ(outOfSequence, 0u);
    EXPECT_EQ(instrument->state().samplesLost, 0u);
}

TEST_F(LibusbBackend, ReadTimeOutAbortAndUnplugGiveWinUsbNumbers)
{
    auto device = plugAndOpen();
    ASSERT_NE(device, nullptr);
    std::vector<std::uint8_t> buffer(512);
    std::uint32_t got = 0;

    // Nothing sampled: the read ends at the pipe's time-out.
    ASSERT_TRUE(device->setPipeTransferTimeout(Instrument::kBulkInPipe, 200));
    EXPECT_FALSE(device->readPipe(Instrument::kBulkInPipe, buffer.data(), 512, &got));
    EXPECT_EQ(lastError(), 121u);

    // Aborted from another thread.
    ASSERT_TRUE(device->setPipeTransferTimeout(Instrument::kBulkInPipe, 0));
    std::atomic<std::uint32_t> readError{0};
    std::atomic<bool> readDone{false};
    std::thread reader([&] {
        std::vector<std::uint8_t> b(512);
        std::uint32_t n = 0;
        if (!device->readPipe(Instrument::kBulkInPipe, b.data(), 512, &n)) readError = lastError();
        readDone = true;
    });
    while (!readDone) {
        EXPECT_TRUE(device->abortPipe(Instrument::kBulkInPipe));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reader.join();
    EXPECT_EQ(readError.load(), 995u);

    // Unplugged while a read waits: it ends, and so does everything after.
    readDone = false;
    std::thread waiting([&] {
        std::vector<std::uint8_t> b(512);
        std::uint32_t n = 0;
        if (!device->readPipe(Instrument::kBulkInPipe, b.data(), 512, &n)) readError = lastError();
        readDone = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(bridge().unplug(instrument));
    waiting.join();
    EXPECT_EQ(readError.load(), 1167u);
    EXPECT_FALSE(out(*device, 0xA3, 1));
    EXPECT_EQ(lastError(), 1167u);
    EXPECT_TRUE(libusbBus().enumerate(DeviceClassId::Instrument).empty());
    device.reset(); // closing a handle of a gone device is fine
}

TEST_F(LibusbBackend, WatchersSeeArrivalRemovalAndReenumeration)
{
    std::mutex lock;
    std::vector<std::pair<DeviceClassId, bool>> events;
    const auto record = [&](DeviceClassId cls, const std::string&, bool arrived) {
        std::lock_guard<std::mutex> hold(lock);
        events.emplace_back(cls, arrived);
    };
    const int instruments = libusbBus().watch(DeviceClassId::Instrument, record);
    const int bares = libusbBus().watch(DeviceClassId::BareMicrocontroller, record);
    const auto count = [&] {
        std::lock_guard<std::mutex> hold(lock);
        return events.size();
    };
    const auto waitEvents = [&](std::size_t n) { return TestSupport::waitFor([&] { return count() >= n; }); };

    instrument = std::make_shared<Instrument>();
    ASSERT_FALSE(bridge().plug(instrument).empty());
    ASSERT_TRUE(waitEvents(1));
    ASSERT_TRUE(bridge().unplug(instrument));
    ASSERT_TRUE(waitEvents(2));

    // A bare chip released from reset with its firmware comes back as the instrument.
    auto becomes = std::make_shared<Instrument>();
    auto bare = std::make_shared<BareDevice>(becomes);
    bare->setReenumerationDelay(std::chrono::milliseconds(50));
    const std::string barePath = bridge().plug(bare);
    ASSERT_FALSE(barePath.empty());
    ASSERT_TRUE(waitEvents(3));
    {
        auto device = libusbBus().open(barePath);
        ASSERT_NE(device, nullptr) << lastError();
        for (const auto& block : BareDevice::builtInFirmware()) {
            std::vector<std::uint8_t> bytes = block.bytes;
            std::uint32_t n = 0;
            ASSERT_TRUE(device->controlTransfer(
                SetupPacket{0x40, 0xA0, block.address, 0, static_cast<std::uint16_t>(bytes.size())},
                bytes.data(), &n))
                << lastError();
        }
        std::uint8_t run = 0;
        std::uint32_t n = 0;
        ASSERT_TRUE(device->controlTransfer(SetupPacket{0x40, 0xA0, BareDevice::kCpuControlFx2, 0, 1}, &run, &n));
    }
    ASSERT_TRUE(waitEvents(5));
    EXPECT_TRUE(bridge().waitForCount(DeviceClassId::Instrument, 1));
    EXPECT_TRUE(bridge().waitForCount(DeviceClassId::BareMicrocontroller, 0));
    libusbBus().unwatch(instruments);
    libusbBus().unwatch(bares);
    std::lock_guard<std::mutex> hold(lock);
    const std::vector<std::pair<DeviceClassId, bool>> want = {
        {DeviceClassId::Instrument, true},
        {DeviceClassId::Instrument, false},
        {DeviceClassId::BareMicrocontroller, true},
        {DeviceClassId::BareMicrocontroller, false},
        {DeviceClassId::Instrument, true}};
    ASSERT_EQ(events.size(), want.size());
    EXPECT_EQ(events[0], want[0]);
    EXPECT_EQ(events[1], want[1]);
    EXPECT_EQ(events[2], want[2]);
    // Removal of the bare chip and arrival of the instrument may be seen in one comparison.
    EXPECT_TRUE((events[3] == want[3] && events[4] == want[4]) || (events[3] == want[4] && events[4] == want[3]));
}

} // namespace
