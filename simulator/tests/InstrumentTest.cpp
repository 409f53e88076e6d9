#include "SimulatorTestSupport.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

using namespace simtest;

namespace {

InstrumentConfig rampConfig(double speed, std::uint32_t fifoRecords = 1u << 20)
{
    InstrumentConfig c;
    c.ramp = true;
    c.speedFactor = speed;
    c.fifoRecords = fifoRecords;
    return c;
}

} // namespace

TEST(InstrumentRequests, OpenSequenceIsRecordedExactlyAndQueriesAnswer)
{
    Rig rig;
    std::array<std::uint8_t, 16> reply{};
    std::uint32_t n = 0;
    ASSERT_TRUE(rig.in(0xAA, 0, &reply, &n));
    EXPECT_EQ(n, 16u);
    EXPECT_EQ(reply[0], 1) << "high speed";
    ASSERT_TRUE(rig.out(0xA6, 0));
    ASSERT_TRUE(rig.out(0xA2, 40));
    ASSERT_TRUE(rig.out(0xA1, 0));
    ASSERT_TRUE(rig.out(0xA5, 0));
    ASSERT_TRUE(rig.out(0xA6, 0));
    ASSERT_TRUE(rig.in(0xAB, 0, &reply, &n));
    EXPECT_EQ(reply[0], 7);

    const auto log = rig.instrument->controlRequests();
    const std::uint8_t codes[] = {0xAA, 0xA6, 0xA2, 0xA1, 0xA5, 0xA6, 0xAB};
    ASSERT_EQ(log.size(), std::size(codes));
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].request, codes[i]);
        EXPECT_EQ(log[i].index, kIndex);
        EXPECT_EQ(log[i].result, 0u);
    }
    EXPECT_EQ(log[2].value, 40);
    EXPECT_EQ(log[0].requestType, 0xC0);
    EXPECT_EQ(log[1].requestType, 0x40);
    const InstrumentState s = rig.instrument->state();
    EXPECT_EQ(s.samplesWord1, 40);
    EXPECT_EQ(s.samplesWord2, 0);
    EXPECT_TRUE(s.sampling);

    rig.instrument->clearControlRequests();
    EXPECT_TRUE(rig.instrument->controlRequests().empty());
}

TEST(InstrumentRequests, FullSpeedUnknownCodesAndInFormOfOutCodes)
{
    InstrumentConfig c;
    c.highSpeed = false;
    Rig rig(c);
    std::array<std::uint8_t, 16> reply{};
    reply.fill(0xEE);
    std::uint32_t n = 0;
    ASSERT_TRUE(rig.in(0xAA, 0, &reply, &n));
    EXPECT_EQ(reply[0], 0) << "full speed";
    std::uint8_t speed = 0;
    ASSERT_TRUE(rig.device->queryDeviceSpeed(&speed));
    EXPECT_EQ(speed, kFullSpeed);
    std::vector<PipeInformation> pipes;
    ASSERT_TRUE(rig.device->queryPipes(&pipes));
    ASSERT_EQ(pipes.size(), 2u);
    EXPECT_EQ(pipes[0].pipeId & 0x80, 0) << "an OUT pipe comes first";
    EXPECT_EQ(pipes[1].pipeId, Instrument::kBulkInPipe);
    EXPECT_EQ(pipes[1].maximumPacketSize, 64);

    // A board reset sends the OUT codes in the IN form: accepted, 16-byte reply, effect applied.
    reply.fill(0xEE);
    ASSERT_TRUE(rig.in(0xA2, 40, &reply, &n));
    EXPECT_EQ(n, 16u);
    EXPECT_EQ(reply[15], 0);
    EXPECT_EQ(rig.instrument->state().samplesWord1, 40);

    // Unknown codes and the queries in the OUT form stall.
    EXPECT_FALSE(rig.out(0xA0, 1));
    EXPECT_EQ(lastError(), 31u);
    EXPECT_FALSE(rig.out(0xAA, 0));
    EXPECT_EQ(rig.instrument->controlRequests().back().result, 31u);
}

