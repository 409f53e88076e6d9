#pragma once

#include "usb/UsbBus.h"

namespace FenmarlUsb {

// libusb_transfer_status → Win32 number (usb/ErrorMap.cpp).
FENMARL_USB_API std::uint32_t win32FromTransferStatus(int status);

} // namespace FenmarlUsb
