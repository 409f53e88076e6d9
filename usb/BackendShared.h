#pragma once

// What the libusb backend and the simulated bus share: the Win32 numbers their
// calls fail with, WinUSB's control-pipe default and the Windows form of a
// device path. Internal to FenmarlUsb.

#include "common/platform/Win32Error.h"
#include "usb/UsbBus.h"

#include <cstdint>
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

// ASCII lower case: paths and GUIDs compare without regard to case, as on Windows.
std::string lowerCase(std::string text);

// "\\?\usb#vid_04b4&pid_8613#<instance>#{guid}", the class's interface GUID in
// lower case; instance tells devices with the same ids apart.
std::string devicePath(UsbId id, const std::string& instance, DeviceClassId cls);

} // namespace FenmarlUsb