TEST(InstrumentRequests, ProductStringUsesTheFirmwaresReplyForm)
{
    InstrumentConfig c;
    c.product = "ABC";
    Rig rig(c);
    std::array<std::uint8_t, 16> reply{};
    std::uint32_t n = 0;
    ASSERT_TRUE(rig.device->controlTransfer(SetupPacket{0x80, 6, 0x0302, 1, 16}, reply.data(), &n));
    const std::uint8_t expected[] = {0x00, 0x09, 0x03, 'A', 0x00, 'B', 0x00, 'C', 0x00};
    ASSERT_EQ(n, sizeof expected);
    EXPECT_EQ(0, std::memcmp(reply.data(), expected, sizeof expected));

    // A long name is cut at the 16 bytes asked for, its length still counting every character.
    Rig longer([] {
        InstrumentConfig l;
        l.product = "TS6-LONGNAME";
        return l;
    }());
    ASSERT_TRUE(longer.device->controlTransfer(SetupPacket{0x80, 6, 0x0302, 1, 16}, reply.data(), &n));
    EXPECT_EQ(n, 16u);
    EXPECT_EQ(reply[1], 3 + 2 * 12);
    EXPECT_EQ(reply[15], 'N'); // the seventh character

    // The device descriptor carries the class table's ids.
    std::uint8_t d[18] = {};
    ASSERT_TRUE(rig.device->getDescriptor(1, 0, 0, d, sizeof d, &n));
    ASSERT_EQ(n, 18u);
    const UsbId id = deviceClass(DeviceClassId::Instrument).ids.front();
    EXPECT_EQ(d[8] | (d[9] << 8), id.vendorId);
    EXPECT_EQ(d[10] | (d[11] << 8), id.productId);
}

TEST(InstrumentSignalChain, ControlWordsShapeTheReading)
{
    Rig rig(quietConfig(0.005, 0.002));
    auto& inst = *rig.instrument;
    // Unpowered: the amplifier's offset only.
    EXPECT_NEAR(inst.channelVolts(0, 0), 0.002, 1e-12);
    // Group 1 powered, gain code 2 (gain 100): 0.5 V + offset; group 2 unaffected.
    ASSERT_TRUE(rig.out(0xA3, 0x0001 | (2 << 1)));
    EXPECT_NEAR(inst.channelVolts(1, 0), 0.502, 1e-12);
    EXPECT_NEAR(inst.channelVolts(3, 0), 0.002, 1e-12);
    // Group 2 powered with gain code 3 (gain 1000) and group 1 gain 10.
    ASSERT_TRUE(rig.out(0xA3, 0x0081 | (1 << 1) | (3 << 4)));
    EXPECT_NEAR(inst.channelVolts(2, 0), 0.052, 1e-12);
    EXPECT_NEAR(inst.channelVolts(5, 0), 5.002, 1e-12);
    // High-pass on group 2 removes its DC, offset included.
    ASSERT_TRUE(rig.out(0xA3, 0x00C1 | (1 << 1) | (3 << 4)));
    EXPECT_NEAR(inst.channelVolts(4, 0), 0.0, 1e-12);
    EXPECT_NEAR(inst.channelVolts(0, 0), 0.052, 1e-12);
    // Input zeroing of group 1 leaves the offset.
    ASSERT_TRUE(rig.out(0xA9, 0x0004));
    EXPECT_NEAR(inst.channelVolts(0, 0), 0.002, 1e-12);
    EXPECT_EQ(inst.state().inputWord, 0x0004);
}

TEST(InstrumentSignalChain, SinesNoiseAndClippingReachTheStream)
{
    InstrumentConfig c = quietConfig(0.0, 0.0);
    c.channels[0].sines = {Sine{2.0, 1000.0, 90.0}}; // cosine: 2 V at t = 0
    c.channels[1].dc = 20.0;                         // beyond full scale
    c.channels[2].noise = 0.1;
    c.speedFactor = 5.0;
    c.fifoRecords = 1u << 20;
    Rig rig(c);
    ASSERT_TRUE(rig.out(0xA3, 0x0001));
    ASSERT_TRUE(rig.out(0xA5, 0));
    const auto records = decodeAll(rig.read(2000 * 24));
    ASSERT_GE(records.size(), 2000u);
    EXPECT_NEAR(record::voltsFromCounts(records[0][0]), 2.0, 1e-5);
    double sum = 0, squares = 0;
    for (std::size_t i = 0; i < 2000; ++i) {
        EXPECT_EQ(records[i][1], 8388607) << "clipped at +10.24 V";
        const double v = record::voltsFromCounts(records[i][2]);
        sum += v;
        squares += v * v;
        const double expected = 2.0 * std::cos(2 * M_PI * 1000.0 * i / 20833.0);
        ASSERT_NEAR(record::voltsFromCounts(records[i][0]), expected, 2e-6) << i;
    }
    const double mean = sum / 2000, rms = std::sqrt(squares / 2000 - mean * mean);
    EXPECT_NEAR(mean, 0.0, 0.02);
    EXPECT_NEAR(rms, 0.1, 0.02);
    // Seeded: a second instrument with the same seed reads the same noise.
    Rig twin(c);
    ASSERT_TRUE(twin.out(0xA3, 0x0001));
    EXPECT_DOUBLE_EQ(rig.instrument->channelVolts(2, 17), twin.instrument->channelVolts(2, 17));
    c.seed = 2;
    Rig other(c);
    ASSERT_TRUE(other.out(0xA3, 0x0001));
    EXPECT_NE(rig.instrument->channelVolts(2, 17), other.instrument->channelVolts(2, 17));
}

