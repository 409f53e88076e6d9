#include "SimulatorTestSupport.h"

#include "simulator/SimulatorProfile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace simtest;

namespace {

std::filesystem::path writeProfile(const std::string& name, const std::string& text)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / name;
    std::ofstream(file) << text;
    return file;
}

} // namespace

TEST(SimulatorProfile, ReadsInstrumentsSignalsAndFaults)
{
    const auto file = writeProfile("two.ini", R"([Simulator]
Instruments = 2
SpeedFactor = 4
FifoRecords = 500

[Instrument1]
Product = ALPHA
Speed = full
FirmwareVersion = 0x12
Signal = ramp
Channel0.DC = 1.5
Channel0.Sines = 1.0@50; 0.5@120@90
Channel5.Noise = 0.25
FailRequest = 0xA3
FailRequestError = 1167
FailRequestAfter = 2
FailRequestCount = 1
FailBulkReadError = 121
UnplugAfterBytes = 48000

[instrument2]
product = BETA
StartBare = 1
SpeedFactor = 0.5
RefuseOpen = 5
UnplugAfterMs = 2500
)");
    const SimulatorProfile p = readProfile(file);
    EXPECT_TRUE(p.warnings.empty()) << p.warnings.front();
    ASSERT_EQ(p.instruments.size(), 2u);
    const InstrumentConfig& a = p.instruments[0].config;
    EXPECT_EQ(a.product, "ALPHA");
    EXPECT_FALSE(a.highSpeed);
    EXPECT_EQ(a.firmwareVersion, 0x12);
    EXPECT_TRUE(a.ramp);
    EXPECT_DOUBLE_EQ(a.speedFactor, 4.0);
    EXPECT_EQ(a.fifoRecords, 500u);
    EXPECT_DOUBLE_EQ(a.channels[0].dc, 1.5);
    ASSERT_EQ(a.channels[0].sines.size(), 2u);
    EXPECT_DOUBLE_EQ(a.channels[0].sines[1].amplitude, 0.5);
    EXPECT_DOUBLE_EQ(a.channels[0].sines[1].frequency, 120.0);
    EXPECT_DOUBLE_EQ(a.channels[0].sines[1].phase, 90.0);
    EXPECT_DOUBLE_EQ(a.channels[5].noise, 0.25);
    ASSERT_EQ(a.faults.size(), 2u);
    EXPECT_EQ(a.faults[0].kind, InstrumentFault::Kind::VendorRequest);
    EXPECT_EQ(a.faults[0].request, 0xA3);
    EXPECT_EQ(a.faults[0].error, 1167u);
    EXPECT_EQ(a.faults[0].after, 2);
    EXPECT_EQ(a.faults[0].count, 1);
    EXPECT_EQ(a.faults[1].kind, InstrumentFault::Kind::BulkRead);
    EXPECT_EQ(a.faults[1].error, 121u);
    EXPECT_EQ(a.unplugAfterBytes, 48000u);
    EXPECT_FALSE(p.instruments[0].startBare);

    const InstrumentConfig& b = p.instruments[1].config;
    EXPECT_EQ(b.product, "BETA");
    EXPECT_TRUE(b.highSpeed);
    EXPECT_TRUE(p.instruments[1].startBare);
    EXPECT_DOUBLE_EQ(b.speedFactor, 0.5);
    EXPECT_EQ(b.refuseOpen, 5u);
    EXPECT_EQ(b.unplugAfterMs, 2500u);
    EXPECT_TRUE(b.faults.empty());
    EXPECT_FALSE(b.channels[0].sines.empty()) << "unnamed keys keep the built-in signals";
    EXPECT_NE(a.seed, b.seed);
}

