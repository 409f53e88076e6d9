#pragma once

// A bare EZ-USB microcontroller as it enumerates before it has firmware: the
// chip's default ids, vendor request 0xA0 writing (host-to-device) and reading
// (device-to-host) its 8051 RAM, and the CPU control register that holds the
// 8051 in reset. Released from reset with the expected firmware in RAM, it
// re-enumerates a short time later as its instrument (unplugs itself, plugs
// the instrument), as the real chip does once its firmware runs.

#include "simulator/SimulatedBus.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace FenmarlUsb {

class FENMARL_USB_API BareDevice : public SimulatedDevice
{
public:
    struct MemoryBlock
    {
        std::uint16_t address;
        std::vector<std::uint8_t> bytes;
    };
    // A vendor request as the device received it (data as sent, or as answered for reads).
    struct Request
    {
        SetupPacket setup;
        std::vector<std::uint8_t> data;
    };
    // Which CPU control register the core obeys; the other is acknowledged and ignored.
    enum class Core { Fx2, An21 };

    static constexpr std::uint16_t kCpuControlAn21 = 0x7F92;
    static constexpr std::uint16_t kCpuControlFx2 = 0xE600;
    static constexpr std::uint8_t kFirmwareLoad = 0xA0;
    static constexpr std::uint32_t kRamSize = 0x4000; // program/data RAM at 0x0000

    // instrument may be null: the device then never re-enumerates.
    explicit BareDevice(std::shared_ptr<SimulatedDevice> instrument,
                        std::vector<MemoryBlock> expectedFirmware = builtInFirmware(), Core core = Core::Fx2);
    ~BareDevice() override;

    // The firmware image this build's loader uploads.
    static std::vector<MemoryBlock> builtInFirmware();

    DeviceClassId deviceClass() const override { return DeviceClassId::BareMicrocontroller; }
    UsbId usbId() const override;
    std::uint8_t speed() const override { return kHighSpeed; }
    std::uint32_t onOpen() override;
    std::uint32_t vendorRequest(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred,
                                std::uint32_t timeoutMs) override;

    // For tests.
    std::vector<Request> requests() const;
    // The index-th vendor request from now on (0 = the next) fails with code and has no effect.
    void failRequest(std::size_t index, std::uint32_t code);
    // Opens are refused with code (0 accepts them again).
    void refuseOpens(std::uint32_t code);
    // A RAM cell that keeps its value whatever is written (a faulty chip).
    void setStuckByte(std::uint16_t address);
    void setReenumerationDelay(std::chrono::milliseconds delay);
    std::vector<std::uint8_t> ram(std::uint16_t address, std::size_t length) const;
    bool cpuHeldInReset() const;
    // True once the device has handed its place on the bus to the instrument.
    bool reenumerated() const;

private:
    std::uint32_t write(const SetupPacket& setup, const std::uint8_t* data);
    std::uint32_t read(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred);
    bool firmwareInRam() const;   // under lock_
    void scheduleReenumeration(); // under lock_

    const std::shared_ptr<SimulatedDevice> instrument_;
    const std::vector<MemoryBlock> expectedFirmware_;
    const Core core_;

    mutable std::mutex lock_;
    std::vector<std::uint8_t> ram_;
    std::set<std::uint16_t> stuck_;
    std::uint8_t cpuControl_[2] = {1, 1}; // [Fx2, An21]; the CPU starts held in reset
    std::uint64_t releases_ = 0;          // invalidates a pending re-enumeration when reset again
    bool reenumerated_ = false;
    std::chrono::milliseconds reenumerationDelay_{300};
    std::vector<Request> requests_;
    std::size_t received_ = 0;
    std::map<std::size_t, std::uint32_t> failures_;
    std::uint32_t openRefusal_ = 0;
};

} // namespace FenmarlUsb