TEST(InstrumentClock, RateDividerAndPacingFollowTheSpeedFactor)
{
    Rig rig(rampConfig(20.0));
    EXPECT_DOUBLE_EQ(rig.instrument->sampleRate(), 20833.0);
    ASSERT_TRUE(rig.out(0xA4, 1));
    EXPECT_EQ(rig.instrument->state().divider, 2u);
    EXPECT_DOUBLE_EQ(rig.instrument->sampleRate(), 10416.5);

    // 10416 samples are one instrument second: at 20 times speed, no less than 50 ms.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(rig.out(0xA5, 0));
    const auto data = rig.read(10416 * 24, 4096);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_GE(data.size(), 10416u * 24);
    EXPECT_GE(elapsed, 10416.0 / 10416.5 / 20.0 * 0.99);

    // Nothing is ever early: what was taken never exceeds the elapsed instrument time.
    const auto s = rig.instrument->state();
    const double since = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(static_cast<double>(s.samplesTaken), since * 10416.5 * 20.0 + 1.0);

    // A slower clock: the same amount now takes at least twice as long.
    rig.instrument->setSpeedFactor(10.0);
    const auto again = std::chrono::steady_clock::now();
    ASSERT_TRUE(rig.out(0xA6, 0));
    rig.read(10416 * 24, 4096);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - again).count(), 0.099);
}

TEST(InstrumentStream, RampLosesAndRepeatsNothingAcrossOddReadSizes)
{
    // Slow enough that even a sanitizer build reads faster than the clock:
    // the FIFO holds 25 s of it.
    Rig rig(rampConfig(3.0));
    ASSERT_TRUE(rig.out(0xA6, 0));
    ASSERT_TRUE(rig.out(0xA5, 0));
    const std::size_t samples = 60000;
    const auto records = decodeAll(rig.read(samples * 24, 5000));
    ASSERT_GE(records.size(), samples);
    const std::int32_t first = records[0][0];
    for (std::size_t i = 0; i < samples; ++i)
        for (int k = 0; k < 6; ++k)
            ASSERT_EQ(records[i][k], first + static_cast<std::int32_t>(i) + k)
                << "sample " << i << " channel " << k;
    EXPECT_EQ(rig.instrument->state().samplesLost, 0u);
}

TEST(InstrumentStream, FifoOverflowsWhenNobodyReadsAndMarksTheGap)
{
    Rig rig(rampConfig(100.0, 100));
    ASSERT_TRUE(rig.out(0xA5, 0));
    ASSERT_TRUE(waitFor([&] { return rig.instrument->state().samplesLost > 50; }));
    const auto s = rig.instrument->state();
    EXPECT_EQ(s.overflows, 1u);
    EXPECT_EQ(s.fifoBytes, 100u * 24);

    // A read larger than the FIFO completes with the full FIFO.
    std::vector<std::uint8_t> bytes(200 * 24);
    std::uint32_t got = 0;
    ASSERT_TRUE(rig.device->readPipe(Instrument::kBulkInPipe, bytes.data(), 200 * 24, &got));
    ASSERT_EQ(got, 100u * 24);
    const auto records = decodeAll(bytes);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(records[i][0], i) << "the first hundred samples were kept";
        EXPECT_EQ(bytes[i * 24] & record::kOverflowMark, 0);
    }
    ASSERT_TRUE(rig.device->readPipe(Instrument::kBulkInPipe, bytes.data(), 48, &got));
    ASSERT_EQ(got, 48u);
    std::int32_t next[6], after[6];
    record::decode(bytes.data(), next);
    record::decode(bytes.data() + 24, after);
    EXPECT_GT(next[0], 100) << "later samples were lost";
    EXPECT_EQ(bytes[0] & record::kOverflowMark, record::kOverflowMark) << "the gap is marked";
    EXPECT_EQ(after[0], next[0] + 1);
    EXPECT_EQ(bytes[24] & record::kOverflowMark, 0) << "once";

    // Emptying the FIFO forgets the gap: what follows is unmarked.
    ASSERT_TRUE(rig.out(0xA6, 0));
    ASSERT_TRUE(rig.device->readPipe(Instrument::kBulkInPipe, bytes.data(), 24, &got));
    EXPECT_EQ(bytes[0] & record::kOverflowMark, 0);
}