TEST(SimulatorProfile, BadValuesWarnAndKeepDefaultsMissingFileGivesTheDefault)
{
    const auto file = writeProfile("bad.ini", R"([Simulator]
Instruments = 1
SpeedFactor = fast
[Instrument1]
Speed = warp
FirmwareVersion = 300
Channel1.Sines = 1.0
Channel2.Noise = -1
)");
    const SimulatorProfile p = readProfile(file);
    ASSERT_EQ(p.instruments.size(), 1u);
    EXPECT_EQ(p.warnings.size(), 5u);
    const InstrumentConfig& c = p.instruments[0].config;
    const InstrumentConfig d = defaultProfile().instruments[0].config;
    EXPECT_DOUBLE_EQ(c.speedFactor, 1.0);
    EXPECT_TRUE(c.highSpeed);
    EXPECT_EQ(c.firmwareVersion, d.firmwareVersion);
    EXPECT_EQ(c.channels[1].sines.size(), d.channels[1].sines.size());
    EXPECT_DOUBLE_EQ(c.channels[2].noise, d.channels[2].noise);

    const SimulatorProfile missing = readProfile(std::filesystem::temp_directory_path() / "absent.ini");
    EXPECT_EQ(missing.instruments.size(), 1u);
    EXPECT_EQ(missing.warnings.size(), 1u);
}

TEST(SimulatorProfile, PlugsItsInstrumentsBareOnesThroughTheFactory)
{
    SimulatorProfile p;
    p.instruments.resize(3);
    p.instruments[0].config.product = "ONE";
    p.instruments[1].config.product = "TWO";
    p.instruments[1].startBare = true;
    p.instruments[2].config.product = "THREE";

    const BareDeviceFactory saved = bareDeviceFactory();
    std::vector<std::shared_ptr<SimulatedDevice>> handedOver;
    setBareDeviceFactory(
        [&](std::shared_ptr<SimulatedDevice> instrument) -> std::shared_ptr<SimulatedDevice> {
            handedOver.push_back(instrument);
            return std::make_shared<Instrument>(); // stands in for the bare chip
        });
    SimulatedBus bus;
    const auto made = plugProfile(bus, p);
    setBareDeviceFactory(saved);

    ASSERT_EQ(made.size(), 3u);
    ASSERT_EQ(handedOver.size(), 1u);
    EXPECT_EQ(handedOver[0], made[1]);
    EXPECT_FALSE(made[1]->isPlugged()) << "it waits for its firmware";
    EXPECT_TRUE(made[0]->isPlugged());
    const auto paths = bus.enumerate(DeviceClassId::Instrument);
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], made[0]->path());
    EXPECT_EQ(paths[2], made[2]->path());

    // Without a factory a bare entry starts with its firmware.
    setBareDeviceFactory(nullptr);
    SimulatedBus plain;
    const auto direct = plugProfile(plain, p);
    setBareDeviceFactory(saved);
    EXPECT_TRUE(direct[1]->isPlugged());
}

TEST(SimulatorProfile, TheProcessBusFollowsTheEnvironment)
{
    // Each test runs in its own process under ctest, so this is the first use of the bus.
    const auto file = writeProfile("env.ini", "[Simulator]\nInstruments=2\n[Instrument2]\nProduct=ENV2\n");
    setenv("TESSELON_SIMULATOR", file.c_str(), 1);
    setenv("TESSELON_USB", "simulator", 1);
    Bus& b = bus();
    EXPECT_EQ(b.backendName(), "simulator");
    EXPECT_EQ(&b, &SimulatedBus::instance());
    const auto paths = b.enumerate(DeviceClassId::Instrument);
    ASSERT_EQ(paths.size(), 2u);
    auto device = b.open(paths[1]);
    ASSERT_NE(device, nullptr);
    std::array<std::uint8_t, 16> reply{};
    std::uint32_t n = 0;
    ASSERT_TRUE(device->controlTransfer(SetupPacket{0x80, 6, 0x0302, 1, 16}, reply.data(), &n));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data()) + 3, 1), "E");
    EXPECT_EQ(reply[5], 'N');
    EXPECT_EQ(reply[9], '2');
}
