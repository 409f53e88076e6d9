#pragma once

// The uploader made for each upload: writes the 8051's CPU control registers
// and the image records with vendor request 0xA0 on the active device.

#include "firmware_loader/ImageRecord.h"

#include "usb/UsbBus.h"

#include <cstdint>
#include <span>

namespace TorvaneDLL {

class FirmwareWatcher;

// EZ-USB CPU control registers of the two generations of the 8051 core:
// writing 1 holds the CPU in reset, 0 lets it run.
inline constexpr std::uint16_t kCpuControlAn21 = 0x7F92;
inline constexpr std::uint16_t kCpuControlFx2 = 0xE600;
inline constexpr std::uint8_t kFirmwareLoadRequest = 0xA0;
inline constexpr std::uint32_t kControlPipeTimeoutMs = 10000;

class Ambrel
{
public:
    explicit Ambrel(FirmwareWatcher* watcher) : watcher_(watcher) {}
    virtual ~Ambrel() = default;

    // The whole upload; true on success. Every failure is logged.
    bool LoadTesselonFirmware();
    // One CPU control write → 0 or the Win32 error.
    std::uint32_t ResetTesselonWithValue(std::uint16_t cpuRegister, std::uint8_t value);
    // Sends the image's data records → 0 or the Win32 error of the first failure.
    std::uint32_t SendTesselonLoader(std::span<const ImageRecord> image);
    // Reads the image's data records back and compares → 0, 13 (data differs)
    // or the Win32 error of the failing read.
    std::uint32_t VerifyTesselonImage(std::span<const ImageRecord> image);
    // 0 and the active device's handle, or 6 when no device is active.
    std::uint32_t GetDevice(FenmarlUsb::Device** handle);

private:
    std::uint32_t prepareControlPipe(const char* source, FenmarlUsb::Device** handle);
    // One firmware-load request (write or read of the chip's memory at
    // address); 0, or the failure's Win32 number, logged under source.
    std::uint32_t loadRequest(const char* source, FenmarlUsb::Device* device, std::uint8_t requestType,
                              std::uint16_t address, std::uint8_t* data, std::uint16_t length,
                              std::uint32_t* transferred);

    FirmwareWatcher* watcher_;
};

} // namespace TorvaneDLL