TEST(InstrumentStream, StopDeliversTheRestThenReadsTimeOutAbortAndUnplugEndThem)
{
    Rig rig(rampConfig(10.0));
    ASSERT_TRUE(rig.device->setPipeTransferTimeout(Instrument::kBulkInPipe, 100));
    std::vector<std::uint8_t> bytes(4800);
    std::uint32_t got = 0;
    // Not sampling: a read waits for its time-out.
    EXPECT_FALSE(rig.device->readPipe(Instrument::kBulkInPipe, bytes.data(), 480, &got));
    EXPECT_EQ(lastError(), 121u);
    EXPECT_EQ(got, 0u);

    ASSERT_TRUE(rig.out(0xA5, 0));
    ASSERT_TRUE(waitFor([&] { return rig.instrument->state().fifoBytes >= 240; }));
    ASSERT_TRUE(rig.out(0xAD, 0));
    const std::uint32_t left = rig.instrument->state().fifoBytes;
    ASSERT_TRUE(rig.device->readPipe(Instrument::kBulkInPipe, bytes.data(), 4800, &got));
    EXPECT_EQ(got, std::min<std::uint32_t>(left, 4800)) << "a short read with what was left";
    EXPECT_EQ(got % 24, 0u);
    ASSERT_TRUE(rig.out(0xA6, 0));

    // Reading on the wrong pipe is refused.
    EXPECT_FALSE(rig.device->readPipe(Instrument::kBulkOutPipe, bytes.data(), 24, &got));
    EXPECT_EQ(lastError(), 87u);

    // A read without time-out ends when the pipe is aborted from another thread.
    ASSERT_TRUE(rig.device->setPipeTransferTimeout(Instrument::kBulkInPipe, 0));
    std::uint32_t code = 0;
    std::atomic<bool> readerDone{false};
    std::thread reader([&] {
        std::uint8_t b[24];
        std::uint32_t n = 0;
        if (!rig.device->readPipe(Instrument::kBulkInPipe, b, 24, &n)) code = lastError();
        readerDone = true;
    });
    // An abort only ends reads already waiting, and a loaded machine may start
    // the reader late: abort until it has ended.
    while (!readerDone) {
        ASSERT_TRUE(rig.device->abortPipe(Instrument::kBulkInPipe));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    reader.join();
    EXPECT_EQ(code, 995u);
    EXPECT_TRUE(rig.device->resetPipe(Instrument::kBulkInPipe));

    std::thread orphan([&] {
        std::uint8_t b[24];
        std::uint32_t n = 0;
        if (!rig.device->readPipe(Instrument::kBulkInPipe, b, 24, &n)) code = lastError();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(rig.bus.unplug(rig.path));
    orphan.join();
    EXPECT_EQ(code, 1167u);
    EXPECT_FALSE(rig.out(0xA6, 0));
    EXPECT_EQ(lastError(), 1167u);
}

TEST(InstrumentFaults, RequestFaultsCountTheirTurnAndRecordTheirResult)
{
    InstrumentConfig c;
    c.faults = {InstrumentFault{InstrumentFault::Kind::VendorRequest, 0xA3, 1167, 1, 2}};
    Rig rig(c);
    EXPECT_TRUE(rig.out(0xA3, 0x01));
    EXPECT_FALSE(rig.out(0xA3, 0x03));
    EXPECT_EQ(lastError(), 1167u);
    EXPECT_FALSE(rig.out(0xA3, 0x05));
    EXPECT_TRUE(rig.out(0xA9, 0x01)) << "other codes are not affected";
    EXPECT_TRUE(rig.out(0xA3, 0x07)) << "after its count the request works again";
    const auto log = rig.instrument->controlRequests();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[1].result, 1167u);
    EXPECT_EQ(log[2].result, 1167u);
    EXPECT_EQ(log[4].result, 0u);
    EXPECT_EQ(rig.instrument->state().sensorWord, 0x07) << "a failed request changes nothing";

    // Every vendor request, and a time-out that waits the pipe's time-out scaled by the speed.
    InstrumentConfig t;
    t.speedFactor = 10.0;
    t.faults = {InstrumentFault{InstrumentFault::Kind::VendorRequest, -1, 121, 0, -1}};
    Rig slow(t);
    ASSERT_TRUE(slow.device->setPipeTransferTimeout(0, 500));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(slow.out(0xA6, 0));
    EXPECT_EQ(lastError(), 121u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(49));
    std::uint8_t d[18];
    std::uint32_t n = 0;
    EXPECT_TRUE(slow.device->getDescriptor(1, 0, 0, d, 18, &n))
        << "standard requests are not vendor requests";
}

TEST(InstrumentFaults, BulkReadFaultsRefusedOpenAndUnplugs)
{
    InstrumentConfig c = rampConfig(20.0);
    c.faults = {InstrumentFault{InstrumentFault::Kind::BulkRead, -1, 31, 2, 1}};
    Rig rig(c);
    ASSERT_TRUE(rig.out(0xA5, 0));
    std::uint8_t b[480];
    std::uint32_t n = 0;
    EXPECT_TRUE(rig.device->readPipe(Instrument::kBulkInPipe, b, 480, &n));
    EXPECT_TRUE(rig.device->readPipe(Instrument::kBulkInPipe, b, 480, &n));
    EXPECT_FALSE(rig.device->readPipe(Instrument::kBulkInPipe, b, 480, &n));
    EXPECT_EQ(lastError(), 31u);
    EXPECT_TRUE(rig.device->readPipe(Instrument::kBulkInPipe, b, 480, &n));

    InstrumentConfig refusing;
    refusing.refuseOpen = 5;
    SimulatedBus bus;
    const std::string path = bus.plug(std::make_shared<Instrument>(refusing));
    EXPECT_EQ(bus.open(path), nullptr);
    EXPECT_EQ(lastError(), 5u);

    // Unplugged by itself once the host has read enough: the read that got there succeeds.
    InstrumentConfig fragile = rampConfig(20.0);
    fragile.unplugAfterBytes = 4800;
    Rig f(fragile);
    std::vector<std::string> removed;
    std::mutex seen;
    f.bus.watch(DeviceClassId::Instrument, [&](DeviceClassId, const std::string& p, bool arrived) {
        std::lock_guard<std::mutex> hold(seen);
        if (!arrived) removed.push_back(p);
    });
    ASSERT_TRUE(f.out(0xA5, 0));
    EXPECT_EQ(f.read(4800, 2400).size(), 4800u);
    ASSERT_TRUE(waitFor([&] { return f.bus.enumerate(DeviceClassId::Instrument).empty(); }));
    EXPECT_FALSE(f.device->readPipe(Instrument::kBulkInPipe, b, 480, &n));
    EXPECT_EQ(lastError(), 1167u);
    ASSERT_TRUE(f.bus.waitIdle());
    std::lock_guard<std::mutex> hold(seen);
    EXPECT_EQ(removed, std::vector<std::string>{f.path});

    InstrumentConfig timed;
    timed.unplugAfterMs = 30;
    Rig t(timed);
    ASSERT_TRUE(waitFor([&] { return !t.instrument->isPlugged(); }));
}

TEST(InstrumentStream, HighPassSettlesWithItsTimeConstant)
{
    InstrumentConfig c = quietConfig(1.0, 0.0);
    c.highPassSeconds = 10.0;
    c.speedFactor = 1.0;
    Rig rig(c);
    ASSERT_TRUE(rig.out(0xA3, 0x0001));
    ASSERT_TRUE(rig.out(0xA5, 0));
    ASSERT_TRUE(rig.out(0xA3, 0x0009)); // high-pass on while sampling
    const double rate = rig.instrument->sampleRate();
    const std::uint64_t now = rig.instrument->state().samplesTaken;
    const double early = rig.instrument->channelVolts(0, now);
    const double late =
        rig.instrument->channelVolts(0, now + static_cast<std::uint64_t>(100 * rate)); // 10 tau
    EXPECT_GT(early, 0.5);
    EXPECT_LT(early, 1.0 + 1e-9);
    EXPECT_NEAR(late, 0.0, 1e-3);
}
