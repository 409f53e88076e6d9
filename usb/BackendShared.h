#pragma once

// What the libusb backend and the simulated bus share: the Win32 numbers their
// calls fail with, WinUSB's control-pipe default and the Windows form of a
// device path. Internal to FenmarlUsb.

#include "common/platform/Win32Error.h"
#include "usb/UsbBus.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace FenmarlUsb {

using FenmarlCommonDLL::platform::kErrorDeviceNotConnected;
using FenmarlCommonDLL::platform::kErrorFileNotFound;
using FenmarlCommonDLL::platform::kErrorGenFailure; // also what a stalled request gives
using FenmarlCommonDLL::platform::kErrorInvalidParameter;
using FenmarlCommonDLL::platform::kErrorOperationAborted;
using FenmarlCommonDLL::platform::kErrorSemTimeout;
using FenmarlCommonDLL::platform::kErrorSuccess;

// WinUSB's default PIPE_TRANSFER_TIMEOUT: 5 s on the control pipe, none elsewhere.
inline constexpr std::uint32_t kDefaultControlTimeoutMs = 5000;

// Each pipe's transfer time-out as set on one open handle (0: none), from
// WinUSB's defaults. Read by transfers on any thread.
class PipeTimeouts
{
public:
    void set(std::uint8_t pipeId, std::uint32_t milliseconds)
    {
        std::lock_guard<std::mutex> hold(lock_);
        table_[pipeId] = milliseconds;
    }
    std::uint32_t get(std::uint8_t pipeId) const
    {
        std::lock_guard<std::mutex> hold(lock_);
        const auto it = table_.find(pipeId);
        return it == table_.end() ? 0u : it->second;
    }

private:
    mutable std::mutex lock_;
    std::map<std::uint8_t, std::uint32_t> table_{{0, kDefaultControlTimeoutMs}};
};

// ASCII lower case: paths and GUIDs compare without regard to case, as on Windows.
std::string lowerCase(std::string text);

// "\\?\usb#vid_04b4&pid_8613#<instance>#{guid}", the class's interface GUID in
// lower case; instance tells devices with the same ids apart.
std::string devicePath(UsbId id, const std::string& instance, DeviceClassId cls);

} // namespace FenmarlUsb
