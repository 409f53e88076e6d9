#pragma once

#include "usb/Export.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Microsoft OS 1.0 descriptors as a device answers them: the string
// descriptor 0xEE ("MSFT100" and a vendor code) and the extended-properties
// feature (index 5) that lists DeviceInterfaceGUID(s). Plain byte parsing,
// apart from the transfers that fetch the bytes.
namespace FenmarlUsb::OsDescriptors {

// The vendor code of an 0xEE string descriptor that reads "MSFT…", else -1.
FENMARL_USB_API int vendorCode(const std::uint8_t* descriptor, std::size_t length);

// Whether the extended-properties answer names `guid` (compared without case;
// the property data are UTF-16LE and only their low bytes are compared).
FENMARL_USB_API bool propertiesNameGuid(const std::uint8_t* answer, std::size_t length, const std::string& guid);

} // namespace FenmarlUsb::OsDescriptors
