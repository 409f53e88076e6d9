#include "SimulatorTestSupport.h"

#include <mutex>

using namespace simtest;

namespace {

struct Event
{
    DeviceClassId cls;
    std::string path;
    bool arrived;
    bool operator==(const Event&) const = default;
};

struct Recorder
{
    void operator()(DeviceClassId cls, const std::string& path, bool arrived)
    {
        std::lock_guard<std::mutex> hold(lock);
        events.push_back({cls, path, arrived});
    }
    std::vector<Event> seen()
    {
        std::lock_guard<std::mutex> hold(lock);
        return events;
    }
    std::mutex lock;
    std::vector<Event> events;
};

// A bare microcontroller as far as re-enumeration goes: releasing it from
// reset (request 0xA0, value 0xE600, data 0) brings up the instrument.
class Chip : public SimulatedDevice
{
public:
    explicit Chip(std::shared_ptr<SimulatedDevice> next) : next_(std::move(next)) {}
    DeviceClassId deviceClass() const override { return DeviceClassId::BareMicrocontroller; }
    UsbId usbId() const override { return {0x04b4, 0x8613}; }
    std::uint32_t vendorRequest(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred,
                                std::uint32_t) override
    {
        if (setup.request != 0xA0 || setup.length != 1) return 31;
        *transferred = 1;
        if (setup.value == 0xE600 && data[0] == 0) {
            SimulatedBus* b = bus();
            const std::string me = path();
            auto next = next_;
            b->after(std::chrono::milliseconds(5), [b, me, next] {
                b->unplug(me);
                b->plug(next);
            });
        }
        return 0;
    }

private:
    std::shared_ptr<SimulatedDevice> next_;
};

} // namespace

// A plain simulated device answers the vendor-specific device descriptor; the
// instrument its own, with its strings. Both carry their ids and are cut to
// the buffer asked for.
TEST(SimulatedBus, DeviceDescriptorsCarryClassIdsReleaseAndStrings)
{
    SimulatedBus bus;
    const auto chip = std::make_shared<Chip>(nullptr);
    const auto instrument = std::make_shared<Instrument>();
    const auto chipHandle = bus.open(bus.plug(chip));
    const auto instrumentHandle = bus.open(bus.plug(instrument));
    ASSERT_NE(chipHandle, nullptr);
    ASSERT_NE(instrumentHandle, nullptr);

    std::uint8_t d[18] = {};
    std::uint32_t n = 0;
    ASSERT_TRUE(chipHandle->getDescriptor(1, 0, 0, d, sizeof d, &n));
    EXPECT_EQ(std::vector<std::uint8_t>(d, d + n),
              (std::vector<std::uint8_t>{18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, 0xb4, 0x04, 0x13, 0x86,
                                         0x01, 0xA0, 0, 0, 0, 1}));

    const UsbId id = instrument->usbId();
    ASSERT_TRUE(instrumentHandle->getDescriptor(1, 0, 0, d, sizeof d, &n));
    EXPECT_EQ(std::vector<std::uint8_t>(d, d + n),
              (std::vector<std::uint8_t>{
                  18, 1, 0x00, 0x02, 0, 0, 0, 64, static_cast<std::uint8_t>(id.vendorId),
                  static_cast<std::uint8_t>(id.vendorId >> 8), static_cast<std::uint8_t>(id.productId),
                  static_cast<std::uint8_t>(id.productId >> 8), 0x00, 0x01, 1, 2, 0, 1}));

    std::uint8_t head[8] = {};
    ASSERT_TRUE(chipHandle->getDescriptor(1, 0, 0, head, sizeof head, &n));
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(head[7], 64);
    EXPECT_FALSE(chipHandle->getDescriptor(3, 1, 0x0409, d, sizeof d, &n)) << "a plain device has no strings";
    EXPECT_EQ(lastError(), 31u);
}

TEST(SimulatedBus, EnumeratesByClassInPlugOrderWithWindowsStylePaths)
{
    SimulatedBus bus;
    const auto a = std::make_shared<Instrument>();
    const auto b = std::make_shared<Instrument>();
    const auto chip = std::make_shared<Chip>(nullptr);
    const std::string pa = bus.plug(a);
    const std::string pc = bus.plug(chip);
    const std::string pb = bus.plug(b);
    EXPECT_EQ(bus.plug(a), pa) << "plugging twice keeps the path";
    SimulatedBus elsewhere;
    EXPECT_EQ(elsewhere.plug(a), "") << "a device is in one place at a time";
    EXPECT_TRUE(elsewhere.enumerate(DeviceClassId::Instrument).empty());
    EXPECT_EQ(bus.enumerate(DeviceClassId::Instrument), (std::vector<std::string>{pa, pb}));
    EXPECT_EQ(bus.enumerate(DeviceClassId::BareMicrocontroller), std::vector<std::string>{pc});
    EXPECT_NE(pa, pb);
    EXPECT_EQ(pc.rfind("\\\\?\\usb#vid_04b4&pid_8613#", 0), 0u) << pc;
    EXPECT_NE(pa.find("{6f37543c-03b9-4d8b-ab72-d98ce8e1af60}"), std::string::npos) << pa;

    // Paths open without regard to case; unknown paths do not.
    std::string upper = pa;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_NE(bus.open(upper), nullptr);
    EXPECT_EQ(bus.open("\\\\?\\usb#vid_0000&pid_0000#x#{00000000-0000-0000-0000-000000000000}"), nullptr);
    EXPECT_EQ(lastError(), 2u);

    ASSERT_TRUE(bus.unplug(pa));
    EXPECT_FALSE(bus.unplug(pa));
    EXPECT_EQ(bus.enumerate(DeviceClassId::Instrument), std::vector<std::string>{pb});
    EXPECT_FALSE(a->isPlugged());
    EXPECT_EQ(bus.deviceAt(pb), b);
    const std::string again = bus.plug(a);
    EXPECT_NE(again, pa) << "a device plugged again gets a new instance";
    EXPECT_EQ(bus.enumerate(DeviceClassId::Instrument), (std::vector<std::string>{pb, again}));
}

