#include "simulator/BareDevice.h"

#include "firmware_loader/ImageRecord.h"
#include "usb/BackendShared.h"

#include <algorithm>

namespace FenmarlUsb {

namespace {

// Built from the same generated image the loader library carries.
constexpr TorvaneDLL::ImageRecord kFirmware[] = {
#include "firmware_loader/FirmwareImage.inc"
};

// Profiles that start an instrument bare build it through the bus's factory.
const bool factoryRegistered = [] {
    setBareDeviceFactory([](std::shared_ptr<SimulatedDevice> instrument) {
        return std::make_shared<BareDevice>(std::move(instrument));
    });
    return true;
}();

} // namespace

BareDevice::BareDevice(std::shared_ptr<SimulatedDevice> instrument, std::vector<MemoryBlock> expectedFirmware,
                       Core core)
    : instrument_(std::move(instrument)), expectedFirmware_(std::move(expectedFirmware)), core_(core),
      ram_(kRamSize, 0)
{
    (void)factoryRegistered;
}

BareDevice::~BareDevice() = default;

std::vector<BareDevice::MemoryBlock> BareDevice::builtInFirmware()
{
    std::vector<MemoryBlock> blocks;
    for (const TorvaneDLL::ImageRecord& record : kFirmware) {
        if (record.type != TorvaneDLL::kDataRecord) break;
        blocks.push_back(
            {record.address, std::vector<std::uint8_t>(record.data, record.data + record.length)});
    }
    return blocks;
}

UsbId BareDevice::usbId() const
{
    const DeviceClass& cls = FenmarlUsb::deviceClass(DeviceClassId::BareMicrocontroller);
    return cls.ids.empty() ? UsbId{0x04B4, 0x8613} : cls.ids.front();
}

std::uint32_t BareDevice::onOpen()
{
    std::lock_guard<std::mutex> hold(lock_);
    return openRefusal_;
}

std::uint32_t BareDevice::vendorRequest(const SetupPacket& setup, std::uint8_t* data,
                                        std::uint32_t* transferred, std::uint32_t)
{
    *transferred = 0;
    std::lock_guard<std::mutex> hold(lock_);
    const bool in = (setup.requestType & 0x80) != 0;
    Request request{setup, {}};
    if (!in && data) request.data.assign(data, data + setup.length);
    const std::size_t index = received_++;

    std::uint32_t rc = 0;
    if (const auto fault = failures_.find(index); fault != failures_.end()) {
        rc = fault->second;
        failures_.erase(fault);
    } else if (setup.request != kFirmwareLoad || setup.index != 0) {
        rc = kErrorGenFailure; // the bare chip answers no other vendor request
    } else if (in) {
        rc = read(setup, data, transferred);
        if (rc == 0 && data) request.data.assign(data, data + *transferred);
    } else {
        rc = write(setup, data);
        if (rc == 0) *transferred = setup.length;
    }
    requests_.push_back(std::move(request));
    return rc;
}

std::uint32_t BareDevice::write(const SetupPacket& setup, const std::uint8_t* data)
{
    if (setup.length > 0 && !data) return kErrorInvalidParameter;
    if (setup.value == kCpuControlFx2 || setup.value == kCpuControlAn21) {
        if (setup.length != 1) return kErrorGenFailure;
        const bool fx2 = setup.value == kCpuControlFx2;
        std::uint8_t& reg = cpuControl_[fx2 ? 0 : 1];
        const bool wasHeld = (reg & 1) != 0;
        reg = data[0];
        if ((fx2 ? Core::Fx2 : Core::An21) != core_)
            return 0; // the other generation's register: acknowledged, no effect
        const bool held = (reg & 1) != 0;
        if (held) {
            ++releases_;
        } else if (wasHeld) {
            ++releases_;
            if (instrument_ && !reenumerated_ && firmwareInRam()) scheduleReenumeration();
        }
        return 0;
    }
    if (std::uint32_t{setup.value} + setup.length > kRamSize) return kErrorGenFailure;
    for (std::uint16_t i = 0; i < setup.length; ++i) {
        const auto address = static_cast<std::uint16_t>(setup.value + i);
        if (!stuck_.count(address)) ram_[address] = data[i];
    }
    return 0;
}

std::uint32_t BareDevice::read(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred)
{
    if (setup.length > 0 && !data) return kErrorInvalidParameter;
    if (setup.value == kCpuControlFx2 || setup.value == kCpuControlAn21) {
        if (setup.length != 1) return kErrorGenFailure;
        data[0] = cpuControl_[setup.value == kCpuControlFx2 ? 0 : 1];
        *transferred = 1;
        return 0;
    }
    if (std::uint32_t{setup.value} + setup.length > kRamSize) return kErrorGenFailure;
    std::copy_n(ram_.begin() + setup.value, setup.length, data);
    *transferred = setup.length;
    return 0;
}

bool BareDevice::firmwareInRam() const
{
    if (expectedFirmware_.empty()) return false;
    for (const MemoryBlock& block : expectedFirmware_) {
        if (std::size_t{block.address} + block.bytes.size() > ram_.size()) return false;
        if (!std::equal(block.bytes.begin(), block.bytes.end(), ram_.begin() + block.address)) return false;
    }
    return true;
}

void BareDevice::scheduleReenumeration()
{
    SimulatedBus* bus = this->bus();
    if (!bus) return;
    const std::uint64_t release = releases_;
    std::weak_ptr<SimulatedDevice> weakSelf = weak_from_this();
    // Unplug and plug run on the bus thread, never inside this transfer.
    bus->after(reenumerationDelay_, [weakSelf, bus, release] {
        auto self = std::static_pointer_cast<BareDevice>(weakSelf.lock());
        if (!self) return;
        std::string path;
        {
            std::lock_guard<std::mutex> hold(self->lock_);
            // Put back into reset (or already gone) in the meantime: the firmware never started.
            if (self->releases_ != release || self->reenumerated_) return;
            path = self->path();
            if (path.empty() || self->bus() != bus) return;
            self->reenumerated_ = true;
        }
        bus->unplug(path);
        bus->plug(self->instrument_);
    });
}

std::vector<BareDevice::Request> BareDevice::requests() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

void BareDevice::failRequest(std::size_t index, std::uint32_t code)
{
    std::lock_guard<std::mutex> hold(lock_);
    failures_[received_ + index] = code;
}

void BareDevice::refuseOpens(std::uint32_t code)
{
    std::lock_guard<std::mutex> hold(lock_);
    openRefusal_ = code;
}

void BareDevice::setStuckByte(std::uint16_t address)
{
    std::lock_guard<std::mutex> hold(lock_);
    stuck_.insert(address);
}

void BareDevice::setReenumerationDelay(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> hold(lock_);
    reenumerationDelay_ = delay;
}

std::vector<std::uint8_t> BareDevice::ram(std::uint16_t address, std::size_t length) const
{
    std::lock_guard<std::mutex> hold(lock_);
    const std::size_t end = std::min<std::size_t>(std::size_t{address} + length, ram_.size());
    if (address >= end) return {};
    return std::vector<std::uint8_t>(ram_.begin() + address, ram_.begin() + end);
}

bool BareDevice::cpuHeldInReset() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return (cpuControl_[core_ == Core::Fx2 ? 0 : 1] & 1) != 0;
}

bool BareDevice::reenumerated() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return reenumerated_;
}

} // namespace FenmarlUsb
