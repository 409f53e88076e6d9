#pragma once

#include "simulator/Instrument.h"
#include "simulator/RecordCodec.h"
#include "simulator/SimulatedBus.h"
#include "testsupport/WaitFor.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace simtest {

using namespace FenmarlUsb;

constexpr std::uint16_t kIndex = 0xBEEF;

// An instrument plugged into a private bus and opened, as the driver sees it.
struct Rig
{
    explicit Rig(InstrumentConfig config = {})
    {
        instrument = std::make_shared<Instrument>(std::move(config));
        path = bus.plug(instrument);
        device = bus.open(path);
    }

    bool out(std::uint8_t code, std::uint16_t value)
    {
        std::uint32_t n = 0;
        return device->controlTransfer(SetupPacket{0x40, code, value, kIndex, 0}, nullptr, &n);
    }

    bool in(std::uint8_t code, std::uint16_t value, std::array<std::uint8_t, 16>* reply, std::uint32_t* n)
    {
        return device->controlTransfer(SetupPacket{0xC0, code, value, kIndex, 16}, reply->data(), n);
    }

    // Reads until `bytes` bytes arrived (or a read fails) in reads of `chunk`.
    std::vector<std::uint8_t> read(std::size_t bytes, std::uint32_t chunk = 5120)
    {
        std::vector<std::uint8_t> data;
        std::vector<std::uint8_t> buffer(chunk);
        while (data.size() < bytes) {
            std::uint32_t got = 0;
            if (!device->readPipe(Instrument::kBulkInPipe, buffer.data(), chunk, &got)) break;
            data.insert(data.end(), buffer.begin(), buffer.begin() + got);
        }
        return data;
    }

    SimulatedBus bus;
    std::shared_ptr<Instrument> instrument;
    std::string path;
    std::unique_ptr<Device> device;
};

inline std::vector<std::array<std::int32_t, 6>> decodeAll(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::array<std::int32_t, 6>> records;
    for (std::size_t i = 0; i + record::kBytes <= bytes.size(); i += record::kBytes) {
        std::array<std::int32_t, 6> raw{};
        record::decode(bytes.data() + i, raw.data());
        records.push_back(raw);
    }
    return records;
}

using TestSupport::waitFor;

// A channel that reads exactly its DC (no sines, no noise).
inline InstrumentConfig quietConfig(double dc, double offset)
{
    InstrumentConfig c;
    for (auto& ch : c.channels) {
        ch = ChannelSignal{};
        ch.dc = dc;
        ch.offset = offset;
    }
    return c;
}

} // namespace simtest