TEST(SimulatedBus, WatchersSeeArrivalsAndRemovalsOfTheirClassOnly)
{
    SimulatedBus bus;
    Recorder instruments, chips;
    const int t1 = bus.watch(DeviceClassId::Instrument, std::ref(instruments));
    bus.watch(DeviceClassId::BareMicrocontroller, std::ref(chips));
    const std::string p1 = bus.plug(std::make_shared<Instrument>());
    const std::string pc = bus.plug(std::make_shared<Chip>(nullptr));
    bus.unplug(p1);
    ASSERT_TRUE(bus.waitIdle());
    EXPECT_EQ(instruments.seen(), (std::vector<Event>{{DeviceClassId::Instrument, p1, true},
                                                      {DeviceClassId::Instrument, p1, false}}));
    EXPECT_EQ(chips.seen(), (std::vector<Event>{{DeviceClassId::BareMicrocontroller, pc, true}}));

    // After unwatch nothing more arrives; reset is silent and empties the bus.
    bus.unwatch(t1);
    bus.plug(std::make_shared<Instrument>());
    bus.reset();
    ASSERT_TRUE(bus.waitIdle());
    EXPECT_EQ(instruments.seen().size(), 2u);
    EXPECT_EQ(chips.seen().size(), 1u);
    EXPECT_TRUE(bus.devices().empty());
}

TEST(SimulatedBus, CallbacksMayUseTheBusAndUnwatchThemselves)
{
    SimulatedBus bus;
    std::vector<std::size_t> counts;
    int token = 0;
    token = bus.watch(DeviceClassId::Instrument, [&](DeviceClassId cls, const std::string&, bool arrived) {
        counts.push_back(bus.enumerate(cls).size());
        if (arrived) bus.unwatch(token);
    });
    bus.plug(std::make_shared<Instrument>());
    bus.plug(std::make_shared<Instrument>());
    ASSERT_TRUE(bus.waitIdle());
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_GE(counts[0], 1u);
}

TEST(SimulatedBus, BareDeviceReEnumeratesAsTheInstrumentAndOldHandlesFail)
{
    SimulatedBus bus;
    Recorder instruments, chips;
    bus.watch(DeviceClassId::Instrument, std::ref(instruments));
    bus.watch(DeviceClassId::BareMicrocontroller, std::ref(chips));
    auto instrument = std::make_shared<Instrument>();
    const std::string pc = bus.plug(std::make_shared<Chip>(instrument));
    auto chip = bus.open(pc);
    ASSERT_NE(chip, nullptr);
    std::uint8_t run = 0;
    std::uint32_t n = 0;
    ASSERT_TRUE(chip->controlTransfer(SetupPacket{0x40, 0xA0, 0xE600, 0, 1}, &run, &n));
    ASSERT_TRUE(waitFor([&] { return bus.enumerate(DeviceClassId::Instrument).size() == 1; }));
    ASSERT_TRUE(bus.waitIdle());
    EXPECT_TRUE(bus.enumerate(DeviceClassId::BareMicrocontroller).empty());
    EXPECT_EQ(chips.seen(), (std::vector<Event>{{DeviceClassId::BareMicrocontroller, pc, true},
                                                {DeviceClassId::BareMicrocontroller, pc, false}}));
    ASSERT_EQ(instruments.seen().size(), 1u);
    EXPECT_TRUE(instruments.seen()[0].arrived);
    EXPECT_EQ(instruments.seen()[0].path, instrument->path());

    EXPECT_FALSE(chip->controlTransfer(SetupPacket{0x40, 0xA0, 0xE600, 0, 1}, &run, &n));
    EXPECT_EQ(lastError(), 1167u);
    std::uint8_t speed = 0;
    EXPECT_FALSE(chip->queryDeviceSpeed(&speed));
    EXPECT_EQ(lastError(), 1167u);
}

TEST(SimulatedBus, HandleChecksArgumentsAndKeepsPipePolicies)
{
    Rig rig;
    std::uint32_t n = 0;
    EXPECT_FALSE(rig.device->controlTransfer(SetupPacket{0xC0, 0xAA, 0, kIndex, 16}, nullptr, &n));
    EXPECT_EQ(lastError(), 87u);
    EXPECT_FALSE(rig.device->setPipeTransferTimeout(0x81, 100)) << "no such pipe";
    EXPECT_EQ(lastError(), 87u);
    EXPECT_TRUE(rig.device->setPipeTransferTimeout(Instrument::kBulkInPipe, 30));
    std::uint8_t b[24];
    EXPECT_FALSE(rig.device->readPipe(Instrument::kBulkInPipe, b, 24, &n));
    EXPECT_EQ(lastError(), 121u);
    // lastError is per thread.
    std::uint32_t other = 99;
    std::thread([&] { other = lastError(); }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(rig.device->path(), rig.path);
}
